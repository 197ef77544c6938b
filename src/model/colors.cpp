// Colour items, palettes, the resolver and the colour schemes.
#include "model/colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWindow>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {
// The default table as the palettes hold it before start-up measures the
// screen, so that anything painted earlier has its usual colours.
constexpr Palette kStartPalette = {{
    color_rgb_make(255, 255, 255), color_rgb_make(0, 0, 0),       color_rgb_make(0, 0, 127),
    color_rgb_make(0, 147, 0),     color_rgb_make(255, 0, 0),     color_rgb_make(127, 0, 0),
    color_rgb_make(156, 0, 156),   color_rgb_make(252, 127, 0),   color_rgb_make(255, 255, 0),
    color_rgb_make(0, 252, 0),     color_rgb_make(0, 147, 147),   color_rgb_make(0, 255, 255),
    color_rgb_make(0, 0, 252),     color_rgb_make(255, 0, 255),   color_rgb_make(127, 127, 127),
    color_rgb_make(210, 210, 210),
}};
}  // namespace

Palette color_palette_current = kStartPalette;
Palette color_palette_edited = kStartPalette;
Palette color_palette_default = kStartPalette;
ColorItem color_items[kColorItemCount];
int color_screen_depth = 8;
ColorRgb color_system_colors[8] = {};
ColorBrush color_brushes[4];
StringNode* color_schemes = nullptr;
Signal<void()> colours_applied;

namespace {

struct ItemRow {
    const char* name;
    int title_id;
    int default_index;
};

// The thirty items in item order.
constexpr ItemRow kItemRows[kColorItemCount] = {
    {"Background", 1353, 0},   {"Action text", 1354, 6},   {"Ctcp text", 1355, 4},
    {"Highlight text", 1356, 5}, {"Info text", 1357, 2},   {"Info2 text", 1358, 3},
    {"Invite text", 1359, 3},  {"Join text", 1360, 3},     {"Kick text", 1361, 3},
    {"Mode text", 1362, 3},    {"Nick text", 1363, 3},     {"Normal text", 1364, 1},
    {"Notice text", 1365, 5},  {"Notify text", 1366, 7},   {"Other text", 1367, 6},
    {"Own text", 1368, 1},     {"Part text", 1369, 3},     {"Quit text", 1370, 2},
    {"Topic text", 1371, 3},   {"Wallops text", 1372, 5},  {"Whois text", 1373, 1},
    {"Editbox", 1374, 0},      {"Editbox text", 1375, 1},  {"Listbox", 1376, 0},
    {"Listbox text", 1377, 1}, {"Gray text", 1378, 15},    {"Title text", 1379, 6},
    {"Inactive", 1380, 0},     {"Treebar", 1381, 0},       {"Treebar Text", 1382, 1},
};

// The name of the first built-in scheme, the default when the default
// scheme name names none.
constexpr const char* kBuiltInDefaultScheme = "Kest Classic";

// The built-in schemes written when the settings hold none.
struct BuiltinScheme {
    const char* line;
    const char* palette;
};
constexpr const char* kClassicPalette =
    "16777215,0,8323072,37632,255,127,10223772,32764,65535,64512,9671424,16776960,16515072,"
    "16711935,8355711,13816530";
constexpr BuiltinScheme kBuiltinSchemes[5] = {
    {"Kest Classic,0,6,4,5,2,3,3,3,3,3,3,1,5,7,6,1,3,2,3,5,1,0,1,0,1,15,6,0", kClassicPalette},
    {"Kest Modern,0,6,4,7,2,3,4,3,3,3,3,1,5,2,6,1,14,2,3,5,1,0,1,0,1,14,5,0",
     "16777215,0,11010048,3299627,240,4737160,8388720,26832,1632504,57344,94740,16776960,16515072,"
     "16711935,8355711,13816530"},
    {"Monochrome State,1,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,1,15,1,15,15,"
     "15,14,1,15",
     kClassicPalette},
    {"Placid Hues,0,2,4,7,2,3,3,3,3,15,3,1,5,7,6,1,3,2,3,5,1,0,1,0,1,15,6,0",
     "15658734,0,12140,1508038,255,10964547,6579262,33023,65535,4227072,9474048,9920537,16711680,"
     "16711935,6579300,8553090"},
    {"Rainbow Sky,0,7,4,5,1,1,3,3,8,13,3,14,2,7,13,5,3,8,3,4,14,0,5,0,3,14,10,0",
     "16777215,3618615,12087408,16744448,255,32764,65535,43008,9671424,16776960,16515072,16711935,"
     "8355711,16711808,8355711,13816530"},
};

bool has_gui()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

ColorRgb from_qcolor(const QColor& c)
{
    return color_rgb_make(c.red(), c.green(), c.blue());
}

QColor to_qcolor(ColorRgb rgb)
{
    return QColor(color_rgb_red(rgb), color_rgb_green(rgb), color_rgb_blue(rgb));
}

// The table value of a palette index before any mapping.
ColorRgb default_table_rgb(int index)
{
    switch (index) {
    case 0: return color_rgb_make(255, 255, 255);
    case 1: return color_rgb_make(0, 0, 0);
    case 2: return color_rgb_make(0, 0, 127);
    case 3: return color_rgb_make(0, 147, 0);
    case 4: return color_rgb_make(255, 0, 0);
    case 5: return color_rgb_make(127, 0, 0);
    case 6: return color_rgb_make(156, 0, 156);
    case 7:
        return color_screen_depth < 8 ? color_rgb_make(127, 127, 0) : color_rgb_make(252, 127, 0);
    case 8: return color_rgb_make(255, 255, 0);
    case 9: return color_rgb_make(0, 252, 0);
    case 10: return color_rgb_make(0, 147, 147);
    case 11: return color_rgb_make(0, 255, 255);
    case 12: return color_rgb_make(0, 0, 252);
    case 13: return color_rgb_make(255, 0, 255);
    case 14: return color_rgb_make(127, 127, 127);
    case 15: return color_rgb_make(210, 210, 210);
    default: return color_rgb_make(0, 0, 0);
    }
}

int probe_screen_depth()
{
    if (has_gui()) {
        QScreen* screen = nullptr;
        if (QWindow* window = QGuiApplication::focusWindow())
            screen = window->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen) {
            int depth = screen->depth();
            if (depth > 0)
                return depth;
        }
    }
    return 8;
}

