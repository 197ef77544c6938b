// Window fonts: settings, making and measuring, applying and the
// character-set table.
#include "display/fonts.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QWindow>
#include <QStyledItemDelegate>

#include <cctype>
#include <cstdlib>

#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/window_queries.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/encodings.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

FontHooks font_hooks;
int font_mbcp = 0;

const CharsetEntry kCharsetTable[] = {
    {1, 2, 0},      {77, 1, 2},     {255, 1, 1},    {2, 1, 42},     {222, 1, 874},
    {128, 2, 932},  {134, 2, 936},  {129, 2, 949},  {136, 2, 950},  {238, 1, 1250},
    {204, 1, 1251}, {0, 1, 1252},   {161, 1, 1253}, {162, 1, 1254}, {177, 1, 1255},
    {178, 1, 1256}, {186, 1, 1257}, {163, 2, 1258}, {130, 2, 1361}, {0, 0, 0},
};

namespace {

constexpr const char* kFontsSection = "fonts";

bool has_gui()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// The part of a name after its first blank; the whole name when it has none.
std::string after_first_blank(const std::string& name)
{
    std::size_t blank = name.find(' ');
    return blank == std::string::npos ? name : name.substr(blank + 1);
}

// A decimal field with an optional sign; def for an empty field.
int int_field(const std::string& field, int def)
{
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    if (i >= field.size())
        return def;
    long v = std::strtol(field.c_str() + i, nullptr, 10);
    if (v > 1000000)
        v = 1000000;
    if (v < -1000000)
        v = -1000000;
    return static_cast<int>(v);
}

// Faces that stand for a fixed-pitch screen font.
bool fixed_pitch_face(const std::string& face)
{
    return text_equal_nocase(face, "FixedSys") || text_equal_nocase(face, "Terminal") ||
           text_equal_nocase(face, "Courier") || text_equal_nocase(face, "Courier New");
}

// The values a window's settings give (no font made).
WindowFont settings_font_of(const WindowRecord* rec)
{
    WindowFont f;
    std::string def;
    std::vector<std::string> keys = font_setting_keys(rec, &def);
    std::string value;
    for (const std::string& key : keys) {
        ini_read(kFontsSection, key.c_str(), "", value, kShortTextSize, "");
        if (!value.empty())
            break;
    }
    if (value.empty())
        value = def;
    font_parse_setting(value, f, font_logpixelsy());
    return f;
}

// The key of a window's own font ("f" + name), empty for kinds without one.
std::string own_key(int kind, int subtype, const std::string& name)
{
    if (kind == kWinChannel)
        return "f" + name;
    if (kind == kWinQuery) {
        if (subtype == kQueryPrivate)
            return "f" + name;
        if (subtype == kQueryDccChat || subtype == kQueryFserve)
            return "f" + after_first_blank(name);
    }
    return {};
}

// Writing systems that stand for a charset.
struct CharsetSystem {
    int charset;
    QFontDatabase::WritingSystem system;
};
constexpr CharsetSystem kCharsetSystems[] = {
    {0, QFontDatabase::Latin},
    {238, QFontDatabase::Latin},
    {162, QFontDatabase::Latin},
    {186, QFontDatabase::Latin},
    {204, QFontDatabase::Cyrillic},
    {161, QFontDatabase::Greek},
    {177, QFontDatabase::Hebrew},
    {178, QFontDatabase::Arabic},
    {222, QFontDatabase::Thai},
    {163, QFontDatabase::Vietnamese},
    {128, QFontDatabase::Japanese},
    {134, QFontDatabase::SimplifiedChinese},
    {136, QFontDatabase::TraditionalChinese},
    {129, QFontDatabase::Korean},
    {130, QFontDatabase::Korean},
    {2, QFontDatabase::Symbol},
};

}  // namespace

// ---- Character sets ----

int charset_codepage(int charset, int column)
{
    for (const CharsetEntry* e = kCharsetTable; e->kind != 0; ++e) {
        if (e->charset == charset)
            return column == 1 ? e->kind : e->codepage;
    }
    return 0;
}

