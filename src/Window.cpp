// The window: its controls, the choice of a picture, and saving.

#include "MyApp.h"
#include "Preview.h"
#include "RowDelegate.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTime>

namespace
{

// NAME's label, its mnemonic leading to BUDDY.
QLabel *labelFor(const QString &name, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(name, parent);
    label->setBuddy(buddy);
    return label;
}

QSpinBox *spinBox(int most, int value, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setRange(1, most);
    box->setValue(value);
    return box;
}

// The open dialog, starting in DIR: the chosen file, or nothing when it is cancelled.
QString choosePicture(const QString &dir)
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(format));
    QFileDialog dialog(nullptr, QStringLiteral("Select bitmap to convert"), dir,
                       QStringLiteral("Images (%1);;Windows bitmaps (*.bmp);;All files (*)")
                           .arg(patterns.join(u' ')));
    dialog.setObjectName(QStringLiteral("Pictorn"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

void MyApp::setupQt(const Options &options)
{
    start = options;
    reduction = options.reduction;
    nameEdit.setText(options.name);
    packageEdit.setText(options.package);
    auto *nameRow = new QHBoxLayout;
    auto *packageRow = new QHBoxLayout;
    auto *middleRow = new QHBoxLayout;
    auto *controlRow = new QHBoxLayout;
    auto *sizeRow = new QHBoxLayout;
    auto *buttonRow = new QHBoxLayout;
    setWindowTitle(QStringLiteral("Pictorn Converter"));
    setWindowIcon(QIcon(QStringLiteral(":/pictorn.svg")));
    setAcceptDrops(true);

    nameLabel = labelFor(QStringLiteral("&Name : "), &nameEdit, this);
    nameLabel->setFixedSize(80, 30);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(&nameEdit);
    packageLabel = labelFor(QStringLiteral("&Package : "), &packageEdit, this);
    packageLabel->setFixedSize(80, 30);
    packageRow->addWidget(packageLabel);
    packageRow->addWidget(&packageEdit);

    // The rows of "#" and "." only draw the picture when every character has the same width.
    rows.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    listBox.setUniformItemSizes(true);
    listBox.setItemDelegate(new RowDelegate(&listBox));
    listBox.resize(200, 500);
    preview = new Preview;
    previewArea = new QScrollArea(this);
    previewArea->setWidget(preview);
    previewArea->setAlignment(Qt::AlignCenter);
    // It draws no focus, so the keyboard would seem lost in it: the rows scroll it instead.
    previewArea->setFocusPolicy(Qt::NoFocus);
    previewArea->installEventFilter(this);
    middleRow->addWidget(&listBox, 1);
    middleRow->addWidget(previewArea, 1);

    auto *openButton = new QPushButton(QStringLiteral("&Open…"), this);
    openButton->setAutoDefault(false);
    thresholdSlider = new QSlider(Qt::Horizontal, this);
    thresholdSlider->setRange(1, 99);
    thresholdSlider->setValue(reduction.threshold);
    thresholdBox = spinBox(99, reduction.threshold, this);
    invertBox = new QCheckBox(QStringLiteral("&Invert"), this);
    invertBox->setChecked(reduction.invert);
    ditherBox = new QCheckBox(QStringLiteral("&Dither"), this);
    ditherBox->setChecked(reduction.dither);
    controlRow->setContentsMargins(4, 2, 4, 2);
    controlRow->addWidget(openButton);
    controlRow->addWidget(labelFor(QStringLiteral("&Threshold"), thresholdBox, this));
    controlRow->addWidget(thresholdSlider, 1);
    controlRow->addWidget(thresholdBox);
    controlRow->addWidget(invertBox);
    controlRow->addWidget(ditherBox);

    widthBox = spinBox(maxSide, 1, this);
    heightBox = spinBox(maxSide, 1, this);
    // A number typed digit by digit is taken once it is whole, not at every digit.
    widthBox->setKeyboardTracking(false);
    heightBox->setKeyboardTracking(false);
    keepBox = new QCheckBox(QStringLiteral("&Keep proportions"), this);
    keepBox->setChecked(reduction.width == 0 || reduction.height == 0);
    shapeBox = new QCheckBox(QStringLiteral("Sh&ape from transparency"), this);
    shapeBox->setChecked(reduction.shape);
    sizeRow->setContentsMargins(4, 2, 4, 2);
    sizeRow->addWidget(labelFor(QStringLiteral("&Width"), widthBox, this));
    sizeRow->addWidget(widthBox);
    sizeRow->addWidget(labelFor(QStringLiteral("&Height"), heightBox, this));
    sizeRow->addWidget(heightBox);
    sizeRow->addWidget(keepBox);
    sizeRow->addStretch(1);
    sizeRow->addWidget(shapeBox);
    savedLabel = new QLabel(this);
    savedLabel->setContentsMargins(4, 0, 4, 0);
    // A long path in it is cut rather than widening the window.
    savedLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    saveButton = new QPushButton(QStringLiteral("&Save"), this);
    saveButton->setFixedSize(100, 30);
    saveButton->setEnabled(false);
    // Each button in the middle of its half of the row, however wide the window.
    buttonRow->addWidget(saveButton, 1, Qt::AlignHCenter);
    quitButton = new QPushButton(QStringLiteral("&Quit"), this);
    quitButton->setFixedSize(100, 30);
    buttonRow->addWidget(quitButton, 1, Qt::AlignHCenter);

    topLayout.addLayout(nameRow);
    topLayout.addLayout(packageRow);
    topLayout.addLayout(middleRow, 1);
    topLayout.addLayout(controlRow);
    topLayout.addLayout(sizeRow);
    topLayout.addWidget(savedLabel);
    topLayout.addLayout(buttonRow);
    const QList<QWidget *> order = {
        &nameEdit, &packageEdit, &listBox,  openButton, thresholdSlider, thresholdBox, invertBox,
        ditherBox, widthBox,     heightBox, keepBox,    shapeBox,        saveButton,   quitButton};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    nameEdit.setFocus();

    const auto shortcut = [this](const QKeySequence &keys, auto slot) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence::Save, &MyApp::slotSave);
    shortcut(QKeySequence::Open, &MyApp::slotOpen);
    shortcut(QKeySequence::ZoomIn, [this] { zoom(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { zoom(1); });
    shortcut(QKeySequence::ZoomOut, [this] { zoom(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] {
        fitted = true;
        fitPreview();
    });
    connect(saveButton, &QPushButton::clicked, this, &MyApp::slotSave);
    connect(quitButton, &QPushButton::clicked, this, &MyApp::slotQuit);
    connect(openButton, &QPushButton::clicked, this, &MyApp::slotOpen);
    connect(thresholdSlider, &QSlider::valueChanged, thresholdBox, &QSpinBox::setValue);
    connect(thresholdBox, &QSpinBox::valueChanged, thresholdSlider, &QSlider::setValue);
    connect(thresholdBox, &QSpinBox::valueChanged, this, &MyApp::slotReductionChanged);
    connect(invertBox, &QCheckBox::toggled, this, &MyApp::slotReductionChanged);
    connect(ditherBox, &QCheckBox::toggled, this, &MyApp::slotReductionChanged);
    connect(shapeBox, &QCheckBox::toggled, this, &MyApp::slotSizeChanged);
    connect(widthBox, &QSpinBox::valueChanged, this, &MyApp::slotSizeChanged);
    connect(heightBox, &QSpinBox::valueChanged, this, &MyApp::slotSizeChanged);
    connect(keepBox, &QCheckBox::toggled, this, &MyApp::slotSizeChanged);
    connect(&nameEdit, &QLineEdit::textChanged, this, [this] { setSaved(false); });
    connect(&packageEdit, &QLineEdit::textChanged, this, [this] { setSaved(false); });
    connect(&listBox, &QListView::clicked, this, &MyApp::slotLineChosen);
    connect(preview, &Preview::rowClicked, this, &MyApp::slotRowClicked);
    connect(preview, &Preview::zoomAsked, this, &MyApp::zoom);
    connect(&watcher, &QFutureWatcher<Job>::finished, this, &MyApp::slotJobDone);
    // Quitting, however the window closes, waits for no drawing.
    connect(this, &QDialog::finished, this, [this] {
        if (jobRunning)
            runningCancel->cancel();
    });
}

int MyApp::loadFile()
{
    const QString name =
        start.files.isEmpty() ? choosePicture(QDir::homePath()) : start.files.first();
    if (name.isEmpty() || (name != u"-" && !QFileInfo::exists(name)))
        return 1;
    // Whether the file is a picture, and its size, are known before the window shows; its
    // drawing, which may take long, comes after, off the window's thread like any other job's.
    // Save waits for it, and saves nothing should it fail.
    Picture::Status status = picture.read(name);
    if (status == Picture::Loaded)
        status = picture.decode(reduction);
    if (status != Picture::Loaded)
        return status == Picture::NotAPicture ? 6 : 1;
    decodedFor = reduction;
    const QSize size = scaledSize(picture.originalSize(), reduction);
    inFile = name;
    if (start.files.size() > 1)
        outFile = start.files.at(1);
    else
        changeExtension();
    writeBitmapToStream();
    saveButton->setEnabled(true);
    requestJob();
    // A first size that shows the picture and the start of its rows, within the screen.
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    const int charWidth =
        QFontMetrics(rows.data(rows.index(0), Qt::FontRole).value<QFont>()).horizontalAdvance(u'#');
    const int width = qBound(560,
                             charWidth * qMin(size.width() + 6, 80) + 40 +
                                 qMin(size.width(), 1000) * qMax(1, 256 / size.width()),
                             screen.width() * 9 / 10);
    const int height =
        qBound(400, 200 + qMax(qMin(size.height(), 1000) * qMax(1, 256 / size.height()), 200),
               screen.height() * 9 / 10);
    resize(width, height);
    return 0;
}

void MyApp::openPicture(const QString &name)
{
    Picture read;
    const Picture::Status status = read.read(name);
    if (status != Picture::Loaded) {
        problem = readProblem(status, name) + u'.';
        showStatus();
        return;
    }
    nextPicture = read;
    nextFile = name;
    requestJob();
}

void MyApp::slotOpen()
{
    const QString name =
        choosePicture(inFile.isEmpty() ? QDir::homePath() : QFileInfo(inFile).absolutePath());
    if (!name.isEmpty())
        openPicture(name);
}

void MyApp::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void MyApp::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    openPicture(event->mimeData()->urls().value(0).toLocalFile());
}

void MyApp::slotSave()
{
    if (!saveButton || !saveButton->isEnabled() || saving)
        return;
    const QScopedValueRollback<bool> busy(saving, true);
    // What is written is the picture of the latest settings, however long it takes.
    while (jobRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                        QEventLoop::ExcludeUserInputEvents);
    if (bitmap.isNull())
        return;
    QString target = outFile;
    QString why;
    while (!writeOutput(target, &why)) {
        problem =
            QStringLiteral("Cannot save to %1: %2.")
                .arg(target, why.isEmpty() ? QStringLiteral("the file cannot be written") : why);
        showStatus();
        const QString chosen = outFile;
        const QString fallback = QFileInfo(changeExtension()).fileName();
        outFile = chosen;
        QFileDialog dialog(nullptr, QStringLiteral("Output File"), QFileInfo(inFile).absolutePath(),
                           QStringLiteral("Source (*.src)"));
        dialog.setObjectName(QStringLiteral("Pictorn"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("src"));
        dialog.selectFile(fallback);
        target = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
        if (target.isEmpty())
            return;
    }
    outFile = target;
    setSaved(true);
    savedNote = QStringLiteral("Saved to %1 at %2")
                    .arg(outFile, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    showStatus();
}

void MyApp::slotQuit()
{
    close();
}
