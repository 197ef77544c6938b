// /toolbar: shows or hides the toolbar, and adds, inserts, changes, moves
// and deletes its buttons; loads and saves the toolbar file.
#include "commands/toolbar_command.h"

#include <QImage>
#include <QPixmap>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/frame_menu.h"
#include "display/pictures.h"
#include "bars/toolbar_buttons.h"
#include "bars/toolbar_file.h"
#include "commands/switches.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/random.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

namespace {

constexpr const char* kWord = "toolbar";
constexpr int kMaxButtons = 513;

struct Switches {
    bool a = false, i = false, s = false, d = false, m = false;
    bool t = false, p = false, l = false, o = false;
    bool e = false, b = false, w = false, h = false;
    bool k = false;
    int k_digit = -1;  // -1: none after k
    bool x = false;
    bool n = false, z = false, y = false;
    int n_value = 0, z_value = 0, y_value = 0;
    bool c = false, r = false, u = false;
    char f = 0;  // 'l', 's' or 'd'
};

// 1 parsed, 0 a bad letter.
int parse_switches(const std::string& token, Switches& sw)
{
    SwitchReader r(token);
    while (const char letter = r.next()) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        switch (c) {
        case 'a': sw.a = true; break;
        case 'i': sw.i = true; break;
        case 's': sw.s = true; break;
        case 'd': sw.d = true; break;
        case 'm': sw.m = true; break;
        case 't': sw.t = true; break;
        case 'p': sw.p = true; break;
        case 'l': sw.l = true; break;
        case 'o': sw.o = true; break;
        case 'e': sw.e = true; break;
        case 'b': sw.b = true; break;
        case 'w': sw.w = true; break;
        case 'h': sw.h = true; break;
        case 'x': sw.x = true; break;
        case 'c': sw.c = true; break;
        case 'r': sw.r = true; break;
        case 'u': sw.u = true; break;
        case 'k':
            sw.k = true;
            if (const int d = r.digit(); d >= 0)
                sw.k_digit = d;
            break;
        case 'n':
            if (!r.signed_number(sw.n_value))
                return 0;
            sw.n = true;
            break;
        case 'z':
            if (!r.signed_number(sw.z_value))
                return 0;
            sw.z = true;
            break;
        case 'y':
            if (!r.signed_number(sw.y_value))
                return 0;
            sw.y = true;
            break;
        case 'f':
            sw.f = static_cast<char>(std::tolower(static_cast<unsigned char>(r.take())));
            if (sw.f != 'l' && sw.f != 's' && sw.f != 'd')
                return 0;
            break;
        default:
            return 0;
        }
    }
    return 1;
}

void say(QWidget* window, const std::string& text)
{
    if (script_echo_line)
        script_echo_line(window, text, kColourInfo);
}

// The command's own error line: it ends the command and the script as an
// error does, and is printed once with the script's place.
int fail_text(CommandCall&, int id, const std::string& arg = {})
{
    return script_error(nullptr, text_fill_id(id, {arg}), {}, 6);
}

int error(CommandCall&, int type, const std::string& extra = {})
{
    return script_error(nullptr, kWord, extra, type);
}

bool is_position(const std::string& s) { return !s.empty() && text_is_digits(s) && s.size() < 10; }

// One value that may be quoted over several tokens. 1 read, 0 missing,
// -1 unusable (a double quote inside, or too long).
int read_value(const std::vector<std::string>& tokens, std::size_t& at, std::string& out)
{
    if (at >= tokens.size())
        return 0;
    const std::string& first = tokens[at];
    const int last = arg_get_quoted(tokens, at, out, kMediumText, 0);
    if (last < 0)
        return -1;
    if (first.find('"') != std::string::npos) {
        // Quoted: it opens the token and the closing quote ends the last one.
        const std::string& end = tokens[static_cast<std::size_t>(last)];
        if (first[0] != '"' || end.empty() || end.back() != '"' || out.find('"') != std::string::npos)
            return -1;
        if (static_cast<std::size_t>(last) == at && first.size() < 2)
            return -1;
    }
    at = static_cast<std::size_t>(last) + 1;
    return 1;
}

// Four whole numbers at the position: the rectangle after a picture.
bool read_rect(const std::vector<std::string>& tokens, std::size_t& at, QRect& out)
{
    if (at + 4 > tokens.size())
        return false;
    int v[4];
    for (int k = 0; k < 4; ++k) {
        const std::string& t = tokens[at + k];
        if (!arg_is_integer(t) || t.size() > 10)
            return false;
        v[k] = std::atoi(t.c_str());
    }
    out = QRect(v[0], v[1], v[2], v[3]);
    at += 4;
    return true;
}

