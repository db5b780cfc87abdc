// PNG files read with libpng: the chunks walked first, then the rows one at a time into the
// luminance image, so that a deep picture never needs a full copy in colour.

#include "Png.h"
#include "PixelData.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

namespace
{

struct Source {
    const png_byte *data;
    size_t size;
    size_t at = 0;
};

void readFromMemory(png_structp png, png_bytep out, size_t count)
{
    auto *source = static_cast<Source *>(png_get_io_ptr(png));
    if (count > source->size - source->at)
        png_error(png, "cut short");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

// libpng would print its complaints on standard error, which carries pictorn's own messages
// only; a failure ends the read and the picture is refused.
[[noreturn]] void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void ignore(png_structp, png_const_charp) {}

// One read of a PNG. The calls into libpng sit in small functions that own no C++ object, as
// libpng leaves them by longjmp on an error.
class PngReader
{
public:
    explicit PngReader(const QByteArray &bytes)
        : source{reinterpret_cast<const png_byte *>(bytes.constData()), size_t(bytes.size())}
    {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore);
        if (png)
            info = png_create_info_struct(png);
        if (info)
            png_set_read_fn(png, &source, readFromMemory);
    }
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
    PngReader(const PngReader &) = delete;
    PngReader &operator=(const PngReader &) = delete;

    bool start();
    bool readImage(png_bytepp rows);
    bool readRow(png_bytep row);
    bool finish();
    QList<QRgb> palette() const;

    png_uint_32 width = 0, height = 0;
    bool oneBit = false, indexed = false, interlaced = false;
    int channels = 0;
    size_t rowBytes = 0;

private:
    Source source;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

// Reads the header and sets the transformations: 1-bit pictures keep their bits, palette ones
// give their indexes, any other gives 8-bit grey or RGB with alpha where the file has
// transparency, its colour key compared before the samples are scaled to 8 bits.
bool PngReader::start()
{
    if (!info || setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, maxSide, maxSide);
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    indexed = type == PNG_COLOR_TYPE_PALETTE;
    oneBit = depth == 1 && (indexed || type == PNG_COLOR_TYPE_GRAY);
    interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (indexed && !oneBit)
        png_set_packing(png);
    if (!indexed && !oneBit) {
        if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        if (depth == 16)
            png_set_scale_16(png);
    }
    // A 1-bit picture's passes are laid straight into its image; other pictures' come pass by
    // pass, each pixel turned to luminance as it arrives.
    if (oneBit)
        png_set_interlace_handling(png);
    png_read_update_info(png, info);
    channels = png_get_channels(png, info);
    rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool PngReader::readImage(png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    return true;
}

bool PngReader::readRow(png_bytep row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_row(png, row, nullptr);
    return true;
}

// Reads on to IEND: a file cut after its pixel data is still cut short.
bool PngReader::finish()
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_end(png, nullptr);
    return true;
}

// The palette with the opacity of its entries; for a 1-bit grey picture, black and white.
QList<QRgb> PngReader::palette() const
{
    png_bytep alpha = nullptr;
    int alphas = 0;
    png_color_16p key = nullptr;
    png_get_tRNS(png, info, &alpha, &alphas, &key);
    QList<QRgb> table;
    if (!indexed) {
        table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        if (key && key->gray < 2)
            table[key->gray] &= 0x00ffffff;
        return table;
    }
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colours, &count);
    for (int i = 0; i < count; ++i)
        table.append(
            qRgba(colours[i].red, colours[i].green, colours[i].blue, i < alphas ? alpha[i] : 255));
    return table;
}

// Turns W pixels of a row as libpng gives it into luminance, every STEP bytes of OUT: palette
// indexes through LUM, samples of CHANNELS interleaved grey or RGB, with alpha when they are
// even.
void toLuminance(const png_byte *in, uchar *out, int w, int step, int channels, const uchar *lum,
                 bool shape)
{
    for (int x = 0; x < w; ++x, in += channels, out += step) {
        if (lum) {
            *out = lum[in[0]];
            continue;
        }
        const bool colour = channels >= 3;
        const QRgb rgb = colour ? qRgba(in[0], in[1], in[2], channels == 4 ? in[3] : 255)
                                : qRgba(in[0], in[0], in[0], channels == 2 ? in[1] : 255);
        *out = uchar(luminance(rgb, shape));
    }
}

} // namespace

Decoded readPng(const QByteArray &bytes, const Reduction &r)
{
    Decoded result;
    PngReader png(bytes);
    const PixelData data = pixelData("png", bytes);
    if (data.bytes < 0 || !png.start())
        return result;
    const int w = int(png.width), h = int(png.height);
    if (!fitsLimits(QSize(w, h)) || !plausibleSize(qint64(w) * h, data.bytes, data.pixelsPerByte))
        return result;
    result.status = ReadStatus::NoMemory;
    QImage image(w, h, png.oneBit ? QImage::Format_Mono : QImage::Format_Grayscale8);
    if (image.isNull())
        return result;
    try {
        uchar lum[256];
        if (png.indexed)
            paletteLuminance(png.palette(), r.shape, lum);
        const uchar *table = png.indexed ? lum : nullptr;
        result.status = ReadStatus::NotAPicture;
        if (png.oneBit) {
            image.setColorTable(png.palette());
            std::vector<png_bytep> rows;
            for (int y = 0; y < h; ++y)
                rows.push_back(image.scanLine(y));
            if (!png.readImage(rows.data()))
                return result;
        } else {
            // One pass of the whole picture when it is not interlaced, else Adam7's seven, each
            // row of a pass giving every so many pixels of one of the picture's rows.
            std::vector<png_byte> buffer(png.rowBytes);
            for (int pass = 0; pass < (png.interlaced ? 7 : 1); ++pass) {
                const int passWidth = png.interlaced ? int(PNG_PASS_COLS(png.width, pass)) : w;
                const int passHeight = png.interlaced ? int(PNG_PASS_ROWS(png.height, pass)) : h;
                if (passWidth == 0)
                    continue;
                for (int i = 0; i < passHeight; ++i) {
                    if (!png.readRow(buffer.data()))
                        return result;
                    const int y = png.interlaced ? int(PNG_ROW_FROM_PASS_ROW(i, pass)) : i;
                    const int x = png.interlaced ? int(PNG_PASS_START_COL(pass)) : 0;
                    const int step = png.interlaced ? int(PNG_PASS_COL_OFFSET(pass)) : 1;
                    toLuminance(buffer.data(), image.scanLine(y) + x, passWidth, step, png.channels,
                                table, r.shape);
                }
            }
        }
        if (!png.finish())
            return result;
    } catch (const std::bad_alloc &) {
        result.status = ReadStatus::NoMemory;
        return result;
    }
    result.status = ReadStatus::Loaded;
    result.image = image;
    return result;
}
