// Pictures in picture windows: /drawpic draws a picture file or an icon into
// the back buffer (scaled, tiled, transparent or a part of it) and keeps
// recently used pictures in a small cache; /drawsave writes the back buffer
// as a BMP, JPEG or PNG file through the safe save, so that a failed save
// never leaves a half-written file in place of the old one.
#include "extensions/picture_files.h"

#include <QImageReader>
#include <QPainter>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/text_buffer.h"
#include "display/pictures.h"
#include "extensions/picture_args.h"
#include "extensions/picture_windows.h"
#include "model/colors.h"
#include "model/window_record.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

// ---- The image cache ----

struct CacheEntry {
    std::string file;   // the resolved path, compared without regard to case
    QImage bitmap;
    long long uses = 1;
};
std::vector<CacheEntry> g_cache;  // in the order the entries were added

std::vector<CacheEntry>::iterator cache_find_entry(const std::string& file)
{
    return std::find_if(g_cache.begin(), g_cache.end(),
                        [&](const CacheEntry& e) { return text_equal_nocase(e.file, file); });
}

// The entry with the smallest use count (the earliest of equal counts) goes.
void cache_drop_least_used()
{
    if (g_cache.empty())
        return;
    auto least = g_cache.begin();
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it)
        if (it->uses < least->uses)
            least = it;
    g_cache.erase(least);
}

// ---- Writers into memory ----

void put16(std::string& out, unsigned v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The colour table of a bit count below 16: two entries black and white;
// sixteen of the standard 16-colour set; 256 of a 6 x 6 x 6 cube and a grey
// ramp.
std::vector<QRgb> bmp_palette(int bits)
{
    std::vector<QRgb> pal;
    if (bits == 1) {
        pal = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    } else if (bits == 4) {
        pal = {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
               qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
               qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
               qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    } else if (bits == 8) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    pal.push_back(qRgb(r * 51, g * 51, b * 51));
        for (int k = 0; pal.size() < 256; ++k) {
            const int v = 8 + k * 6;
            pal.push_back(qRgb(v, v, v));
        }
    }
    return pal;
}

int nearest(const std::vector<QRgb>& pal, QRgb c)
{
    int best = 0;
    long long best_d = -1;
    for (std::size_t k = 0; k < pal.size(); ++k) {
        const long long dr = qRed(pal[k]) - qRed(c), dg = qGreen(pal[k]) - qGreen(c), db = qBlue(pal[k]) - qBlue(c);
        const long long dist = dr * dr + dg * dg + db * db;
        if (best_d < 0 || dist < best_d) {
            best_d = dist;
            best = static_cast<int>(k);
        }
    }
    return best;
}

// A BMP file ("BM" header and a device-independent bitmap, rows bottom-up)
// of the bit count: 1, 4, 8, 16 (5-5-5), 24 or 32.
std::string bmp_encode(const QImage& src, int bits)
{
    const QImage img = src.convertToFormat(QImage::Format_RGB32);
    const int w = img.width(), h = img.height();
    const std::vector<QRgb> pal = bmp_palette(bits);
    const std::uint32_t stride = ((static_cast<std::uint32_t>(w) * bits + 31) / 32) * 4;
    const std::uint32_t table = static_cast<std::uint32_t>(pal.size()) * 4;
    const std::uint32_t offset = 14 + 40 + table;
    const std::uint32_t image = stride * static_cast<std::uint32_t>(h);
    std::string out;
    out.reserve(offset + image);
    out += "BM";
    put32(out, offset + image);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(w));
    put32(out, static_cast<std::uint32_t>(h));
    put16(out, 1);
    put16(out, static_cast<unsigned>(bits));
    put32(out, 0);  // no compression
    put32(out, image);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, static_cast<std::uint32_t>(pal.size()));
    put32(out, 0);
    for (QRgb c : pal) {
        out.push_back(static_cast<char>(qBlue(c)));
        out.push_back(static_cast<char>(qGreen(c)));
        out.push_back(static_cast<char>(qRed(c)));
        out.push_back('\0');
    }
    std::string row(stride, '\0');
    for (int y = h - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), '\0');
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = line[x];
            switch (bits) {
            case 32:
                row[x * 4] = static_cast<char>(qBlue(c));
                row[x * 4 + 1] = static_cast<char>(qGreen(c));
                row[x * 4 + 2] = static_cast<char>(qRed(c));
                break;
            case 24:
                row[x * 3] = static_cast<char>(qBlue(c));
                row[x * 3 + 1] = static_cast<char>(qGreen(c));
                row[x * 3 + 2] = static_cast<char>(qRed(c));
                break;
            case 16: {
                const unsigned v = ((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3);
                row[x * 2] = static_cast<char>(v & 0xFF);
                row[x * 2 + 1] = static_cast<char>(v >> 8);
                break;
            }
            case 8:
                row[x] = static_cast<char>(nearest(pal, c));
                break;
            case 4: {
                const int k = nearest(pal, c);
                row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 ? k : k << 4));
                break;
            }
            case 1:
                if (nearest(pal, c))
                    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
                break;
            default:
                break;
            }
        }
        out += row;
    }
    return out;
}

