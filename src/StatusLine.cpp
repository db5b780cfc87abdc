#include "StatusLine.h"

#include <QFontMetrics>
#include <QResizeEvent>

StatusLine::StatusLine(QWidget *parent) : QLabel(parent)
{
    setContentsMargins(4, 0, 4, 0);
    // A long path in it is cut rather than widening the window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusLine::setMessage(const QString &text)
{
    message = text;
    elide();
}

void StatusLine::setFacts(const QString &text)
{
    facts = text;
    elide();
}

void StatusLine::setZoom(const QString &text)
{
    zoom = text;
    elide();
}

void StatusLine::setNote(const QString &text)
{
    note = text;
    elide();
}

QString StatusLine::fullText() const
{
    QString text = message;
    if (!facts.isEmpty()) {
        text += (text.isEmpty() ? QString() : QStringLiteral("  ")) + facts;
        if (!zoom.isEmpty())
            text += QStringLiteral(", zoom ") + zoom;
        text += u'.';
    }
    if (!note.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + note;
    return text;
}

void StatusLine::elide()
{
    setText(fontMetrics().elidedText(fullText(), Qt::ElideMiddle, contentsRect().width()));
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}
