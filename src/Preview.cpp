#include "Preview.h"
#include "TextFormat.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtAlgorithms>

namespace
{

const int largestScale = 64;

uchar lightness(int dark, int pixels)
{
    return uchar(255 - (255 * dark + pixels / 2) / pixels);
}

// Each pixel the lightness of a 4 x 4 block of BITMAP, counted a byte at a time.
QImage quarter(const QImage &bitmap)
{
    const int w = bitmap.width(), h = bitmap.height();
    QImage out((w + 3) / 4, (h + 3) / 4, QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    uchar masks[256];
    TextFormat::darkMasks(bitmap, masks);
    const int bytes = (w + 7) / 8;
    // The bits past the last pixel of a row are padding.
    const uchar lastMask = w % 8 ? uchar(0xff << (8 - w % 8)) : 0xff;
    QList<int> dark(out.width() + 1);
    for (int y = 0; y < out.height(); ++y) {
        dark.fill(0);
        const int rows = qMin(4, h - y * 4);
        for (int r = 0; r < rows; ++r) {
            const uchar *line = bitmap.constScanLine(y * 4 + r);
            for (int i = 0; i < bytes; ++i) {
                const uchar m = masks[line[i]] & (i == bytes - 1 ? lastMask : 0xff);
                dark[2 * i] += __builtin_popcount(m >> 4);
                dark[2 * i + 1] += __builtin_popcount(m & 15);
            }
        }
        uchar *to = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x)
            to[x] = lightness(dark[x], rows * qMin(4, w - x * 4));
    }
    return out;
}

// Each pixel the mean of a 2 x 2 block of LEVEL.
QImage half(const QImage &level)
{
    const int w = level.width(), h = level.height();
    QImage out((w + 1) / 2, (h + 1) / 2, QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    for (int y = 0; y < out.height(); ++y) {
        const uchar *a = level.constScanLine(2 * y);
        const uchar *b = level.constScanLine(qMin(2 * y + 1, h - 1));
        uchar *to = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x) {
            const int x1 = qMin(2 * x + 1, w - 1);
            to[x] = uchar((a[2 * x] + a[x1] + b[2 * x] + b[x1] + 2) / 4);
        }
    }
    return out;
}

} // namespace

