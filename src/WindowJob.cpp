// What the window shows of a reduction's result: the rows, the preview, the controls' numbers, the
// status line and the title.

#include "Controls.h"
#include "JobQueue.h"
#include "MyApp.h"
#include "PreviewPane.h"
#include "StatusLine.h"
#include "TextFormat.h"

#include <QFileInfo>
#include <QPushButton>

void MyApp::requestJob()
{
    setSaved(false);
    jobs->reduce(controls->reduction());
}

void MyApp::slotJobDone(const Job &job, const QString &file)
{
    const bool first = bitmap.isNull();
    if (!file.isEmpty()) {
        inFile = file;
        // The first picture is saved where the command line says, if it says.
        if (!first || outFile.isEmpty())
            changeExtension();
        if (!first)
            controls->resetSize();
    }
    picture = jobs->picture();
    bitmap = job.bitmap;
    if (rows.rowCount() == 0) {
        writeBitmapToStream();
    } else {
        rows.setLine(2, TextFormat::sizeLine(bitmap.width(), bitmap.height()));
        rows.setBitmap(bitmap);
    }
    previewPane->setBitmap(bitmap, job.levels);
    controls->setOriginalSize(picture.sourceSize());
    const int margins = 2 * job.settings.margin;
    controls->showResult(bitmap.size() - QSize(margins, margins), job.chosenThreshold);
    saveButton->setEnabled(true);
    copyButton->setEnabled(true);
    setWindowTitle(QFileInfo(inFile).fileName() + QStringLiteral("[*] - Pictorn Converter"));
    if (job.shapeInTransparency)
        statusLine->setMessage(
            QStringLiteral("The result has no dark pixel, while the picture has its shape in "
                           "transparency: try Shape from transparency (Alt+A)."));
    showFacts();
    if (first)
        fitWindow(bitmap.size());
}

void MyApp::setSaved(bool saved)
{
    statusLine->setMessage(QString());
    if (!saved)
        statusLine->setNote(QStringLiteral("Not saved"));
    setWindowModified(!saved);
    showFacts();
}

void MyApp::showFacts()
{
    if (bitmap.isNull())
        return;
    const int w = bitmap.width(), h = bitmap.height();
    qint64 header = 0;
    for (int i = 0; i < RowsModel::headerLines; ++i) {
        QByteArray line;
        rows.appendBytes(i, line);
        header += line.size() + 1;
    }
    QString text = QStringLiteral("%1 x %2 pixels").arg(w).arg(h);
    const QSize original = picture.originalSize();
    if (original != bitmap.size())
        text += QStringLiteral(" (from %1 x %2)").arg(original.width()).arg(original.height());
    text += QStringLiteral(", size line %1, %2 bytes")
                .arg(TextFormat::sizeLine(w, h))
                .arg(TextFormat::textBytes(header, w, h));
    statusLine->setFacts(text);
}
