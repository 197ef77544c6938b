#include "display/pictures.h"

#include <QImageReader>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "core/text_buffer.h"

namespace {

// A row of 24-bit pixels padded to a multiple of 4 bytes.
int stride24(int width)
{
    return (width * 3 + 3) & ~3;
}

bool size_allowed(long long width, long long height)
{
    return width > 0 && height > 0 && width <= kImgMaxSide && height <= kImgMaxSide &&
           width * height <= kImgMaxPixels;
}

bool ends_with_nocase(const std::string& name, const char* ext)
{
    const std::size_t n = std::strlen(ext);
    return name.size() >= n && text_equal_nocase(std::string_view(name).substr(name.size() - n), ext);
}

struct File {
    std::FILE* f = nullptr;
    explicit File(const std::string& name, const char* mode) : f(std::fopen(name.c_str(), mode)) {}
    ~File()
    {
        if (f)
            std::fclose(f);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
};

// The kind the caller asked for: the decoded pixels, or the screen's format.
void finish(QImage& out, QImage&& image, int kind)
{
    if (image.isNull()) {
        out = QImage();
        return;
    }
    out = kind == kImgDevice ? image.convertToFormat(QImage::Format_RGB32) : std::move(image);
}

// An image over a block from malloc, which it frees when the last copy goes.
QImage image_over(unsigned char* block, int width, int height, int stride, QImage::Format format)
{
    QImage image(block, width, height, stride, format, std::free, block);
    if (image.isNull())
        std::free(block);
    return image;
}

// ---- PNG ----
// The library reports errors and warnings by jumping back to the recovery
// point of the read; only plain values live in the frames it jumps over.

struct PngRead {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    int size_only = 0;
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0;
    unsigned char bg[3] = {0, 0, 0};   // red, green, blue
    unsigned char* pixels = nullptr;   // rowbytes x height, from malloc
    png_bytep* rows = nullptr;
    std::size_t rowbytes = 0;
    int channels = 0;
};

[[noreturn]] void img_png_error_jump(png_structp png, png_const_charp)
{
    auto* r = static_cast<PngRead*>(png_get_error_ptr(png));
    std::longjmp(r->jump, 1);
}

void img_png_warning_jump(png_structp png, png_const_charp message)
{
    img_png_error_jump(png, message);
}

// Steps 1 to 3 (the size), then the pixels. 1 done, 0 failed.
int png_read_steps(PngRead& r)
{
    unsigned char sig[8];
    if (std::fread(sig, 1, 8, r.file) != 8 || png_sig_cmp(sig, 0, 8) != 0)
        return 0;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!r.png)
        return 0;
    png_set_error_fn(r.png, &r, img_png_error_jump, img_png_warning_jump);
    r.info = png_create_info_struct(r.png);
    if (!r.info)
        return 0;
    if (setjmp(r.jump))
        return 0;
    png_set_user_limits(r.png, kImgMaxSide, kImgMaxSide);
    png_init_io(r.png, r.file);
    png_set_sig_bytes(r.png, 8);
    png_read_info(r.png, r.info);
    png_get_IHDR(r.png, r.info, &r.width, &r.height, &r.bit_depth, &r.colour_type, nullptr, nullptr,
                 nullptr);
    if (!size_allowed(r.width, r.height))
        return 0;
    if (r.size_only)
        return 1;

    png_color_16p bkgd = nullptr;
    if (png_get_bKGD(r.png, r.info, &bkgd) && bkgd) {
        if (r.bit_depth == 16) {
            r.bg[0] = static_cast<unsigned char>(bkgd->red >> 8);
            r.bg[1] = static_cast<unsigned char>(bkgd->green >> 8);
            r.bg[2] = static_cast<unsigned char>(bkgd->blue >> 8);
        } else if ((r.colour_type & PNG_COLOR_MASK_COLOR) || r.bit_depth == 8) {
            if (r.colour_type & PNG_COLOR_MASK_COLOR) {
                r.bg[0] = static_cast<unsigned char>(bkgd->red);
                r.bg[1] = static_cast<unsigned char>(bkgd->green);
                r.bg[2] = static_cast<unsigned char>(bkgd->blue);
            } else {
                r.bg[0] = r.bg[1] = r.bg[2] = static_cast<unsigned char>(bkgd->gray);
            }
            // A palette image names its background by index.
            if (r.colour_type == PNG_COLOR_TYPE_PALETTE) {
                png_colorp palette = nullptr;
                int count = 0;
                if (png_get_PLTE(r.png, r.info, &palette, &count) && bkgd->index < count) {
                    r.bg[0] = palette[bkgd->index].red;
                    r.bg[1] = palette[bkgd->index].green;
                    r.bg[2] = palette[bkgd->index].blue;
                }
            }
        } else {
            const int scale = r.bit_depth == 1 ? 255 : r.bit_depth == 2 ? 85 : 17;
            const int grey = (bkgd->gray & ((1 << r.bit_depth) - 1)) * scale;
            r.bg[0] = r.bg[1] = r.bg[2] = static_cast<unsigned char>(grey);
        }
    }

