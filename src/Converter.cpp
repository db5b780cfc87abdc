// The converter: the lines of the text from a picture, the output's name, and the writing.

#include "Job.h"
#include "MyApp.h"
#include "Output.h"
#include "TextFormat.h"

#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include <cstdio>
#include <new>

namespace
{

// The writer writes whenever its buffer holds this much.
const qsizetype lineChunk = 1 << 20;

} // namespace

// Straight to standard error, a line at a time: whatever the toolkit's logging rules say, the
// program's own messages arrive.
void message(const QString &text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

MyApp::MyApp(QObject *)
    : QDialog(nullptr), topLayout(this), listBox(this), saveButton(nullptr), quitButton(nullptr),
      nameEdit(this), packageEdit(this), nameLabel(nullptr), packageLabel(nullptr), verbose(false)
{
    topLayout.setContentsMargins(0, 0, 0, 0);
    topLayout.setSpacing(0);
    listBox.setModel(&rows);
    connect(&nameEdit, &QLineEdit::textChanged, this, &MyApp::slotNameChanged);
    connect(&packageEdit, &QLineEdit::textChanged, this, &MyApp::slotPackageChanged);
}

void MyApp::append(const QString &line)
{
    rows.appendLine(line);
}

void MyApp::textChanged(QLineEdit &edit, int index)
{
    const QString text = TextFormat::fieldText(edit.text());
    // Setting the text puts the cursor at its end, so it is set only when the rule changed it.
    if (text != edit.text()) {
        const int cursor = edit.cursorPosition();
        edit.setText(text);
        edit.setCursorPosition(qMin(cursor, int(text.size())));
    }
    rows.setLine(index, TextFormat::headerLine(text));
}

void MyApp::slotNameChanged(const QString &)
{
    textChanged(nameEdit, 0);
}

void MyApp::slotPackageChanged(const QString &)
{
    textChanged(packageEdit, 1);
}

bool MyApp::setInFile(const QString &name)
{
    if (verbose)
        message(QStringLiteral("Setting input bitmap to '%1'").arg(name));
    inFile = name;
    return process() != 0;
}

int MyApp::process()
{
    // "-" is standard input, which always exists.
    if (inFile != u"-" && !QFileInfo::exists(inFile)) {
        if (verbose)
            message(readProblem(Picture::Missing, inFile));
        return 1;
    }
    Picture::Status status = picture.load(inFile, reduction);
    if (status == Picture::Loaded) {
        const Reduction used = picture.resolved(reduction);
        if (verbose)
            describeReduction(used);
        bitmap = picture.reduce(used, &status);
        if (verbose && shapeOnlyInTransparency(picture, bitmap, used))
            message(shapeHint());
    }
    // The writer's buffer is taken with the picture, so that short of memory nothing is written.
    if (status == Picture::Loaded && !bitmap.isNull() && !takeLineBuffer())
        bitmap = QImage();
    if (status == Picture::NoMemory || (status == Picture::Loaded && bitmap.isNull())) {
        if (verbose)
            message(readProblem(Picture::NoMemory, inFile));
        return 1;
    }
    if (status != Picture::Loaded) {
        if (verbose) {
            message(readProblem(status, inFile));
            if (!picture.reason().isEmpty())
                message(QStringLiteral("File '%1': %2").arg(inFile, picture.reason()));
        }
        return status == Picture::Missing ? 1 : 6;
    }
    writeBitmapToStream();
    if (saveButton)
        saveButton->setEnabled(true);
    return 0;
}

// Says what the settings chose from the picture itself.
void MyApp::describeReduction(const Reduction &used)
{
    if (reduction.trim) {
        const QRect box = picture.trimBox();
        message(box.isEmpty() ? QStringLiteral("No dark pixel to trim to: the picture stays whole")
                              : QStringLiteral("Trimmed to %1 x %2 pixels from %3,%4")
                                    .arg(box.width())
                                    .arg(box.height())
                                    .arg(box.x())
                                    .arg(box.y()));
    }
    if (!reduction.autoThreshold)
        return;
    const QString from[] = {
        QStringLiteral("Otsu's split of the picture's greys"),
        QStringLiteral("Otsu's split of the picture's greys at its own size, as trimmed"),
        QStringLiteral("the middle of the picture's two colours"),
        QStringLiteral("the default: a drawing's greys are not measured")};
    message(QStringLiteral("Threshold chosen: %1 (%2)")
                .arg(used.threshold)
                .arg(from[picture.chooseThreshold(reduction).from]));
}

void MyApp::writeBitmapToStream()
{
    // A library text read back keeps its name and package, unless the user gave others.
    if (nameEdit.text().isEmpty())
        nameEdit.setText(picture.name());
    if (packageEdit.text().isEmpty())
        packageEdit.setText(picture.package());
    append(TextFormat::headerLine(nameEdit.text()));
    append(TextFormat::headerLine(packageEdit.text()));
    if (verbose)
        message(QStringLiteral("Converting QBitmap to QImage"));
    const int w = bitmap.width();
    const int h = bitmap.height();
    append(TextFormat::sizeLine(w, h));
    append(QStringLiteral("BITMAP"));
    if (verbose)
        message(QStringLiteral("Reading scanlines into QListBox"));
    rows.setBitmap(bitmap);
    if (verbose)
        message(QStringLiteral("%1 Scanlines read into QListBox").arg(h));
}

QString &MyApp::changeExtension()
{
    // Text read from standard input goes to standard output.
    if (inFile == u"-") {
        outFile = inFile;
    } else {
        // The output stays beside the input: only the file's own name is rewritten.
        const qsizetype slash = inFile.lastIndexOf(u'/');
        const QString dir = inFile.left(slash + 1);
        const QString base = inFile.mid(slash + 1);
        qsizetype dots = 0;
        while (dots < base.size() && base.at(dots) == u'.')
            ++dots;
        QStringList pieces = base.mid(dots).split(u'.', Qt::SkipEmptyParts);
        // A bare name without a directory becomes "src" alone, as it always has.
        if (pieces.size() > 1 || dir.isEmpty()) {
            if (pieces.isEmpty())
                pieces.append(QString());
            pieces.last() = QStringLiteral("src");
        } else {
            pieces.append(QStringLiteral("src"));
        }
        outFile = dir + base.left(dots) + pieces.join(u'.');
    }
    if (verbose)
        message(QStringLiteral("Output file set to to '%1'").arg(outFile));
    return outFile;
}

bool MyApp::takeLineBuffer()
{
    try {
        lineBuffer.reserve(2 * lineChunk);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// The name is the one the user gave, whatever temporary file the lines go to first.
bool MyApp::listBoxToFile(Output &output, const QString &name)
{
    if (verbose)
        message(QStringLiteral("Writing file '%1'").arg(name));
    return writeLines([&output](const QByteArray &chunk) { return output.write(chunk); });
}

bool MyApp::writeLines(const std::function<bool(const QByteArray &)> &write)
{
    if (!takeLineBuffer())
        return false;
    // Lines are made into one buffer that is handed on whenever it fills.
    QByteArray &buffer = lineBuffer;
    buffer.resize(0);
    bool written = true;
    const int lines = rows.rowCount();
    for (int i = 0; i < lines && written; ++i) {
        rows.appendBytes(i, buffer);
        buffer += '\n';
        if (buffer.size() >= lineChunk) {
            written = write(buffer);
            buffer.resize(0);
        }
    }
    buffer += '\n';
    return written && write(buffer);
}

bool MyApp::writeOutput(const QString &name, QString *why)
{
    Output output;
    const bool written =
        output.open(name, inFile) && listBoxToFile(output, name) && output.commit();
    if (why)
        *why = output.error();
    return written;
}
