#include "Preview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

Preview::Preview(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Preview::setBitmap(const QImage &image)
{
    bitmap = image;
    resize(sizeHint());
    update();
}

void Preview::setZoom(int zoom)
{
    scale = qMax(1, zoom);
    resize(sizeHint());
    update();
}

QSize Preview::sizeHint() const
{
    return bitmap.size() * scale;
}

void Preview::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    const QRect pixels = QRect(event->rect().topLeft() / scale, event->rect().bottomRight() / scale)
                             .intersected(bitmap.rect());
    if (pixels.isEmpty())
        return;
    // The same rule as the text: a colour darker than mid grey is drawn black, any other white.
    QImage part = bitmap.copy(pixels);
    QList<QRgb> table = part.colorTable();
    for (QRgb &entry : table)
        entry = qGray(entry) < 128 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    part.setColorTable(table);
    painter.drawImage(QRect(pixels.topLeft() * scale, pixels.size() * scale), part);
}

void Preview::mousePressEvent(QMouseEvent *event)
{
    const int row = int(event->position().y()) / scale;
    if (row >= 0 && row < bitmap.height())
        emit rowClicked(row);
}