    if (r.colour_type == PNG_COLOR_TYPE_PALETTE ||
        (r.colour_type == PNG_COLOR_TYPE_GRAY && r.bit_depth < 8) ||
        png_get_valid(r.png, r.info, PNG_INFO_tRNS))
        png_set_expand(r.png);
    if (r.bit_depth == 16)
        png_set_strip_16(r.png);
    if (r.colour_type == PNG_COLOR_TYPE_GRAY || r.colour_type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(r.png);
    double gamma = 0;
    if (png_get_gAMA(r.png, r.info, &gamma))
        png_set_gamma(r.png, 2.2, gamma);
    // Interlaced files are read whole: the library puts the passes together.
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    r.rowbytes = png_get_rowbytes(r.png, r.info);
    r.channels = png_get_channels(r.png, r.info);
    if ((r.channels != 3 && r.channels != 4) || r.rowbytes < r.width * static_cast<std::size_t>(r.channels))
        return 0;
    r.pixels = static_cast<unsigned char*>(std::malloc(r.rowbytes * r.height));
    r.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * r.height));
    if (!r.pixels || !r.rows)
        return 0;
    for (png_uint_32 y = 0; y < r.height; ++y)
        r.rows[y] = r.pixels + y * r.rowbytes;
    png_read_image(r.png, r.rows);
    png_read_end(r.png, nullptr);
    return 1;
}

// Runs the read on the file; the library's structures are released here.
int png_run(const std::string& name, PngRead& r)
{
    File file(name, "rb");
    if (!file.f)
        return 0;
    r.file = file.f;
    const int ok = png_read_steps(r);
    if (r.png)
        png_destroy_read_struct(&r.png, r.info ? &r.info : nullptr, nullptr);
    std::free(r.rows);
    r.rows = nullptr;
    return ok;
}

// ---- JPEG ----

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void img_jpeg_error_jump(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// A file that ends before its picture does is refused rather than shown
// with its missing part made up; other warnings stay quiet.
void img_jpeg_message(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        img_jpeg_error_jump(cinfo);
}

// A progressive file may split its picture into any number of scans, each
// costing a pass over the whole picture; real files use a dozen or so.
constexpr int kJpegMaxScans = 1000;

void img_jpeg_progress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kJpegMaxScans)
        img_jpeg_error_jump(cinfo);
}

struct JpegRead {
    std::FILE* file = nullptr;
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    JpegError err;
    int created = 0;
    int size_only = 0;
    int width = 0, height = 0, components = 0, stride = 0;
    unsigned char* pixels = nullptr;  // from malloc
};