void probe_system_colours()
{
    // Classic defaults, used without a display.
    color_system_colors[0] = color_rgb_make(0, 0, 0);        // button text
    color_system_colors[1] = color_rgb_make(212, 208, 200);  // button face
    color_system_colors[2] = color_rgb_make(128, 128, 128);  // button shadow
    color_system_colors[3] = color_rgb_make(255, 255, 255);  // button highlight
    color_system_colors[4] = color_rgb_make(0, 0, 0);        // window frame
    color_system_colors[5] = color_rgb_make(212, 208, 200);  // active border
    color_system_colors[6] = color_rgb_make(212, 208, 200);  // 3D light
    color_system_colors[7] = color_rgb_make(64, 64, 64);     // 3D dark shadow
    if (!has_gui())
        return;
    const QPalette pal = QGuiApplication::palette();
    color_system_colors[0] = from_qcolor(pal.color(QPalette::ButtonText));
    color_system_colors[1] = from_qcolor(pal.color(QPalette::Button));
    color_system_colors[2] = from_qcolor(pal.color(QPalette::Dark));
    color_system_colors[3] = from_qcolor(pal.color(QPalette::Light));
    color_system_colors[4] = from_qcolor(pal.color(QPalette::Shadow));
    color_system_colors[5] = from_qcolor(pal.color(QPalette::Window));
    color_system_colors[6] = from_qcolor(pal.color(QPalette::Midlight));
    color_system_colors[7] = from_qcolor(pal.color(QPalette::Shadow));
}

// ---- Scheme helpers ----

// The text before the first comma.
std::string name_part(const std::string& text)
{
    std::size_t comma = text.find(',');
    return comma == std::string::npos ? text : text.substr(0, comma);
}

std::string palette_line(const Palette& p)
{
    std::string out;
    for (int i = 0; i < kPaletteSize; ++i) {
        if (i)
            out += ',';
        out += std::to_string(static_cast<long>(p.rgb[i]));
    }
    return out;
}

// Reads the next comma-separated field from pos; false at the end.
bool next_field(const std::string& text, std::size_t& pos, std::string& field)
{
    if (pos > text.size())
        return false;
    std::size_t comma = text.find(',', pos);
    if (comma == std::string::npos) {
        field = text.substr(pos);
        pos = text.size() + 1;
    } else {
        field = text.substr(pos, comma - pos);
        pos = comma + 1;
    }
    return true;
}

// A palette index field: a decimal number 0..15, anything else 0.
int index_field(const std::string& field)
{
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    long value = 0;
    bool digits = false;
    while (i < field.size() && std::isdigit(static_cast<unsigned char>(field[i]))) {
        digits = true;
        if (value < 1000)
            value = value * 10 + (field[i] - '0');
        ++i;
    }
    if (!digits || negative || value > 15)
        return 0;
    return static_cast<int>(value);
}

