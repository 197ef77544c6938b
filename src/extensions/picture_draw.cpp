// The drawing commands of picture windows: /drawdot, /drawline, /drawrect,
// /drawfill, /drawreplace, /drawtext, /drawrot, /drawscroll and /drawcopy.
// Each draws into the window's back buffer and shows the changed part.
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/draw.h"
#include "display/fonts.h"
#include "display/pictures.h"
#include "extensions/picture_args.h"
#include "extensions/picture_windows.h"
#include "model/colors.h"
#include "model/window_record.h"
#include "script/exec/script_types.h"

namespace {

constexpr int kMaxPen = 4096;

long long pen_size(long long size)
{
    return size < 1 || size > kMaxPen ? 1 : size;
}

// ~(source ^ destination), the not-xor pen, on the colour bits.
QRgb not_xor(QRgb source, QRgb destination)
{
    return 0xFF000000u | (~(source ^ destination) & 0x00FFFFFFu);
}

void put_pixel(QImage& img, long long x, long long y, QRgb colour, bool xor_mode)
{
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
        return;
    const int xi = static_cast<int>(x), yi = static_cast<int>(y);
    img.setPixel(xi, yi, xor_mode ? not_xor(colour, img.pixel(xi, yi)) : (colour | 0xFF000000u));
}

// A solid rectangle of pixels, clipped to the buffer.
void fill_box(QImage& img, long long l, long long t, long long r, long long b, QRgb colour, bool xor_mode)
{
    l = std::max<long long>(l, 0);
    t = std::max<long long>(t, 0);
    r = std::min<long long>(r, img.width());
    b = std::min<long long>(b, img.height());
    for (long long y = t; y < b; ++y)
        for (long long x = l; x < r; ++x)
            put_pixel(img, x, y, colour, xor_mode);
}

// A painter on the buffer: pixels exact, the raster mode of `i`.
void begin_painter(QPainter& p, bool xor_mode)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    if (xor_mode)
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
}

// ---- /drawdot ----

int draw_dots(DrawCall& d)
{
    long long size = 0, x = 0, y = 0;
    if (d.left() == 0)
        return draw_show_only(d);
    const std::string colour_text = d.arg(0);
    ++d.i;
    if (!d.number(size) || !d.number_at(0) || !d.number_at(1))
        return draw_error_params(d);
    const QColor colour = draw_colour(colour_text, d.has('r'));
    const bool xor_mode = d.has('i');
    size = pen_size(size);
    QImage& img = d.st->buffer;
    QRect shown;
    while (d.number_at(0) && d.number_at(1)) {
        d.number(x);
        d.number(y);
        if (size == 1) {
            put_pixel(img, x, y, colour.rgb(), xor_mode);
            shown |= QRect(static_cast<int>(x), static_cast<int>(y), 1, 1);
            picture_note_extent(d.st, x + 1, y + 1);
            continue;
        }
        const QRect box(QPoint(static_cast<int>(x - size - 1), static_cast<int>(y - size - 1)),
                        QPoint(static_cast<int>(x + size - 2), static_cast<int>(y + size - 2)));
        {
            QPainter p(&img);
            begin_painter(p, xor_mode);
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawEllipse(box);
        }
        shown |= box;
        picture_note_extent(d.st, x + size - 1, y + size - 1);
    }
    return draw_finish(d, shown);
}

// ---- /drawline ----

int draw_lines(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    const std::string colour_text = d.arg(0);
    ++d.i;
    long long size = 0;
    if (!d.number(size) || !d.number_at(0) || !d.number_at(1) || !d.number_at(2) || !d.number_at(3))
        return draw_error_params(d);
    size = pen_size(size);
    std::vector<QPoint> points;
    long long x = 0, y = 0;
    long long right = 0, bottom = 0;
    while (d.number_at(0) && d.number_at(1)) {
        d.number(x);
        d.number(y);
        points.emplace_back(static_cast<int>(x), static_cast<int>(y));
        right = std::max(right, x + (size + 1) / 2);
        bottom = std::max(bottom, y + (size + 1) / 2);
    }
    QPen pen(draw_colour(colour_text, d.has('r')));
    pen.setWidth(size == 1 ? 0 : static_cast<int>(size));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    {
        QPainter p(&d.st->buffer);
        begin_painter(p, d.has('i'));
        p.setPen(pen);
        p.drawPolyline(points.data(), static_cast<int>(points.size()));
    }
    picture_note_extent(d.st, right, bottom);
    QRect shown = QPolygon(QList<QPoint>(points.begin(), points.end())).boundingRect();
    const int grow = static_cast<int>(size / 2 + 1);
    return draw_finish(d, shown.adjusted(-grow, -grow, grow, grow));
}

