#ifndef MYAPP_H
#define MYAPP_H

#include "Picture.h"
#include "RowsModel.h"

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QString>
#include <QVBoxLayout>

class QCheckBox;
class QFileDevice;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
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
    void setupQt();
    int loadFile();

    bool setInFile(const QString &name);
    int process();
    void writeBitmapToStream();
    QString &changeExtension();
    bool listBoxToFile(QFileDevice &file, const QString &name);

    void append(const QString &line);
    void textChanged(QLineEdit &edit, int index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void slotSave();
    void slotQuit();
    void slotNameChanged(const QString &);
    void slotPackageChanged(const QString &);
    void slotReductionChanged();
    void slotLineChosen(const QModelIndex &index);
    void slotRowClicked(int row);

private:
    // Opens NAME, writes the lines to it and puts it in place: false when any step fails.
    bool writeOutput(const QString &name);
    // Reserves the writer's buffer: false when memory runs out.
    bool takeLineBuffer();
    void fitPreview();

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
    QCheckBox *invertBox;
    QCheckBox *ditherBox;
    QLabel *savedLabel;
};

void help();
// Writes one line of the program's own to standard error.
void message(const QString &text);

#endif