// ---- Settings ----

void font_parse_setting(const std::string& value, WindowFont& out, int logpixelsy)
{
    out.face = "FixedSys";
    out.charset = 1;
    out.encoding = 0;
    int size_field = 412;
    std::size_t comma = value.find(',');
    if (comma != std::string::npos) {
        out.face = value.substr(0, comma);
        text_collapse_char(out.face, ' ');
        if (out.face.size() > kShortText)
            out.face.resize(kShortText);
        if (out.face.empty())
            out.face = "FixedSys";
        std::string rest = value.substr(comma + 1);
        std::string fields[3];
        for (int i = 0; i < 3; ++i) {
            std::size_t c = rest.find(',');
            fields[i] = rest.substr(0, c);
            if (c == std::string::npos) {
                rest.clear();
                for (int j = i + 1; j < 3; ++j)
                    fields[j].clear();
                break;
            }
            rest = rest.substr(c + 1);
        }
        size_field = int_field(fields[0], 12);
        out.charset = int_field(fields[1], 1);
        out.encoding = int_field(fields[2], 0);
    }

    int weight_part = 0;
    int size = size_field;
    if (size > 100) {
        weight_part = ((size - 101) / 100) * 100 + 100;
        size -= weight_part;
    } else if (size < -100) {
        int a = -size;
        weight_part = ((a - 101) / 100) * 100 + 100;
        size = -(a - weight_part);
    }
    if (size < 0) {
        if (logpixelsy <= 0)
            logpixelsy = 96;
        size = (-size) * logpixelsy / 72;
    }
    out.weight = weight_part <= 400 ? 400 : 700;
    if (size < 1) {
        out.weight = 400;
        size = 12;
    }
    out.size = size;
    if (out.encoding < 0 || out.encoding > 2)
        out.encoding = 0;
}

std::string font_setting_text(const std::string& face, int size, int weight, int charset,
                              int encoding)
{
    return face + "," + std::to_string(weight + size) + "," + std::to_string(charset) + "," +
           std::to_string(encoding);
}

std::vector<std::string> font_setting_keys(const WindowRecord* rec, std::string* default_value)
{
    std::vector<std::string> keys;
    std::string def = "FixedSys,12";
    if (!rec) {
        if (default_value)
            *default_value = def;
        return keys;
    }
    const std::string& name = rec->name;
    switch (rec->type) {
    case kWinChannel:
        keys = {"f" + name, "fchannel"};
        break;
    case kWinQuery:
        if (rec->subtype == kQueryPrivate)
            keys = {"f" + name, "fquery"};
        else if (rec->subtype == kQueryMessages)
            keys = {"fmessage", "fquery"};
        else if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve)
            keys = {"f" + after_first_blank(name), "fquery"};
        else
            keys = {"fquery"};
        break;
    case kWinTransfer:
        keys = {rec->subtype == 2 ? "fdccg" : "fdccs"};
        def = "Ms Sans Serif,8";
        break;
    case kWinChanList: keys = {"flist"}; break;
    case kWinFinger: keys = {"ffinger"}; break;
    case kWinUrls: keys = {"fwwwlist"}; break;
    case kWinNotify: keys = {"fnotify"}; break;
    case kWinLinks: keys = {"flinks"}; break;
    case kWinCustom:
        if (!rec->custom_request.font.empty()) {
            def = rec->custom_request.font;
            // The script's own font text carries no comma when it names a face
            // alone; keep its face then.
            if (def.find(',') == std::string::npos)
                def += ",12";
        } else {
            keys = {"fstatus"};
        }
        break;
    default:
        keys = {"fstatus"};
        break;
    }
    if (default_value)
        *default_value = def;
    return keys;
}

int font_logpixelsy()
{
    if (!has_gui())
        return 96;
    // The screen the frame is on, else the primary one.
    QScreen* s = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("Kest") && w->windowHandle())
            s = w->windowHandle()->screen();
    if (!s)
        s = QGuiApplication::primaryScreen();
    const int dpi = s ? static_cast<int>(s->logicalDotsPerInchY() + 0.5) : 0;
    return dpi > 0 ? dpi : 96;
}

