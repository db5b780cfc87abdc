// SVG documents: known by their bytes, inflated when compressed, and handed to pictorn-svg,
// which parses and draws them in a process of its own, a band of rows at a time. Its rows of
// luminance are reduced as they come, so that the memory a drawing takes here is its 1-bit
// picture, whatever its size.

#include "Svg.h"
#include "Reduce.h"
#include "SvgHelper.h"

#include <zlib.h>

#include <string_view>
#include <vector>

namespace
{

// How much of a compressed document is inflated to see what it is.
const qsizetype sniffBytes = 16 << 10;

bool isGzip(const QByteArray &bytes)
{
    return bytes.startsWith("\x1f\x8b");
}

enum class Inflated { Whole, Longer, Broken };

// Inflates the gzip stream in BYTES into TEXT, never holding more than LIMIT bytes of it.
Inflated inflateGzip(const QByteArray &bytes, qsizetype limit, QByteArray &text)
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return Inflated::Broken;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    // One byte past the limit tells a document of exactly LIMIT bytes from a longer one.
    text.resize(qMin(limit + 1, qMax<qsizetype>(4096, bytes.size() * 4)));
    qsizetype size = 0;
    Inflated result = Inflated::Longer;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef *>(text.data() + size);
        z.avail_out = uInt(text.size() - size);
        const int status = inflate(&z, Z_NO_FLUSH);
        size = text.size() - z.avail_out;
        if (status != Z_OK) {
            result = status == Z_STREAM_END ? Inflated::Whole : Inflated::Broken;
            break;
        }
        if (size == limit + 1)
            break;
        if (size == text.size())
            text.resize(qMin(limit + 1, size * 2));
    }
    inflateEnd(&z);
    text.resize(qMin(size, limit));
    return result;
}

bool startsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

// Whether the first element of the XML in TEXT is svg, in any namespace prefix.
bool firstElementIsSvg(std::string_view text)
{
    if (startsWith(text, "\xef\xbb\xbf"))
        text.remove_prefix(3);
    const auto skipPast = [&text](std::string_view end) {
        const size_t at = text.find(end);
        text.remove_prefix(at == text.npos ? text.size() : at + end.size());
    };
    for (;;) {
        const size_t start = text.find_first_not_of(" \t\r\n");
        if (start == text.npos || text[start] != '<')
            return false;
        text.remove_prefix(start);
        if (startsWith(text, "<?")) {
            skipPast("?>");
        } else if (startsWith(text, "<!--")) {
            skipPast("-->");
        } else if (startsWith(text, "<!")) {
            // A document type may hold declarations in brackets, and those hold ">" themselves.
            size_t i = 2;
            int depth = 0;
            for (; i < text.size() && (text[i] != '>' || depth > 0); ++i)
                depth += text[i] == '[' ? 1 : text[i] == ']' ? -1 : 0;
            text.remove_prefix(qMin(i + 1, text.size()));
        } else {
            const size_t end = text.find_first_of(" \t\r\n/>");
            if (end == text.npos)
                return false;
            std::string_view name = text.substr(1, end - 1);
            const size_t colon = name.rfind(':');
            if (colon != name.npos)
                name.remove_prefix(colon + 1);
            return name == "svg";
        }
    }
}

// The size the helper found, "W H" and a line feed, in pixels not yet rounded: false for anything
// else, or for a side that does not round to one pictorn takes.
bool sizeOf(const QByteArray &line, QSizeF &size)
{
    const QByteArrayList sides = line.chopped(line.endsWith('\n') ? 1 : 0).split(' ');
    bool wide = false, high = false;
    size = QSizeF(sides.value(0).toDouble(&wide), sides.value(1).toDouble(&high));
    const double most = maxSide + 0.5;
    return line.endsWith('\n') && sides.size() == 2 && wide && high && size.width() >= 0.5 &&
           size.width() < most && size.height() >= 0.5 && size.height() < most;
}

} // namespace

bool isSvg(const QByteArray &bytes)
{
    QByteArray start;
    if (isGzip(bytes))
        inflateGzip(bytes, sniffBytes, start);
    else
        start = bytes;
    return firstElementIsSvg(std::string_view(start.constData(), size_t(start.size())));
}

ReadStatus SvgPicture::read(const QByteArray &bytes)
{
    *this = SvgPicture();
    QByteArray svg;
    if (!isGzip(bytes))
        svg = bytes;
    else if (inflateGzip(bytes, maxText, svg) != Inflated::Whole)
        return ReadStatus::NotAPicture;
    if (svg.size() > maxText)
        return ReadStatus::NotAPicture;
    QByteArray line;
    const ReadStatus status = runHelper(svg, {}, [&line](const char *data, qsizetype size) {
        line.append(data, size);
        return line.size() < 100;
    });
    QSizeF size;
    if (status != ReadStatus::Loaded)
        return status;
    if (!sizeOf(line, size))
        return ReadStatus::NotAPicture;
    text = svg;
    exact = size;
    own = QSize(qRound(size.width()), qRound(size.height()));
    return ReadStatus::Loaded;
}

QImage SvgPicture::reduce(QSize size, const Reduction &r, ReadStatus *failure) const
{
    ReadStatus ignored;
    ReadStatus &status = failure ? *failure : ignored;
    status = ReadStatus::NotAPicture;
    if (text.isEmpty() || !fitsLimits(size))
        return QImage();
    QImage image = blankBitmap(size.width(), size.height());
    status = ReadStatus::NoMemory;
    if (image.isNull())
        return image;
    RowReducer reducer(image, r);
    const size_t w = size_t(size.width());
    std::vector<uchar> row;
    row.reserve(w);
    int rows = 0;
    QByteArray end;
    // The rows come in pieces of any length; what follows the last is the helper's "ok".
    const auto take = [&](const char *data, qsizetype count) {
        for (; count > 0 && rows < size.height(); ++rows) {
            const size_t piece = qMin(size_t(count), w - row.size());
            row.insert(row.end(), data, data + piece);
            data += piece;
            count -= qsizetype(piece);
            if (row.size() < w)
                return true;
            reducer.addRow(row.data());
            row.clear();
        }
        end.append(data, count);
        return end.size() <= 3;
    };
    const QByteArrayList arguments = {QByteArray::number(size.width()),
                                      QByteArray::number(size.height()), r.shape ? "1" : "0"};
    status = runHelper(text, arguments, take);
    if (status == ReadStatus::Loaded && (rows != size.height() || end != "ok\n"))
        status = ReadStatus::NotAPicture;
    return status == ReadStatus::Loaded ? image : QImage();
}
