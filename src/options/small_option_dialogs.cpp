#include "options/small_option_dialogs.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "app/events_dialog.h"
#include "app/file_dialogs.h"
#include "bars/tips.h"
#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "model/tip_events.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/options_subdialogs.h"
#include "options/page_rules.h"
#include "platform/platform_utils.h"

namespace {

constexpr OptionId option_id_enum(int line, int position)
{
    return static_cast<OptionId>(option_id(line, position));
}

// One box of a small dialog and the option-line position it holds.
struct BoxSlot {
    int control;
    OptionId option;
    bool inverted;  // the position holds 1 when the box is cleared
};

int staged(const SubdialogStaging& s, OptionId id)
{
    const auto it = s.option_values.find(id);
    return it != s.option_values.end() ? it->second : opt(id);
}

void fill_boxes(QDialog& d, const SubdialogStaging& s, const BoxSlot* boxes, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const int v = staged(s, boxes[i].option);
        dlg_set_checked(&d, boxes[i].control, boxes[i].inverted ? v == 0 : v != 0);
    }
}

void read_boxes(QDialog& d, SubdialogStaging& s, const BoxSlot* boxes, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const int on = dlg_checked(&d, boxes[i].control) ? 1 : 0;
        s.option_values[boxes[i].option] = boxes[i].inverted ? !on : on;
    }
}

QAbstractButton* button(QWidget* d, int id)
{
    return qobject_cast<QAbstractButton*>(dlg_item(d, id));
}


// A box that, ticked, makes the others of its group meaningless: they are
// disabled while it is ticked.
void wire_always(QDialog& d, int always, std::initializer_list<int> others)
{
    std::vector<int> ids(others);
    auto apply = [&d, always, ids] {
        const bool on = dlg_checked(&d, always);
        for (int id : ids)
            if (QWidget* w = dlg_item(&d, id))
                w->setEnabled(!on);
    };
    if (QAbstractButton* b = button(&d, always))
        QObject::connect(b, &QAbstractButton::toggled, &d, apply);
    apply();
}

template <std::size_t N>
int run_boxes(QWidget* owner, int template_id, const BoxSlot (&boxes)[N],
              const std::function<void(QDialog&, SubdialogStaging&)>& more_fill = {},
              const std::function<void(QDialog&, SubdialogStaging&)>& more_read = {})
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return dlg_show_modal(owner, template_id, [s, &boxes, &more_fill, &more_read](QDialog& d) {
        fill_boxes(d, *s, boxes, N);
        if (more_fill)
            more_fill(d, *s);
        subdialog_wire_buttons(d, [s, &d, &boxes, more_read] {
            read_boxes(d, *s, boxes, N);
            if (more_read)
                more_read(d, *s);
            return true;
        });
    }) == 1;
}

// ---- Keys (565) ----

const DlgControl kKeys[] = {
    {101, kDlgCheck, "&Escape pencereyi kapatır", 6, 6, 200, 10},
    {102, kDlgCheck, "Ctrl+K &renk menüsünü açar", 6, 18, 200, 10},
    {103, kDlgCheck, "Bağlantılar yalnızca &Shift ile", 6, 30, 200, 10},
    {104, kDlgCheck, "Nick listesinde sağ tık &seçer", 6, 42, 200, 10},
    {105, kDlgCheck, "Başlıkta sağ tık Shift &ister", 6, 54, 200, 10},
    {106, kDlgCheck, "Ctrl+Tab &düğme sırasını izler", 6, 66, 200, 10},
    {107, kDlgCheck, "&Tab yazı kutusunu değiştirir", 6, 78, 200, 10},
    {108, kDlgCheck, "&Alt+Z etkin pencereyi kapatır", 6, 90, 200, 10},
    {1, kDlgDefButton, "Tamam", 60, 108, 50, 14},
    {2, kDlgButton, "İptal", 116, 108, 50, 14},
};
const DlgTemplate kKeysTemplate = {565, "Tuşlar", 214, 128, kKeys, std::size(kKeys)};

const BoxSlot kKeySlots[] = {
    {101, option_id_enum(3, 1), false}, {102, option_id_enum(4, 0), false}, {103, option_id_enum(6, 24), true},
    {104, option_id_enum(6, 28), false}, {105, option_id_enum(1, 30), false}, {106, option_id_enum(2, 31), false},
    {107, option_id_enum(2, 32), false}, {108, option_id_enum(2, 34), false},
};

