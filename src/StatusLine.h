#ifndef STATUSLINE_H
#define STATUSLINE_H

#include <QLabel>
#include <QString>

// The line above the buttons: what went wrong, what to try or what was just done, what the text is
// (its size and bytes), the preview's zoom, and whether and where it was saved. A long line loses
// its middle rather than widening the window.
class StatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent = nullptr);

    // Each part, empty when there is nothing to say.
    void setMessage(const QString &text);
    void setFacts(const QString &text);
    void setZoom(const QString &text);
    void setNote(const QString &text);
    // The whole line, before any of it is left out for want of room.
    QString fullText() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString message, facts, zoom, note;
};

#endif