int jpeg_read_steps(JpegRead& r)
{
    r.cinfo.err = jpeg_std_error(&r.err.mgr);
    r.err.mgr.error_exit = img_jpeg_error_jump;
    r.err.mgr.emit_message = img_jpeg_message;
    if (setjmp(r.err.jump))
        return 0;
    jpeg_create_decompress(&r.cinfo);
    r.created = 1;
    r.progress = jpeg_progress_mgr{};
    r.progress.progress_monitor = img_jpeg_progress;
    r.cinfo.progress = &r.progress;
    jpeg_stdio_src(&r.cinfo, r.file);
    if (jpeg_read_header(&r.cinfo, TRUE) != JPEG_HEADER_OK)
        return 0;
    if (!size_allowed(r.cinfo.image_width, r.cinfo.image_height))
        return 0;
    const J_COLOR_SPACE space = r.cinfo.jpeg_color_space;
    if (space == JCS_UNKNOWN || space == JCS_CMYK || space == JCS_YCCK)
        return 0;
    const bool grey = r.cinfo.out_color_space == JCS_GRAYSCALE;
#ifdef JCS_EXTENSIONS
    // The library writes blue, green, red itself.
    if (!grey)
        r.cinfo.out_color_space = JCS_EXT_BGR;
#endif
    jpeg_start_decompress(&r.cinfo);
    r.width = static_cast<int>(r.cinfo.output_width);
    r.height = static_cast<int>(r.cinfo.output_height);
    r.components = r.cinfo.output_components;
    if (r.size_only)
        return 1;
    if (!size_allowed(r.width, r.height) || (r.components != 1 && r.components != 3))
        return 0;
    const int bits = 8 * r.components;
    r.stride = ((bits * r.width + 31) / 32) * 4;
    r.pixels = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(r.stride) * r.height));
    if (!r.pixels)
        return 0;
    while (r.cinfo.output_scanline < r.cinfo.output_height) {
        JSAMPROW row = r.pixels + static_cast<std::size_t>(r.cinfo.output_scanline) * r.stride;
        jpeg_read_scanlines(&r.cinfo, &row, 1);
#ifndef JCS_EXTENSIONS
        if (r.components == 3)
            for (int x = 0; x < r.width; ++x)
                std::swap(row[x * 3], row[x * 3 + 2]);
#endif
    }
    jpeg_finish_decompress(&r.cinfo);
    return 1;
}

int jpeg_run(const std::string& name, JpegRead& r)
{
    File file(name, "rb");
    if (!file.f)
        return 0;
    r.file = file.f;
    const int ok = jpeg_read_steps(r);
    if (r.created)
        jpeg_destroy_decompress(&r.cinfo);
    return ok;
}

// ---- GIF ----

struct GifReader {
    GifFileType* gif = nullptr;
    int width = 0, height = 0, stride = 0;
    std::vector<unsigned char> composed;  // the frame shown
    std::vector<unsigned char> base;      // what the next frame is drawn over
    std::vector<GifPixelType> row;        // one row of colour indexes
    unsigned char table[256][3] = {};     // blue, green, red of the global map
    unsigned char local[256][3] = {};     // of a frame's own map
    unsigned char key[3] = {};            // blue, green, red
    unsigned char background[3] = {};
    // Where the composed area may differ from the base: the last frame's
    // rectangle on the canvas (empty: nowhere).
    int dirty_left = 0, dirty_top = 0, dirty_right = 0, dirty_bottom = 0;

    ~GifReader() { close(); }
    void close()
    {
        if (gif) {
            int error = 0;
            DGifCloseFile(gif, &error);
            gif = nullptr;
        }
    }
};

void fill_table(unsigned char table[256][3], const ColorMapObject* map)
{
    std::memset(table, 0, 256 * 3);
    const int count = map ? std::min(map->ColorCount, 256) : 0;
    for (int i = 0; i < count; ++i) {
        table[i][0] = map->Colors[i].Blue;
        table[i][1] = map->Colors[i].Green;
        table[i][2] = map->Colors[i].Red;
    }
}

// Copies a rectangle of the canvas from one area to the other.
void copy_rect(std::vector<unsigned char>& to, const std::vector<unsigned char>& from, int stride, int left,
               int top, int right, int bottom)
{
    if (left >= right)
        return;
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 3;
    for (int y = top; y < bottom; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(left) * 3;
        std::memcpy(to.data() + at, from.data() + at, bytes);
    }
}

void fill_area(std::vector<unsigned char>& area, int stride, int left, int top, int right, int bottom,
               const unsigned char colour[3])
{
    for (int y = top; y < bottom; ++y) {
        unsigned char* p = area.data() + static_cast<std::size_t>(y) * stride + left * 3;
        for (int x = left; x < right; ++x, p += 3)
            std::memcpy(p, colour, 3);
    }
}