// An RGB field: a decimal number (no digits give 0), kept to 24 bits.
ColorRgb rgb_field(const std::string& field)
{
    long long v = std::strtoll(field.c_str(), nullptr, 10);
    return static_cast<ColorRgb>(v) & 0x00FFFFFF;
}

std::string read_key(const char* section, const std::string& key)
{
    std::string value;
    ini_read(section, key.c_str(), "", value, kLongTextSize, "");
    text_collapse_char(value, ' ');
    return value;
}

// Loads [colors] and [palettes] into the global list; number of keys read.
void read_scheme_lines(const std::string& default_palette)
{
    for (int count = 0;; ++count) {
        std::string key = "n" + std::to_string(count);
        std::string line = read_key("colors", key);
        if (line.empty())
            break;
        std::string name = name_part(line);
        std::string wanted = name;
        if (color_scheme_find(color_schemes, wanted, 0))
            continue;
        StringNode* head = strlist_append(color_schemes, line, 0);
        if (!head)
            continue;
        color_schemes = head;
        StringNode* node = color_schemes->prev;
        std::string pal = read_key("palettes", key);
        if (pal.empty())
            pal = default_palette;
        node->text2 = pal;
    }
}

int* item_column(ColorItem& item, int column)
{
    return column == 2 ? &item.edited : &item.current;
}

Palette& palette_column(int column)
{
    return column == 2 ? color_palette_edited : color_palette_current;
}

}  // namespace

// ---- Resolver and items ----

int color_resolve(std::uint32_t value)
{
    const std::uint32_t low = value & 0xFFFF;
    const std::uint32_t high = value >> 16;
    std::int32_t index;
    if (low == 99) {
        index = color_items[color_item_number(kColorListboxText)].current;
    } else if (high == 0) {
        index = static_cast<std::int32_t>(low);
    } else {
        std::uint32_t k = low < static_cast<std::uint32_t>(kColorItemCount) ? low : 0;
        index = color_items[k].current;
    }
    if (index < 0 || index > 15)
        return 0;
    return index;
}

ColorRgb color_rgb(std::uint32_t value)
{
    return color_palette_current.rgb[color_resolve(value)];
}

int colour_nearest_at_depth(ColorRgb rgb, int depth, ColorRgb* out)
{
    int r = color_rgb_red(rgb), g = color_rgb_green(rgb), b = color_rgb_blue(rgb);
    if (depth >= 24) {
        *out = color_rgb_make(r, g, b);
        return 1;
    }
    // A channel of n bits widened back to 8 by repeating its top bits.
    auto widen = [](int v, int bits) {
        const int q = v >> (8 - bits);
        return (q << (8 - bits)) | (q >> (2 * bits - 8));
    };
    if (depth == 15 || depth == 16) {
        *out = color_rgb_make(widen(r, 5), widen(g, depth == 16 ? 6 : 5), widen(b, 5));
        return 1;
    }
    static const ColorRgb kStandard[16] = {
        color_rgb_make(0, 0, 0),       color_rgb_make(128, 0, 0),   color_rgb_make(0, 128, 0),
        color_rgb_make(128, 128, 0),   color_rgb_make(0, 0, 128),   color_rgb_make(128, 0, 128),
        color_rgb_make(0, 128, 128),   color_rgb_make(192, 192, 192), color_rgb_make(128, 128, 128),
        color_rgb_make(255, 0, 0),     color_rgb_make(0, 255, 0),   color_rgb_make(255, 255, 0),
        color_rgb_make(0, 0, 255),     color_rgb_make(255, 0, 255), color_rgb_make(0, 255, 255),
        color_rgb_make(255, 255, 255)};
    long best = -1;
    ColorRgb pick = kStandard[0];
    for (ColorRgb c : kStandard) {
        const long dr = r - color_rgb_red(c), dg = g - color_rgb_green(c), db = b - color_rgb_blue(c);
        const long d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < best) {
            best = d;
            pick = c;
        }
    }
    *out = pick;
    return 1;
}

ColorRgb color_nearest_on_screen(ColorRgb rgb)
{
    ColorRgb out = 0;
    colour_nearest_at_depth(rgb, color_screen_depth, &out);
    return out & 0x00FFFFFF;
}

ColorRgb color_default_rgb(int index)
{
    return color_nearest_on_screen(default_table_rgb(index));
}

