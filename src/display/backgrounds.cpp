#include "display/backgrounds.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QWidget>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cstdlib>

#include "display/bar_windows.h"
#include "display/pictures.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/record_slots.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"

namespace {

// A picture larger than this on either side is not loaded: a window never
// needs more, and a hostile file must not take the memory.
constexpr int kMaxPictureSide = 4096;
// Photo mode: the picture's height at most.
constexpr int kPhotoHeight = 120;

struct WindowBackground {
    int mode = kBgNormal;
    int uses_kind = 0;
    std::string file;         // empty without a picture
    QImage picture;
    QImage rendered;          // the picture drawn in its mode at the window's size
    QRgb rendered_fill = 0;
    int rendered_mode = -1;
};

RecordSlot<WindowBackground> bg_slot;

int cleared_mode(const WindowRecord* rec);

// The window's state, made with the window's starting mode on first use.
WindowBackground& state(WindowRecord* rec)
{
    if (WindowBackground* bg = rec->state_slots.find(bg_slot))
        return *bg;
    WindowBackground& bg = rec->state_slots.get(bg_slot);
    bg.mode = cleared_mode(rec);
    return bg;
}

const WindowBackground* find_state(const WindowRecord* rec)
{
    return rec ? rec->state_slots.find(bg_slot) : nullptr;
}

bool is_query_kind(const WindowRecord* rec)
{
    return rec->type == kWinQuery && rec->subtype != kQueryMessages;
}

bool is_channel_or_query(const WindowRecord* rec)
{
    return rec->type == kWinChannel || is_query_kind(rec);
}

// Queries and DCC chats return to photo, the others to normal.
int cleared_mode(const WindowRecord* rec)
{
    return rec->type == kWinQuery &&
                   (rec->subtype == kQueryPrivate || rec->subtype == kQueryDccChat)
               ? kBgPhoto
               : kBgNormal;
}

int clamp_mode(long long mode)
{
    return mode < kBgCentre || mode > kBgPhoto ? kBgCentre : static_cast<int>(mode);
}

std::string read_value(const std::string& key)
{
    std::string value;
    if (!key.empty())
        ini_read("background", key.c_str(), "", value, kMediumTextSize, main_ini_path);
    return value;
}

// A stored value: "none" or empty gives no file; else the file (made
// absolute) and the mode after the last comma.
bool parse_value(const std::string& value, std::string& file, int& mode)
{
    file.clear();
    if (value.empty() || text_equal_nocase(value, "none"))
        return false;
    const std::size_t comma = value.rfind(',');
    if (comma == std::string::npos) {
        file = value;
    } else {
        file = value.substr(0, comma);
        const std::string number = value.substr(comma + 1);
        mode = text_is_digits(number) && number.size() < 3 ? clamp_mode(std::atoll(number.c_str()))
                                                           : kBgCentre;
    }
    if (!file.empty())
        file_abs_settings_dir(file);
    return !file.empty();
}

std::string stored_value(const std::string& file, int mode)
{
    if (file.empty())
        return "none";
    return file_relative_to_settings_dir(file) + "," + std::to_string(mode);
}

void write_key(const std::string& key, const char* value)
{
    if (!key.empty())
        ini_write("background", key.c_str(), value, main_ini_path);
}

// The picture loaded with the colour that a GIF's transparent pixels show,
// in the screen's format for painting.
QImage load_picture(const std::string& file, const QColor& fill)
{
    QImage image;
    img_load_file(file, image, img_colour(fill.rgb()), kImgDib);
    if (image.isNull() || image.width() > kMaxPictureSide || image.height() > kMaxPictureSide)
        return QImage();
    return image.convertToFormat(QImage::Format_RGB32);
}

// The picture scaled to the size: smoothly for a reduction only.
void draw_scaled(QPainter& p, const QRect& target, const QImage& pic)
{
    if (target.width() <= 0 || target.height() <= 0)
        return;
    if (target.size() == pic.size()) {
        p.drawImage(target.topLeft(), pic);
        return;
    }
    const QImage scaled = img_scaled(pic, target.width(), target.height());
    if (!scaled.isNull())
        p.drawImage(target.topLeft(), scaled);
}

QColor mdi_fill()
{
    return QApplication::palette().color(QPalette::Dark);
}

void render(WindowBackground& bg, const QSize& size, const QColor& fill)
{
    QImage out(size, QImage::Format_RGB32);
    out.fill(fill);
    QPainter p(&out);
    const QImage& pic = bg.picture;
    const int w = size.width(), h = size.height();
    const int pw = pic.width(), ph = pic.height();
    switch (bg.mode) {
    case kBgCentre:
        p.drawImage(QPoint((w - pw) / 2, (h - ph) / 2), pic);
        break;
    case kBgFill:
        draw_scaled(p, QRect(0, 0, w, h), pic);
        break;
    case kBgStretch: {
        const double ratio = std::max(0.1, static_cast<double>(pw) / std::max(1, ph));
        int tw = w, th = static_cast<int>(w / ratio);
        if (th > h) {
            th = h;
            tw = static_cast<int>(h * ratio);
        }
        draw_scaled(p, QRect((w - tw) / 2, (h - th) / 2, tw, th), pic);
        break;
    }
    case kBgTile:
        p.fillRect(QRect(0, 0, w, h), QBrush(pic));
        break;
    case kBgPhoto: {
        const int th = std::min(ph, kPhotoHeight);
        const int tw = ph > 0 ? static_cast<int>(static_cast<long long>(pw) * th / ph) : 0;
        draw_scaled(p, QRect(w - tw, 0, tw, th), pic);
        break;
    }
    default:
        p.drawImage(QPoint(0, 0), pic);
        break;
    }
    p.end();
    bg.rendered = out;
    bg.rendered_fill = fill.rgb();
    bg.rendered_mode = bg.mode;
}

void drop_render(WindowBackground& bg)
{
    bg.rendered = QImage();
    bg.rendered_mode = -1;
}

// The system menu's background entries: the mode ticked, the kind-default
// entry ticked while the window uses it, the store-for-kind entry never.
void tick_menu(QMenu* menu, int mode, int uses_kind)
{
    for (QAction* a : menu->actions()) {
        const int id = win_sysmenu_action_id(a);
        if ((id >= 268 && id <= 273) || id == 277 || id == 278) {
            a->setCheckable(true);
            a->setChecked(id == 277 ? uses_kind != 0 : id == 268 + mode);
        }
        if (QMenu* sub = a->menu())
            tick_menu(sub, mode, uses_kind);
    }
}

void redraw(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    bg_tick_system_menu(rec);
    win_redraw(rec, 1);
}

bool applying_kind = false;

// The area behind the windows.
WindowBackground mdi_bg;

void mdi_redraw()
{
    if (auto* area = qobject_cast<QAbstractScrollArea*>(win_mdi_handle()))
        area->viewport()->update();
}

void mdi_store()
{
    if (mdi_bg.file.empty())
        write_key("@mdi", nullptr);
    else
        write_key("@mdi", stored_value(mdi_bg.file, mdi_bg.mode).c_str());
}

int mdi_mode(int mode)
{
    mode = clamp_mode(mode);
    return mode == kBgPhoto ? kBgCentre : mode;
}

}  // namespace