bool gif_reader_open(GifReader& g, const std::string& name, ImgColour key)
{
    g.close();
    int error = 0;
    g.gif = DGifOpenFileName(name.c_str(), &error);
    if (!g.gif)
        return false;
    g.width = g.gif->SWidth;
    g.height = g.gif->SHeight;
    if (!size_allowed(g.width, g.height))
        return false;
    g.stride = stride24(g.width);
    g.key[0] = static_cast<unsigned char>(key >> 16);
    g.key[1] = static_cast<unsigned char>(key >> 8);
    g.key[2] = static_cast<unsigned char>(key);
    const std::size_t area = static_cast<std::size_t>(g.stride) * g.height;
    g.composed.resize(area);
    g.base.resize(area);
    fill_area(g.composed, g.stride, 0, 0, g.width, g.height, g.key);
    fill_area(g.base, g.stride, 0, 0, g.width, g.height, g.key);
    std::memcpy(g.background, g.key, 3);
    const ColorMapObject* map = g.gif->SColorMap;
    if (map && map->ColorCount > 0) {
        fill_table(g.table, map);
        if (g.gif->SBackGroundColor < map->ColorCount)
            std::memcpy(g.background, g.table[g.gif->SBackGroundColor], 3);
    } else {
        std::memset(g.table, 255, sizeof g.table);
        std::memset(g.table[0], 0, 3);
    }
    return true;
}

// Composes images until one with a delay (or the last); the delay in
// milliseconds, or 0 at the end of the file or on a failure (then failed).
int gif_reader_next_frame(GifReader& g, bool& failed)
{
    failed = false;
    int transparent = -1;
    int disposal = 0;
    int delay = 10;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (DGifGetRecordType(g.gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(g.gif, &code, &ext) != GIF_OK) {
                failed = true;
                return 0;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && ext) {
                if (ext[0] != 4) {
                    failed = true;
                    return 0;
                }
                transparent = (ext[1] & 1) ? ext[4] : -1;
                disposal = (ext[1] >> 2) & 7;
                delay = ext[2] | (ext[3] << 8);
            }
            // The application block ("NETSCAPE2.0" names the loop count) is
            // read over like any other: only the first frame is wanted.
            while (ext) {
                if (DGifGetExtensionNext(g.gif, &ext) != GIF_OK) {
                    failed = true;
                    return 0;
                }
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(g.gif) != GIF_OK) {
            failed = true;
            return 0;
        }
        const GifImageDesc& d = g.gif->Image;
        const unsigned char(*colours)[3] = g.table;
        if (d.ColorMap && d.ColorMap->ColorCount > 0) {
            fill_table(g.local, d.ColorMap);
            colours = g.local;
        }
        if (d.Width <= 0 || d.Height <= 0) {
            failed = true;
            return 0;
        }
        // The composed area starts as the base: only the last frame's
        // rectangle can differ, so only that is copied back.
        copy_rect(g.composed, g.base, g.stride, g.dirty_left, g.dirty_top, g.dirty_right, g.dirty_bottom);
        g.row.resize(static_cast<std::size_t>(d.Width));
        // The part of the frame that lies on the canvas.
        const int left = std::max(0, d.Left), top = std::max(0, d.Top);
        const int right = std::max(left, std::min(g.width, d.Left + d.Width));
        const int bottom = std::max(top, std::min(g.height, d.Top + d.Height));
        g.dirty_left = left;
        g.dirty_top = top;
        g.dirty_right = right;
        g.dirty_bottom = bottom;
        auto put_row = [&](int y) {
            const int cy = d.Top + y;
            if (cy < top || cy >= bottom)
                return;
            unsigned char* p = g.composed.data() + static_cast<std::size_t>(cy) * g.stride;
            for (int cx = left; cx < right; ++cx) {
                const GifPixelType index = g.row[static_cast<std::size_t>(cx - d.Left)];
                if (index == transparent)
                    continue;
                std::memcpy(p + cx * 3, colours[index], 3);
            }
        };
        static const int kStart[4] = {0, 4, 2, 1};
        static const int kStep[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int step = d.Interlace ? kStep[pass] : 1;
            for (int y = d.Interlace ? kStart[pass] : 0; y < d.Height; y += step) {
                if (DGifGetLine(g.gif, g.row.data(), d.Width) != GIF_OK) {
                    failed = true;
                    return 0;
                }
                put_row(y);
            }
        }
        if (disposal == 2) {
            if (left < right && top < bottom)
                fill_area(g.base, g.stride, left, top, right, bottom,
                          transparent < 0 ? g.background : g.key);
        } else if (disposal != 3) {
            copy_rect(g.base, g.composed, g.stride, left, top, right, bottom);
        }
        disposal = 0;
        if (delay != 0)
            return delay * 10;
        transparent = -1;
        delay = 10;
    }
    return 0;
}