// ---- /drawrect ----

// Every second pixel along the outline of the box [l, r) x [t, b).
void dotted_outline(QImage& img, long long l, long long t, long long r, long long b, QRgb colour,
                    bool xor_mode)
{
    long long k = 0;
    auto dot = [&](long long x, long long y) {
        if (k++ % 2 == 0)
            put_pixel(img, x, y, colour, xor_mode);
    };
    // Long sides of a huge box: only the part inside the buffer matters
    // for the pixels, but the count keeps the dots in step.
    const long long limit = static_cast<long long>(img.width()) + img.height() + 4;
    auto walk = [&](long long from, long long to, long long step, auto at) {
        const long long n = (to - from) / step;  // number of pixels
        for (long long s = 0; s < n; ++s) {
            const long long pos = from + s * step;
            if (s > limit && n - s > limit) {
                // Far outside the buffer: skip ahead, keeping the parity.
                const long long skip = n - s - limit;
                k += skip;
                s += skip - 1;
                continue;
            }
            at(pos);
        }
    };
    walk(l, r, 1, [&](long long x) { dot(x, t); });
    walk(t + 1, b, 1, [&](long long y) { dot(r - 1, y); });
    if (b - 1 > t)
        walk(r - 2, l - 1, -1, [&](long long x) { dot(x, b - 1); });
    if (r - 1 > l)
        walk(b - 2, t, -1, [&](long long y) { dot(l, y); });
}

int draw_rects(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    const std::string colour_text = d.arg(0);
    ++d.i;
    long long size = 0;
    if (!d.number(size) || !d.number_at(0) || !d.number_at(1) || !d.number_at(2) || !d.number_at(3))
        return draw_error_params(d);
    size = pen_size(size);
    const QColor colour = draw_colour(colour_text, d.has('r'));
    const QRgb rgb = colour.rgb();
    const bool xor_mode = d.has('i');
    const bool fill = d.has('f');
    QImage& img = d.st->buffer;
    QRect all;
    while (d.number_at(0) && d.number_at(1) && d.number_at(2) && d.number_at(3)) {
        long long x = 0, y = 0, w = 0, h = 0;
        d.number(x);
        d.number(y);
        d.number(w);
        d.number(h);
        long long cw = 15, ch = 15;
        if (d.has('d') && d.number_at(0) && d.number_at(1)) {
            d.number(cw);
            d.number(ch);
        }
        QRect shown;
        if (w == 0 && h == 0) {
            put_pixel(img, x, y, rgb, xor_mode);
            shown = QRect(static_cast<int>(x), static_cast<int>(y), 1, 1);
            picture_note_extent(d.st, x + 1, y + 1);
        } else {
            for (long long t = size - 1; t >= 0; --t) {
                long long l = x + t, top = y + t, r = x + w - t, b = y + h - t;
                if (r < l)
                    std::swap(l, r);
                if (b < top)
                    std::swap(top, b);
                if (r <= l || b <= top)
                    continue;
                const QRect box(QPoint(static_cast<int>(l), static_cast<int>(top)),
                                QPoint(static_cast<int>(r - 1), static_cast<int>(b - 1)));
                shown |= box;
                if (d.has('e') || (d.has('d') && !d.has('c'))) {
                    QPainter p(&img);
                    begin_painter(p, xor_mode);
                    p.setPen(QPen(colour, 0));
                    if (fill)
                        p.setBrush(colour);
                    // Through the middles of the box's edge pixels, and never
                    // past them.
                    p.setClipRect(box);
                    const QRectF inner(box.left() + 0.5, box.top() + 0.5, box.width() - 1.0, box.height() - 1.0);
                    if (d.has('e'))
                        p.drawEllipse(inner);
                    else
                        p.drawRoundedRect(inner, std::abs(cw) / 2.0, std::abs(ch) / 2.0);
                    continue;
                }
                if (fill) {
                    if (d.has('c')) {
                        fill_box(img, l + 1, top + 1, r - 1, b - 1, rgb, xor_mode);
                        dotted_outline(img, l, top, r, b, rgb, xor_mode);
                    } else {
                        fill_box(img, l, top, r, b, rgb, xor_mode);
                    }
                    continue;
                }
                if (d.has('c')) {
                    dotted_outline(img, l, top, r, b, rgb, xor_mode);
                    continue;
                }
                // Four sides, each pixel once.
                fill_box(img, l, top, r, top + 1, rgb, xor_mode);
                if (b - 1 > top)
                    fill_box(img, l, b - 1, r, b, rgb, xor_mode);
                fill_box(img, l, top + 1, l + 1, b - 1, rgb, xor_mode);
                if (r - 1 > l)
                    fill_box(img, r - 1, top + 1, r, b - 1, rgb, xor_mode);
            }
            picture_note_extent(d.st, std::max(x, x + w), std::max(y, y + h));
        }
        if (!d.has('n') && !shown.isEmpty())
            picture_show(d.rec, shown);
        all |= shown;
    }
    if (d.has('h'))
        return draw_finish(d, all);
    return 1;
}