// What a picture argument gives a button.
struct Picture {
    std::string text;      // as stored: a slot number, a window name, a full path
    int builtin = -1;      // the slot of a number
    QImage bitmap;
    QIcon icon;
    int width = 16, height = 16;
    QRect source;
};

// Loads the picture (and cuts the rectangle out of it). Returns 1, or 0
// after reporting the error.
int load_picture(CommandCall& call, const std::string& text, bool has_rect, const QRect& rect,
                 const Switches& sw, Picture& out)
{
    out = Picture();
    if (text.empty())
        return error(call, 0);
    if (text_is_digits(text)) {
        const int slot = text.size() < 4 ? std::atoi(text.c_str()) : -1;
        const QImage img = toolbar_builtin_image(slot);
        if (img.isNull())
            return error(call, 2, text);
        out.text = std::to_string(slot);
        out.builtin = slot;
        out.icon = QIcon(QPixmap::fromImage(img));
        out.source = QRect(slot * 16, 0, 16, 16);
        return 1;
    }
    if (text[0] == '@') {
        // A picture window's image; none here holds one.
        return error(call, 7, text);
    }
    std::string path;
    if (!file_resolve_file_path(text, path) || !file_exists(path, 1))
        return error(call, 1, path.empty() ? text : path);
    out.text = path;
    const int number = sw.n ? std::max(0, sw.n_value) : 0;
    if (img_is_picture_file(path)) {
        QImage img;
        img_load_file(path, img, img_colour(qRgb(0xFF, 0x00, 0xFF)), kImgDib);
        if (img.isNull())
            return error(call, 2, path);
        QRect whole(0, 0, img.width(), img.height());
        if (has_rect && rect != whole) {
            if (rect.width() <= 0 || rect.height() <= 0 || !whole.contains(rect))
                return error(call, 2, path);
            img = img_copy_bitmap(img, rect);
            if (img.isNull())
                return error(call, 2, path);
            whole = rect;
        }
        out.bitmap = img_key_transparent(img, 0xFF00FF);  // magenta is transparent
        out.width = out.bitmap.width();
        out.height = out.bitmap.height();
        out.source = whole;
        return 1;
    }
    // An icon file: icon N at the asked size.
    const int selector = sw.z ? sw.z_value : 0;
    const int flags = selector == 1 ? 1 : 0;
    QIcon icon = img_load_icon(path, number, flags);
    if (icon.isNull())
        return error(call, 2, path);
    int side = selector == 1 ? 16 : 32;
    if (selector == 3 && !icon.availableSizes().isEmpty())
        side = icon.availableSizes().first().width();
    out.icon = icon;
    out.width = out.height = side;
    out.source = QRect(0, 0, side, side);
    return 1;
}

bool picture_size_ok(const Picture& p)
{
    return p.width >= 16 && p.width <= 256 && p.height >= 16 && p.height <= 256;
}

void give_picture(ToolbarButton& b, const Picture& p, const Switches& sw)
{
    b.picture = p.text;
    b.bitmap = p.bitmap;
    b.icon = p.icon;
    b.image_width = p.width;
    b.image_height = p.height;
    b.source = p.source;
    b.image_number = sw.n ? std::max(0, sw.n_value) : 0;
    b.icon_size = sw.z ? sw.z_value : 0;
    if (b.icon_size < 0 || b.icon_size > 3)
        b.icon_size = 0;
    b.image_count = 1;
}

// A free id for a user button: 1034 to 1933, from a random start.
int free_id()
{
    const int start = static_cast<int>(static_cast<long long>(rng_next()) % 900);
    for (int k = 0; k < 900; ++k) {
        const int id = 1034 + (start + k) % 900;
        if (!toolbar_button_by_id(id))
            return id;
    }
    return 0;
}

int clamp_alpha(int v) { return std::clamp(v, 1, 255); }

// The values of an add or a change, in their order.
struct Values {
    bool has_tip = false, has_picture = false, has_alias = false, has_popup = false;
    std::string tip, picture, alias, popup;
    bool has_rect = false;
    QRect rect;
};