int bg_window_takes_picture(const WindowRecord* rec)
{
    if (!rec)
        return 0;
    switch (rec->type) {
    case kWinStatus:
    case kWinChannel:
    case kWinQuery:
    case kWinFinger:
        return 1;
    case kWinCustom:
        return rec->subtype != 1 && !rec->picture ? 1 : 0;
    default:
        return 0;
    }
}

std::string bg_own_key(const WindowRecord* rec)
{
    if (!rec)
        return {};
    if (rec->type == kWinStatus)
        return "status";
    if (rec->type == kWinFinger)
        return "wfinger";
    if (rec->type == kWinQuery && rec->subtype == kQueryMessages)
        return "wmessage";
    if (rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve)) {
        const std::size_t blank = rec->name.find(' ');
        if (blank != std::string::npos)
            return rec->name.substr(blank + 1);
    }
    return rec->name;
}

std::string bg_kind_key(const WindowRecord* rec)
{
    if (!rec)
        return {};
    if (rec->type == kWinChannel)
        return "wchannel";
    if (rec->type == kWinQuery) {
        switch (rec->subtype) {
        case kQueryPrivate: return "wquery";
        case kQueryDccChat: return "wchat";
        case kQueryFserve: return "wserv";
        default: return {};
        }
    }
    return {};
}