// ---- Confirmations (185) ----

const DlgControl kConfirm[] = {
    {-1, kDlgGroupBox, "Durum penceresi kapanırken", 4, 4, 206, 60},
    {102, kDlgCheck, "&Kanaldayken", 10, 16, 95, 10},
    {104, kDlgCheck, "&Bağlıyken", 10, 28, 95, 10},
    {103, kDlgCheck, "Özel &mesaj açıkken", 10, 40, 95, 10},
    {105, kDlgCheck, "&Her zaman", 110, 16, 95, 10},
    {-1, kDlgGroupBox, "Programdan çıkarken", 4, 68, 206, 72},
    {106, kDlgCheck, "Kanal&dayken", 10, 80, 95, 10},
    {108, kDlgCheck, "Ba&ğlıyken", 10, 92, 95, 10},
    {111, kDlgCheck, "DCC &aktarımı varken", 10, 104, 95, 10},
    {112, kDlgCheck, "Şarkı &çalarken", 10, 116, 95, 10},
    {107, kDlgCheck, "Özel mesaj açı&kken", 110, 80, 95, 10},
    {110, kDlgCheck, "So&hbet açıkken", 110, 92, 95, 10},
    {109, kDlgCheck, "Her &zaman", 110, 104, 95, 10},
    {101, kDlgCheck, "Bağlı değilken bağlan düğmesine ikinci &tık", 6, 146, 200, 10},
    {113, kDlgCheck, "Yapıştırmayı &onayla, satır sayısı:", 6, 160, 140, 10},
    {114, kDlgNumber, "", 150, 158, 30, 12, 0, 5},
    {1, kDlgDefButton, "Tamam", 60, 178, 50, 14},
    {2, kDlgButton, "İptal", 116, 178, 50, 14},
};
const DlgTemplate kConfirmTemplate = {185, "Onaylar", 214, 198, kConfirm, std::size(kConfirm)};

const BoxSlot kConfirmSlots[] = {
    {101, option_id_enum(0, 34), false}, {102, option_id_enum(7, 22), false}, {103, option_id_enum(7, 23), false},
    {104, option_id_enum(7, 24), false}, {105, option_id_enum(7, 25), false}, {106, option_id_enum(7, 0), false},
    {107, option_id_enum(7, 1), false},  {108, option_id_enum(7, 2), false},  {109, option_id_enum(7, 3), false},
    {110, option_id_enum(7, 8), false},  {111, option_id_enum(7, 7), false},  {112, option_id_enum(7, 15), false},
    {113, option_id_enum(1, 34), false},
};

// ---- Windows (850) ----

const DlgControl kWindows[] = {
    {101, kDlgLabel, "Masaüstünde açılan pencereler:", 6, 4, 200, 8},
    {102, kDlgCheck, "&Durum", 10, 16, 95, 10},
    {103, kDlgCheck, "Özel &mesaj", 10, 28, 95, 10},
    {104, kDlgCheck, "&Sohbet", 10, 40, 95, 10},
    {105, kDlgCheck, "&Kanal", 10, 52, 95, 10},
    {106, kDlgCheck, "&Gönder ve al", 10, 64, 95, 10},
    {107, kDlgCheck, "&Dosya sunucusu", 10, 76, 95, 10},
    {108, kDlgCheck, "&Finger", 110, 16, 95, 10},
    {109, kDlgCheck, "&Bağlantı listesi", 110, 28, 95, 10},
    {110, kDlgCheck, "Ka&nal listesi", 110, 40, 95, 10},
    {111, kDlgCheck, "&Adres listesi", 110, 52, 95, 10},
    {112, kDlgCheck, "Bi&ldirim listesi", 110, 64, 95, 10},
    {113, kDlgCheck, "Masaüstü pencereleri &görev çubuğunda", 6, 92, 200, 10},
    {114, kDlgCheck, "Masaüstü pencereleri &üstte tut", 6, 104, 200, 10},
    {115, kDlgCheck, "Yeni pencereleri &etkinleştirme", 6, 116, 200, 10},
    {116, kDlgCheck, "Pencere yerlerini &hatırla", 6, 128, 200, 10},
    {117, kDlgLabel, "&Saydamlık:", 6, 144, 60, 8},
    {118, kDlgCombo, "", 70, 142, 50, 120},
    {1, kDlgDefButton, "Tamam", 60, 162, 50, 14},
    {2, kDlgButton, "İptal", 116, 162, 50, 14},
};
const DlgTemplate kWindowsTemplate = {850, "Pencereler", 214, 182, kWindows, std::size(kWindows)};

