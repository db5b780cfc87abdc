#ifndef MYAPP_H
#define MYAPP_H

#include "CmdLine.h"
#include "Picture.h"
#include "RowsModel.h"

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QString>
#include <QVBoxLayout>

#include <functional>

class Controls;
class JobQueue;
class PreviewPane;
class Output;
class QLabel;
class QPushButton;
class StatusLine;
struct Job;

// The converter: holds every piece of state of a run. In command-line mode the window is never
// built, but the rows model still holds the lines and the two edits still drive lines 0 and 1,
// so both modes generate, edit and write through the same code.
class MyApp : public QDialog
{
    Q_OBJECT

public:
    explicit MyApp(QObject *parent);

    int cmdLine(int argc, char **argv);
    // The command-line run of OPTIONS: returns its exit status.
    int cmdLine(const Options &options);
    // Builds the window, its settings those of OPTIONS.
    void setupQt(const Options &options = Options());
    // The picture to start with: the one the command line named, or one chosen in the open
    // dialog. Returns the run's status when there is none, 0 when the window shows one.
    int loadFile();

    bool setInFile(const QString &name);
    int process();
    void describeReduction(const Reduction &used);
    void writeBitmapToStream();
    QString &changeExtension();
    bool listBoxToFile(Output &output, const QString &name);

    void append(const QString &line);
    void textChanged(QLineEdit &edit, int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void slotSave();
    void slotQuit();
    void slotNameChanged(const QString &);
    void slotPackageChanged(const QString &);
    void slotCopy();
    void slotOpen();
    void slotJobDone(const Job &job, const QString &file);

private:
    // Opens NAME, writes the lines to it and puts it in place: false when any step fails, with
    // why in WHY when the system said.
    bool writeOutput(const QString &name, QString *why = nullptr);
    // Makes the lines a chunk at a time and hands each to WRITE: false when WRITE fails.
    bool writeLines(const std::function<bool(const QByteArray &)> &write);
    // Reserves the writer's buffer: false when memory runs out.
    bool takeLineBuffer();
    // Reads NAME and reduces it off the window's thread; a file that is not a picture leaves the
    // window as it is and the status line says why.
    void openPicture(const QString &name);
    // Asks for the picture reduced with the controls' settings: the newest request wins.
    void requestJob();
    void showFacts();
    void setSaved(bool saved);
    // A first size that shows the picture and the start of its rows, within the screen.
    void fitWindow(QSize size);

    QVBoxLayout topLayout;
    QListView listBox;
    RowsModel rows;
    QPushButton *saveButton;
    QPushButton *quitButton;
    QLineEdit nameEdit;
    QLineEdit packageEdit;
    QLabel *nameLabel;
    QLabel *packageLabel;
    QImage bitmap;
    QString inFile;
    QString outFile;
    bool verbose;
    QByteArray lineBuffer;
    Picture picture;
    Reduction reduction;

    // The window's parts, each a class of its own.
    Options start;
    Controls *controls = nullptr;
    JobQueue *jobs = nullptr;
    PreviewPane *previewPane = nullptr;
    StatusLine *statusLine = nullptr;
    QPushButton *openButton = nullptr;
    QPushButton *copyButton = nullptr;
    bool saving = false;
};

void help();
// Writes one line of the program's own to standard error.
void message(const QString &text);

#endif