// ---- /drawfill ----

// The pixels connected to (x, y) (four ways) that `inside` accepts.
template <class Inside>
std::vector<unsigned char> flood_region(const QImage& img, int x, int y, Inside inside)
{
    const int w = img.width(), h = img.height();
    std::vector<unsigned char> seen(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    if (!inside(img.pixel(x, y)))
        return seen;
    std::vector<QPoint> stack{QPoint(x, y)};
    auto at = [&](int px, int py) -> unsigned char& { return seen[static_cast<std::size_t>(py) * w + px]; };
    while (!stack.empty()) {
        QPoint s = stack.back();
        stack.pop_back();
        int l = s.x(), y0 = s.y();
        if (at(l, y0))
            continue;
        while (l > 0 && !at(l - 1, y0) && inside(img.pixel(l - 1, y0)))
            --l;
        int r = s.x();
        while (r + 1 < w && !at(r + 1, y0) && inside(img.pixel(r + 1, y0)))
            ++r;
        for (int px = l; px <= r; ++px)
            at(px, y0) = 1;
        for (int ny : {y0 - 1, y0 + 1}) {
            if (ny < 0 || ny >= h)
                continue;
            bool run = false;
            for (int px = l; px <= r; ++px) {
                const bool in = !at(px, ny) && inside(img.pixel(px, ny));
                if (in && !run)
                    stack.emplace_back(px, ny);
                run = in;
            }
        }
    }
    return seen;
}

int draw_fills(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    if (d.left() < 4)
        return draw_error_params(d);
    const bool rgb = d.has('r');
    const QRgb colour = draw_colour(d.arg(0), rgb).rgb() | 0xFF000000u;
    const QRgb colour2 = draw_colour(d.arg(1), rgb).rgb() | 0xFF000000u;
    d.i += 2;
    if (!d.number_at(0) || !d.number_at(1))
        return draw_error_params(d);
    const bool xor_mode = d.has('i');
    QImage& img = d.st->buffer;
    while (d.number_at(0) && d.number_at(1)) {
        long long x = 0, y = 0;
        d.number(x);
        d.number(y);
        QImage pattern;
        if (d.left() > 0 && !d.number_at(0)) {
            std::string file;
            if (!draw_take_file(d, file))
                return draw_error_path(d);
            std::string path;
            if (!file_resolve_file_path(file, path))
                return draw_error_path(d);
            img_load_file(path, pattern, img_colour(picture_background()), kImgDevice);
            if (pattern.isNull())
                return draw_error_load(d, file);
            pattern = pattern.convertToFormat(QImage::Format_RGB32);
        }
        if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
            continue;
        std::vector<unsigned char> region;
        if (d.has('s'))
            region = flood_region(img, static_cast<int>(x), static_cast<int>(y),
                                  [&](QRgb p) { return (p | 0xFF000000u) == colour2; });
        else
            region = flood_region(img, static_cast<int>(x), static_cast<int>(y),
                                  [&](QRgb p) { return (p | 0xFF000000u) != colour2; });
        const int w = img.width(), h = img.height();
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px) {
                if (!region[static_cast<std::size_t>(py) * w + px])
                    continue;
                const QRgb c = pattern.isNull() ? colour : pattern.pixel(px % pattern.width(), py % pattern.height());
                put_pixel(img, px, py, c, xor_mode);
            }
    }
    picture_note_extent(d.st, img.width(), img.height());
    return draw_finish(d, QRect());
}