int color_item_by_name(const std::string& text)
{
    for (int k = 0; k < kColorItemCount; ++k) {
        const std::string& name = color_items[k].name.empty() ? std::string(kItemRows[k].name)
                                                              : color_items[k].name;
        if (text.size() > name.size())
            continue;
        if (sort_compare_nocase(std::string_view(name).substr(0, text.size()), text) == 0)
            return k;
    }
    return -1;
}

void color_items_init()
{
    color_screen_depth = probe_screen_depth();
    probe_system_colours();
    for (int k = 0; k < kColorItemCount; ++k) {
        ColorItem& item = color_items[k];
        item.name = kItemRows[k].name;
        text_load_string(kItemRows[k].title_id, &item.title);
        if (item.title.empty())
            item.title = item.name;
        item.default_index = kItemRows[k].default_index;
    }
    for (int i = 0; i < kPaletteSize; ++i)
        color_palette_default.rgb[i] = color_default_rgb(i);
}

void color_item_select(int k)
{
    if (k < 0 || k >= kColorItemCount)
        k = 0;
    for (ColorItem& item : color_items)
        item.selected = 0;
    color_items[k].selected = 1;
}

void color_brushes_update()
{
    const ColorRgb due[4] = {color_rgb(kColorEditbox), color_rgb(kColorInactive),
                             color_rgb(kColorListbox), color_system_colors[1]};
    for (int i = 0; i < 4; ++i) {
        ColorBrush& b = color_brushes[i];
        if (b.made && b.rgb == due[i])
            continue;
        b.rgb = due[i];
        b.made = 1;
        ++b.generation;
    }
}

void color_brushes_free()
{
    for (ColorBrush& b : color_brushes)
        b = ColorBrush{};
}

void color_apply_all()
{
    color_brushes_update();
    colours_applied.fire();
}

int color_resolve_number(long long value)
{
    if (value >= 0 && value <= 15)
        return static_cast<int>(value);
    if (value == kColorNone)
        return static_cast<int>(kColorListboxText);
    if (value >= static_cast<long long>(kColorItemBase) &&
        value < static_cast<long long>(kColorItemBase) + kColorItemCount)
        return static_cast<int>(value);
    if (value < 0 || value > 0xFFFFFFFFLL)
        return 0;
    return color_resolve(static_cast<std::uint32_t>(value));
}

// ---- Schemes ----

std::string color_default_scheme_name()
{
    std::string name;
    text_load_string(1352, &name);
    if (name.empty())
        name = "Kest Classic";
    return name;
}

StringNode* color_scheme_text(const std::string& name, int column)
{
    if (column < 0 || column > 2)
        return nullptr;
    std::string clean = name_part(name);
    text_collapse_char(clean, ' ');
    if (clean.empty())
        return nullptr;
    const Palette& pal = column == 0   ? color_palette_default
                         : column == 1 ? color_palette_current
                                       : color_palette_edited;
    std::string line = clean;
    for (const ColorItem& item : color_items) {
        int index = column == 0 ? item.default_index : column == 1 ? item.current : item.edited;
        line += ',';
        line += std::to_string(index);
    }
    StringNode* node = strlist_append(nullptr, line, 0);
    if (!node)
        return nullptr;
    node->text2 = palette_line(pal);
    return node;
}

StringNode* color_scheme_find(StringNode* list, std::string& name, int mode)
{
    if (mode == 0) {
        const std::string wanted = name_part(name);
        for (StringNode* n = list; n; n = n->next) {
            if (text_equal_nocase(name_part(n->text), wanted))
                return n;
        }
        return nullptr;
    }
    if (mode != 1)
        return nullptr;
    for (StringNode* n = list; n; n = n->next) {
        if (n->number == 1) {
            name = name_part(n->text);
            return n;
        }
    }
    if (!color_schemes)
        return nullptr;
    color_schemes->number = 1;
    name = name_part(color_schemes->text);
    return color_schemes;
}

void color_scheme_apply(StringNode* list, StringNode* scheme, int column)
{
    if (!list)
        return;
    if (!scheme)
        scheme = list;
    for (StringNode* n = list; n; n = n->next)
        n->number = 0;
    scheme->number = 1;
    if (column != 1 && column != 2)
        return;
    Palette& pal = palette_column(column);
    for (ColorItem& item : color_items)
        *item_column(item, column) = item.default_index;
    pal = color_palette_default;

    const std::string& line = scheme->text;
    std::size_t pos = line.find(',');
    if (pos != std::string::npos) {
        ++pos;
        std::string field;
        for (int k = 0; k < kColorItemCount && next_field(line, pos, field); ++k)
            *item_column(color_items[k], column) = index_field(field);
    }
    if (scheme->text2) {
        const std::string& p = *scheme->text2;
        std::size_t at = 0;
        std::string field;
        for (int i = 0; i < kPaletteSize && !p.empty() && next_field(p, at, field); ++i) {
            pal.rgb[i] = color_nearest_on_screen(rgb_field(field));
        }
    }
}