// ---- Fonts of windows ----

void font_load_window(WindowRecord* rec)
{
    if (!rec)
        return;
    WindowFont f = settings_font_of(rec);
    rec->font_face = f.face;
    rec->font_size = f.size;
    rec->font_weight = f.weight;
    rec->font_charset = f.charset;
    rec->font_encoding = f.encoding;
}

void font_metrics_from(int ave_char_width, int max_char_width, int height, int* wrap_char_width,
                       int* line_height, int* tab_unit)
{
    int wrap = max_char_width == ave_char_width ? ave_char_width : ave_char_width * 3 / 2;
    if (wrap < 5)
        wrap = 5;
    int lh = height < 0 ? 5 : height + 1;
    int tab = (max_char_width + ave_char_width) / 2;
    if (tab < 5)
        tab = 5;
    if (wrap_char_width)
        *wrap_char_width = wrap;
    if (line_height)
        *line_height = lh;
    if (tab_unit)
        *tab_unit = tab;
}

bool font_metrics(const QFont& font, int* wrap_char_width, int* line_height, int* tab_unit)
{
    if (!has_gui())
        return false;
    QFontMetrics fm(font);
    const int ave = fm.averageCharWidth();
    // A fixed-pitch font's widest character is its average one; the widest
    // glyph of a large proportional font (symbols, ligatures) says nothing
    // about its text, so the widest of the printable ASCII letters stands
    // for it.
    int max = ave;
    if (!QFontInfo(font).fixedPitch()) {
        for (char c = 0x20; c < 0x7F; ++c)
            max = std::max(max, fm.horizontalAdvance(QLatin1Char(c)));
    }
    font_metrics_from(ave, max, fm.height(), wrap_char_width, line_height, tab_unit);
    return true;
}

QFont font_make_qfont(const std::string& face, int size, int weight, int charset)
{
    (void)charset;
    QFont f(QString::fromUtf8(face.data(), static_cast<int>(face.size())));
    f.setPixelSize(size > 0 ? size : 12);
    f.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    if (fixed_pitch_face(face)) {
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
    }
    return f;
}

bool font_create_for_window(WindowRecord* rec, const std::string& face, int size, int weight,
                            int charset)
{
    if (!rec || !has_gui())
        return false;
    QFont f = font_make_qfont(face, size, weight, charset);
    int wrap = 0, lh = 0, tab = 0;
    if (!font_metrics(f, &wrap, &lh, &tab))
        return false;
    auto font = std::make_shared<QFont>(f);
    rec->font = font;
    rec->font_face = face;
    rec->font_size = size;
    rec->font_weight = weight;
    rec->font_charset = charset;
    rec->char_width = wrap;
    rec->line_height = lh;
    rec->tab_unit = tab;
    return true;
}

int font_ensure_window(WindowRecord* rec)
{
    if (!rec)
        return 0;
    if (rec->font)
        return 1;
    font_load_window(rec);
    return font_create_for_window(rec, rec->font_face, rec->font_size, rec->font_weight,
                                  rec->font_charset)
               ? 1
               : 0;
}

int font_list_item_height(const WindowRecord* rec, int line_height)
{
    if (!rec)
        return line_height;
    if (rec->type == kWinChannel || rec->type == kWinCustom)
        return line_height;
    int global = opt(OPT_LINE_SPACING);
    int s = rec->spacing;
    if (s == 1 || (s == 2 && global == 1))
        return line_height * 2 - 1;
    if (s == 3 || (s == 2 && global == 2))
        return line_height + line_height / 3;
    return line_height;
}

namespace {

// Rows of a list box are as high as its window's item height.
class ItemHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const int height = option.widget ? option.widget->property("kestItemHeight").toInt() : 0;
        if (height > 0)
            size.setHeight(height);
        return size;
    }
};

}  // namespace

