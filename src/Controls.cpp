#include "Controls.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

namespace
{

// NAME's label, its mnemonic leading to BUDDY.
QLabel *labelFor(const QString &name, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(name, parent);
    label->setBuddy(buddy);
    return label;
}

QSpinBox *spinBox(int least, int most, int value, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setRange(least, most);
    box->setValue(value);
    return box;
}

QCheckBox *checkBox(const QString &name, bool checked, QWidget *parent)
{
    auto *box = new QCheckBox(name, parent);
    box->setChecked(checked);
    return box;
}

// Shows VALUE in BOX, unless the user is typing a number there that is not taken yet: a result
// that arrives meanwhile must not overwrite it.
void showValue(QSpinBox *box, int value)
{
    QString taken = box->locale().toString(box->value());
    taken.remove(box->locale().groupSeparator());
    if (box->cleanText() == taken)
        box->setValue(value);
}

QString turnText(int degrees)
{
    return QStringLiteral("Rotate: %1°").arg(degrees);
}

} // namespace

Controls::Controls(const Reduction &start, QWidget *parent) : QObject(parent), settings(start)
{
    thresholdSlider = new QSlider(Qt::Horizontal, parent);
    thresholdSlider->setRange(1, 99);
    thresholdSlider->setValue(start.threshold);
    thresholdBox = spinBox(1, 99, start.threshold, parent);
    autoBox = checkBox(QStringLiteral("A&uto"), start.autoThreshold, parent);
    thresholdSlider->setEnabled(!start.autoThreshold);
    thresholdBox->setEnabled(!start.autoThreshold);
    invertBox = checkBox(QStringLiteral("&Invert"), start.invert, parent);
    ditherBox = checkBox(QStringLiteral("&Dither"), start.dither, parent);
    auto *thresholdRow = new QHBoxLayout;
    thresholdRow->setContentsMargins(4, 2, 4, 2);
    thresholdRow->addWidget(labelFor(QStringLiteral("&Threshold"), thresholdBox, parent));
    thresholdRow->addWidget(thresholdSlider, 1);
    thresholdRow->addWidget(thresholdBox);
    thresholdRow->addWidget(autoBox);
    thresholdRow->addWidget(invertBox);
    thresholdRow->addWidget(ditherBox);

    widthBox = spinBox(1, maxSide, 1, parent);
    heightBox = spinBox(1, maxSide, 1, parent);
    // A number typed digit by digit is taken once it is whole, not at every digit.
    widthBox->setKeyboardTracking(false);
    heightBox->setKeyboardTracking(false);
    keepBox = checkBox(QStringLiteral("&Keep proportions"), start.width == 0 || start.height == 0,
                       parent);
    shapeBox = checkBox(QStringLiteral("Sh&ape from transparency"), start.shape, parent);
    auto *sizeRow = new QHBoxLayout;
    sizeRow->setContentsMargins(4, 2, 4, 2);
    sizeRow->addWidget(labelFor(QStringLiteral("&Width"), widthBox, parent));
    sizeRow->addWidget(widthBox);
    sizeRow->addWidget(labelFor(QStringLiteral("&Height"), heightBox, parent));
    sizeRow->addWidget(heightBox);
    sizeRow->addWidget(keepBox);
    sizeRow->addStretch(1);
    sizeRow->addWidget(shapeBox);

    linesBox = checkBox(QStringLiteral("Keep thin &lines"), start.keepLines, parent);
    trimBox = checkBox(QStringLiteral("Trim &margins"), start.trim, parent);
    marginBox = spinBox(0, maxMargin, start.margin, parent);
    marginBox->setKeyboardTracking(false);
    mirrorBox = checkBox(QStringLiteral("Mi&rror"), start.mirror, parent);
    rotateButton = new QPushButton(turnText(start.rotate), parent);
    rotateButton->setAutoDefault(false);
    rotateButton->setToolTip(QStringLiteral("A quarter turn clockwise (Ctrl+R)"));
    auto *shapeRow = new QHBoxLayout;
    shapeRow->setContentsMargins(4, 2, 4, 2);
    shapeRow->addWidget(linesBox);
    shapeRow->addWidget(trimBox);
    shapeRow->addWidget(labelFor(QStringLiteral("Mar&gin"), marginBox, parent));
    shapeRow->addWidget(marginBox);
    shapeRow->addWidget(mirrorBox);
    shapeRow->addWidget(rotateButton);
    shapeRow->addStretch(1);
    layouts = {thresholdRow, sizeRow, shapeRow};

    connect(thresholdSlider, &QSlider::valueChanged, thresholdBox, &QSpinBox::setValue);
    connect(thresholdBox, &QSpinBox::valueChanged, thresholdSlider, &QSlider::setValue);
    connect(thresholdBox, &QSpinBox::valueChanged, this, &Controls::take);
    for (QCheckBox *box : {autoBox, invertBox, ditherBox, linesBox, trimBox, mirrorBox})
        connect(box, &QCheckBox::toggled, this, &Controls::take);
    connect(marginBox, &QSpinBox::valueChanged, this, &Controls::take);
    connect(shapeBox, &QCheckBox::toggled, this, &Controls::takeSize);
    connect(widthBox, &QSpinBox::valueChanged, this, &Controls::takeSize);
    connect(heightBox, &QSpinBox::valueChanged, this, &Controls::takeSize);
    connect(keepBox, &QCheckBox::toggled, this, &Controls::takeSize);
    connect(rotateButton, &QPushButton::clicked, this, &Controls::rotate);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), parent), &QShortcut::activated, this,
            &Controls::rotate);
}

