#include "RowsModel.h"
#include "TextFormat.h"

#include <QFontMetrics>
#include <QStringEncoder>

#include <cstring>

RowsModel::RowsModel(QObject *parent) : QAbstractListModel(parent)
{
    std::memset(chars, '.', sizeof chars);
}

int RowsModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(header.size()) + bitmap.height();
}

QVariant RowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole) {
        if (index.row() < header.size())
            return header.at(index.row());
        QByteArray line;
        appendBytes(index.row(), line);
        return QString::fromLatin1(line);
    }
    if (role == Qt::FontRole)
        return font;
    if (role == Qt::SizeHintRole)
        return lineSize;
    return {};
}

void RowsModel::appendLine(const QString &text)
{
    beginInsertRows(QModelIndex(), rowCount(), rowCount());
    header.append(text);
    endInsertRows();
}

bool RowsModel::setLine(int index, const QString &text)
{
    if (index < 0 || index >= header.size())
        return false;
    header[index] = text;
    emit dataChanged(this->index(index), this->index(index), {Qt::DisplayRole});
    return true;
}

// Every line is as wide as the widest, a pixel row, so that the view scrolls to its end. Measuring
// a long row takes a while, so it is done once for each picture and font.
void RowsModel::measureLines()
{
    const QFontMetrics metrics(font);
    char text[16];
    const int label = TextFormat::rowLabel(bitmap.height() - 1, text);
    lineSize = QSize(metrics.horizontalAdvance(QString(label + bitmap.width(), u'#')) + 8,
                     metrics.height());
}

void RowsModel::setBitmap(const QImage &image)
{
    // The same size again (a new threshold, say) changes the rows in place, so that a view keeps
    // its place among them.
    const bool resized = image.size() != bitmap.size();
    if (resized)
        beginResetModel();
    bitmap = image;
    if (resized && font != QFont())
        measureLines();
    uchar masks[256];
    TextFormat::darkMasks(bitmap, masks);
    for (int byte = 0; byte < 256; ++byte)
        for (int pixel = 0; pixel < 8; ++pixel)
            chars[byte][pixel] = (masks[byte] & (0x80 >> pixel)) ? '#' : '.';
    if (resized)
        endResetModel();
    else if (rowCount() > headerLines)
        emit dataChanged(index(headerLines), index(rowCount() - 1), {Qt::DisplayRole});
}

void RowsModel::setFont(const QFont &newFont)
{
    beginResetModel();
    font = newFont;
    measureLines();
    endResetModel();
}

void RowsModel::appendBytes(int index, QByteArray &out) const
{
    if (index < header.size()) {
        QStringEncoder encoder(QStringConverter::System);
        out += encoder.encode(header.at(index));
        return;
    }
    const int r = index - int(header.size());
    const int w = bitmap.width();
    char label[16];
    const int labelSize = TextFormat::rowLabel(r, label);
    const qsizetype start = out.size();
    out.resize(start + labelSize + w);
    char *to = out.data() + start;
    std::memcpy(to, label, size_t(labelSize));
    to += labelSize;
    const uchar *bits = bitmap.constScanLine(r);
    const int wholeBytes = w / 8;
    for (int b = 0; b < wholeBytes; ++b, to += 8)
        std::memcpy(to, chars[bits[b]], 8);
    if (w % 8)
        std::memcpy(to, chars[bits[wholeBytes]], size_t(w % 8));
}