struct JpegErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpeg_error_exit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}

// A JPEG of the quality (1 to 100); false when it cannot be made.
bool jpeg_encode(const QImage& src, int quality, std::string& out)
{
    const QImage rgb = src.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return false;
    jpeg_compress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpeg_error_exit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return true;
}

void png_append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void png_no_flush(png_structp) {}

// A PNG of 8-bit RGB rows; false when it cannot be made.
bool png_encode(const QImage& src, std::string& out)
{
    const QImage rgb = src.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, png_append, png_no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(rgb.width()), static_cast<png_uint_32>(rgb.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < rgb.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(rgb.constScanLine(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool ends_with_nocase(const std::string& text, const char* tail)
{
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && text_equal_nocase(std::string_view(text).substr(text.size() - n), tail);
}

// ---- /drawsave ----

int cmd_drawsave(CommandCall& call)
{
    DrawCall d(call);
    if (!draw_open(d))
        return 0;
    int bits = 24, quality = 100;
    for (std::size_t k = 0; k < d.switches.size(); ++k) {
        const char letter = d.switches[k];
        long long n = 0;
        std::size_t j = k + 1;
        while (j < d.switches.size() && d.switches[j] >= '0' && d.switches[j] <= '9' && n < 1000000)
            n = n * 10 + (d.switches[j++] - '0');
        const bool given = j > k + 1;
        if (letter == 'b' && given)
            bits = static_cast<int>(n);
        else if (letter == 'q' && given)
            quality = n == 0 || n > 100 ? 100 : static_cast<int>(n);
        k = j - 1;
    }
    std::string file = d.rec->name + ".bmp";
    if (d.left() > 0 && !draw_take_file(d, file))
        return draw_error_path(d);
    std::string path;
    if (!file_resolve_file_path(file, path) || file_is_device(path))
        return draw_error_path(d);
    const QImage& img = d.st->buffer;
    std::string content;
    if (ends_with_nocase(path, ".jpg") || ends_with_nocase(path, ".jpeg")) {
        if (!jpeg_encode(img, quality, content))
            return script_error(nullptr, d.word, {}, 2);
    } else if (ends_with_nocase(path, ".png")) {
        if (!png_encode(img, content))
            return script_error(nullptr, d.word, {}, 2);
    } else {
        const int depth = color_screen_depth;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            bits = depth;
        else if (depth < bits)
            bits = depth;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            bits = 24;
        content = bmp_encode(img, bits);
    }
    if (!file_safe_save(path, content, 0))
        return script_error(nullptr, script_text(2102, file), {}, 6);
    return 1;
}

// ---- /drawpic ----

// An icon of the file: the image of that index, at the size asked (0: its
// own size). Null when there is none.
QImage load_icon(const std::string& path, int index, int size)
{
    QImageReader reader(QString::fromStdString(path));
    if (index > 0 && !reader.jumpToImage(index))
        return QImage();
    QImage icon = reader.read();
    if (icon.isNull())
        return icon;
    icon = icon.convertToFormat(QImage::Format_ARGB32);
    if (size > 0 && icon.size() != QSize(size, size))
        icon = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return icon;
}

int cmd_drawpic(CommandCall& call)
{
    DrawCall d(call);
    if (!draw_open(d, false))
        return 0;
    if (d.left() == 0) {
        if (!d.has('c'))
            return draw_error_params(d);
        picture_cache_free_all();
        return 1;
    }
    WindowRecord* rec = win_find_by_name(d.arg(0), nullptr);
    picture_sync_layout(rec);
    PictureState* st = picture_of(rec);
    if (!st || !rec->text_area.get())
        return draw_error_window(d);
    d.rec = rec;
    d.st = st;
    ++d.i;
    if (d.left() == 0)
        return draw_show_only(d);
    long long key = -1;
    if (d.has('t') && !d.number(key))
        return draw_error_params(d);
    long long x = 0, y = 0, w = -1, h = -1;
    if (!d.number(x) || !d.number(y))
        return draw_error_params(d);
    if (d.has('s') && d.number_at(0) && d.number_at(1)) {
        d.number(w);
        d.number(h);
    }
    bool part = false;
    long long sx = 0, sy = 0, sw = 0, sh = 0;
    if (d.number_at(0) && d.number_at(1) && d.number_at(2) && d.number_at(3)) {
        d.number(sx);
        d.number(sy);
        d.number(sw);
        d.number(sh);
        part = true;
    }
    long long index = 0;
    if (d.has('o') && d.number(index)) {
        index = std::max<long long>(index, 0);
        if (d.left() == 0)
            return draw_error_params(d);
    }
    std::string file;
    if (!draw_take_file(d, file))
        return d.left() == 0 ? draw_error_params(d) : draw_error_path(d);
    std::string path;
    if (!file_resolve_file_path(file, path))
        return draw_error_path(d);

    const bool use_cache = d.has('c');
    QImage pic;
    bool from_cache = false;
    const bool is_icon = !img_is_picture_file(path);
    if (!is_icon) {
        if (use_cache) {
            pic = picture_cache_find(path);
            from_cache = !pic.isNull();
        } else {
            picture_cache_forget(path);
        }
        const QRgb fill = key >= 0 ? draw_rgb(key).rgb() : picture_background();
        while (pic.isNull()) {
            img_load_file(path, pic, img_colour(fill), kImgDevice);
            if (!pic.isNull() || g_cache.empty())
                break;
            cache_drop_least_used();  // room for the picture, then again
        }
    } else {
        int size = 32;
        const std::size_t g = d.switches.find('g');
        if (g != std::string::npos && g + 1 < d.switches.size()) {
            const char n = d.switches[g + 1];
            size = n == '1' ? 16 : n == '3' ? 0 : 32;
        }
        pic = load_icon(path, static_cast<int>(index), size);
    }
    if (pic.isNull())
        return draw_error_load(d, file);

    const QRect source = part ? QRect(static_cast<int>(sx), static_cast<int>(sy), static_cast<int>(sw),
                                      static_cast<int>(sh))
                              : pic.rect();
    if (w < 0 || h < 0) {
        w = source.width();
        h = source.height();
    }
    QRect target(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h));
    long long bottom = y + h;
    {
        QPainter p(&st->buffer);
        p.setRenderHint(QPainter::SmoothPixmapTransform,
                        draw_smooth_stretch(d.has('m'), w, h, source.width(), source.height()));
        if (d.has('i'))
            p.setCompositionMode(QPainter::RasterOp_NotSourceOrDestination);
        QImage drawn = pic;
        if (key >= 0 && !is_icon)
            drawn = img_key_transparent(pic, draw_rgb(key).rgb());
        if (d.has('l') && !is_icon) {
            // Tiles from the target's corner; the last of a row is cut at the
            // right edge, rows keep their full height.
            const QImage tile = drawn.copy(source);
            if (!tile.isNull() && w > 0 && h > 0) {
                const long long rows = (h + tile.height() - 1) / tile.height();
                bottom = y + rows * tile.height();
                const QRect tiled(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                                  static_cast<int>(std::min<long long>(rows * tile.height(), kPictureCoordLimit)));
                p.setBrushOrigin(target.topLeft());
                p.fillRect(tiled, QBrush(tile));
                target = tiled;
            }
        } else {
            p.drawImage(target, drawn, source);
        }
    }
    picture_note_extent(st, x + w, bottom);
    if (use_cache && !from_cache && !is_icon)
        picture_cache_add(path, pic);
    return draw_finish(d, target);
}

}  // namespace

QImage picture_cache_find(const std::string& file)
{
    auto it = cache_find_entry(file);
    if (it == g_cache.end())
        return QImage();
    ++it->uses;
    return it->bitmap;
}

void picture_cache_add(const std::string& file, const QImage& bitmap)
{
    if (cache_find_entry(file) != g_cache.end())
        return;
    while (g_cache.size() >= kPictureCacheSize)
        cache_drop_least_used();
    g_cache.push_back(CacheEntry{file, bitmap, 1});
}

void picture_cache_forget(const std::string& file)
{
    auto it = cache_find_entry(file);
    if (it != g_cache.end())
        g_cache.erase(it);
}

void picture_cache_free_all()
{
    g_cache.clear();
}

std::vector<std::string> picture_cache_files()
{
    std::vector<std::string> out;
    for (const CacheEntry& e : g_cache)
        out.push_back(e.file);
    return out;
}

void picture_files_register()
{
    script_register_command_family("cmd_drawpic", cmd_drawpic);
    script_register_command_family("cmd_drawsave", cmd_drawsave);
}