// ---- /drawreplace ----

int draw_replace(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    if (d.left() < 2)
        return draw_error_params(d);
    const bool rgb = d.has('r');
    const QRgb from = draw_colour(d.arg(0), rgb).rgb() | 0xFF000000u;
    const QRgb to = draw_colour(d.arg(1), rgb).rgb() | 0xFF000000u;
    d.i += 2;
    QImage& img = d.st->buffer;
    long long x = 0, y = 0, w = img.width(), h = img.height();
    if (d.left() >= 4) {
        if (!d.number_at(0) || !d.number_at(1) || !d.number_at(2) || !d.number_at(3))
            return draw_error_params(d);
        d.number(x);
        d.number(y);
        d.number(w);
        d.number(h);
    }
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    const bool xor_mode = d.has('i');
    const long long l = std::max<long long>(x, 0), t = std::max<long long>(y, 0);
    const long long r = std::min<long long>(x + w, img.width()), b = std::min<long long>(y + h, img.height());
    for (long long py = t; py < b; ++py)
        for (long long px = l; px < r; ++px)
            if ((img.pixel(static_cast<int>(px), static_cast<int>(py)) | 0xFF000000u) == from)
                put_pixel(img, px, py, to, xor_mode);
    // The extent takes the area's far edges: the area's bare size would
    // shrink it, and the next grow of the buffer would lose what was drawn.
    picture_note_extent(d.st, x + w, y + h);
    return draw_finish(d, QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h)));
}

// ---- /drawtext ----

