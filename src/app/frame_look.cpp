// The look of the frame and its windows.
#include "app/frame_look.h"

#include "app/child_window.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/encodings.h"
#include "core/text_limits.h"
#include "core/text_buffer.h"
#include "irc/dispatch/captions.h"
#include "display/draw.h"
#include "display/font_fallback.h"
#include "platform/platform_utils.h"

#include <QApplication>
#include <QByteArray>
#include <QColor>
#include <QGuiApplication>
#include <QMainWindow>
#include <QPainter>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QWidget>
#include <QWindow>

#include <langinfo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

std::string lang_codeset_override;
VisualStyleSettings visual_style;

namespace {

std::string read_main(const char* section, const char* key, const char* def)
{
    std::string out;
    ini_read(section, key, def, out, 1024, main_ini_path);
    return out;
}

int read_int(const char* section, const char* key, const char* def)
{
    return std::atoi(read_main(section, key, def).c_str());
}

void write_int(const char* section, const char* key, int value)
{
    ini_write(section, key, std::to_string(value).c_str(), main_ini_path);
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    s.erase(std::remove(s.begin(), s.end(), '-'), s.end());
    s.erase(std::remove(s.begin(), s.end(), '_'), s.end());
    return s;
}

// Double-byte code sets, and whether the set is the Japanese Shift-JIS one.
bool codeset_double_byte(const std::string& set, bool* shift_jis)
{
    static const char* const kSets[] = {"SHIFTJIS", "SJIS", "CP932", "MSKANJI", "WINDOWS31J", "EUCJP",
                                        "EUCKR", "CP949", "UHC", "GBK", "GB2312", "CP936", "GB18030",
                                        "BIG5", "BIG5HKSCS", "CP950"};
    const std::string u = upper(set);
    *shift_jis = u == "SHIFTJIS" || u == "SJIS" || u == "CP932" || u == "MSKANJI" || u == "WINDOWS31J";
    for (const char* s : kSets)
        if (u == s)
            return true;
    return false;
}

bool has_gui()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The style handles of "Window", "Toolbar", "Scrollbar", "Rebar" and "Tab".
enum ThemeClass { kThemeWindow, kThemeToolbar, kThemeScrollbar, kThemeRebar, kThemeTab, kThemeClasses };
QPointer<QStyle> g_theme[kThemeClasses];
int g_theme_bound = 0;

}  // namespace

// ---- Section "language" ----

void lang_options_load()
{
    std::string old = read_main("sjis", "enabled", "");
    if (!old.empty()) {
        ini_write("sjis", nullptr, nullptr, main_ini_path);
        const int on = text_equal_nocase(old, "yes") ? 1 : 0;
        write_int("language", "sjis", on);
        write_int("language", "multibyte", on);
    }
    int sjis = read_int("language", "sjis", "-1");
    int multibyte = read_int("language", "multibyte", "-1");
    int mbed = read_int("language", "mbed", "-1");
    if (sjis < 0 || multibyte < 0 || mbed < 0) {
        const std::string set = lang_codeset_override.empty() ? std::string(nl_langinfo(CODESET))
                                                              : lang_codeset_override;
        bool shift_jis = false;
        if (codeset_double_byte(set, &shift_jis)) {
            sjis = shift_jis ? 1 : 0;
            multibyte = 1;
        } else {
            sjis = 0;
            multibyte = 0;
        }
        mbed = 1;
    }
    main_settings.lang_sjis = sjis ? 1 : 0;
    main_settings.lang_mbed = mbed ? 1 : 0;
    lang_setting_multibyte = multibyte ? 1 : 0;
    lang_setting_utf = read_int("language", "utf", "1") ? 1 : 0;
    fontlink_set_option(read_int("language", "linking", "1"));
}

// ---- Section "styles" ----