QImage gif_reader_make_bitmap(const GifReader& g)
{
    QImage image(g.width, g.height, QImage::Format_BGR888);
    if (image.isNull() || image.bytesPerLine() < g.width * 3)
        return QImage();
    for (int y = 0; y < g.height; ++y)
        std::memcpy(image.scanLine(y), g.composed.data() + static_cast<std::size_t>(y) * g.stride,
                    static_cast<std::size_t>(g.width) * 3);
    return image;
}

// The first frame shown; false when the file fails before or inside it.
bool gif_decode_first(GifReader& g, const std::string& name, ImgColour key)
{
    if (!gif_reader_open(g, name, key))
        return false;
    bool failed = false;
    gif_reader_next_frame(g, failed);
    return !failed;
}

void put_le32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace

ImgColour img_colour(QRgb rgb)
{
    return static_cast<ImgColour>(qRed(rgb)) | static_cast<ImgColour>(qGreen(rgb)) << 8 |
           static_cast<ImgColour>(qBlue(rgb)) << 16;
}

bool img_is_picture_file(const std::string& file)
{
    for (const char* ext : {".bmp", ".png", ".jpg", ".jpeg", ".gif"})
        if (ends_with_nocase(file, ext))
            return true;
    return false;
}

void img_load_file(const std::string& file, QImage& out, ImgColour key, int kind)
{
    out = QImage();
    if (ends_with_nocase(file, ".bmp"))
        img_load_bmp(file, out, kind);
    else if (ends_with_nocase(file, ".png"))
        img_load_png(file, out, kind);
    else if (ends_with_nocase(file, ".jpg") || ends_with_nocase(file, ".jpeg"))
        img_load_jpeg(file, out, kind);
    else if (ends_with_nocase(file, ".gif"))
        img_load_gif(file, out, key, kind);
}

void img_load_bmp(const std::string& file, QImage& out, int kind)
{
    out = QImage();
    int w = 0, h = 0;
    if (file.empty() || !bmp_read_size(file, w, h) || !size_allowed(w, h))
        return;
    QImageReader reader(QString::fromStdString(file), "bmp");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || !size_allowed(size.width(), size.height()))
        return;
    QImage image = reader.read();
    if (!image.isNull() && image.format() != QImage::Format_BGR888 && kind != kImgDevice)
        image = image.convertToFormat(QImage::Format_BGR888);
    finish(out, std::move(image), kind);
}

void img_load_png(const std::string& file, QImage& out, int kind)
{
    out = QImage();
    PngRead r;
    if (!png_run(file, r)) {
        std::free(r.pixels);
        return;
    }
    const int w = static_cast<int>(r.width), h = static_cast<int>(r.height);
    QImage image(w, h, QImage::Format_BGR888);
    if (image.isNull()) {
        std::free(r.pixels);
        return;
    }
    const int b0 = r.bg[0], b1 = r.bg[1], b2 = r.bg[2];
    auto blend = [](int c, int b, int a) {
        const int t = c * a + b * (255 - a) + 128;
        return static_cast<unsigned char>((t + t / 256) / 256);
    };
    for (int y = 0; y < h; ++y) {
        const unsigned char* s = r.pixels + static_cast<std::size_t>(y) * r.rowbytes;
        unsigned char* d = image.scanLine(y);
        if (r.channels == 3) {
            for (int x = 0; x < w; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        } else {
            for (int x = 0; x < w; ++x, s += 4, d += 3) {
                const int a = s[3];
                if (a == 255) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                } else if (a == 0) {
                    d[0] = static_cast<unsigned char>(b2);
                    d[1] = static_cast<unsigned char>(b1);
                    d[2] = static_cast<unsigned char>(b0);
                } else {
                    d[0] = blend(s[2], b2, a);
                    d[1] = blend(s[1], b1, a);
                    d[2] = blend(s[0], b0, a);
                }
            }
        }
    }
    std::free(r.pixels);
    finish(out, std::move(image), kind);
}