int draw_text(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    const bool rgb = d.has('r');
    const QColor colour = draw_colour(d.arg(0), rgb);
    const long long colour_value = std::atoll(d.arg(0).c_str());
    ++d.i;
    QColor background = QColor::fromRgb(picture_background());
    long long background_value = kColorBackground;
    if (d.has('b')) {
        if (d.left() == 0)
            return draw_error_params(d);
        background = draw_colour(d.arg(0), rgb);
        background_value = std::atoll(d.arg(0).c_str());
        ++d.i;
    }
    WindowRecord* rec = d.rec;
    std::string face = rec->font_face;
    int size = rec->font_size;
    int weight = rec->font_weight;
    const int charset = rec->font_charset;
    if (d.left() > 0 && !d.number_at(0)) {
        std::string given;
        if (!draw_take_file(d, given))
            return draw_error_params(d);
        long long font_size = 0;
        if (!d.number(font_size))
            return draw_error_params(d);
        face = given;
        size = static_cast<int>(std::clamp<long long>(font_size, -1000, 1000));
        weight = d.has('o') ? 700 : 400;
    }
    long long x = 0, y = 0, w = 0, h = 0;
    if (!d.number(x) || !d.number(y))
        return draw_error_params(d);
    if (d.has('c') && (!d.number(w) || !d.number(h)))
        return draw_error_params(d);
    // The text: the rest of the line, at most a command line's length.
    std::string text;
    for (std::size_t k = d.i; k < d.call.tokens.size() && text.size() <= kLongText; ++k) {
        if (k > d.i)
            text += ' ';
        text += d.call.tokens[k];
    }
    if (text.size() > kLongText)
        text.resize(kLongText);
    if (text.empty())
        return draw_error_params(d);
    int flags = 0;
    if (!d.has('p'))
        flags |= kDrawNoCodes;
    if (d.has('l'))
        flags |= kDrawCrLfBreaks;
    QImage& img = d.st->buffer;
    // With `r` the text is painted as it stands in colours of its own
    // (codes taken out with `p`); otherwise by the line painter.
    std::string plain = text;
    if (rgb && d.has('p'))
        text_strip_codes(plain, 31);
    QFont font = font_make_qfont(face, size, weight, charset);
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics fm(font);
    const int measure_flags = (flags & kDrawNoCodes ? 4 : 0) | (flags & kDrawCrLfBreaks ? 0x40 : 0);
    auto width_of = [&](const std::string& line) {
        if (rgb)
            return fm.horizontalAdvance(QString::fromUtf8(line.data(), static_cast<int>(line.size())));
        return text_measure_in_font(line, face, size, weight, charset, 1 | 2 | measure_flags, 1, rec, nullptr) & 0xFFFF;
    };
    const int line_height = rgb ? fm.height()
                                : (text_measure_in_font("X", face, size, weight, charset, 1 | 2, 1, rec, nullptr) >> 16) & 0xFFFF;

    QRect box;
    std::vector<std::string> lines;
    if (d.has('c')) {
        box = QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(std::max<long long>(w, 0)),
                    static_cast<int>(std::max<long long>(h, 0)));
        // Wrapped at blanks to the box's width (a word wider than the box
        // is cut by it); with `l` a CR LF also ends a line.
        std::vector<std::string> pieces;
        const std::string& all = rgb ? plain : text;
        if (d.has('l')) {
            std::size_t from = 0, at;
            while ((at = all.find("\r\n", from)) != std::string::npos) {
                pieces.push_back(all.substr(from, at - from));
                from = at + 2;
            }
            pieces.push_back(all.substr(from));
        } else {
            pieces.push_back(all);
        }
        const int rows = line_height > 0 ? box.height() / line_height + 1 : 1;
        for (const std::string& piece : pieces) {
            std::string current;
            std::size_t from = 0;
            while (from <= piece.size() && static_cast<int>(lines.size()) < rows) {
                std::size_t blank = piece.find(' ', from);
                if (blank == std::string::npos)
                    blank = piece.size();
                const std::string word = piece.substr(from, blank - from);
                from = blank + 1;
                const std::string longer = current.empty() ? word : current + " " + word;
                if (!current.empty() && width_of(longer) > box.width()) {
                    lines.push_back(current);
                    current = word;
                } else {
                    current = longer;
                }
            }
            lines.push_back(current);
        }
        flags &= ~kDrawCrLfBreaks;
    } else {
        const int both = text_measure_in_font(text, face, size, weight, charset, 1 | 2 | measure_flags, 1, rec, nullptr);
        box = QRect(static_cast<int>(x), static_cast<int>(y), both & 0xFFFF, (both >> 16) & 0xFFFF);
        if (rgb)
            box.setSize(QSize(width_of(plain), line_height));
        lines.push_back(rgb ? plain : text);
    }
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setClipRect(box);
        if (rgb && d.has('b'))
            p.fillRect(box, background);
        int top = box.top();
        for (const std::string& line : lines) {
            if (top > box.bottom())
                break;
            if (rgb) {
                p.setFont(font);
                p.setPen(colour);
                p.drawText(QPoint(box.left(), top + fm.ascent()),
                           QString::fromUtf8(line.data(), static_cast<int>(line.size())));
                top += line_height;
            } else {
                const QSize drawn = draw_line(p, face, size, weight, charset, box.left(), top, box, line,
                                              static_cast<std::uint32_t>(colour_value),
                                              static_cast<std::uint32_t>(background_value), d.has('b') ? 2 : 1, 0,
                                              flags, 1, rec);
                top += std::max(drawn.height(), 1);
            }
        }
    }
    picture_note_extent(d.st, static_cast<long long>(box.left()) + box.width(),
                        static_cast<long long>(box.top()) + box.height());
    return draw_finish(d, box);
}

// ---- /drawrot ----

double round6(double v)
{
    return std::round(v * 1e6) / 1e6;
}