// Reads tip, picture (with its rectangle), alias and popup as asked.
// Returns 1, or 0 after reporting the error.
int read_values(CommandCall& call, std::size_t& at, bool want_tip, bool want_picture, bool want_alias,
                bool want_popup, bool alias_popup_optional, Values& v)
{
    auto take = [&](bool want, bool optional, bool& has, std::string& out) -> int {
        if (!want)
            return 1;
        const int r = read_value(call.tokens, at, out);
        if (r < 0)
            return error(call, 3);
        if (r == 0)
            return optional ? 1 : error(call, 0);
        has = true;
        return 1;
    };
    if (!take(want_tip, false, v.has_tip, v.tip))
        return 0;
    if (!take(want_picture, false, v.has_picture, v.picture))
        return 0;
    if (v.has_picture) {
        std::size_t probe = at;
        if (read_rect(call.tokens, probe, v.rect)) {
            at = probe;
            v.has_rect = !text_is_digits(v.picture);
        }
    }
    if (!take(want_alias, alias_popup_optional, v.has_alias, v.alias))
        return 0;
    if (!take(want_popup, alias_popup_optional, v.has_popup, v.popup))
        return 0;
    if (v.has_alias && !v.alias.empty() && v.alias[0] != '/')
        return error(call, 3);
    if (v.has_popup && !v.popup.empty() && v.popup[0] != '@') {
        std::string path;
        if (!file_resolve_file_path(v.popup, path) || !file_exists(path, 1))
            return error(call, 1, path.empty() ? v.popup : path);
        v.popup = path;
    }
    return 1;
}

void print_state(CommandCall& call)
{
    if (call.show)
        say(call.window, text_load_string(opt(OPT_TOOLBAR_SHOWN) ? 870 : 871));
}

int finish(const Switches& sw)
{
    if (sw.u)
        toolbar_update_now();
    return kScriptDone;
}

}  // namespace