const BoxSlot kWindowSlots[] = {
    {102, option_id_enum(5, 0), true},  {105, option_id_enum(5, 1), true},  {103, option_id_enum(5, 2), true},
    {106, option_id_enum(5, 3), true},  {108, option_id_enum(5, 4), true},  {112, option_id_enum(5, 5), true},
    {111, option_id_enum(5, 6), true},  {110, option_id_enum(5, 7), true},  {109, option_id_enum(5, 8), true},
    {107, option_id_enum(5, 9), true},  {104, option_id_enum(5, 16), true}, {113, option_id_enum(2, 33), false},
    {115, option_id_enum(6, 19), false}, {114, option_id_enum(6, 20), false}, {116, option_id_enum(8, 8), false},
};

// ---- DDE server (270) ----

const DlgControl kDde[] = {
    {101, kDlgCheck, "DDE sunucusu &açık", 6, 6, 200, 10},
    {-1, kDlgLabel, "&Servis adı:", 6, 22, 60, 8},
    {102, kDlgEdit, "", 70, 20, 100, 12, 0, 256},
    {104, kDlgCheck, "Açılışta servis adını &denetle", 6, 38, 200, 10},
    {-1, kDlgLabel, "&Gecikme (dakika):", 6, 54, 60, 8},
    {103, kDlgNumber, "", 70, 52, 40, 12, 0, 6},
    {1, kDlgDefButton, "Tamam", 60, 72, 50, 14},
    {2, kDlgButton, "İptal", 116, 72, 50, 14},
};
const DlgTemplate kDdeTemplate = {270, "DDE", 214, 92, kDde, std::size(kDde)};

// ---- Finger server (445) ----

const DlgControl kFinger[] = {
    {101, kDlgCheck, "Finger sunucusu &açık", 6, 6, 200, 10},
    {102, kDlgCheck, "Finger isteklerini &göster", 6, 18, 200, 10},
    {-1, kDlgLabel, "Yanıt dosyası:", 6, 34, 60, 8},
    {104, kDlgButton, "", 70, 32, 100, 14},
    {103, kDlgButton, "Dü&zenle", 174, 32, 34, 14},
    {1, kDlgDefButton, "Tamam", 60, 54, 50, 14},
    {2, kDlgButton, "İptal", 116, 54, 50, 14},
};
const DlgTemplate kFingerTemplate = {445, "Finger Sunucusu", 214, 74, kFinger, std::size(kFinger)};

const BoxSlot kFingerSlots[] = {{101, option_id_enum(3, 28), false}, {102, option_id_enum(2, 17), false}};

const char* const kNoFile = "(yok)";

void show_finger_file(QDialog& d, const std::string& path)
{
    if (QAbstractButton* b = button(&d, 104)) {
        b->setProperty("path", QString::fromStdString(path));
        b->setText(path.empty() ? QString::fromUtf8(kNoFile) : QString::fromStdString(path));
    }
}

std::string finger_file_of(QDialog& d)
{
    QAbstractButton* b = button(&d, 104);
    return b ? b->property("path").toString().toStdString() : std::string();
}


// ---- Tips (790) ----