// The picture turned by the angle in degrees (nearest pixel), the corners
// it leaves filled with the background. Rows are counted from the bottom,
// as in a device-independent bitmap.
QImage rotate_picture(const QImage& src, double angle, QRgb background)
{
    while (angle < 0)
        angle += 360;
    angle = std::fmod(angle, 360.0);
    const double pi = 3.14159265358979323846;
    const double r = round6(-2 * pi * angle / 360);
    const double S = round6(std::sin(r)), C = round6(std::cos(r));
    const int W = src.width(), H = src.height();
    double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    for (const auto& [cx, cy] : {std::pair<double, double>{0, 0}, {W, 0}, {0, H}, {W, H}}) {
        const double X = round6(cx * C - cy * S), Y = round6(cx * S + cy * C);
        min_x = std::min(min_x, X);
        min_y = std::min(min_y, Y);
        max_x = std::max(max_x, X);
        max_y = std::max(max_y, Y);
    }
    const long long nw = static_cast<long long>(std::ceil(max_x - min_x));
    const long long nh = static_cast<long long>(std::ceil(max_y - min_y));
    const QSize bounded = picture_bounded_size(nw, nh, nullptr);
    QImage out(bounded, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    out.fill(background);
    const int ow = out.width(), oh = out.height();
    for (int i = 0; i < oh; ++i) {
        const double Y = min_y + i;
        for (int j = 0; j < ow; ++j) {
            const double X = min_x + j;
            long long col = static_cast<long long>(std::floor(S * Y + C * X));
            long long row = static_cast<long long>(std::floor(C * Y - S * X));
            if (angle >= 270) {
                row -= 1;
            } else if (angle >= 180) {
                row -= 1;
                col -= 1;
            } else if (angle >= 90) {
                col -= 1;
            }
            if (col < 0 || row < 0 || col >= W || row >= H)
                continue;
            // Bottom-up rows on both sides.
            out.setPixel(j, oh - 1 - i, src.pixel(static_cast<int>(col), H - 1 - static_cast<int>(row)));
        }
    }
    return out;
}

bool parse_angle(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(out) && std::fabs(out) < 1e9;
}

int draw_rot(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    QRgb background = picture_background();
    if (d.has('b')) {
        long long v = 0;
        if (!d.number(v))
            return draw_error_params(d);
        background = draw_rgb(v).rgb();
    }
    double angle = 0;
    if (!parse_angle(d.arg(0), angle))
        return draw_error_params(d);
    ++d.i;
    QImage& img = d.st->buffer;
    const long long bw = img.width(), bh = img.height();
    long long x = 0, y = 0, w = bw, h = bh;
    if (d.left() >= 4) {
        if (!d.number(x) || !d.number(y) || !d.number(w) || !d.number(h))
            return draw_error_params(d);
    }
    x = std::clamp<long long>(x, 0, bw);
    y = std::clamp<long long>(y, 0, bh);
    w = std::clamp<long long>(w, 0, bw - x);
    h = std::clamp<long long>(h, 0, bh - y);
    if (w <= 0 || h <= 0)
        return 0;
    const QRect area(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h));
    const QImage turned = rotate_picture(img.copy(area), angle, background);
    if (turned.isNull())
        return 0;
    QRect target;
    {
        QPainter p(&img);
        if (d.has('f')) {
            const bool smooth = draw_smooth_stretch(d.has('m'), w, h, turned.width(), turned.height());
            p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
            p.drawImage(area, turned);
            target = area;
        } else {
            long long tx = x, ty = y;
            if (d.has('c')) {
                tx -= (turned.width() - w) / 2;
                ty -= (turned.height() - h) / 2;
            }
            target = QRect(static_cast<int>(tx), static_cast<int>(ty), turned.width(), turned.height());
            p.drawImage(target.topLeft(), turned);
        }
    }
    picture_note_extent(d.st, static_cast<long long>(target.left()) + target.width(),
                        static_cast<long long>(target.top()) + target.height());
    return draw_finish(d, d.has('f') ? area : QRect());
}

// ---- /drawscroll ----

int draw_scroll(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    if (d.left() < 6)
        return draw_error_params(d);
    QImage& img = d.st->buffer;
    bool any = false;
    QRect all;
    while (d.left() >= 6 && d.number_at(0) && d.number_at(1) && d.number_at(2) && d.number_at(3) &&
           d.number_at(4) && d.number_at(5)) {
        long long dx = 0, dy = 0, x = 0, y = 0, w = 0, h = 0;
        d.number(dx);
        d.number(dy);
        d.number(x);
        d.number(y);
        d.number(w);
        d.number(h);
        any = true;
        const QRect area = QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(std::max<long long>(w, 0)),
                                 static_cast<int>(std::max<long long>(h, 0)))
                               .intersected(img.rect());
        if (area.isEmpty())
            continue;
        const QImage part = img.copy(area);
        {
            QPainter p(&img);
            p.setClipRect(area);
            p.drawImage(QPointF(area.left() + static_cast<double>(dx), area.top() + static_cast<double>(dy)), part);
        }
        if (!d.has('n'))
            picture_show(d.rec, area);
        all |= area;
    }
    if (!any)
        return draw_error_params(d);
    if (d.has('h'))
        return draw_finish(d, all);
    return 1;
}

