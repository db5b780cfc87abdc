#ifndef PREVIEW_H
#define PREVIEW_H

#include <QImage>
#include <QWidget>

// The 1-bit picture as it will be written, black on white, every pixel a square of a
// whole-number size. Only the part on screen is ever drawn, so a picture of any size is quick.
class Preview : public QWidget
{
    Q_OBJECT

public:
    explicit Preview(QWidget *parent = nullptr);

    void setBitmap(const QImage &bitmap);
    void setZoom(int zoom);
    int zoom() const { return scale; }
    QSize pictureSize() const { return bitmap.size(); }
    QSize sizeHint() const override;

signals:
    void rowClicked(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QImage bitmap;
    int scale = 1;
};

#endif
