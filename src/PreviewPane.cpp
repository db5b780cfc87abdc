#include "PreviewPane.h"
#include "Preview.h"

#include <QScrollBar>

PreviewPane::PreviewPane(QWidget *parent) : QScrollArea(parent), preview(new Preview)
{
    setWidget(preview);
    setAlignment(Qt::AlignCenter);
    // It draws no focus, so the keyboard would seem lost in it: the rows scroll it instead.
    setFocusPolicy(Qt::NoFocus);
    connect(preview, &Preview::rowClicked, this, &PreviewPane::rowClicked);
    connect(preview, &Preview::zoomAsked, this,
            [this](int steps, QPoint at) { zoom(steps, preview->mapTo(viewport(), at)); });
}

void PreviewPane::setBitmap(const QImage &bitmap, const QList<QImage> &levels)
{
    const bool resized = bitmap.size() != preview->pictureSize();
    preview->setBitmap(bitmap, levels);
    if (resized)
        fitAgain();
}

void PreviewPane::fitAgain()
{
    fitted = true;
    fit();
}

void PreviewPane::fit()
{
    if (preview->pictureSize().isEmpty())
        return;
    preview->fit(maximumViewportSize());
    emit zoomChanged();
}

// The preview's space changes with the window and with the controls around it.
void PreviewPane::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (fitted)
        fit();
}

void PreviewPane::zoom(int steps)
{
    zoom(steps, viewport()->rect().center());
}

void PreviewPane::zoom(int steps, QPoint at)
{
    if (preview->pictureSize().isEmpty())
        return;
    fitted = false;
    QScrollBar *across = horizontalScrollBar();
    QScrollBar *down = verticalScrollBar();
    // Where AT falls on the picture, as a part of its width and height.
    const QPoint on = preview->mapFrom(viewport(), at);
    const double x = on.x() / double(qMax(1, preview->width()));
    const double y = on.y() / double(qMax(1, preview->height()));
    if (steps > 0)
        preview->zoomIn();
    else
        preview->zoomOut();
    across->setValue(int(x * preview->width() - at.x()));
    down->setValue(int(y * preview->height() - at.y()));
    emit zoomChanged();
}

// A row in view stays where it is, so that a click on the preview moves nothing under the
// pointer; another comes to the middle.
void PreviewPane::showRow(int row)
{
    const int y = preview->yOfRow(row);
    const int shownAt = preview->mapTo(viewport(), QPoint(0, y)).y();
    if (shownAt >= 0 && shownAt < viewport()->height())
        return;
    ensureVisible(horizontalScrollBar()->value(), y, 0, viewport()->height() / 2);
}

QString PreviewPane::zoomText() const
{
    return preview->pictureSize().isEmpty() ? QString() : preview->zoomText();
}