void list_set_item_height(ListBox* list, int height)
{
    if (!list)
        return;
    if (!dynamic_cast<ItemHeightDelegate*>(list->itemDelegate()))
        list->setItemDelegate(new ItemHeightDelegate(list));
    list->setProperty("kestItemHeight", height);
    // The rows are laid out again for the new height (a nick list keeps its
    // place in the list).
    list->doItemsLayout();
}

void font_relayout_window(WindowRecord* rec)
{
    if (!rec)
        return;
    // Every display line is wrapped again for the new metrics.
    for (StringNode* n = rec->lines; n; n = n->next) {
        n->wrapWidth = 0;
        n->charWidth = 0;
    }
    if (rec->font) {
        for (EditBox* box : {rec->editbox.get(), rec->editbox2.get()}) {
            if (box) {
                box->setFont(*rec->font);
                box->update();
            }
        }
        if (ListBox* list = rec->listbox.get()) {
            list->setFont(*rec->font);
            list_set_item_height(list, font_list_item_height(rec, rec->line_height));
            list->update();
        }
    }
    if (rec->type == kWinTransfer && font_hooks.dccwin_relayout)
        font_hooks.dccwin_relayout(rec);
    if (QWidget* hwnd = rec->hwnd.get()) {
        win_layout_wanted.fire(hwnd, kLayoutFull);
        hwnd->update();
    }
    win_list_change(kWinListLook);
}

void font_reload_all(int include_custom)
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->type == kWinCustom && !include_custom)
            continue;
        WindowFont f = settings_font_of(rec);
        bool same = rec->font && text_equal_nocase(f.face, rec->font_face) && f.size == rec->font_size &&
                    f.weight == rec->font_weight && f.charset == rec->font_charset &&
                    f.encoding == rec->font_encoding;
        if (same)
            continue;
        rec->font_encoding = f.encoding;
        if (font_create_for_window(rec, f.face, f.size, f.weight, f.charset))
            font_relayout_window(rec);
    }
    if (QWidget* frame = win_frame_handle())
        frame->update();
}

int font_apply(WindowRecord* rec, const std::string& face, int size, int weight, int charset,
               int encoding, const std::string& name_in, int kind, int subtype, int make_default,
               int use_default)
{
    std::string face_used = face;
    int size_used = size, weight_used = weight, charset_used = charset, encoding_used = encoding;
    std::string name = name_in;
    const bool follow_kind = use_default && !make_default;

    if (rec || name.empty() || kind == -1 || subtype == -1) {
        if (!rec || !win_is_record(rec))
            return 0;
        if (follow_kind) {
            std::string key = own_key(rec->type, rec->subtype, rec->name);
            if (!key.empty())
                ini_write(kFontsSection, key.c_str(), nullptr, "");
            WindowFont f = settings_font_of(rec);
            face_used = f.face;
            size_used = f.size;
            weight_used = f.weight;
            charset_used = f.charset;
            encoding_used = f.encoding;
        }
        if (!font_create_for_window(rec, face_used, size_used, weight_used, charset_used))
            return 0;
        rec->font_encoding = (encoding_used < 0 || encoding_used > 2) ? 0 : encoding_used;
        font_relayout_window(rec);
        kind = rec->type;
        subtype = rec->subtype;
        name = rec->name;
    } else if (follow_kind) {
        std::string key = "f" + after_first_blank(name);
        ini_write(kFontsSection, key.c_str(), nullptr, "");
        return 1;
    }

    const std::string value =
        font_setting_text(face_used, size_used, weight_used, charset_used, encoding_used);
    std::string key;
    switch (kind) {
    case kWinStatus: key = "fstatus"; break;
    case kWinChannel: key = "f" + name; break;
    case kWinQuery:
        if (subtype == kQueryMessages)
            key = "fmessage";
        else if (subtype == kQueryDccChat || subtype == kQueryFserve)
            key = "f" + after_first_blank(name);
        else
            key = "f" + name;
        break;
    case kWinTransfer: key = subtype == 2 ? "fdccg" : "fdccs"; break;
    case kWinChanList: key = "flist"; break;
    case kWinFinger: key = "ffinger"; break;
    case kWinUrls: key = "fwwwlist"; break;
    case kWinNotify: key = "fnotify"; break;
    case kWinLinks: key = "flinks"; break;
    default: return 1;  // custom windows keep their font to themselves
    }
    if (kind == kWinChannel || kind == kWinQuery) {
        if (follow_kind)
            return 1;
        if (make_default) {
            ini_write(kFontsSection, key.c_str(), nullptr, "");
            key = kind == kWinChannel ? "fchannel" : "fquery";
        }
    }
    ini_write(kFontsSection, key.c_str(), value.c_str(), "");
    return 1;
}