QList<QWidget *> Controls::tabOrder() const
{
    return {thresholdSlider, thresholdBox, autoBox,  invertBox, ditherBox, widthBox,  heightBox,
            keepBox,         shapeBox,     linesBox, trimBox,   marginBox, mirrorBox, rotateButton};
}

void Controls::take()
{
    settings.autoThreshold = autoBox->isChecked();
    // While the level is chosen from the picture, the number shows it and cannot be set.
    thresholdSlider->setEnabled(!settings.autoThreshold);
    thresholdBox->setEnabled(!settings.autoThreshold);
    settings.threshold = thresholdBox->value();
    settings.invert = invertBox->isChecked();
    settings.dither = ditherBox->isChecked();
    settings.keepLines = linesBox->isChecked();
    settings.trim = trimBox->isChecked();
    settings.margin = marginBox->value();
    settings.mirror = mirrorBox->isChecked();
    emit changed();
}

// With proportions kept, the side just set leads and the other follows, as -width or -height
// alone does on the command line.
void Controls::takeSize()
{
    settings.shape = shapeBox->isChecked();
    if (!keepBox->isChecked()) {
        settings.width = widthBox->value();
        settings.height = heightBox->value();
    } else if (sender() == heightBox) {
        settings.width = 0;
        settings.height = heightBox->value();
    } else if (sender() == widthBox || sender() == keepBox) {
        settings.width = widthBox->value();
        settings.height = 0;
    }
    // A quarter turn swaps the sides the proportions are kept between.
    const QSize turned = settings.rotate % 180 ? original.transposed() : original;
    const QSize size = scaledSize(turned, settings);
    if (!size.isEmpty()) {
        const QSignalBlocker widthBlocker(widthBox), heightBlocker(heightBox);
        widthBox->setValue(size.width());
        heightBox->setValue(size.height());
    }
    emit changed();
}

void Controls::rotate()
{
    settings.rotate = (settings.rotate + 90) % 360;
    rotateButton->setText(turnText(settings.rotate));
    emit changed();
}

void Controls::setOriginalSize(QSize size)
{
    original = size;
}

void Controls::resetSize()
{
    settings.width = settings.height = 0;
}

void Controls::showResult(QSize size, int chosenThreshold)
{
    const QSignalBlocker widthBlocker(widthBox), heightBlocker(heightBox);
    showValue(widthBox, size.width());
    showValue(heightBox, size.height());
    if (settings.autoThreshold && chosenThreshold > 0) {
        const QSignalBlocker boxBlocker(thresholdBox), sliderBlocker(thresholdSlider);
        thresholdBox->setValue(chosenThreshold);
        thresholdSlider->setValue(chosenThreshold);
        settings.threshold = chosenThreshold;
    }
}
