#ifndef MYAPP_H
#define MYAPP_H

#include "CmdLine.h"
#include "Job.h"
#include "Picture.h"
#include "RowsModel.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QString>
#include <QVBoxLayout>

class Output;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class Preview;

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
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void slotSave();
    void slotQuit();
    void slotNameChanged(const QString &);
    void slotPackageChanged(const QString &);
    void slotReductionChanged();
    void slotSizeChanged();
    void slotLineChosen(const QModelIndex &index);
    void slotRowClicked(int row);
    void slotOpen();
    void slotJobDone();

private:
    // Opens NAME, writes the lines to it and puts it in place: false when any step fails, with
    // why in WHY when the system said.
    bool writeOutput(const QString &name, QString *why = nullptr);
    // Reserves the writer's buffer: false when memory runs out.
    bool takeLineBuffer();
    void fitPreview();
    void zoom(int steps);
    // Reads NAME and reduces it off the window's thread; a file that is not a picture leaves the
    // window as it is.
    void openPicture(const QString &name);
    // Asks for the picture reduced with the latest settings: the newest request wins.
    void requestJob();
    void startJob();
    void showJob(const Job &job);
    void showStatus();
    void setSaved(bool saved);

    Options start;
    QFutureWatcher<Job> watcher;
    bool jobRunning = false;
    bool jobWanted = false;
    std::shared_ptr<Cancel> runningCancel; // stops the running job's drawing
    Picture nextPicture;                   // read, and waiting for its first job
    QString nextFile;
    QString runningFile; // the file whose first job runs, if one does
    bool fitted = true;  // the preview's zoom follows the window's size until the user zooms
    bool saving = false;
    Reduction decodedFor;
    QString savedNote;
    QString problem;

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
    QScrollArea *previewArea;
    Preview *preview;
    QSlider *thresholdSlider;
    QSpinBox *thresholdBox = nullptr;
    QCheckBox *invertBox;
    QCheckBox *ditherBox;
    QSpinBox *widthBox = nullptr;
    QSpinBox *heightBox = nullptr;
    QCheckBox *keepBox = nullptr;
    QCheckBox *shapeBox = nullptr;
    QLabel *savedLabel;
};

void help();
// Writes one line of the program's own to standard error.
void message(const QString &text);

#endif
