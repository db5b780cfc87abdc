#ifndef CONTROLS_H
#define CONTROLS_H

#include "Pixels.h"

#include <QList>
#include <QObject>
#include <QSize>

class QBoxLayout;
class QCheckBox;
class QPushButton;
class QSlider;
class QSpinBox;
class QWidget;

// The window's controls of the reduction, one for each key of the command line, and the settings
// they stand for: they start from the command line's and change only through the controls.
class Controls : public QObject
{
    Q_OBJECT

public:
    Controls(const Reduction &start, QWidget *parent);

    const Reduction &reduction() const { return settings; }
    // The rows of controls, for the window to lay out, and the controls in the order Tab visits.
    QList<QBoxLayout *> rows() const { return layouts; }
    QList<QWidget *> tabOrder() const;

    // The picture's size as the file gives it, which the side that follows keeps in proportion.
    void setOriginalSize(QSize size);
    // A new picture starts at its own size.
    void resetSize();
    // The size of the picture shown, before its margin; and the level -threshold=auto chose.
    void showResult(QSize size, int chosenThreshold);

public slots:
    // A quarter turn clockwise; four come back to none.
    void rotate();

signals:
    void changed();

private:
    void take();
    void takeSize();

    Reduction settings;
    QSize original;
    QList<QBoxLayout *> layouts;
    QSlider *thresholdSlider;
    QSpinBox *thresholdBox;
    QCheckBox *autoBox;
    QCheckBox *invertBox;
    QCheckBox *ditherBox;
    QSpinBox *widthBox;
    QSpinBox *heightBox;
    QCheckBox *keepBox;
    QCheckBox *shapeBox;
    QCheckBox *linesBox;
    QCheckBox *trimBox;
    QSpinBox *marginBox;
    QCheckBox *mirrorBox;
    QPushButton *rotateButton;
};

#endif
