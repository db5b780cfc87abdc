#ifndef COMMON_H
#define COMMON_H

// What pictorn shares with its SVG helper, which loads no part of the toolkit: the limits of a
// picture, and the luminance of a colour laid on white paper.

// The largest picture, in pixels on each side and in all, before and after scaling.
inline constexpr int maxSide = 16384;
inline constexpr long long maxPixels = static_cast<long long>(maxSide) * maxSide;

// The most pixels a byte of pixel data holds in each kind of format, for a plain white picture
// of the largest size: what tools/pixels-per-byte measures, with room to spare. PNG's is
// deflate's limit of about 1030 to 1 on 1-bit rows; formats not named take it too.
namespace PixelsPerByte
{
inline constexpr long long png = 8800, tiff = 8800, jpeg = 1024, gif = 4096, webp = 32768, tga = 64,
                           raw1bit = 8, text = 2;
}

// More pixels than the pixel data of a file can hold are a lie or a decompression bomb. Small
// pictures are always believed.
inline bool plausibleSize(long long pixels, long long dataBytes,
                          long long pixelsPerByte = PixelsPerByte::png)
{
    return pixels <= 2048 * 2048 || pixels / pixelsPerByte <= dataBytes;
}

// What the eye sees of a colour (the toolkit's QRgb, not premultiplied) on white paper, with the
// toolkit's grey weights, 11, 16 and 5 parts in 32; with SHAPE, only its opacity counts, as
// black ink.
inline int luminance(unsigned int argb, bool shape)
{
    const int a = int(argb >> 24);
    if (shape)
        return 255 - a;
    const int grey = int((argb >> 16 & 255) * 11 + (argb >> 8 & 255) * 16 + (argb & 255) * 5) / 32;
    // Laying a colour on white and weighing it are both linear, so the grey is laid on white
    // instead of each channel.
    return (grey * a + 255 * (255 - a) + 127) / 255;
}

#endif
