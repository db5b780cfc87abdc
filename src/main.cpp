// pictorn: converts a picture into a library source text, from the command line or in a small
// window.

#include "Display.h"
#include "MyApp.h"
#include "ToolkitReader.h"

#include <QApplication>

#include <unistd.h>

#include <csignal>
#include <vector>

namespace
{

// Standard error carries the program's own lines only, which it writes itself: the toolkit's
// reports are dropped, but for the fatal one that ends the run. A report that comes with the X
// connection broken is the toolkit about to end the run: the display was lost, whatever was
// being done, and the run ends at once with a status of its own.
void dropToolkitMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (displayLost()) {
        message(QStringLiteral("pictorn: the X display was lost"));
        ::_exit(7);
    }
    if (type == QtFatalMsg)
        message(text);
}

} // namespace

int main(int argc, char **argv)
{
    // An SVG is judged by the exit status of the helper that draws it, which the system would
    // discard were SIGCHLD left ignored by whoever started pictorn. Set here, before any thread.
    struct sigaction childDefault = {};
    childDefault.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &childDefault, nullptr);
    const Options options = readArguments(argc, argv);
    const bool platformChosen = choosePlatform(options);
    qInstallMessageHandler(dropToolkitMessages);
    // The application object is given the toolkit's options alone: the rest are read already.
    QByteArrayList toolkit = options.toolkit;
    std::vector<char *> toolkitArgv = {argv[0]};
    for (QByteArray &arg : toolkit)
        toolkitArgv.push_back(arg.data());
    toolkitArgv.push_back(nullptr);
    int toolkitArgc = int(toolkitArgv.size()) - 1;
    QApplication app(toolkitArgc, toolkitArgv.data());
    startedUp();
    setToolkitLimits();
    QCoreApplication::setApplicationVersion(QStringLiteral(PICTORN_VERSION));
    MyApp myApp(nullptr);
    if (options.arguments && !options.window)
        return myApp.cmdLine(options);
    if (!platformChosen && QGuiApplication::platformName() == u"minimal") {
        message(QStringLiteral("pictorn: no X display to show the window on (DISPLAY is not set or "
                               "cannot be reached)"));
        return 1;
    }
    myApp.setupQt(options);
    const int status = myApp.loadFile();
    return status != 0 ? status : myApp.exec();
}
