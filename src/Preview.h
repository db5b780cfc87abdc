#ifndef PREVIEW_H
#define PREVIEW_H

#include <QImage>
#include <QList>
#include <QWidget>

// The 1-bit picture as it will be written, black on white, with square pixels: zoomed in or out by
// a whole number, where zoomed out each screen pixel is a grey as dark as its part of the picture.
// Only the part on screen is ever drawn, so a picture of any size is quick.
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
    // The zoom that shows the whole picture in SPACE: the largest whole number to grow by, or the
    // smallest to shrink by.
    void fit(QSize space);
    // One more screen pixel a picture pixel, or half as many picture pixels a screen pixel.
    void zoomIn();
    // One screen pixel less a picture pixel, or twice as many picture pixels a screen pixel.
    void zoomOut();
    // The zoom as screen pixels to picture pixels: "4:1", "1:6".
    QString zoomText() const;

    QSize pictureSize() const { return bitmap.size(); }
    // The pixel row of the picture at Y of the widget, and the middle of row ROW on the widget.
    int rowAt(int y) const;
    int yOfRow(int row) const;
    QSize sizeHint() const override;

signals:
    void rowClicked(int row);
    // Ctrl and the wheel: a step in (positive) or out, about the point AT of the widget.
    void zoomAsked(int steps, QPoint at);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void setZoom(int newScale, int newShrink);
    // One screen pixel for the whole picture.
    int mostShrink() const;
    QImage shrunk(const QRect &rect) const;

    QImage bitmap;
    QList<QImage> pyramid;
    int scale = 1;  // screen pixels a picture pixel, when zoomed in
    int shrink = 1; // picture pixels a screen pixel (on each side), when zoomed out
};

#endif
