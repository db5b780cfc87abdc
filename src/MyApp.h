#ifndef MYAPP_H
#define MYAPP_H

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QString>
#include <QVBoxLayout>

class QFileDevice;
class QLabel;
class QPushButton;

// The converter: holds every piece of state of a run. In command-line mode the window is never
// built, but the list box still stores the generated lines and the two edits still drive lines 0
// and 1, so both modes generate, edit and write through the same code.
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
    void appendRow(const QByteArray &row);
    void textChanged(QLineEdit &edit, int index);

private slots:
    void slotSave();
    void slotQuit();
    void slotNameChanged(const QString &);
    void slotPackageChanged(const QString &);

private:
    bool writeOutput(const QString &name);

    QVBoxLayout topLayout;
    QListWidget listBox;
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
};

void help();

#endif
