// The Display, Display Options, Other and Mouse pages of the options
// dialog: each page's template, what it shows when the dialog opens and
// what OK does with it.
#include "options/small_option_dialogs.h"
#include "options/pages_display.h"

#include <QDialog>

#include <iterator>
#include <string>

#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "display/mouse_clicks.h"
#include "display/window_queries.h"
#include "options/option_bindings.h"
#include "options/options_page.h"
#include "options/page_rules.h"

namespace {

// ---- Display (275) ----

const DlgControl k275[] = {
    {460, kDlgCheck, "Düğmeleri &uzat", 4, 4, 110, 10},
    {461, kDlgCheck, "&DCC pencerelerini göster", 4, 16, 110, 10},
    {462, kDlgCheck, "Düğmeleri &sırala", 4, 28, 110, 10},
    {463, kDlgCheck, "Vurguyu her zaman &göster", 116, 4, 110, 10},
    {464, kDlgCheck, "Simgeleri &yakıp söndür", 116, 16, 110, 10},
    {465, kDlgLabel, "Düğme &boyu:", 4, 56, 60, 8},
    {466, kDlgCombo, "", 66, 54, 60, 60},
    {467, kDlgLabel, "&Satırlar:", 4, 72, 60, 8},
    {468, kDlgCombo, "", 66, 70, 60, 80},
    {469, kDlgLabel, "&Olay rengi:", 4, 90, 60, 8},
    {470, kDlgCombo, "", 66, 88, 60, 80},
    {471, kDlgLabel, "&Mesaj rengi:", 4, 106, 60, 8},
    {472, kDlgCombo, "", 66, 104, 60, 80},
    {473, kDlgLabel, "&Vurgu rengi:", 4, 122, 60, 8},
    {474, kDlgCombo, "", 66, 120, 60, 80},
    {475, kDlgCheck, "Masaüstü &pencerelerini kat", 4, 40, 110, 10},
    {476, kDlgCheck, "Çok satırlı &araç çubuğu", 116, 28, 110, 10},
};
const DlgTemplate kTemplate275 = {275, "", 230, 160, k275, std::size(k275)};

const OptionBinding kDisplayBindings[] = {
    {463, 4, 21}, {464, 7, 11}, {460, 0, 10, 0, true}, {461, 4, 22}, {475, 8, 5}, {462, 6, 1}, {476, 8, 11},
};

// The colour combos: entry 0 no colour, entry k palette index k-1; a
// stored value outside 0..16 shows as the combo's own default.
const struct {
    int control;
    OptionId option;
    int fallback;
} kColourCombos[] = {
    {470, OPT_ACTIVITY_COLOUR_EVENT, 3},
    {472, OPT_ACTIVITY_COLOUR_MESSAGE, 5},
    {474, OPT_ACTIVITY_COLOUR_HIGHLIGHT, 4},
};

const int kButtonHeights[] = {29, 33, 37};

void fill_combo_texts(QWidget* d, int id, const std::vector<std::string>& texts, int selected)
{
    std::vector<const char*> items;
    for (const std::string& t : texts)
        items.push_back(t.c_str());
    dlg_combo_fill(d, id, items.data(), static_cast<int>(items.size()), selected);
}

std::vector<std::string> strings(int first, int count)
{
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.push_back(text_load_string(first + i));
    return out;
}

void fill_display(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    option_bindings_fill(d, kDisplayBindings);
    const int height = opt(OPT_SWITCHBAR_BUTTON_HEIGHT);
    fill_combo_texts(d, 466, strings(4346, 3), height == 33 ? 1 : height == 37 ? 2 : 0);
    std::vector<std::string> rows = {"Auto"};
    for (int i = 1; i <= 10; ++i)
        rows.push_back(std::to_string(i));
    int shown = 0;
    if (opt(OPT_SWITCHBAR_AUTO_ROWS) != 1) {
        const int r = opt(OPT_SWITCHBAR_ROWS);
        shown = r < 0 || r > 9 ? 0 : r + 1;
    }
    fill_combo_texts(d, 468, rows, shown);
    std::vector<std::string> colours;
    for (int i = 0; i <= 16; ++i)
        colours.push_back("color " + std::to_string(i));
    for (const auto& c : kColourCombos) {
        const int v = opt(c.option);
        fill_combo_texts(d, c.control, colours, v < 0 || v > 16 ? c.fallback : v);
    }
}

void apply_display(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    option_bindings_apply(d, kDisplayBindings);
    const int size = dlg_combo_index(d, 466);
    opt_set(OPT_SWITCHBAR_BUTTON_HEIGHT, kButtonHeights[size >= 0 && size < 3 ? size : 0]);
    const int rows = dlg_combo_index(d, 468);
    opt_set(OPT_SWITCHBAR_AUTO_ROWS, rows <= 0 ? 1 : 0);
    if (rows > 0)
        opt_set(OPT_SWITCHBAR_ROWS, rows - 1);
    for (const auto& c : kColourCombos)
        opt_set(c.option, dlg_combo_index(d, c.control));
}

// ---- Display Options (280) ----

const DlgControl k280[] = {
    {420, kDlgLabel, "Pencere &başlığı:", 4, 6, 60, 8},
    {421, kDlgEdit, "", 66, 4, 160, 12, 0, 1024},
    {422, kDlgLabel, "Satır &aralığı:", 4, 24, 60, 8},
    {423, kDlgCombo, "", 66, 22, 70, 60},
    {424, kDlgLabel, "&Yazı kutusu:", 4, 40, 60, 8},
    {425, kDlgCombo, "", 66, 38, 70, 60},
    {426, kDlgCheck, "Çift &ekran desteği", 4, 58, 110, 10},
    {427, kDlgCheck, "Hızlı &metinleri göster", 116, 58, 110, 10},
    {428, kDlgButton, "Satır &işareti...", 4, 76, 70, 14, kDlgDisabled},
    {429, kDlgButton, "&Görünüm...", 80, 76, 70, 14, kDlgDisabled},
    {430, kDlgButton, "&Pencereler...", 156, 76, 70, 14},
    {431, kDlgButton, "&Tepsi...", 4, 94, 70, 14, kDlgDisabled},
    {432, kDlgButton, "Çoklu &sunucu...", 80, 94, 70, 14},
    {433, kDlgButton, "&Balon ipuçları...", 156, 94, 70, 14},
};
const DlgTemplate kTemplate280 = {280, "", 230, 160, k280, std::size(k280)};

const OptionBinding kDisplayOptionsBindings[] = {{426, 1, 16}, {427, 5, 13}};

void fill_display_options(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    dlg_set_text(d, 421, main_settings.app_title);
    fill_combo_texts(d, 423, strings(4356, 3), opt(OPT_LINE_SPACING));
    fill_combo_texts(d, 425, strings(4387, 3), opt(OPT_EDITBOX_LINES));
    option_bindings_fill(d, kDisplayOptionsBindings);
}

void apply_display_options(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    opt_set(OPT_LINE_SPACING, dlg_combo_index(d, 423));
    opt_set(OPT_EDITBOX_LINES, dlg_combo_index(d, 425));
    option_bindings_apply(d, kDisplayOptionsBindings);
    std::string title = dlg_text(d, 421);
    if (title.size() > 1024)
        title.resize(1024);
    if (title != main_settings.app_title) {
        main_settings.app_title = title;
        frame_update_title();
    }
}

// ---- Other (500) ----

const DlgControl k500[] = {
    {440, kDlgLabel, "&Komut öneki:", 4, 6, 70, 8},
    {441, kDlgEdit, "", 80, 4, 20, 12, 0, 1},
    {442, kDlgLabel, "&Tampon satırları:", 4, 22, 70, 8},
    {443, kDlgNumber, "", 80, 20, 40, 12, 0, 5},
    {444, kDlgLabel, "Satır &ayıracı:", 4, 38, 70, 8},
    {445, kDlgEdit, "", 80, 36, 60, 12, 0, 256},
    {446, kDlgButton, "&Tuşlar...", 4, 56, 70, 14},
    {447, kDlgButton, "&DDE...", 80, 56, 70, 14},
    {448, kDlgButton, "&Finger...", 4, 74, 70, 14},
    {449, kDlgButton, "&Onaylar...", 80, 74, 70, 14},
};
const DlgTemplate kTemplate500 = {500, "", 230, 160, k500, std::size(k500)};

const OptionBinding kOtherBindings[] = {{443, 3, 0, 0, false, true, 500, 30000}};

void fill_other(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    dlg_set_text(d, 441, main_settings.command_char);
    dlg_set_text(d, 445, main_settings.line_separator);
    option_bindings_fill(d, kOtherBindings);
}

void apply_other(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    std::string prefix = dlg_text(d, 441).substr(0, 1);
    main_settings.command_char = prefix.empty() ? "/" : prefix;
    main_settings.line_separator = dlg_text(d, 445);
    option_bindings_apply(d, kOtherBindings);
}

// ---- Mouse (645) ----

const DlgControl k645[] = {
    {375, kDlgGroupBox, "Çift tıklama", 4, 2, 222, 150},
    {376, kDlgLabel, "&Durum:", 10, 16, 50, 8},
    {377, kDlgLabel, "Ö&zel:", 10, 32, 50, 8},
    {378, kDlgLabel, "&Kanal:", 10, 48, 50, 8},
    {379, kDlgLabel, "&Takma adlar:", 10, 64, 50, 8},
    {380, kDlgLabel, "&Notify:", 10, 80, 50, 8},
    {381, kDlgLabel, "&Mesaj:", 10, 96, 50, 8},
    {382, kDlgLabel, "", 10, 112, 0, 0},
    {383, kDlgEdit, "", 62, 14, 158, 12, 0, 1024},
    {384, kDlgEdit, "", 62, 30, 158, 12, 0, 1024},
    {385, kDlgEdit, "", 62, 94, 158, 12, 0, 1024},
    {386, kDlgEdit, "", 62, 46, 158, 12, 0, 1024},
    {387, kDlgEdit, "", 62, 62, 158, 12, 0, 1024},
    {388, kDlgEdit, "", 62, 78, 158, 12, 0, 1024},
};
const DlgTemplate kTemplate645 = {645, "", 230, 160, k645, std::size(k645)};

const struct {
    int control;
    std::string ClickCommands::*field;
} kClickFields[] = {
    {383, &ClickCommands::status},   {384, &ClickCommands::query},  {386, &ClickCommands::channel},
    {387, &ClickCommands::nicklist}, {388, &ClickCommands::notify}, {385, &ClickCommands::message},
};

void fill_mouse(OptionsEdit& e)
{
    for (const auto& f : kClickFields)
        dlg_set_text(e.dialog, f.control, click_commands.*f.field);
}

void apply_mouse(OptionsEdit& e)
{
    for (const auto& f : kClickFields) {
        std::string text = dlg_text(e.dialog, f.control);
        if (text.size() > 1024)
            text.resize(1024);
        click_commands.*f.field = text;
    }
    clicks_save();
}

}  // namespace

void pages_display_install()
{
    options_page_register({460, &kTemplate275, fill_display, apply_display});
    options_page_register({420, &kTemplate280, fill_display_options, apply_display_options, nullptr,
                           small_option_dialogs_command});
    options_page_register({440, &kTemplate500, fill_other, apply_other, nullptr, small_option_dialogs_command});
    options_page_register({375, &kTemplate645, fill_mouse, apply_mouse});
}

void pages_display_uninstall()
{
    for (int first : {460, 420, 440, 375})
        options_page_unregister(first);
}