void color_schemes_free()
{
    if (color_schemes)
        strlist_free(&color_schemes);
    color_schemes = nullptr;
}

void color_load()
{
    color_schemes_free();
    const std::string default_name = color_default_scheme_name();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    const std::string default_palette = palette_line(color_palette_default);

    // The older form: one line of bare indexes and sixteen separate RGB keys.
    std::string first = read_key("colors", "n0");
    std::string old_line = read_key("colours", "n0");
    if (first.empty() && !old_line.empty()) {
        std::string line = default_name + "," + old_line;
        ini_write("colors", "n0", line.c_str(), "");
        std::string pal;
        for (int i = 0; i < kPaletteSize; ++i) {
            std::string v;
            ini_read("rgb", ("n" + std::to_string(i)).c_str(), "", v, kShortTextSize, "");
            if (i)
                pal += ',';
            pal += v.empty() ? std::to_string(static_cast<long>(color_palette_default.rgb[i])) : v;
        }
        ini_write("palettes", "n0", pal.c_str(), "");
        ini_write("colours", nullptr, nullptr, "");
        ini_write("rgb", nullptr, nullptr, "");
    }

    read_scheme_lines(default_palette);
    if (!color_schemes) {
        StringNode* lines = nullptr;
        StringNode* pals = nullptr;
        for (const BuiltinScheme& b : kBuiltinSchemes) {
            if (StringNode* h = strlist_append(lines, b.line, 0))
                lines = h;
            if (StringNode* h = strlist_append(pals, b.palette, 0))
                pals = h;
        }
        ini_write_numbered_list(lines, "colors", "n", 0, "");
        ini_write_numbered_list(pals, "palettes", "n", 0, "");
        if (lines)
            strlist_free(&lines);
        if (pals)
            strlist_free(&pals);
        read_scheme_lines(default_palette);
        if (!color_schemes)
            color_schemes = color_scheme_text(default_name, 0);
    }

    color_schemes = strlist_sort(color_schemes, 7);
    std::string theme = read_key("text", "theme");
    if (theme.empty())
        theme = default_name;
    StringNode* scheme = color_scheme_find(color_schemes, theme, 0);
    // The default name may be a translation that no built-in scheme
    // carries: the default then is the first built-in scheme.
    if (!scheme && text_equal_nocase(theme, default_name)) {
        std::string builtin = kBuiltInDefaultScheme;
        scheme = color_scheme_find(color_schemes, builtin, 0);
    }
    color_scheme_apply(color_schemes, scheme, 1);
    color_apply_all();
}

void color_save()
{
    std::string name;
    StringNode* current = nullptr;
    for (StringNode* n = color_schemes; n; n = n->next) {
        if (n->number == 1) {
            current = n;
            break;
        }
    }
    if (current) {
        name = name_part(current->text);
        ini_write("text", "theme", name.c_str(), "");
    } else {
        ini_write("text", "theme", nullptr, "");
    }
    StringNode* pals = nullptr;
    for (StringNode* n = color_schemes; n; n = n->next) {
        std::string p = n->text2 ? *n->text2 : palette_line(color_palette_default);
        if (StringNode* h = strlist_append(pals, p, 0))
            pals = h;
    }
    if (color_schemes) {
        ini_write_numbered_list(color_schemes, "colors", "n", 0, "");
        ini_write_numbered_list(pals, "palettes", "n", 0, "");
    } else {
        ini_delete_numbered_from("colors", "n", 0, "");
        ini_delete_numbered_from("palettes", "n", 0, "");
    }
    if (pals)
        strlist_free(&pals);
}

// ---- Installation ----

QRgb colour_palette_rgb(int index)
{
    if (index < 0 || index >= kPaletteSize)
        index = 0;
    return color_rgb_to_argb(color_palette_current.rgb[index]);
}

QColor colour_window_background(WindowRecord*)
{
    return to_qcolor(color_rgb(kColorBackground));
}

void colors_install()
{
    static int load_listener = 0;
    static int save_listener = 0;
    settings_loaded.add_once(load_listener, kLoadColours, [](SettingsLoad&) { color_load(); });
    settings_saving.add_once(save_listener, kSettingsSaveColours, color_save);
}
