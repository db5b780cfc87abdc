#ifndef ROWSMODEL_H
#define ROWSMODEL_H

#include "TextFormat.h"

#include <QAbstractListModel>
#include <QFont>
#include <QImage>
#include <QStringList>

// The lines of the library source text: the header lines as text, then one line a pixel row,
// made on demand from the 1-bit image, so that a tall picture costs no memory per row.
class RowsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // The rows of pixels follow the header lines: name, package, size and "BITMAP".
    static constexpr int headerLines = TextFormat::headerLines;

    explicit RowsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void appendLine(const QString &text);
    bool setLine(int index, const QString &text);
    // The pixel rows that follow the header lines; a dark pixel is one whose colour table entry
    // is darker than mid grey.
    void setBitmap(const QImage &bitmap);
    void setFont(const QFont &font);

    // Appends line INDEX, without its line feed, as it is written to a file.
    void appendBytes(int index, QByteArray &out) const;

private:
    void measureLines();

    QStringList header;
    QImage bitmap;
    char chars[256][8];
    QFont font;
    QSize lineSize;
};

#endif