Preview::Preview(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QList<QImage> Preview::levels(const QImage &bitmap)
{
    QList<QImage> list;
    if (bitmap.isNull())
        return list;
    for (QImage level = quarter(bitmap); !level.isNull(); level = half(level)) {
        list.append(level);
        if (level.width() == 1 && level.height() == 1)
            break;
    }
    return list;
}

void Preview::setBitmap(const QImage &image, const QList<QImage> &levels)
{
    bitmap = image;
    pyramid = levels;
    resize(sizeHint());
    update();
}

void Preview::setZoom(int newScale, int newShrink)
{
    scale = newScale;
    shrink = newShrink;
    resize(sizeHint());
    update();
}

void Preview::fit(QSize space)
{
    const int w = qMax(1, bitmap.width()), h = qMax(1, bitmap.height());
    const int across = qMax(1, space.width()), down = qMax(1, space.height());
    if (w <= across && h <= down) {
        setZoom(qBound(1, qMin(across / w, down / h), largestScale), 1);
        return;
    }
    // The smallest whole number that brings each side within its space.
    setZoom(1, qMin(qMax((w + across - 1) / across, (h + down - 1) / down), mostShrink()));
}

int Preview::mostShrink() const
{
    return qMax(2, qMax(bitmap.width(), bitmap.height()));
}

void Preview::zoomIn()
{
    if (shrink > 1)
        setZoom(1, shrink / 2);
    else if (scale < largestScale)
        setZoom(scale + 1, 1);
}

void Preview::zoomOut()
{
    if (scale > 1)
        setZoom(scale - 1, 1);
    else if (shrink < mostShrink())
        setZoom(1, qMin(shrink * 2, mostShrink()));
}

QString Preview::zoomText() const
{
    return shrink > 1 ? QStringLiteral("1:%1").arg(shrink) : QStringLiteral("%1:1").arg(scale);
}

int Preview::rowAt(int y) const
{
    const int row = shrink > 1 ? y * shrink + shrink / 2 : y / scale;
    return y < 0 ? -1 : qMin(row, bitmap.height() - 1);
}

int Preview::yOfRow(int row) const
{
    return shrink > 1 ? row / shrink : row * scale + scale / 2;
}

QSize Preview::sizeHint() const
{
    if (shrink > 1)
        return QSize((bitmap.width() + shrink - 1) / shrink,
                     (bitmap.height() + shrink - 1) / shrink);
    return bitmap.size() * scale;
}

// The screen pixels of RECT when zoomed out: each from the block of the picture under it alone,
// so that they stay where they are when the view scrolls. A block is counted from the picture's
// bits when it is small, from the smaller pictures made beforehand when it is large.
QImage Preview::shrunk(const QRect &rect) const
{
    const int s = shrink;
    const int level = qCountTrailingZeroBits(uint(s)) - 2;
    if (s >= 4 && (s & (s - 1)) == 0 && level < pyramid.size())
        return pyramid.at(level).copy(rect);
    QImage out(rect.size(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const int w = bitmap.width(), h = bitmap.height();
    // The smallest picture whose pixels are at most half a screen pixel across.
    int from = -1;
    while (from + 1 < pyramid.size() && 8 << (from + 1) <= s)
        ++from;
    uchar masks[256];
    TextFormat::darkMasks(bitmap, masks);
    for (int y = 0; y < rect.height(); ++y) {
        const int top = (rect.top() + y) * s, bottom = qMin(top + s, h);
        uchar *to = out.scanLine(y);
        for (int x = 0; x < rect.width(); ++x) {
            const int left = (rect.left() + x) * s, right = qMin(left + s, w);
            if (from < 0) {
                int dark = 0;
                for (int py = top; py < bottom; ++py) {
                    const uchar *line = bitmap.constScanLine(py);
                    for (int px = left; px < right; ++px)
                        dark += masks[line[px >> 3]] >> (7 - (px & 7)) & 1;
                }
                to[x] = lightness(dark, (bottom - top) * (right - left));
                continue;
            }
            // Each pixel of the smaller picture counts for the part of the block it covers.
            const QImage &source = pyramid.at(from);
            const int f = 4 << from;
            qint64 darkness = 0, area = 0;
            for (int j = top / f; j * f < bottom; ++j) {
                const int down = qMin(bottom, (j + 1) * f) - qMax(top, j * f);
                const uchar *line = source.constScanLine(j);
                for (int i = left / f; i * f < right; ++i) {
                    const qint64 part = qint64(qMin(right, (i + 1) * f) - qMax(left, i * f)) * down;
                    darkness += part * (255 - line[i]);
                    area += part;
                }
            }
            to[x] = uchar(255 - (darkness + area / 2) / qMax<qint64>(1, area));
        }
    }
    return out;
}

void Preview::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    if (bitmap.isNull())
        return;
    if (shrink > 1) {
        const QRect rect = event->rect().intersected(QRect(QPoint(0, 0), sizeHint()));
        if (!rect.isEmpty())
            painter.drawImage(rect.topLeft(), shrunk(rect));
        return;
    }
    const QRect pixels = QRect(event->rect().topLeft() / scale, event->rect().bottomRight() / scale)
                             .intersected(bitmap.rect());
    if (pixels.isEmpty())
        return;
    // The same rule as the text: a dark colour is drawn black, any other white.
    QImage part = bitmap.copy(pixels);
    QList<QRgb> table = part.colorTable();
    for (QRgb &entry : table)
        entry = TextFormat::isDarkColour(entry) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    part.setColorTable(table);
    painter.drawImage(QRect(pixels.topLeft() * scale, pixels.size() * scale), part);
}

void Preview::mousePressEvent(QMouseEvent *event)
{
    const int row = rowAt(int(event->position().y()));
    if (row >= 0 && row < bitmap.height())
        emit rowClicked(row);
}

void Preview::wheelEvent(QWheelEvent *event)
{
    // Without Ctrl the wheel scrolls, which the scroll area around does.
    if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    emit zoomAsked(event->angleDelta().y() > 0 ? 1 : -1, event->position().toPoint());
}
