// Library texts read back: the four header lines, then each row's label and pixels, taken
// straight from the bytes so that a large text costs no more than its bytes and one bit a pixel.

#include "LibraryText.h"
#include "Reduce.h"
#include "TextFormat.h"

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstring>

namespace
{

// The lines of a text one at a time, each without its line feed and a carriage return before it.
class Lines
{
public:
    explicit Lines(const QByteArray &bytes) : at(bytes.constData()), end(at + bytes.size()) {}

    // The next line, or false when no line feed ends it.
    bool next(QByteArrayView &line)
    {
        const auto *feed = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        if (!feed)
            return false;
        const char *stop = feed > at && feed[-1] == '\r' ? feed - 1 : feed;
        line = QByteArrayView(at, stop - at);
        at = feed + 1;
        return true;
    }
    // How many lines are left that a line feed ends.
    qsizetype count() const { return std::count(at, end, '\n'); }
    bool atEnd() const { return at == end; }

private:
    const char *at;
    const char *end;
};

// The text between a line's opening and closing quotes, in the locale's encoding; false when the
// line does not both start and end with a quote of its own. A text that would not be written
// back as the same bytes (not in the locale's encoding, or longer than its field) is refused
// with the REASON why.
bool unquote(QByteArrayView line, QString &text, QString &reason, const char *what)
{
    if (line.size() < 2 || line.front() != '\'' || line.back() != '\'')
        return false;
    const QByteArrayView bytes = line.sliced(1, line.size() - 2);
    text = QString::fromLocal8Bit(bytes);
    if (text.toLocal8Bit() != bytes || text.contains(u'\r'))
        reason = QStringLiteral("its %1 line is not text in the locale's encoding").arg(what);
    else if (text.size() > TextFormat::fieldLength)
        reason = QStringLiteral("its %1 is longer than %2 characters")
                     .arg(what)
                     .arg(TextFormat::fieldLength);
    return reason.isEmpty();
}

// Packs W characters of "#" and "." into a row of a 1-bit image, a set bit dark; false when
// any other character stands among them.
bool packRow(const char *in, int w, uchar *out)
{
    bool stray = false;
    for (int x = 0; x < w; x += 8) {
        const int n = std::min(8, w - x);
        uchar byte = 0;
        for (int i = 0; i < n; ++i) {
            const char c = in[x + i];
            stray = stray || (c != '#' && c != '.');
            byte = uchar(byte | (c == '#') << (7 - i));
        }
        out[x >> 3] = byte;
    }
    return !stray;
}

} // namespace

bool isLibraryText(const QByteArray &bytes)
{
    return bytes.startsWith('\'');
}

Decoded readLibraryText(const QByteArray &bytes)
{
    Decoded result;
    Lines lines(bytes);
    QByteArrayView name, package, size, bitmap, row;
    if (!lines.next(name) || !lines.next(package) || !lines.next(size) || !lines.next(bitmap) ||
        !unquote(name, result.name, result.reason, "name") ||
        !unquote(package, result.package, result.reason, "package") || bitmap != "BITMAP")
        return result;
    // Every line left but the final empty one is a row, and the first one gives the width.
    const qsizetype h = lines.count() - 1;
    char text[16];
    const qsizetype w = lines.next(row) ? row.size() - TextFormat::rowLabel(0, text) : 0;
    if (w < 1 || h < 1 || w > maxSide || h > maxSide)
        return result;
    if (size != TextFormat::sizeLine(int(w), int(h)).toLatin1())
        return result;
    QImage image = blankBitmap(int(w), int(h));
    if (image.isNull()) {
        result.status = ReadStatus::NoMemory;
        return result;
    }
    for (int y = 0; y < h; ++y) {
        const int labelSize = TextFormat::rowLabel(y, text);
        if ((y > 0 && !lines.next(row)) || row.size() != labelSize + w ||
            std::memcmp(row.data(), text, size_t(labelSize)) != 0 ||
            !packRow(row.data() + labelSize, int(w), image.scanLine(y)))
            return result;
    }
    QByteArrayView last;
    if (!lines.next(last) || !last.isEmpty() || !lines.atEnd())
        return result;
    result.status = ReadStatus::Loaded;
    result.image = image;
    return result;
}