int font_charset_for_face(const std::string& face, int charset)
{
    if (!has_gui())
        return charset;
    const QString family = QString::fromUtf8(face.data(), static_cast<int>(face.size()));
    QString found;
    for (const QString& f : QFontDatabase::families()) {
        if (f.compare(family, Qt::CaseInsensitive) == 0) {
            found = f;
            break;
        }
    }
    if (found.isEmpty())
        return charset;
    const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(found);
    // The default, OEM and Mac sets are offered by every face.
    if (charset == 1 || charset == 255 || charset == 77)
        return charset;
    for (const CharsetSystem& cs : kCharsetSystems) {
        if (cs.charset == charset && systems.contains(cs.system))
            return charset;
    }
    for (QFontDatabase::WritingSystem ws : systems) {
        for (const CharsetSystem& cs : kCharsetSystems) {
            if (cs.system == ws)
                return cs.charset;
        }
    }
    return charset;
}

int font_text_height(const std::string& face, int size, int weight, int charset)
{
    if (!has_gui())
        return size;
    if (size < 0)
        size = (-size) * font_logpixelsy() / 72;
    if (size < 1)
        size = 1;
    QFont f = font_make_qfont(face, size, weight, charset);
    return QFontInfo(f).pixelSize();
}

std::shared_ptr<QFont> font_system_ui(int kind)
{
    if (!has_gui())
        return nullptr;
    const bool widgets = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    switch (kind) {
    case 2:
        return std::make_shared<QFont>(widgets ? QApplication::font("QMenu")
                                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    case 3:
        return std::make_shared<QFont>(QFontDatabase::systemFont(QFontDatabase::TitleFont));
    case 4:
        return std::make_shared<QFont>(
            QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
    case 5:
        return std::make_shared<QFont>(widgets ? QApplication::font("QStatusBar")
                                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    default:
        return std::make_shared<QFont>(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    }
}

int font_window_codepage(WindowRecord* rec)
{
    if (!rec)
        return 0;
    if (rec->text_area.get())
        return charset_codepage(rec->font_charset, 0);
    return lang_setting_multibyte ? charset_codepage(rec->font_charset, 0) : 0;
}

int font_set_mbcp(int charset)
{
    int previous = font_mbcp;
    font_mbcp = charset_codepage(charset, 0);
    return previous;
}

void fonts_free()
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        rec->font.reset();
}

// ---- Seams of other modules ----

// The font settings of a target that has no window: a channel when the name
// begins with one of the connection's channel-type characters, else a query.
void font_of_target(Connection* conn, const std::string& name, int* charset, int* encoding)
{
    WindowRecord temp;
    temp.name = name.substr(0, std::min<std::size_t>(name.size(), kMediumText));
    std::string types = conn_is_live(conn) && !conn->chan_types.empty() ? conn->chan_types : "#&";
    const bool channel = !name.empty() && types.find(name[0]) != std::string::npos;
    temp.type = channel ? kWinChannel : kWinQuery;
    temp.subtype = channel ? 0 : kQueryPrivate;
    WindowFont f = settings_font_of(&temp);
    if (charset)
        *charset = f.charset;
    if (encoding)
        *encoding = f.encoding;
}


