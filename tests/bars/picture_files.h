// Small picture files written by the tests through the encoders of the same
// libraries, and the byte surgery that makes them broken or hostile.
#pragma once

#include <QRgb>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace picture_files {

struct PngSpec {
    int width = 1, height = 1;
    int colour_type = PNG_COLOR_TYPE_RGB;
    int bit_depth = 8;
    // Packed rows as the format stores them (already bit-packed or 16-bit
    // big-endian); one row of rowbytes per line.
    std::vector<std::vector<unsigned char>> rows;
    bool has_bkgd = false;
    png_color_16 bkgd{};
    std::vector<png_color> palette;
    std::vector<png_byte> trns;  // palette alpha
    bool header_only = false;    // IHDR written, no image data
    bool interlaced = false;
};

inline bool write_png(const std::string& path, const PngSpec& s)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height), s.bit_depth,
                 s.colour_type, s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty())
        png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.trns.empty())
        png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), nullptr);
    if (s.has_bkgd)
        png_set_bKGD(png, info, &s.bkgd);
    png_write_info(png, info);
    if (!s.header_only) {
        std::vector<png_bytep> rows;
        for (const auto& row : s.rows)
            rows.push_back(const_cast<png_bytep>(row.data()));
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

// A picture of one colour, RGB or RGBA.
inline PngSpec png_solid(int width, int height, QRgb colour, bool alpha)
{
    PngSpec s;
    s.width = width;
    s.height = height;
    s.colour_type = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    std::vector<unsigned char> row;
    for (int x = 0; x < width; ++x) {
        row.push_back(static_cast<unsigned char>(qRed(colour)));
        row.push_back(static_cast<unsigned char>(qGreen(colour)));
        row.push_back(static_cast<unsigned char>(qBlue(colour)));
        if (alpha)
            row.push_back(static_cast<unsigned char>(qAlpha(colour)));
    }
    s.rows.assign(static_cast<std::size_t>(height), row);
    return s;
}

// A JPEG of one colour (grey: 1 component; CMYK: 4).
inline bool write_jpeg(const std::string& path, int width, int height, J_COLOR_SPACE space, QRgb colour,
                       int quality = 100)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row;
    for (int x = 0; x < width; ++x) {
        if (space == JCS_GRAYSCALE) {
            row.push_back(static_cast<unsigned char>(qRed(colour)));
        } else {
            row.push_back(static_cast<unsigned char>(qRed(colour)));
            row.push_back(static_cast<unsigned char>(qGreen(colour)));
            row.push_back(static_cast<unsigned char>(qBlue(colour)));
            if (space == JCS_CMYK)
                row.push_back(0);
        }
    }
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return true;
}

struct GifFrame {
    int left = 0, top = 0, width = 1, height = 1;
    bool interlace = false;
    std::vector<GifPixelType> pixels;  // width x height indexes, top to bottom
    std::vector<QRgb> local_map;       // empty: the global map
    bool has_control = true;           // a graphic-control extension before it
    int delay = 10;
    int transparent = -1;
    int disposal = 0;
};

inline ColorMapObject* gif_map(const std::vector<QRgb>& colours)
{
    int size = 2;
    while (size < static_cast<int>(colours.size()))
        size *= 2;
    std::vector<GifColorType> c(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < colours.size(); ++i)
        c[i] = GifColorType{static_cast<GifByteType>(qRed(colours[i])), static_cast<GifByteType>(qGreen(colours[i])),
                            static_cast<GifByteType>(qBlue(colours[i]))};
    return GifMakeMapObject(size, c.data());
}

inline bool write_gif(const std::string& path, int width, int height, const std::vector<QRgb>& global,
                      int background, const std::vector<GifFrame>& frames)
{
    int error = 0;
    GifFileType* g = EGifOpenFileName(path.c_str(), false, &error);
    if (!g)
        return false;
    EGifSetGifVersion(g, true);
    ColorMapObject* gmap = global.empty() ? nullptr : gif_map(global);
    bool ok = EGifPutScreenDesc(g, width, height, 8, background, gmap) == GIF_OK;
    for (const GifFrame& fr : frames) {
        if (!ok)
            break;
        if (fr.has_control) {
            GifByteType ext[4] = {static_cast<GifByteType>(((fr.disposal & 7) << 2) | (fr.transparent >= 0 ? 1 : 0)),
                                  static_cast<GifByteType>(fr.delay & 0xff),
                                  static_cast<GifByteType>(fr.delay >> 8),
                                  static_cast<GifByteType>(fr.transparent >= 0 ? fr.transparent : 0)};
            ok = EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
        }
        ColorMapObject* lmap = fr.local_map.empty() ? nullptr : gif_map(fr.local_map);
        ok = ok && EGifPutImageDesc(g, fr.left, fr.top, fr.width, fr.height, fr.interlace, lmap) == GIF_OK;
        if (lmap)
            GifFreeMapObject(lmap);
        std::vector<int> order;
        if (fr.interlace) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < fr.height; y += step[p])
                    order.push_back(y);
        } else {
            for (int y = 0; y < fr.height; ++y)
                order.push_back(y);
        }
        for (int y : order) {
            if (!ok)
                break;
            std::vector<GifPixelType> row(fr.pixels.begin() + y * fr.width, fr.pixels.begin() + (y + 1) * fr.width);
            ok = EGifPutLine(g, row.data(), fr.width) == GIF_OK;
        }
    }
    if (gmap)
        GifFreeMapObject(gmap);
    EGifCloseFile(g, &error);
    return ok;
}

inline GifFrame gif_solid(int left, int top, int width, int height, GifPixelType index, int delay = 10)
{
    GifFrame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.pixels.assign(static_cast<std::size_t>(width * height), index);
    f.delay = delay;
    return f;
}

inline std::vector<unsigned char> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The file cut to its first n bytes.
inline void truncate_to(const std::string& path, std::size_t n)
{
    std::vector<unsigned char> b = read_bytes(path);
    b.resize(std::min(n, b.size()));
    write_bytes(path, b);
}

// A JPEG cut just after the start of its scan: the header is whole, the
// picture's data is not.
inline bool jpeg_cut_in_scan(const std::string& path)
{
    std::vector<unsigned char> b = read_bytes(path);
    for (std::size_t i = 0; i + 1 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xDA) {
            const std::size_t cut = i + 2 + (static_cast<std::size_t>(b[i + 2]) << 8 | b[i + 3]) + 2;
            if (cut >= b.size())
                return false;
            b.resize(cut);
            write_bytes(path, b);
            return true;
        }
    }
    return false;
}

// A GIF's logical screen size rewritten (bytes 6 to 9).
inline void gif_set_screen(const std::string& path, int width, int height)
{
    std::vector<unsigned char> b = read_bytes(path);
    if (b.size() < 10)
        return;
    b[6] = static_cast<unsigned char>(width);
    b[7] = static_cast<unsigned char>(width >> 8);
    b[8] = static_cast<unsigned char>(height);
    b[9] = static_cast<unsigned char>(height >> 8);
    write_bytes(path, b);
}

// A baseline JPEG's frame size rewritten (in its SOF0 segment).
inline bool jpeg_set_size(const std::string& path, int width, int height)
{
    std::vector<unsigned char> b = read_bytes(path);
    for (std::size_t i = 0; i + 9 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 5] = static_cast<unsigned char>(height >> 8);
            b[i + 6] = static_cast<unsigned char>(height);
            b[i + 7] = static_cast<unsigned char>(width >> 8);
            b[i + 8] = static_cast<unsigned char>(width);
            write_bytes(path, b);
            return true;
        }
    }
    return false;
}

}  // namespace picture_files
