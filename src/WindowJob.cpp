// The window's reduction, run off its thread, and what the window shows of its result: the rows,
// the preview and its zoom, the status line and the title.

#include "MyApp.h"
#include "Preview.h"
#include "TextFormat.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

void MyApp::slotReductionChanged()
{
    reduction.threshold = thresholdBox->value();
    reduction.invert = invertBox->isChecked();
    reduction.dither = ditherBox->isChecked();
    requestJob();
}

// With proportions kept, the side just set leads and the other follows, as -width or -height
// alone does on the command line.
void MyApp::slotSizeChanged()
{
    reduction.shape = shapeBox->isChecked();
    if (!keepBox->isChecked()) {
        reduction.width = widthBox->value();
        reduction.height = heightBox->value();
    } else if (sender() == heightBox) {
        reduction.width = 0;
        reduction.height = heightBox->value();
    } else if (sender() == widthBox || sender() == keepBox) {
        reduction.width = widthBox->value();
        reduction.height = 0;
    }
    const QSize size = scaledSize(picture.originalSize(), reduction);
    if (!size.isEmpty()) {
        const QSignalBlocker widthBlocker(widthBox), heightBlocker(heightBox);
        widthBox->setValue(size.width());
        heightBox->setValue(size.height());
    }
    requestJob();
}

void MyApp::requestJob()
{
    setSaved(false);
    jobWanted = true;
    // A drawing for older settings, or of a picture that another replaces, is stopped at once; a
    // new picture's first job runs on, since it reads the picture.
    if (jobRunning && (runningFile.isEmpty() || !nextFile.isEmpty()))
        runningCancel->cancel();
    if (!jobRunning)
        startJob();
}

void MyApp::startJob()
{
    Job job;
    if (nextFile.isEmpty()) {
        job.picture = picture;
        job.decodedFor = decodedFor;
    } else {
        job.picture = std::exchange(nextPicture, Picture());
        job.fresh = true;
    }
    runningFile = std::exchange(nextFile, QString());
    job.settings = reduction;
    // A new picture starts at its own size.
    if (job.fresh)
        job.settings.width = job.settings.height = 0;
    jobWanted = false;
    jobRunning = true;
    job.cancel = runningCancel = std::make_shared<Cancel>();
    watcher.setFuture(QtConcurrent::run(runJob, job));
}

void MyApp::slotJobDone()
{
    jobRunning = false;
    const Job job = watcher.result();
    const QString file = std::exchange(runningFile, QString());
    if (job.cancel->cancelled()) {
        if (jobWanted)
            startJob();
        return;
    }
    if (job.status == Picture::Loaded) {
        picture = job.picture;
        decodedFor = job.decodedFor;
        if (!file.isEmpty()) {
            inFile = file;
            changeExtension();
            reduction.width = reduction.height = 0;
        }
    } else {
        problem = job.status != Picture::NoMemory && file.isEmpty()
                      ? QStringLiteral("A picture of that size is too large.")
                      : readProblem(job.status, file.isEmpty() ? inFile : file) + u'.';
        showStatus();
    }
    // A newer setting supersedes this result: only the newest is shown.
    if (jobWanted)
        startJob();
    else if (job.status == Picture::Loaded)
        showJob(job);
}

void MyApp::showJob(const Job &job)
{
    const bool resized = job.bitmap.size() != preview->pictureSize();
    bitmap = job.bitmap;
    rows.setLine(2, TextFormat::sizeLine(bitmap.width(), bitmap.height()));
    rows.setBitmap(bitmap);
    preview->setBitmap(bitmap, job.levels);
    if (resized) {
        fitted = true;
        fitPreview();
    }
    {
        const QSignalBlocker widthBlocker(widthBox), heightBlocker(heightBox);
        widthBox->setValue(bitmap.width());
        heightBox->setValue(bitmap.height());
    }
    setWindowTitle(QFileInfo(inFile).fileName() + QStringLiteral("[*] - Pictorn Converter"));
    showStatus();
}

void MyApp::setSaved(bool saved)
{
    problem.clear();
    if (!saved)
        savedNote.clear();
    setWindowModified(!saved);
    showStatus();
}

void MyApp::showStatus()
{
    if (!savedLabel || bitmap.isNull())
        return;
    const int w = bitmap.width(), h = bitmap.height();
    qint64 header = 0;
    for (int i = 0; i < RowsModel::headerLines; ++i) {
        QByteArray line;
        rows.appendBytes(i, line);
        header += line.size() + 1;
    }
    QString text = problem.isEmpty() ? QString() : problem + QStringLiteral("  ");
    text += QStringLiteral("%1 x %2 pixels").arg(w).arg(h);
    const QSize original = picture.originalSize();
    if (original != bitmap.size())
        text += QStringLiteral(" (from %1 x %2)").arg(original.width()).arg(original.height());
    text += QStringLiteral(", size line %1, %2 bytes. %3")
                .arg(TextFormat::sizeLine(w, h))
                .arg(TextFormat::textBytes(header, w, h))
                .arg(savedNote.isEmpty() ? QStringLiteral("Not saved") : savedNote);
    savedLabel->setText(text);
}

// The preview's space changes with the window and with the controls around it.
bool MyApp::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == previewArea && event->type() == QEvent::Resize && fitted)
        fitPreview();
    return QDialog::eventFilter(watched, event);
}

void MyApp::fitPreview()
{
    if (preview && !preview->pictureSize().isEmpty())
        preview->fit(previewArea->maximumViewportSize());
}

// A step in or out, about the middle of what is shown.
void MyApp::zoom(int steps)
{
    fitted = false;
    QScrollBar *across = previewArea->horizontalScrollBar();
    QScrollBar *down = previewArea->verticalScrollBar();
    const QSize view = previewArea->viewport()->size();
    const double x = (across->value() + view.width() / 2.0) / qMax(1, preview->width());
    const double y = (down->value() + view.height() / 2.0) / qMax(1, preview->height());
    if (steps > 0)
        preview->zoomIn();
    else
        preview->zoomOut();
    across->setValue(int(x * preview->width() - view.width() / 2.0));
    down->setValue(int(y * preview->height() - view.height() / 2.0));
}

void MyApp::slotLineChosen(const QModelIndex &index)
{
    const int row = index.row() - RowsModel::headerLines;
    if (row >= 0)
        previewArea->ensureVisible(previewArea->horizontalScrollBar()->value(),
                                   preview->yOfRow(row), 0, previewArea->viewport()->height() / 2);
}

void MyApp::slotRowClicked(int row)
{
    const QModelIndex line = rows.index(row + RowsModel::headerLines);
    listBox.setCurrentIndex(line);
    listBox.scrollTo(line, QAbstractItemView::PositionAtCenter);
}