void img_load_jpeg(const std::string& file, QImage& out, int kind)
{
    out = QImage();
    JpegRead r;
    if (!jpeg_run(file, r)) {
        std::free(r.pixels);
        return;
    }
    QImage image = image_over(r.pixels, r.width, r.height, r.stride,
                              r.components == 1 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (r.components == 1 && !image.isNull()) {
        QList<QRgb> greys(256);
        for (int i = 0; i < 256; ++i)
            greys[i] = qRgb(i, i, i);
        image.setColorTable(greys);
    }
    finish(out, std::move(image), kind);
}

void img_load_gif(const std::string& file, QImage& out, ImgColour key, int kind)
{
    out = QImage();
    GifReader g;
    if (!gif_decode_first(g, file, key))
        return;
    finish(out, gif_reader_make_bitmap(g), kind);
}

int bmp_read_size(const std::string& file, int& width, int& height)
{
    width = height = 0;
    File f(file, "rb");
    unsigned char head[26];
    if (!f.f || std::fread(head, 1, sizeof head, f.f) != sizeof head || head[0] != 'B' || head[1] != 'M')
        return 0;
    auto le32 = [&](int at) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(head[at]) |
                                         static_cast<std::uint32_t>(head[at + 1]) << 8 |
                                         static_cast<std::uint32_t>(head[at + 2]) << 16 |
                                         static_cast<std::uint32_t>(head[at + 3]) << 24);
    };
    const std::int32_t w = le32(18), h = le32(22);
    // A top-down file stores its height negated.
    if (w == INT32_MIN || h == INT32_MIN)
        return 0;
    width = w < 0 ? -w : w;
    height = h < 0 ? -h : h;
    return 1;
}

int img_png_size(const std::string& file, int& width, int& height)
{
    width = height = 0;
    PngRead r;
    r.size_only = 1;
    if (!png_run(file, r))
        return 0;
    width = static_cast<int>(r.width);
    height = static_cast<int>(r.height);
    return 1;
}

int img_jpeg_size(const std::string& file, int& width, int& height)
{
    width = height = 0;
    JpegRead r;
    r.size_only = 1;
    if (!jpeg_run(file, r))
        return 0;
    width = r.width;
    height = r.height;
    return 1;
}

int img_gif_size(const std::string& file, int& width, int& height)
{
    width = height = 0;
    GifReader g;
    if (!gif_decode_first(g, file, 0))
        return 0;
    width = g.width;
    height = g.height;
    return 1;
}

int img_read_size(const std::string& file, int& width, int& height)
{
    width = height = 0;
    if (ends_with_nocase(file, ".bmp"))
        return bmp_read_size(file, width, height);
    if (ends_with_nocase(file, ".png"))
        return img_png_size(file, width, height);
    if (ends_with_nocase(file, ".jpg") || ends_with_nocase(file, ".jpeg"))
        return img_jpeg_size(file, width, height);
    if (ends_with_nocase(file, ".gif"))
        return img_gif_size(file, width, height);
    return 0;
}

// ---- Writers ----

namespace {

struct JpegWrite {
    std::FILE* file = nullptr;
    jpeg_compress_struct cinfo;
    JpegError err;
    int created = 0;
    const QImage* rgb = nullptr;
    int quality = 100;
};

int jpeg_write_steps(JpegWrite& w)
{
    w.cinfo.err = jpeg_std_error(&w.err.mgr);
    w.err.mgr.error_exit = img_jpeg_error_jump;
    if (setjmp(w.err.jump))
        return 0;
    jpeg_create_compress(&w.cinfo);
    w.created = 1;
    jpeg_stdio_dest(&w.cinfo, w.file);
    w.cinfo.image_width = static_cast<JDIMENSION>(w.rgb->width());
    w.cinfo.image_height = static_cast<JDIMENSION>(w.rgb->height());
    w.cinfo.input_components = 3;
    w.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&w.cinfo);
    jpeg_set_quality(&w.cinfo, w.quality, TRUE);
    jpeg_start_compress(&w.cinfo, TRUE);
    while (w.cinfo.next_scanline < w.cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(w.rgb->constScanLine(static_cast<int>(w.cinfo.next_scanline)));
        jpeg_write_scanlines(&w.cinfo, &row, 1);
    }
    jpeg_finish_compress(&w.cinfo);
    return 1;
}

}  // namespace

bool img_save_jpeg(const std::string& file, const QImage& bitmap, int quality)
{
    if (bitmap.isNull() || file.empty())
        return false;
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return false;
    JpegWrite w;
    w.rgb = &rgb;
    w.quality = std::clamp(quality, 1, 100);
    int ok = 0;
    {
        File f(file, "wb");
        if (!f.f)
            return false;
        w.file = f.f;
        ok = jpeg_write_steps(w);
        if (w.created)
            jpeg_destroy_compress(&w.cinfo);
        if (ok && std::fflush(f.f) != 0)
            ok = 0;
    }
    return ok != 0;
}

