// The window: its controls, the choice of a picture, and what they do.

#include "MyApp.h"
#include "Preview.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QTime>

void MyApp::setupQt()
{
    auto *nameRow = new QHBoxLayout;
    auto *packageRow = new QHBoxLayout;
    auto *middleRow = new QHBoxLayout;
    auto *controlRow = new QHBoxLayout;
    auto *buttonRow = new QHBoxLayout;
    setWindowTitle(QStringLiteral("Pictorn Converter"));
    setWindowIcon(QIcon(QStringLiteral(":/pictorn.svg")));

    nameLabel = new QLabel(QStringLiteral("&Name : "), this);
    nameLabel->setFixedSize(80, 30);
    nameLabel->setBuddy(&nameEdit);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(&nameEdit);

    packageLabel = new QLabel(QStringLiteral("&Package : "), this);
    packageLabel->setFixedSize(80, 30);
    packageLabel->setBuddy(&packageEdit);
    packageRow->addWidget(packageLabel);
    packageRow->addWidget(&packageEdit);

    // The rows of "#" and "." only draw the picture when every character has the same width.
    rows.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    listBox.setUniformItemSizes(true);
    listBox.resize(200, 500);
    preview = new Preview;
    previewArea = new QScrollArea(this);
    previewArea->setWidget(preview);
    previewArea->setAlignment(Qt::AlignCenter);
    middleRow->addWidget(&listBox, 1);
    middleRow->addWidget(previewArea, 1);

    auto *thresholdLabel = new QLabel(QStringLiteral("&Threshold"), this);
    thresholdSlider = new QSlider(Qt::Horizontal, this);
    thresholdSlider->setRange(1, 99);
    thresholdSlider->setValue(reduction.threshold);
    thresholdLabel->setBuddy(thresholdSlider);
    invertBox = new QCheckBox(QStringLiteral("&Invert"), this);
    ditherBox = new QCheckBox(QStringLiteral("&Dither"), this);
    controlRow->setContentsMargins(4, 2, 4, 2);
    controlRow->addWidget(thresholdLabel);
    controlRow->addWidget(thresholdSlider, 1);
    controlRow->addWidget(invertBox);
    controlRow->addWidget(ditherBox);
    savedLabel = new QLabel(this);
    savedLabel->setContentsMargins(4, 0, 4, 0);

    saveButton = new QPushButton(this);
    saveButton->setFixedSize(100, 30);
    saveButton->setText(QStringLiteral("&Save"));
    saveButton->setEnabled(false);
    // Each button in the middle of its half of the row, however wide the window.
    buttonRow->addWidget(saveButton, 1, Qt::AlignHCenter);

    quitButton = new QPushButton(this);
    quitButton->setText(QStringLiteral("&Quit"));
    quitButton->setFixedSize(100, 30);
    buttonRow->addWidget(quitButton, 1, Qt::AlignHCenter);

    topLayout.addLayout(nameRow);
    topLayout.addLayout(packageRow);
    topLayout.addLayout(middleRow, 1);
    topLayout.addLayout(controlRow);
    topLayout.addWidget(savedLabel);
    topLayout.addLayout(buttonRow);
    setTabOrder(&nameEdit, &packageEdit);
    nameEdit.setFocus();

    connect(saveButton, &QPushButton::clicked, this, &MyApp::slotSave);
    connect(quitButton, &QPushButton::clicked, this, &MyApp::slotQuit);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, &MyApp::slotSave);
    connect(thresholdSlider, &QSlider::valueChanged, this, &MyApp::slotReductionChanged);
    connect(invertBox, &QCheckBox::toggled, this, &MyApp::slotReductionChanged);
    connect(ditherBox, &QCheckBox::toggled, this, &MyApp::slotReductionChanged);
    connect(&listBox, &QListView::clicked, this, &MyApp::slotLineChosen);
    connect(preview, &Preview::rowClicked, this, &MyApp::slotRowClicked);
}

int MyApp::loadFile()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(format));
    QFileDialog dialog(nullptr, QStringLiteral("Select bitmap to convert"), QDir::homePath(),
                       QStringLiteral("Images (%1);;Windows bitmaps (*.bmp);;All files (*)")
                           .arg(patterns.join(u' ')));
    dialog.setObjectName(QStringLiteral("Pictorn"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    inFile = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    const int status = process();
    if (status == 0) {
        preview->setBitmap(bitmap);
        // A first size that shows the picture and the start of its rows, within the screen.
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        const int charWidth = QFontMetrics(rows.data(rows.index(0), Qt::FontRole).value<QFont>())
                                  .horizontalAdvance(u'#');
        const int width = qBound(480,
                                 charWidth * qMin(bitmap.width() + 6, 80) + 40 +
                                     bitmap.width() * qMax(1, 256 / bitmap.width()),
                                 screen.width() * 9 / 10);
        const int height =
            qBound(360, 160 + qMax(bitmap.height() * qMax(1, 256 / bitmap.height()), 200),
                   screen.height() * 9 / 10);
        resize(width, height);
    }
    return status;
}

void MyApp::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitPreview();
}

// The largest whole-number zoom at which the picture fits its space, and at least 1:1.
void MyApp::fitPreview()
{
    if (!preview || preview->pictureSize().isEmpty())
        return;
    const QSize space = previewArea->maximumViewportSize();
    const QSize picture = preview->pictureSize();
    preview->setZoom(qMin(space.width() / picture.width(), space.height() / picture.height()));
}

void MyApp::slotReductionChanged()
{
    reduction.threshold = thresholdSlider->value();
    reduction.invert = invertBox->isChecked();
    reduction.dither = ditherBox->isChecked();
    if (picture.isNull())
        return;
    const QImage reduced = picture.reduce(reduction);
    if (reduced.isNull())
        return;
    bitmap = reduced;
    rows.setBitmap(bitmap);
    preview->setBitmap(bitmap);
}

void MyApp::slotLineChosen(const QModelIndex &index)
{
    const int row = index.row() - RowsModel::headerLines;
    if (row >= 0)
        previewArea->ensureVisible(previewArea->horizontalScrollBar()->value(),
                                   row * preview->zoom() + preview->zoom() / 2, 0,
                                   previewArea->viewport()->height() / 2);
}

void MyApp::slotRowClicked(int row)
{
    const QModelIndex line = rows.index(row + RowsModel::headerLines);
    listBox.setCurrentIndex(line);
    listBox.scrollTo(line, QAbstractItemView::PositionAtCenter);
}

void MyApp::slotSave()
{
    if (!saveButton || !saveButton->isEnabled())
        return;
    changeExtension();
    while (!writeOutput(outFile)) {
        QFileDialog dialog(nullptr, QStringLiteral("Output File"), QDir::homePath(),
                           QStringLiteral("Source (*.src)"));
        dialog.setObjectName(QStringLiteral("Pictorn"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        outFile = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
        if (outFile.isEmpty())
            return;
    }
    savedLabel->setText(
        QStringLiteral("Saved to %1 at %2")
            .arg(outFile, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void MyApp::slotQuit()
{
    close();
}
