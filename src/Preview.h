#ifndef PREVIEW_H
#define PREVIEW_H

#include <QImage>
#include <QList>
#include <QWidget>

// The 1-bit picture as it will be written, black on white, with square pixels: zoomed in by a
// whole number, or zoomed out by a power of two, where each screen pixel is a grey as dark as its
// part of the picture. Only the part on screen is ever drawn, so a picture of any size is quick.
class Preview : public QWidget
{
    Q_OBJECT

public:
    explicit Preview(QWidget *parent = nullptr);

    // The picture at a quarter, an eighth and so on of its size, each pixel the lightness of the
    // pixels it stands for: made once for each picture, off the window's thread, so that a
    // zoomed-out view draws as fast as a zoomed-in one.
    static QList<QImage> levels(const QImage &bitmap);

    void setBitmap(const QImage &bitmap, const QList<QImage> &levels);
    // The zoom that shows the whole picture in SPACE: the largest whole number, or the smallest
    // power of two to shrink by.
    void fit(QSize space);
    void zoomIn();
    void zoomOut();

    QSize pictureSize() const { return bitmap.size(); }
    // The pixel row of the picture at Y of the widget, and the middle of row ROW on the widget.
    int rowAt(int y) const;
    int yOfRow(int row) const;
    QSize sizeHint() const override;

signals:
    void rowClicked(int row);
    // Ctrl and the wheel: a step in (positive) or out.
    void zoomAsked(int steps);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void setZoom(int newScale, int newShrink);
    QImage shrunk(const QRect &rect) const;

    QImage bitmap;
    QList<QImage> pyramid;
    int scale = 1;  // screen pixels a picture pixel, when zoomed in
    int shrink = 1; // picture pixels a screen pixel, when zoomed out
};

#endif
