// pictorn: converts a picture into a library source text, from the command line or in a small
// window.

#include "Display.h"
#include "MyApp.h"

#include <QApplication>

#include <csignal>

namespace
{

// Standard error carries the program's own lines only, which it writes itself: the toolkit's
// reports are dropped, but for the fatal one that ends the run.
void dropToolkitMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
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
    const bool platformChosen = choosePlatform(argc, argv);
    qInstallMessageHandler(dropToolkitMessages);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PICTORN_VERSION));
    MyApp myApp(nullptr);
    const Options options = readOptions(argc, argv);
    if (argc != 1 && !options.window)
        return myApp.cmdLine(argc, argv);
    if (!platformChosen && QGuiApplication::platformName() == u"minimal") {
        message(QStringLiteral("pictorn: no X display to show the window on (DISPLAY is not set or "
                               "cannot be reached)"));
        return 1;
    }
    myApp.setupQt(options);
    const int status = myApp.loadFile();
    return status != 0 ? status : myApp.exec();
}