int cmd_toolbar(CommandCall& call)
{
    const std::vector<std::string>& tokens = call.tokens;
    if (tokens.size() < 2) {
        print_state(call);
        return kScriptDone;
    }
    const std::string& first = tokens[1];
    if (text_equal_nocase(first, "on") || text_equal_nocase(first, "off")) {
        const int want = text_equal_nocase(first, "on") ? 1 : 0;
        if ((opt(OPT_TOOLBAR_SHOWN) ? 1 : 0) != want)
            frame_on_command(nullptr, 111, 0);
        toolbar_set_visible(opt(OPT_TOOLBAR_SHOWN) != 0);
        print_state(call);
        return kScriptDone;
    }
    if (first.size() < 2 || first[0] != '-')
        return error(call, 3);
    Switches sw;
    if (!parse_switches(first, sw))
        return error(call, 3);
    if (!toolbar_exists())
        return kScriptFailed;
    std::size_t at = 2;

    // Reset, then clear.
    if (sw.r)
        toolbar_build_default(1);
    if (sw.c) {
        for (int k = 0; k < 1000 && toolbar_count() > 0; ++k)
            toolbar_message(TBM_DELETE, 0, 0);
    }
    const bool button_work = sw.a || sw.i || sw.d || sw.m || sw.t || sw.p || sw.l || sw.o || sw.e || sw.b ||
                             sw.w || sw.h || sw.k || sw.x || sw.y || sw.s;
    if (sw.f) {
        const std::string path = toolbar_file_path();
        if (sw.f == 'l') {
            if (!file_exists(path, 1))
                return error(call, 1, path);
            if (!toolbar_file_load(path, "toolbar", call.conn))
                return kScriptFailed;
        } else if (sw.f == 's') {
            if (!toolbar_file_save(path, "toolbar"))
                return kScriptFailed;
        } else if (ini_remove_section(path, "[toolbar]") < 0) {
            return kScriptFailed;
        }
    }
    if (!button_work)
        return finish(sw);

    // Add and insert.
    if (sw.a || sw.i) {
        if (toolbar_count() >= kMaxButtons)
            return fail_text(call, 5401);
        int position = toolbar_count();
        if (sw.i) {
            if (at >= tokens.size())
                return error(call, 0);
            if (!is_position(tokens[at]))
                return error(call, 3);
            const int n = std::atoi(tokens[at].c_str());
            if (n < 1 || n > toolbar_count() + 1)
                return error(call, 3);
            position = n - 1;
            ++at;
        }
        if (at >= tokens.size())
            return error(call, 0);
        const std::string name = tokens[at++];
        if (text_is_digits(name) || name.find('"') != std::string::npos || name.size() >= kToolbarNameSize)
            return error(call, 3);
        if (toolbar_index_of_name(name) >= 0)
            return fail_text(call, 5403, name);
        ToolbarButton b;
        b.name = name;
        b.state = TB_ENABLED;
        if (sw.b)
            b.state &= ~TB_ENABLED;
        if (sw.h)
            b.state |= TB_HIDDEN;
        b.wide = sw.x ? 6 : 0;
        b.alpha = sw.y ? clamp_alpha(sw.y_value) : 0;
        if (call.script)
            b.script_file = call.script->path;
        if (sw.s) {
            b.style = TB_SEPARATOR;
            b.image_index = -1;
            b.id = free_id();
        } else {
            Values v;
            if (!read_values(call, at, true, true, true, true, true, v))
                return 0;
            Picture pic;
            if (!load_picture(call, v.picture, v.has_rect, v.rect, sw, pic))
                return 0;
            if (!picture_size_ok(pic))
                return fail_text(call, 5402);
            give_picture(b, pic, sw);
            b.tip = v.tip;
            b.alias = v.alias;
            b.popup = v.popup;
            if (pic.builtin >= 0) {
                b.id = kToolbarFirstId + pic.builtin;
                b.image_index = pic.builtin;
            } else {
                b.id = free_id();
                b.image_index = b.id;
            }
            if (sw.k) {
                b.style = TB_CHECK;
                if (sw.k_digit > 0)
                    b.state |= TB_CHECKED;
            }
        }
        if (!b.id)
            return fail_text(call, 5401);
        if (!toolbar_insert(position, std::move(b)))
            return error(call, 3);
        return finish(sw);
    }

    // The button by name, or by position.
    int dest = -1;
    if (sw.m) {
        if (at >= tokens.size())
            return error(call, 0);
        if (!is_position(tokens[at]))
            return error(call, 3);
        dest = std::atoi(tokens[at++].c_str());
    }
    if (at >= tokens.size())
        return error(call, 0);
    std::string name = tokens[at++];
    if (name.find('"') != std::string::npos)
        return error(call, 3);
    int index;
    if (is_position(name)) {
        index = std::atoi(name.c_str()) - 1;
        if (!toolbar_button_at(index))
            return error(call, 3);
    } else {
        index = toolbar_index_of_name(name);
    }

    if (sw.d) {
        if (index < 0 || !toolbar_message(TBM_DELETE, static_cast<uintptr_t>(index), 0))
            return error(call, 3);
        return finish(sw);
    }
    if (sw.m) {
        if (index < 0 || toolbar_message(TBM_MOVE, static_cast<uintptr_t>(index), dest - 1) < 0)
            return error(call, 3);
        return finish(sw);
    }

    // A change.
    if (index < 0)
        return fail_text(call, 5404, name);
    Values v;
    if (!read_values(call, at, sw.t, sw.p, sw.l, sw.o, false, v))
        return 0;
    Picture pic;
    if (v.has_picture) {
        if (!load_picture(call, v.picture, v.has_rect, v.rect, sw, pic))
            return 0;
        if (!picture_size_ok(pic))
            return fail_text(call, 5402);
    }
    ToolbarButton* b = toolbar_button_at(index);
    if (!b)
        return error(call, 3);
    if (v.has_tip)
        b->tip = v.tip;
    if (v.has_alias)
        b->alias = v.alias;
    if (v.has_popup)
        b->popup = v.popup;
    if (v.has_picture && !(b->style & TB_SEPARATOR))
        give_picture(*b, pic, sw);
    if (sw.y)
        b->alpha = clamp_alpha(sw.y_value);
    if (sw.k && (b->style & TB_CHECK) && sw.k_digit >= 0) {
        if (sw.k_digit == 0)
            b->state &= ~TB_CHECKED;
        else
            b->state |= TB_CHECKED;
    }
    // The named button itself: a built-in picture may share its id.
    if (sw.e)
        b->state |= TB_ENABLED;
    else if (sw.b)
        b->state &= ~TB_ENABLED;
    if (sw.w)
        b->state &= ~TB_HIDDEN;
    else if (sw.h)
        b->state |= TB_HIDDEN;
    toolbar_repaint();
    return finish(sw);
}

void toolbar_command_register() { script_register_command_family("cmd_toolbar", cmd_toolbar); }
