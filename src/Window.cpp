// The window: its parts laid out and wired, the choice of a picture, saving and copying.

#include "Controls.h"
#include "JobQueue.h"
#include "MyApp.h"
#include "PreviewPane.h"
#include "RowDelegate.h"
#include "StatusLine.h"
#include "ToolkitReader.h"

#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QTime>

#include <new>

namespace
{

// NAME's label, its mnemonic leading to BUDDY.
QLabel *labelFor(const QString &name, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(name, parent);
    label->setBuddy(buddy);
    label->setFixedSize(80, 30);
    return label;
}

// The open dialog, starting in DIR: the chosen file, or nothing when it is cancelled.
QString choosePicture(const QString &dir)
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(format));
    QFileDialog dialog(
        nullptr, QStringLiteral("Select bitmap to convert"), dir,
        QStringLiteral("Images (%1);;Library texts (*.src);;Windows bitmaps (*.bmp);;All files (*)")
            .arg(patterns.join(u' ')));
    dialog.setObjectName(QStringLiteral("Pictorn"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

void MyApp::setupQt(const Options &options)
{
    quietTiff();
    start = options;
    nameEdit.setText(options.name);
    packageEdit.setText(options.package);
    auto *nameRow = new QHBoxLayout;
    auto *packageRow = new QHBoxLayout;
    auto *middleRow = new QHBoxLayout;
    auto *buttonRow = new QHBoxLayout;
    setWindowTitle(QStringLiteral("Pictorn Converter"));
    setWindowIcon(QIcon(QStringLiteral(":/pictorn.svg")));
    setAcceptDrops(true);

    nameLabel = labelFor(QStringLiteral("&Name : "), &nameEdit, this);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(&nameEdit);
    packageLabel = labelFor(QStringLiteral("&Package : "), &packageEdit, this);
    packageRow->addWidget(packageLabel);
    packageRow->addWidget(&packageEdit);

    // The rows of "#" and "." only draw the picture when every character has the same width.
    rows.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    listBox.setUniformItemSizes(true);
    listBox.setItemDelegate(new RowDelegate(&listBox));
    listBox.resize(200, 500);
    previewPane = new PreviewPane(this);
    middleRow->addWidget(&listBox, 1);
    middleRow->addWidget(previewPane, 1);

    controls = new Controls(options.reduction, this);
    const QList<QBoxLayout *> controlRows = controls->rows();
    openButton = new QPushButton(QStringLiteral("&Open…"), this);
    openButton->setAutoDefault(false);
    controlRows.first()->insertWidget(0, openButton);
    copyButton = new QPushButton(QStringLiteral("&Copy"), this);
    copyButton->setAutoDefault(false);
    copyButton->setEnabled(false);
    copyButton->setToolTip(QStringLiteral("The whole text, as Save writes it (Ctrl+Shift+C)"));
    controlRows.last()->addWidget(copyButton);
    statusLine = new StatusLine(this);

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
    for (QBoxLayout *row : controlRows)
        topLayout.addLayout(row);
    topLayout.addWidget(statusLine);
    topLayout.addLayout(buttonRow);
    const QList<QWidget *> order = QList<QWidget *>{&nameEdit, &packageEdit, &listBox, openButton} +
                                   controls->tabOrder() +
                                   QList<QWidget *>{copyButton, saveButton, quitButton};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    nameEdit.setFocus();

    jobs = new JobQueue(this);
    const auto shortcut = [this](const QKeySequence &keys, auto slot) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence::Save, &MyApp::slotSave);
    shortcut(QKeySequence::Open, &MyApp::slotOpen);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &MyApp::slotCopy);
    shortcut(QKeySequence::ZoomIn, [this] { previewPane->zoom(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { previewPane->zoom(1); });
    shortcut(QKeySequence::ZoomOut, [this] { previewPane->zoom(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { previewPane->fitAgain(); });
    connect(saveButton, &QPushButton::clicked, this, &MyApp::slotSave);
    connect(quitButton, &QPushButton::clicked, this, &MyApp::slotQuit);
    connect(openButton, &QPushButton::clicked, this, &MyApp::slotOpen);
    connect(copyButton, &QPushButton::clicked, this, &MyApp::slotCopy);
    connect(controls, &Controls::changed, this, &MyApp::requestJob);
    connect(&nameEdit, &QLineEdit::textChanged, this, [this] { setSaved(false); });
    connect(&packageEdit, &QLineEdit::textChanged, this, [this] { setSaved(false); });
    // The preview follows the row chosen, by the mouse or the keyboard, again when it is chosen
    // again.
    const auto showLine = [this](const QModelIndex &index) {
        if (index.row() >= RowsModel::headerLines)
            previewPane->showRow(index.row() - RowsModel::headerLines);
    };
    connect(listBox.selectionModel(), &QItemSelectionModel::currentChanged, this, showLine);
    connect(&listBox, &QListView::clicked, this, showLine);
    connect(previewPane, &PreviewPane::rowClicked, this, [this](int row) {
        const QModelIndex line = rows.index(row + RowsModel::headerLines);
        listBox.setCurrentIndex(line);
        listBox.scrollTo(line, QAbstractItemView::PositionAtCenter);
    });
    connect(previewPane, &PreviewPane::zoomChanged, this,
            [this] { statusLine->setZoom(previewPane->zoomText()); });
    connect(jobs, &JobQueue::done, this, &MyApp::slotJobDone);
    connect(jobs, &JobQueue::failed, statusLine, &StatusLine::setMessage);
    // Quitting, however the window closes, waits for no drawing.
    connect(this, &QDialog::finished, jobs, &JobQueue::cancel);
    setSaved(false);
}

int MyApp::loadFile()
{
    // Only the open dialog's choice ends the run when it gives no picture: a file named on the
    // command line ("Open with" of a desktop) opens the window all the same, saying why.
    const bool chosen = start.files.isEmpty();
    const QString name = chosen ? choosePicture(QDir::homePath()) : start.files.first();
    if (chosen && (name.isEmpty() || (name != u"-" && !QFileInfo::exists(name))))
        return 1;
    // Whether the file is a picture, and its size, are known before the window shows; its
    // drawing, which may take long, comes after, off the window's thread like any other job's.
    const Reduction settings = controls->reduction();
    Picture first;
    Picture::Status status = first.read(name);
    if (status == Picture::Loaded)
        status = first.decode(settings);
    if (status == Picture::Loaded) {
        inFile = name;
        if (start.files.size() > 1)
            outFile = start.files.at(1);
        else
            changeExtension();
        jobs->adopt(first, name, settings);
        jobs->reduce(settings);
        controls->setOriginalSize(first.sourceSize());
        // Save and Copy wait for the drawing.
        saveButton->setEnabled(true);
        copyButton->setEnabled(true);
        fitWindow(scaledSize(first.sourceSize(), settings));
        return 0;
    }
    if (chosen)
        return status == Picture::NotAPicture ? 6 : 1;
    if (start.files.size() > 1)
        outFile = start.files.at(1);
    statusLine->setMessage(readProblem(status, name) + u'.');
    resize(560, 400);
    openButton->setFocus();
    return 0;
}

void MyApp::fitWindow(QSize size)
{
    if (size.isEmpty())
        return;
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    const int charWidth =
        QFontMetrics(QFontDatabase::systemFont(QFontDatabase::FixedFont)).horizontalAdvance(u'#');
    const int width = qBound(560,
                             charWidth * qMin(size.width() + 6, 80) + 40 +
                                 qMin(size.width(), 1000) * qMax(1, 256 / size.width()),
                             screen.width() * 9 / 10);
    const int height =
        qBound(400, 200 + qMax(qMin(size.height(), 1000) * qMax(1, 256 / size.height()), 200),
               screen.height() * 9 / 10);
    resize(width, height);
}

void MyApp::openPicture(const QString &name)
{
    // A new picture starts at its own size.
    Reduction settings = controls->reduction();
    settings.width = settings.height = 0;
    setSaved(false);
    jobs->open(name, settings);
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

// Return saves from Name and Package, as it always has; in a number or a box it only takes the
// value, so that a threshold typed and entered does not overwrite the file.
void MyApp::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && focusWidget() != &nameEdit && focusWidget() != &packageEdit) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MyApp::slotSave()
{
    if (!saveButton || !saveButton->isEnabled() || saving)
        return;
    const QScopedValueRollback<bool> busy(saving, true);
    // What is written is the picture of the latest settings, however long it takes.
    jobs->waitIdle();
    if (bitmap.isNull())
        return;
    QString target = outFile;
    QString why;
    while (!writeOutput(target, &why)) {
        statusLine->setMessage(
            QStringLiteral("Cannot save to %1: %2.")
                .arg(target, why.isEmpty() ? QStringLiteral("the file cannot be written") : why));
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
    statusLine->setNote(
        QStringLiteral("Saved to %1 at %2")
            .arg(outFile, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

// The text goes through the writer, into memory instead of a file, so that it is the very text
// Save writes.
void MyApp::slotCopy()
{
    if (!copyButton || !copyButton->isEnabled() || saving)
        return;
    const QScopedValueRollback<bool> busy(saving, true);
    jobs->waitIdle();
    if (bitmap.isNull())
        return;
    QByteArray text;
    bool copied = false;
    try {
        copied = writeLines([&text](const QByteArray &chunk) {
            text += chunk;
            return true;
        });
    } catch (const std::bad_alloc &) {
    }
    if (!copied) {
        statusLine->setMessage(QStringLiteral("Not enough memory to copy the text."));
        return;
    }
    QGuiApplication::clipboard()->setText(QString::fromLocal8Bit(text));
    statusLine->setMessage(QStringLiteral("Copied %1 bytes to the clipboard.").arg(text.size()));
}

void MyApp::slotQuit()
{
    close();
}