const DlgControl kTips[] = {
    {100, kDlgCheck, "&İpuçlarını göster", 6, 6, 200, 10},
    {130, kDlgGroupBox, "Kanal", 6, 20, 98, 120},
    {101, kDlgCheck, "&Mesaj", 12, 32, 88, 10},
    {102, kDlgCheck, "&Bildiri", 12, 44, 88, 10},
    {103, kDlgCheck, "&CTCP", 12, 56, 88, 10},
    {104, kDlgCheck, "&Giriş/çıkış", 12, 68, 88, 10},
    {105, kDlgCheck, "&Atılma", 12, 80, 88, 10},
    {106, kDlgCheck, "M&od", 12, 92, 88, 10},
    {107, kDlgCheck, "&Konu", 12, 104, 88, 10},
    {108, kDlgCheck, "&Nick", 12, 116, 88, 10},
    {109, kDlgCheck, "Çı&kış", 12, 128, 88, 10},
    {131, kDlgGroupBox, "Özel", 110, 20, 98, 60},
    {110, kDlgCheck, "Mesaj", 116, 32, 88, 10},
    {111, kDlgCheck, "Bildiri", 116, 44, 88, 10},
    {112, kDlgCheck, "CTCP", 116, 56, 88, 10},
    {113, kDlgCheck, "Nick", 116, 68, 88, 10},
    {114, kDlgCheck, "Bağlan/kop", 116, 86, 88, 10},
    {115, kDlgCheck, "Bildiri", 116, 98, 88, 10},
    {116, kDlgCheck, "Bildirim listesi", 116, 110, 88, 10},
    {117, kDlgCheck, "Gönder/al", 116, 122, 88, 10},
    {118, kDlgCheck, "Sohbet", 116, 134, 88, 10},
    {119, kDlgCheck, "Davet", 6, 146, 98, 10},
    {120, kDlgCheck, "Uzakta", 116, 146, 88, 10},
    {132, kDlgLabel, "En &çok:", 6, 162, 40, 8},
    {121, kDlgComboEdit, "", 48, 160, 40, 60, 0, 3},
    {133, kDlgLabel, "&Saniye:", 110, 162, 40, 8},
    {122, kDlgComboEdit, "", 152, 160, 40, 60, 0, 3},
    {123, kDlgCheck, "&Tam ekranda gizle", 6, 178, 200, 10},
    {1, kDlgDefButton, "Tamam", 100, 194, 50, 14},
    {2, kDlgButton, "İptal", 156, 194, 50, 14},
};
const DlgTemplate kTipsTemplate = {790, "İpuçları", 214, 212, kTips, std::size(kTips)};

const DlgTemplate* const kTemplates[] = {&kKeysTemplate, &kConfirmTemplate, &kWindowsTemplate, &kDdeTemplate,
                                         &kFingerTemplate, &kTipsTemplate};

}  // namespace

int keys_options_run(QWidget* owner)
{
    return run_boxes(owner, 565, kKeySlots);
}

int confirm_options_run(QWidget* owner)
{
    return run_boxes(
        owner, 185, kConfirmSlots,
        [](QDialog& d, SubdialogStaging& s) {
            dlg_set_text(&d, 114, std::to_string(staged(s, option_id_enum(1, 35))));
            wire_always(d, 105, {102, 103, 104});
            wire_always(d, 109, {106, 107, 108, 110, 111, 112});
        },
        [](QDialog& d, SubdialogStaging& s) {
            long long lines = page_number(dlg_text(&d, 114));
            s.option_values[option_id_enum(1, 35)] = static_cast<int>(lines < 0 ? 0 : lines > 99999 ? 99999 : lines);
        });
}

int windows_options_run(QWidget* owner)
{
    return run_boxes(
        owner, 850, kWindowSlots,
        [](QDialog& d, SubdialogStaging& s) {
            auto* combo = qobject_cast<QComboBox*>(dlg_item(&d, 118));
            if (!combo)
                return;
            for (int p = 0; p <= 75; p += 5)
                combo->addItem(QString::asprintf("%d%%", p));
            const int now = staged(s, OPT_TRANSPARENCY);
            combo->setCurrentIndex(now < 0 || now > 75 ? 0 : now / 5);
        },
        [](QDialog& d, SubdialogStaging& s) {
            const int index = dlg_combo_index(&d, 118);
            s.option_values[OPT_TRANSPARENCY] = index < 0 ? 0 : index * 5;
        });
}

int dde_options_run(QWidget* owner)
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return dlg_show_modal(owner, 270, [s](QDialog& d) {
        dlg_set_checked(&d, 101, s->dde_on);
        dlg_set_text(&d, 102, s->dde_service);
        dlg_set_checked(&d, 104, s->dde_check);
        dlg_set_text(&d, 103, std::to_string(staged(*s, OPT_DDE_DELAY)));
        subdialog_wire_buttons(d, [s, &d] {
            s->dde_on = dlg_checked(&d, 101);
            std::string name = dlg_text(&d, 102).substr(0, 256);
            s->dde_service = name.empty() ? "Kest" : name;
            s->dde_check = dlg_checked(&d, 104);
            const long long delay = page_number(dlg_text(&d, 103));
            s->option_values[OPT_DDE_DELAY] = static_cast<int>(delay < 0 ? 0 : delay > 999999 ? 999999 : delay);
            return true;
        });
    }) == 1;
}