int dib_save_bmp(const std::string& file, const QImage& bitmap)
{
    if (bitmap.isNull() || file.empty())
        return 0;
    const QImage bgr = bitmap.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull())
        return 0;
    const int w = bgr.width(), h = bgr.height();
    const std::uint32_t stride = static_cast<std::uint32_t>(stride24(w));
    const std::uint32_t image_size = stride * static_cast<std::uint32_t>(h);
    unsigned char head[54] = {};
    head[0] = 'B';
    head[1] = 'M';
    put_le32(head + 2, 54 + image_size);
    put_le32(head + 10, 54);
    put_le32(head + 14, 40);
    put_le32(head + 18, static_cast<std::uint32_t>(w));
    put_le32(head + 22, static_cast<std::uint32_t>(h));  // bottom-up
    head[26] = 1;
    head[28] = 24;
    put_le32(head + 34, image_size);
    File f(file, "wb");
    if (!f.f || std::fwrite(head, 1, sizeof head, f.f) != sizeof head)
        return 0;
    std::vector<unsigned char> row(stride, 0);
    for (int y = h - 1; y >= 0; --y) {
        std::memcpy(row.data(), bgr.constScanLine(y), static_cast<std::size_t>(w) * 3);
        if (std::fwrite(row.data(), 1, stride, f.f) != stride)
            return 0;
    }
    return std::fflush(f.f) == 0 ? 1 : 0;
}

// ---- Fitting and stretching ----

bool img_fit_size(QSize picture, const QRect& box, QRect& out, int flags)
{
    long long w = picture.width(), h = picture.height();
    const long long bw = box.width(), bh = box.height();
    bool scaled = false;
    if (w > bw || h > bh) {
        scaled = true;
        if (w > bw && w > 0) {
            h = h * bw / w;
            w = bw;
        }
        if (h > bh && h > 0) {
            w = w * bh / h;
            h = bh;
        }
    }
    QRect r(static_cast<int>(box.left() + (bw - w) / 2), static_cast<int>(box.top() + (bh - h) / 2),
            static_cast<int>(w), static_cast<int>(h));
    r = r.intersected(box);
    if (r.width() < box.width()) {
        if (flags & 1)
            r.moveLeft(box.left());
        else if (flags & 2)
            r.moveRight(box.right());
    }
    if (r.height() < box.height()) {
        if (flags & 4)
            r.moveTop(box.top());
        else if (flags & 8)
            r.moveBottom(box.bottom());
    }
    out = r;
    return scaled;
}

QImage img_copy_bitmap(const QImage& bitmap, const QRect& rect)
{
    if (bitmap.isNull() || rect.width() <= 0 || rect.height() <= 0 || !size_allowed(rect.width(), rect.height()))
        return QImage();
    return bitmap.copy(rect);
}

QImage img_key_transparent(const QImage& bitmap, QRgb key)
{
    QImage img = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb rgb = key & 0xFFFFFF;
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) == rgb)
                line[x] = 0;
    }
    return img;
}

bool img_set_stretch_mode(int target_width, int target_height, int picture_width, int picture_height)
{
    const long long target = static_cast<long long>(target_width) * target_height;
    const long long picture = static_cast<long long>(picture_width) * picture_height;
    return target > 0 && picture > target;
}

QImage img_scaled(const QImage& picture, int width, int height)
{
    if (picture.isNull() || width <= 0 || height <= 0 || !size_allowed(width, height))
        return QImage();
    if (picture.width() == width && picture.height() == height)
        return picture;
    const bool smooth = img_set_stretch_mode(width, height, picture.width(), picture.height());
    return picture.scaled(width, height, Qt::IgnoreAspectRatio,
                          smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
}

QImage img_stretch_copy(const QImage& bitmap, const QRect& rect, int flags)
{
    if (bitmap.isNull())
        return QImage();
    int w = (flags & 1) ? bitmap.width() : rect.width();
    int h = (flags & 2) ? bitmap.height() : rect.height();
    if (flags & 4) {
        w = std::min(w, bitmap.width());
        h = std::min(h, bitmap.height());
    }
    return img_scaled(bitmap, w, h);
}