// The kind default of a window: DCC chats and file-server windows fall back
// to the query default when their own is empty or "none".
static std::string kind_value(const WindowRecord* rec)
{
    std::string value = read_value(bg_kind_key(rec));
    if (rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve) &&
        (value.empty() || text_equal_nocase(value, "none")))
        value = read_value("wquery");
    return value;
}

int bg_load_for_window(WindowRecord* rec, int apply)
{
    if (!win_is_record(rec) || !bg_window_takes_picture(rec))
        return kBgNormal;
    WindowBackground& bg = state(rec);
    std::string value = read_value(bg_own_key(rec));
    bg.uses_kind = 0;
    if (value.empty() && !bg_kind_key(rec).empty()) {
        value = kind_value(rec);
        bg.uses_kind = 1;
    }
    std::string file;
    int mode = bg.mode;
    const bool has_file = parse_value(value, file, mode);
    bg.mode = mode;
    if (apply) {
        if (has_file) {
            if (file != bg.file || bg.picture.isNull())
                bg_set_picture(rec, file);
        } else {
            bg.file.clear();
            bg.picture = QImage();
        }
        drop_render(bg);
        redraw(rec);
    }
    return bg.mode;
}

int bg_set_picture(WindowRecord* rec, const std::string& file)
{
    if (!win_is_record(rec))
        return 0;
    WindowBackground& bg = state(rec);
    QImage picture = load_picture(file, colour_window_background(rec));
    drop_render(bg);
    if (picture.isNull()) {
        bg.picture = QImage();
        bg.file.clear();
        return 0;
    }
    bg.picture = std::move(picture);
    bg.file = file.substr(0, kMediumText);
    redraw(rec);
    return 1;
}

void bg_set_mode(WindowRecord* rec, int mode)
{
    if (!win_is_record(rec))
        return;
    WindowBackground& bg = state(rec);
    bg.mode = clamp_mode(mode);
    drop_render(bg);
    write_key(bg_own_key(rec), stored_value(bg.file, bg.mode).c_str());
    redraw(rec);
}

void bg_clear(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    WindowBackground& bg = state(rec);
    bg.picture = QImage();
    bg.file.clear();
    bg.uses_kind = 0;
    bg.mode = cleared_mode(rec);
    drop_render(bg);
    write_key(bg_own_key(rec), "none");
    redraw(rec);
}

void bg_store_setting(WindowRecord* rec, int how)
{
    if (!win_is_record(rec))
        return;
    WindowBackground& bg = state(rec);
    const std::string own = bg_own_key(rec);
    const std::string kind = bg_kind_key(rec);
    switch (how) {
    case 0:
        write_key(own, "none");
        bg.uses_kind = 0;
        break;
    case 1:
        write_key(own, stored_value(bg.file, bg.mode).c_str());
        bg.uses_kind = 0;
        break;
    case 2:
        if (!is_channel_or_query(rec) || kind.empty())
            return;
        write_key(own, nullptr);
        write_key(kind, stored_value(bg.file, bg.mode).c_str());
        bg.uses_kind = 1;
        break;
    case 3:
        if (kind.empty())
            return;
        write_key(kind, bg.file.empty() ? nullptr : stored_value(bg.file, bg.mode).c_str());
        bg.uses_kind = 1;
        break;
    case 4:
        write_key(own, nullptr);
        bg_load_for_window(rec, 1);
        break;
    default:
        return;
    }
    redraw(rec);
    if (is_channel_or_query(rec))
        bg_load_kind_default(rec);
}

void bg_load_kind_default(WindowRecord* rec)
{
    if (applying_kind || !win_is_record(rec) || !is_channel_or_query(rec))
        return;
    applying_kind = true;
    const std::string kind = bg_kind_key(rec);
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r == rec || bg_kind_key(r) != kind)
            continue;
        const WindowBackground* bg = find_state(r);
        if (!bg || !bg->uses_kind || !read_value(bg_own_key(r)).empty())
            continue;
        bg_load_for_window(r, 1);
    }
    applying_kind = false;
}