void styles_load()
{
    VisualStyleSettings s;
    s.thin = read_int("styles", "thin", "1");
    if (s.thin < 0 || s.thin > 3)
        s.thin = 1;
    s.font = read_int("styles", "font", "1");
    std::string colour = read_main("styles", "color", "default");
    if (!colour.empty() && !text_equal_nocase(colour, "default") &&
        colour.find_first_not_of("0123456789") == std::string::npos && colour.size() <= 10)
        s.color = static_cast<long>(std::strtoul(colour.c_str(), nullptr, 10) & 0x00FFFFFFul);
    s.size = read_int("styles", "size", "2");
    if (s.size < 1 || s.size > 5)
        s.size = 2;
    s.buttons = read_int("styles", "buttons", "0");
    visual_style = s;
    win_border_option = s.thin;
}

void frame_style_colours(QColor* light, QColor* dark)
{
    if (visual_style.color >= 0) {
        const auto rgb = static_cast<ColorRgb>(visual_style.color);
        const QColor c(color_rgb_red(rgb), color_rgb_green(rgb), color_rgb_blue(rgb));
        *dark = c;
        *light = c.lighter(150);
        return;
    }
    const QPalette pal = has_gui() ? QApplication::palette() : QPalette();
    *light = pal.color(QPalette::Light);
    *dark = pal.color(QPalette::Dark);
}

// ---- The screen ----

// ---- Captions ----

QString caption_display_text(WindowRecord* rec, const std::string& text)
{
    std::string shown = text;
    text_strip_codes(shown, 31);
    shown.erase(std::remove_if(shown.begin(), shown.end(),
                               [](char c) { return c == '\n' || c == '\r' || c == '\x0F'; }),
                shown.end());
    if (shown.size() > kLongText)
        shown.resize(kLongText);
    const int utf8 = rec ? draw_line_is_utf8(rec, shown) : (lang_setting_utf && utf8_detect(shown) == 2);
    return display_decode(shown, utf8, rec ? draw_window_codepage(rec) : 0);
}

namespace {

const char* const kCaptionProperty = "kestCaption";

void show_title(QWidget* hwnd, const QString& shown)
{
    QWidget* frame = win_container(hwnd);
    if (frame->windowTitle() != shown)
        frame->setWindowTitle(shown);
    if (frame != hwnd && hwnd->windowTitle() != shown)
        hwnd->setWindowTitle(shown);
}

}  // namespace

void caption_set(WindowRecord* rec, const std::string& text)
{
    if (!rec)
        return;
    QWidget* hwnd = rec->hwnd.get();
    if (!hwnd)
        return;
    const std::string cut = text.size() > kLongText ? text.substr(0, kLongText) : text;
    hwnd->setProperty(kCaptionProperty, QByteArray(cut.data(), static_cast<qsizetype>(cut.size())));
    show_title(hwnd, caption_display_text(rec, cut));
}

std::string caption_get(WindowRecord* rec)
{
    QWidget* hwnd = rec ? rec->hwnd.get() : nullptr;
    if (!hwnd)
        return std::string();
    const QString title = win_container(hwnd)->windowTitle();
    const QByteArray kept = hwnd->property(kCaptionProperty).toByteArray();
    if (!kept.isNull()) {
        std::string bytes(kept.constData(), static_cast<std::size_t>(kept.size()));
        if (caption_display_text(rec, bytes) == title)
            return bytes;
    }
    std::string shown = title.toStdString();
    if (shown.size() > kLongText)
        shown.resize(kLongText);
    return shown;
}

void frame_caption_refresh()
{
    QWidget* frame = win_frame_handle();
    if (!frame)
        return;
    const QString shown = caption_display_text(nullptr, frame_title());
    if (frame->windowTitle() != shown)
        frame->setWindowTitle(shown);
}

void captions_repaint()
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        if (QWidget* w = rec->hwnd.get())
            win_container(w)->update();
    if (QWidget* frame = win_frame_handle())
        frame->update();
}

std::string main_title()
{
    return frame_title();
}

int focus_elsewhere()
{
    if (!has_gui())
        return 0;
    QWidget* focus = QApplication::focusWidget();
    QWidget* top = focus ? focus->window() : QApplication::activeWindow();
    if (!top)
        return 0;
    if (QWidget* frame = win_frame_handle(); frame && top == frame->window())
        return 0;
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        if (QWidget* w = rec->hwnd.get(); w && w->window() == top)
            return 0;
    return 1;
}

// ---- Visual styles ----