int finger_options_run(QWidget* owner)
{
    SubdialogStaging* s = subdialog_staging();
    if (!s)
        return 0;
    return run_boxes(
        owner, 445, kFingerSlots,
        [](QDialog& d, SubdialogStaging& st) {
            show_finger_file(d, st.finger_file);
            if (QAbstractButton* b = button(&d, 104))
                QObject::connect(b, &QAbstractButton::clicked, &d, [&d] {
                    // A set path is cleared; with none a text file is chosen.
                    if (!finger_file_of(d).empty()) {
                        show_finger_file(d, std::string());
                        return;
                    }
                    std::string dir;
                    file_abs_exe_dir(dir);
                    file_add_trailing_slash(dir);
                    filedlg_state().remembered_folder = dir + "*.txt";
                    if (filedlg_open(&d, 1, text_load_string(5101), nullptr, 4) == 1)
                        show_finger_file(d, filedlg_state().remembered_folder + filedlg_state().chosen_name);
                });
            if (QAbstractButton* b = button(&d, 103))
                QObject::connect(b, &QAbstractButton::clicked, &d, [&d] {
                    const std::string path = finger_file_of(d);
                    if (path.empty() || !shell_show_file(path, 1))
                        beep_error(0);
                });
        },
        [](QDialog& d, SubdialogStaging& st) { st.finger_file = finger_file_of(d); });
}

int tip_options_dlg(QWidget* owner, int working[TIPOPT_COUNT])
{
    return dlg_show_modal(owner, 790, [working](QDialog& d) {
        for (int n = 1; n <= 21; ++n)
            dlg_set_checked(&d, 99 + n, working[n - 1] != 0);
        static const char* const kMax[] = {"5", "50"};
        static const char* const kSeconds[] = {"3", "60"};
        dlg_combo_fill(&d, 121, kMax, 2, -1);
        dlg_combo_fill(&d, 122, kSeconds, 2, -1);
        dlg_set_text(&d, 121, std::to_string(working[TIPOPT_MAX_TIPS - 1]));
        dlg_set_text(&d, 122, std::to_string(working[TIPOPT_SECONDS - 1]));
        dlg_set_checked(&d, 123, working[TIPOPT_HIDE_FULLSCREEN - 1] != 0);
        subdialog_wire_buttons(d, [&d, working] {
            for (int n = 1; n <= 21; ++n)
                working[n - 1] = dlg_checked(&d, 99 + n) ? 1 : 0;
            auto within = [](const std::string& text, int low, int high) {
                const long long v = page_number(text);
                return static_cast<int>(v < low ? low : v > high ? high : v);
            };
            working[TIPOPT_MAX_TIPS - 1] = within(dlg_text(&d, 121), 5, 50);
            working[TIPOPT_SECONDS - 1] = within(dlg_text(&d, 122), 3, 60);
            working[TIPOPT_HIDE_FULLSCREEN - 1] = dlg_checked(&d, 123) ? 1 : 0;
            return true;
        });
    }) == 1;
}

int tips_options_run(QWidget* owner)
{
    int working[TIPOPT_COUNT];
    tip_options_apply(working, 0);
    if (!tip_options_dlg(owner, working))
        return 0;
    tip_options_apply(working, 1);
    return 1;
}

int small_option_dialogs_command(OptionsEdit& e, int id)
{
    switch (id) {
    case 248:
        events_display_dialog(e.dialog, nullptr);
        return 1;
    case 430:
        windows_options_run(e.dialog);
        return 1;
    case 432:
        subdialog_multiserver_run(e.dialog);
        return 1;
    case 433:
        tips_options_run(e.dialog);
        return 1;
    case 446:
        keys_options_run(e.dialog);
        return 1;
    case 447:
        dde_options_run(e.dialog);
        return 1;
    case 448:
        finger_options_run(e.dialog);
        return 1;
    case 449:
        confirm_options_run(e.dialog);
        return 1;
    default:
        return 0;
    }
}

void small_option_dialogs_install()
{
    for (const DlgTemplate* t : kTemplates)
        dlg_template_register(*t);
}

void small_option_dialogs_uninstall()
{
    for (const DlgTemplate* t : kTemplates)
        dlg_template_unregister(t->id);
}