void bg_store_for_later(const std::string& key, const std::string& file, int mode, int remove)
{
    if (remove) {
        write_key(key, nullptr);
        return;
    }
    const std::string shown = file.empty() ? std::string() : file_relative_to_settings_dir(file);
    write_key(key, (shown + "," + std::to_string(mode)).c_str());
}

int bg_mode(const WindowRecord* rec)
{
    const WindowBackground* bg = find_state(rec);
    return bg ? bg->mode : kBgNormal;
}

std::string bg_file(const WindowRecord* rec)
{
    const WindowBackground* bg = find_state(rec);
    return bg ? bg->file : std::string();
}

void bg_tick_system_menu(WindowRecord* rec)
{
    if (rec && rec->system_menu)
        tick_menu(rec->system_menu.get(), bg_mode(rec), bg_uses_kind_default(rec));
}

int bg_uses_kind_default(const WindowRecord* rec)
{
    const WindowBackground* bg = find_state(rec);
    return bg ? bg->uses_kind : 0;
}

int bg_paint(WindowRecord* rec, QPainter& painter, const QRect& area)
{
    if (!win_is_record(rec) || area.isEmpty())
        return 0;
    WindowBackground* bg = rec->state_slots.find(bg_slot);
    if (!bg || bg->picture.isNull())
        return 0;
    const QColor fill = colour_window_background(rec);
    if (bg->rendered.size() != area.size() || bg->rendered_fill != fill.rgb() ||
        bg->rendered_mode != bg->mode)
        render(*bg, area.size(), fill);
    painter.drawImage(area.topLeft(), bg->rendered);
    return 1;
}

void bg_window_opened(WindowRecord* rec)
{
    if (bg_window_takes_picture(rec))
        bg_load_for_window(rec, 1);
}


void bg_init_mdi()
{
    std::string file;
    int mode = kBgNormal;
    mdi_bg = WindowBackground{};
    if (parse_value(read_value("@mdi"), file, mode)) {
        mdi_bg.picture = load_picture(file, mdi_fill());
        if (!mdi_bg.picture.isNull())
            mdi_bg.file = file.substr(0, kMediumText);
    }
    mdi_bg.mode = mdi_mode(mode);
    mdi_redraw();
    bar_bg_load_all();
}

int bg_mdi_set_picture(const std::string& file)
{
    QImage picture = load_picture(file, mdi_fill());
    drop_render(mdi_bg);
    if (picture.isNull())
        return 0;
    mdi_bg.picture = std::move(picture);
    mdi_bg.file = file.substr(0, kMediumText);
    mdi_store();
    mdi_redraw();
    return 1;
}

void bg_mdi_set_mode(int mode)
{
    mdi_bg.mode = mdi_mode(mode);
    drop_render(mdi_bg);
    mdi_store();
    mdi_redraw();
}

void bg_mdi_clear()
{
    mdi_bg.picture = QImage();
    mdi_bg.file.clear();
    mdi_bg.mode = kBgNormal;
    drop_render(mdi_bg);
    write_key("@mdi", nullptr);
    mdi_redraw();
}

int bg_mdi_mode() { return mdi_bg.mode; }
std::string bg_mdi_file() { return mdi_bg.file; }

int bg_mdi_paint(QPainter& painter, QWidget* mdi)
{
    auto* area = qobject_cast<QAbstractScrollArea*>(mdi);
    if (!area || mdi_bg.picture.isNull())
        return 0;
    const QSize size = area->viewport()->size();
    if (size.isEmpty())
        return 0;
    const QColor fill = mdi_fill();
    if (mdi_bg.rendered.size() != size || mdi_bg.rendered_fill != fill.rgb() ||
        mdi_bg.rendered_mode != mdi_bg.mode)
        render(mdi_bg, size, fill);
    painter.drawImage(QPoint(0, 0), mdi_bg.rendered);
    return 1;
}

void bg_rerender(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return;
    WindowBackground* bg = rec->state_slots.find(bg_slot);
    if (!bg || bg->picture.isNull())
        return;
    // A GIF's transparent pixels show the Background colour: load it again.
    if (bg->file.size() > 4 && text_equal_nocase(std::string_view(bg->file).substr(bg->file.size() - 4), ".gif")) {
        QImage picture = load_picture(bg->file, colour_window_background(rec));
        if (!picture.isNull())
            bg->picture = std::move(picture);
    }
    drop_render(*bg);
    win_redraw(rec, 1);
}

