#ifndef PREVIEWPANE_H
#define PREVIEWPANE_H

#include <QImage>
#include <QList>
#include <QScrollArea>

class Preview;

// The preview in its scroll area: the zoom, which follows the space the window gives until the
// user zooms, and the scrolling that keeps the preview beside the rows.
class PreviewPane : public QScrollArea
{
    Q_OBJECT

public:
    explicit PreviewPane(QWidget *parent = nullptr);

    // A new picture, or the same with other settings; a new size fits it to the space again.
    void setBitmap(const QImage &bitmap, const QList<QImage> &levels);
    // The zoom that shows the whole picture, kept when the space changes (Ctrl+0).
    void fitAgain();
    // A step in (positive) or out, keeping the point AT of the viewport where it is.
    void zoom(int steps, QPoint at);
    // A step about the middle of what is shown.
    void zoom(int steps);
    // Scrolls down or up so that pixel row ROW is in view, to the middle when it was not.
    void showRow(int row);
    QString zoomText() const;

signals:
    void rowClicked(int row);
    void zoomChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    Preview *preview;
    bool fitted = true;
};

#endif
