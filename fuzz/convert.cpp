// libFuzzer target: arbitrary bytes through reading, reduction, conversion and the writing of
// the output, as the command line runs them. Each input is written to a scratch file and
// converted to another; its size picks which of the reduction keys come along. The run stays in
// the scratch directory, where an SVG's relative references would find the files it writes.
#include "MyApp.h"
#include "ToolkitReader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>
#include <vector>

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
    setToolkitLimits();
    static QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path()))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile input(QStringLiteral("input.bmp"));
    if (!input.open(QIODevice::WriteOnly) ||
        input.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    input.close();

    std::vector<std::string> args = {"pictorn-fuzz", "-v", "input.bmp", "out.src"};
    if (size % 3 == 0)
        args.push_back("-dither=yes");
    if (size % 5 == 0)
        args.push_back("-invert=yes");
    if (size % 7 == 0)
        args.push_back("-width=" + std::to_string(1 + size % 61));
    if (size % 11 == 0)
        args.push_back("-threshold=" + std::to_string(1 + size % 99));
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    MyApp converter(nullptr);
    const int status = converter.cmdLine(int(args.size()), argv.data());
    // A picture that was read is always written.
    if (status != 0 && status != 1)
        std::abort();
    return 0;
}