int theme_load()
{
    g_theme_bound = has_gui() && QApplication::style() ? 1 : 0;
    if (!g_theme_bound)
        return 0;
    theme_open();
    return 1;
}

void theme_open()
{
    if (!g_theme_bound)
        return;
    for (QPointer<QStyle>& h : g_theme)
        if (!h)
            h = QApplication::style();
}

void theme_close()
{
    for (QPointer<QStyle>& h : g_theme)
        h = nullptr;
}

void theme_prepare()
{
    theme_open();
    frame_caption_refresh();
}

int theme_is_on(QWidget* window)
{
    if (!g_theme_bound)
        return 0;
    if (!window)
        return g_theme[kThemeWindow] ? 1 : 0;
    return g_theme[kThemeWindow] && window->style() ? 1 : 0;
}

int theme_draw_part(QPainter* painter, const QRect& rect, int kind)
{
    if (!g_theme_bound)
        return 0;
    if (kind < 0 || kind > 13)
        return 0;
    const ThemeClass cls = kind <= 3 ? kThemeToolbar : kind <= 7 ? kThemeScrollbar : kind <= 9 ? kThemeRebar : kThemeTab;
    QStyle* style = g_theme[cls].data();
    if (!style)
        return 0;
    if (!painter || rect.isEmpty())
        return 1;
    QStyleOption opt;
    opt.rect = rect;
    opt.palette = QApplication::palette();
    opt.state = QStyle::State_Enabled;
    switch (kind) {
    case 0:   // pressed
    case 1:   // hot
    case 2:   // checked
    case 3: { // checked and hot
        static const QStyle::State kStates[4] = {
            QStyle::State_Sunken, QStyle::State_MouseOver | QStyle::State_Raised,
            QStyle::State_On | QStyle::State_Sunken, QStyle::State_On | QStyle::State_MouseOver};
        opt.state |= QStyle::State_AutoRaise | kStates[kind];
        style->drawPrimitive(QStyle::PE_PanelButtonTool, &opt, painter);
        break;
    }
    case 4:
    case 5:
    case 6:
    case 7: {
        if (kind == 5 || kind == 7)
            opt.state |= QStyle::State_Sunken;
        else
            opt.state |= QStyle::State_Raised;
        style->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, painter);
        opt.palette.setColor(QPalette::ButtonText, opt.palette.color(QPalette::WindowText));
        style->drawPrimitive(kind <= 5 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, &opt,
                             painter);
        break;
    }
    case 8:
    case 9:
        if (kind == 8)
            opt.state |= QStyle::State_Horizontal;
        painter->fillRect(rect, opt.palette.color(QPalette::Window));
        style->drawPrimitive(QStyle::PE_IndicatorToolBarHandle, &opt, painter);
        break;
    case 10: {
        QStyleOptionTabWidgetFrame frame;
        frame.rect = rect;
        frame.palette = opt.palette;
        frame.state = opt.state;
        frame.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
        painter->fillRect(rect, frame.palette.color(QPalette::Window));
        style->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, painter);
        break;
    }
    default: {
        QStyleOptionTab tab;
        tab.rect = rect;
        tab.palette = opt.palette;
        tab.state = opt.state | (kind == 13 ? QStyle::State_None : QStyle::State_Selected);
        tab.shape = QTabBar::RoundedNorth;
        tab.position = kind == 11 ? QStyleOptionTab::Beginning : QStyleOptionTab::Middle;
        painter->fillRect(rect, tab.palette.color(QPalette::Window));
        style->drawControl(QStyle::CE_TabBarTabShape, &tab, painter);
        break;
    }
    }
    return 1;
}

void frame_look_install()
{
    static int language_listener = 0;
    static int style_listener = 0;
    settings_loaded.add_once(language_listener, kLoadLanguage, [](SettingsLoad&) { lang_options_load(); });
    settings_loaded.add_once(style_listener, kLoadStyles, [](SettingsLoad&) { styles_load(); });
    static int title_listener = 0;
    frame_title_changed.add_once(title_listener, kFrameTitleCaptions, frame_caption_refresh);
    static int caption_listener = 0;
    caption_changed.add_once(caption_listener, kCaptionChangedWindow, caption_set);
}
