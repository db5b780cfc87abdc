// libFuzzer target: arbitrary bytes through loading and conversion, as the command line converts
// a file. Each input is written to a scratch file, converted, and its text written to /dev/null.
#include "MyApp.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace
{

void dropMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "minimal");
    qInstallMessageHandler(dropMessages);
    static int argc = 1;
    static char name[] = "pictorn-fuzz";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("input.bmp"));
    QFile input(path);
    if (!input.open(QIODevice::WriteOnly) ||
        input.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    input.close();

    MyApp converter(nullptr);
    if (!converter.setInFile(path)) {
        QFile output(QStringLiteral("/dev/null"));
        if (!output.open(QIODevice::WriteOnly) || !converter.listBoxToFile(output, path))
            std::abort();
    }
    return 0;
}