// ---- Bars ----

namespace {

struct BarBackground {
    std::string file;   // empty without a picture
    QImage picture;
    QImage rendered;    // the picture tiled over the bar's size
};

BarBackground bar_bgs[kBarBgCount];

const char* const kBarKeys[kBarBgCount] = {"toolbar", "switchbar", "treebar", "toolbuttons"};

bool bar_valid(int bar)
{
    return bar >= 0 && bar < kBarBgCount;
}

QColor bar_face()
{
    return QApplication::palette().color(QPalette::Button);
}

void bar_repaint(int bar)
{
    const int window = bar == kBarBgToolbuttons ? BAR_TOOLBAR : bar;
    if (QWidget* w = bar_window(window))
        w->update();
}

// The bar's picture from the file; the old one stays when it cannot be loaded.
int bar_load(int bar, const std::string& file)
{
    QImage picture;
    img_load_file(file, picture, img_colour(bar_face().rgb()), kImgDib);
    if (picture.isNull())
        return 0;
    BarBackground& b = bar_bgs[bar];
    b.picture = picture.convertToFormat(QImage::Format_RGB32);
    b.rendered = QImage();
    b.file = file.substr(0, kMediumText);
    return 1;
}

}  // namespace

int bar_bg_from_key(const std::string& key)
{
    for (int i = 0; i < kBarBgCount; ++i)
        if (text_equal_nocase(key, kBarKeys[i]))
            return i;
    return -1;
}

const char* bar_bg_key(int bar)
{
    return bar_valid(bar) ? kBarKeys[bar] : "";
}

int bar_bg_set(int bar, const std::string& file, int store)
{
    if (!bar_valid(bar) || file.empty() || !bar_load(bar, file))
        return 0;
    if (store)
        write_key(kBarKeys[bar], file_relative_to_settings_dir(file).c_str());
    bar_repaint(bar);
    if (bar == kBarBgToolbar)
        bar_repaint(kBarBgSwitchbar);
    return 1;
}

void bar_bg_clear(int bar, int how)
{
    (void)how;
    if (!bar_valid(bar))
        return;
    bar_bgs[bar] = BarBackground{};
    write_key(kBarKeys[bar], nullptr);
    bar_repaint(bar);
    if (bar == kBarBgToolbar)
        bar_repaint(kBarBgSwitchbar);
}

void bar_bg_load_all()
{
    for (int bar = 0; bar < kBarBgCount; ++bar) {
        bar_bgs[bar] = BarBackground{};
        std::string file = read_value(kBarKeys[bar]);
        if (file.empty() || text_equal_nocase(file, "none"))
            continue;
        file_abs_settings_dir(file);
        if (bar_load(bar, file))
            bar_repaint(bar);
    }
}

int bar_bg_has(int bar)
{
    return bar_valid(bar) && !bar_bgs[bar].picture.isNull() ? 1 : 0;
}

std::string bar_bg_file(int bar)
{
    return bar_valid(bar) ? bar_bgs[bar].file : std::string();
}

const QImage& bar_bg_get(int bar, int width, int height)
{
    static const QImage none;
    if (!bar_valid(bar) || bar_bgs[bar].picture.isNull())
        return none;
    BarBackground& b = bar_bgs[bar];
    if (bar == kBarBgToolbuttons)
        return b.picture;
    width = std::clamp(width, 1, kMaxPictureSide * 2);
    height = std::clamp(height, 1, kMaxPictureSide * 2);
    if (b.rendered.width() != width || b.rendered.height() != height) {
        QImage out(width, height, QImage::Format_RGB32);
        if (out.isNull())
            return none;
        QPainter p(&out);
        p.fillRect(out.rect(), QBrush(b.picture));
        p.end();
        b.rendered = std::move(out);
    }
    return b.rendered;
}

int bar_bg_set_by_key(const std::string& bar, const std::string& file)
{
    return bar_bg_set(bar_bg_from_key(bar), file, 1);
}

void bar_bg_clear_by_key(const std::string& bar)
{
    bar_bg_clear(bar_bg_from_key(bar), 0);
}