// ---- /drawcopy ----

int draw_copy(DrawCall& d)
{
    if (d.left() == 0)
        return draw_show_only(d);
    long long key = -1;
    if (d.has('t')) {
        if (!d.number(key))
            return draw_error_params(d);
    }
    long long x = 0, y = 0, w = 0, h = 0;
    if (!d.number(x) || !d.number(y) || !d.number(w) || !d.number(h))
        return draw_error_params(d);
    if (d.left() == 0)
        return draw_error_params(d);
    WindowRecord* to = win_find_by_name(d.arg(0), nullptr);
    picture_sync_layout(to);
    PictureState* to_st = picture_of(to);
    if (!to_st)
        return draw_error_window(d);
    ++d.i;
    long long x2 = 0, y2 = 0, w2 = w, h2 = h;
    if (!d.number(x2) || !d.number(y2))
        return draw_error_params(d);
    if (d.number_at(0) && d.number_at(1)) {
        d.number(w2);
        d.number(h2);
    }
    if (w == 0 || h == 0 || w2 == 0 || h2 == 0)
        return 1;
    const QImage& from = d.st->buffer;
    // The source part as it is before the copy (the same window may be
    // both ends), within the buffer.
    const QRect source_area = QRect(static_cast<int>(std::min(x, x + w)), static_cast<int>(std::min(y, y + h)),
                                    static_cast<int>(std::abs(w)), static_cast<int>(std::abs(h)));
    QImage part(source_area.size(), QImage::Format_RGB32);
    if (part.isNull())
        return 0;
    part.fill(Qt::black);
    {
        QPainter p(&part);
        p.drawImage(QPoint(0, 0), from, source_area);
    }
    if (w < 0 || h < 0)
        part = part.mirrored(w < 0, h < 0);
    QImage over = part;
    if (key >= 0) {
        // The transparent colour's pixels are left out.
        const QRgb k = draw_rgb(key).rgb() | 0xFF000000u;
        over = part.convertToFormat(QImage::Format_ARGB32);
        for (int py = 0; py < over.height(); ++py) {
            auto* line = reinterpret_cast<QRgb*>(over.scanLine(py));
            for (int px = 0; px < over.width(); ++px)
                if ((line[px] | 0xFF000000u) == k)
                    line[px] = 0;
        }
    }
    QRect target(static_cast<int>(std::min(x2, x2 + w2)), static_cast<int>(std::min(y2, y2 + h2)),
                 static_cast<int>(std::abs(w2)), static_cast<int>(std::abs(h2)));
    if (w2 < 0 || h2 < 0)
        over = over.mirrored(w2 < 0, h2 < 0);
    {
        QPainter p(&to_st->buffer);
        p.setRenderHint(QPainter::SmoothPixmapTransform,
                        draw_smooth_stretch(d.has('m'), w2, h2, w, h));
        if (d.has('i'))
            p.setCompositionMode(QPainter::RasterOp_NotSourceOrDestination);
        p.drawImage(target, over);
    }
    picture_note_extent(to_st, x2 + w2, y2 + h2);
    d.rec = to;
    d.st = to_st;
    return draw_finish(d, target);
}

// /drawdot, /drawline, /drawrect, /drawfill and /drawreplace share one
// handler; the registration's number tells them apart.
int cmd_drawdot(CommandCall& call)
{
    DrawCall d(call);
    if (!draw_open(d))
        return 0;
    switch (call.variant) {
    case 1: return draw_dots(d);
    case 2: return draw_lines(d);
    case 3: return draw_rects(d);
    case 4: return draw_fills(d);
    case 5: return draw_replace(d);
    default: return draw_error_params(d);
    }
}

template <int (*Body)(DrawCall&)>
int run_draw(CommandCall& call)
{
    DrawCall d(call);
    if (!draw_open(d))
        return 0;
    return Body(d);
}

}  // namespace

void picture_draw_register()
{
    script_register_command_family("cmd_drawdot", cmd_drawdot);
    script_register_command_family("cmd_drawtext", run_draw<draw_text>);
    script_register_command_family("cmd_drawrot", run_draw<draw_rot>);
    script_register_command_family("cmd_drawscroll", run_draw<draw_scroll>);
    script_register_command_family("cmd_drawcopy", run_draw<draw_copy>);
}
