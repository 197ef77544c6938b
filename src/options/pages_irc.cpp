// The pages of the IRC group of the options dialog: IRC, Options,
// Messages, Catcher, Logging and Flood. Each page's template, what it shows
// when the dialog opens and what OK does with it.
#include "options/small_option_dialogs.h"
#include "options/pages_irc.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>

#include <iterator>

#include "app/file_dialogs.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "irc/link/flood.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "irc/dispatch/captions.h"
#include "app/command_line.h"
#include "app/input_dialog.h"
#include "app/irc_link_association.h"
#include "display/font_fallback.h"
#include "options/option_bindings.h"
#include "options/options_page.h"
#include "platform/platform_utils.h"
#include "options/page_rules.h"

namespace {

// ---- IRC (550) ----

const DlgControl kIrc[] = {
    {230, kDlgCheck, "Kendi mesajlarıma &önek koy", 4, 4, 132, 10},
    {231, kDlgCheck, "Öneki &göster", 4, 16, 132, 10},
    {232, kDlgCheck, "Özel pencereleri &küçült", 4, 28, 132, 10},
    {233, kDlgCheck, "&Tek mesaj penceresi", 4, 40, 132, 10},
    {234, kDlgCheck, "Özelde &notify listesine bak", 4, 52, 132, 10},
    {235, kDlgCheck, "Mesajları özele &kopyala", 4, 64, 132, 10},
    {236, kDlgCheck, "Özelde &whois", 4, 76, 132, 10},
    {237, kDlgCheck, "Davette kanala &gir", 4, 88, 132, 10},
    {238, kDlgCheck, "Bağlanınca kanallara &dön", 4, 100, 132, 10},
    {239, kDlgCheck, "Atılınca kanala &geri gir", 4, 112, 132, 10},
    {240, kDlgCheck, "Kanalları &açık tut", 4, 124, 132, 10},
    {241, kDlgCheck, "Kanal &şifresini gizle", 4, 136, 132, 10},
    {242, kDlgCheck, "&Whois yanıtları", 142, 64, 84, 10},
    {243, kDlgCheck, "&Notice'ler", 142, 52, 84, 10},
    {244, kDlgCheck, "Ö&zel mesajlar", 142, 40, 84, 10},
    {245, kDlgCheck, "&Davetler", 142, 28, 84, 10},
    {246, kDlgGroupBox, "Etkin pencerede göster", 136, 2, 94, 104},
    {247, kDlgCheck, "&CTCP'ler", 142, 76, 84, 10},
    {248, kDlgButton, "&Olaylar...", 142, 124, 60, 14},
    {249, kDlgCheck, "&Uzakta yanıtları", 142, 88, 84, 10},
};
const DlgTemplate kIrcTemplate = {550, "", 230, 160, kIrc, std::size(kIrc)};

const OptionBinding kIrcBindings[] = {
    {230, 0, 22}, {231, 2, 29}, {232, 1, 17}, {233, 0, 21}, {234, 7, 10}, {235, 4, 26},
    {236, 1, 18}, {237, 3, 10}, {238, 2, 26}, {239, 0, 7},  {240, 3, 22}, {241, 7, 6},
    {245, 3, 25}, {244, 4, 4},  {243, 5, 12}, {242, 2, 25}, {247, 4, 18}, {249, 4, 31},
};

// ---- IRC Options (551) ----

const DlgControl kIrcOptions[] = {
    {260, kDlgGroupBox, "Pencere yanıp sönsün", 4, 84, 222, 46},
    {261, kDlgCheck, "&Kanal mesajlarında", 10, 96, 120, 10},
    {262, kDlgCheck, "Ö&zel mesajlarda", 10, 108, 120, 10},
    {263, kDlgCheck, "Mesaj gönderince &uzakta modunu kapat", 4, 68, 220, 10},
    {264, kDlgCheck, "Bağlanınca &MOTD'yi atla", 4, 44, 220, 10},
    {265, kDlgCheck, "&Ping-pong olaylarını gizle", 4, 56, 220, 10},
    {266, kDlgCheck, "&Kısa giriş ve çıkış satırları", 4, 4, 220, 10},
    {267, kDlgCheck, "&Adresleri göster", 4, 16, 220, 10},
    {268, kDlgCheck, "&Takma ad değişikliklerini göster", 4, 28, 220, 10},
    {269, kDlgLabel, "", 4, 4, 0, 0},
    {270, kDlgLabel, "", 4, 4, 0, 0},
    {271, kDlgCheck, "&Sohbet mesajlarında", 10, 120, 120, 10},
};
const DlgTemplate kIrcOptionsTemplate = {551, "", 230, 160, kIrcOptions, std::size(kIrcOptions)};

const char* const kMotdWarning =
    "Günün mesajı (MOTD) sunucunun kurallarını içerir. "
    "Bazı sunucular onu istemeyen kullanıcıları yasaklayabilir. "
    "Kutu işaretliyken de /motd ile okuyabilirsiniz.";

const OptionBinding kIrcOptionsBindings[] = {
    {266, 2, 18}, {267, 0, 1}, {268, 3, 34}, {261, 7, 4}, {262, 7, 5},
    {271, 8, 14}, {264, 1, 10}, {265, 0, 30}, {263, 0, 8},
};

// ---- Messages (630) ----

const DlgControl kMessages[] = {
    {480, kDlgCheck, "Olaylara &zaman damgası", 4, 4, 120, 10},
    {481, kDlgEdit, "", 126, 2, 80, 12, 0, kPageFieldMax},
    {482, kDlgGroupBox, "Gelen mesajlardan ayıkla", 4, 20, 222, 52},
    {483, kDlgCheck, "&Kalın", 10, 32, 50, 10},
    {484, kDlgCheck, "&Altı çizili", 62, 32, 50, 10},
    {485, kDlgCheck, "&Renk", 166, 32, 50, 10},
    {486, kDlgCheck, "&Ters", 114, 32, 50, 10},
    {487, kDlgCheck, "Yalnızca &şundan çok kod varsa:", 10, 46, 140, 10},
    {488, kDlgNumber, "", 152, 44, 30, 12, 0, 4},
    {489, kDlgCheck, "&ANSI renk kodlarını çevir", 10, 58, 140, 10},
    {490, kDlgLabel, "&Finger yanıtı:", 4, 80, 60, 8},
    {491, kDlgEdit, "", 66, 78, 160, 12, 0, kPageLongFieldMax},
    {492, kDlgLabel, "&Çıkış mesajı:", 4, 96, 60, 8},
    {493, kDlgEdit, "", 66, 94, 160, 12, 0, kPageLongFieldMax},
    {494, kDlgCheck, "SJIS/JIS &dönüştür", 4, 114, 110, 10},
    {495, kDlgCheck, "Çok baytlı gö&sterim", 4, 126, 110, 10},
    {496, kDlgCheck, "Çok baytlı &yazı kutusu", 116, 114, 110, 10},
    {497, kDlgCheck, "&UTF-8 gösterim", 116, 126, 110, 10},
    {498, kDlgCheck, "Yazı tipi &bağlama", 4, 138, 110, 10},
};
const DlgTemplate kMessagesTemplate = {630, "", 230, 160, kMessages, std::size(kMessages)};

const OptionBinding kMessagesBindings[] = {
    {480, 4, 11}, {483, 5, 24, 1}, {484, 5, 24, 2}, {486, 5, 24, 4}, {485, 5, 24, 8},
    {487, 0, 28}, {488, 0, 29, 0, false, true, 1}, {489, 6, 18},
};

// ---- Catcher (90) ----

const DlgControl kCatcher[] = {
    {350, kDlgGroupBox, "Yakala", 4, 2, 108, 40},
    {351, kDlgCheck, "&URL'leri", 10, 14, 96, 10},
    {352, kDlgCheck, "&E-posta adreslerini", 10, 26, 96, 10},
    {353, kDlgGroupBox, "Tarayıcı", 116, 2, 110, 40},
    {354, kDlgGroupBox, "URL listesi", 4, 48, 222, 52},
    {355, kDlgGroupBox, "Sohbet bağlantıları", 4, 104, 222, 52},
    {356, kDlgLabel, "", 4, 4, 0, 0},
    {357, kDlgCheck, "&Yeni pencerede aç", 122, 14, 100, 10},
    {358, kDlgCheck, "E&tkin pencerede aç", 122, 26, 100, 10},
    {359, kDlgCheck, "URL ile &açıklama gönder", 10, 84, 200, 10},
    {360, kDlgCheck, "Yeni kayıtları &başa koy", 10, 60, 200, 10},
    {361, kDlgCheck, "Çıkışta kayıtları &sil", 10, 72, 200, 10},
    {362, kDlgCheck, "Sohbet &bağlantılarını etkinleştir", 10, 116, 200, 10},
    {363, kDlgCheck, "Bağlantı isteklerini &onayla", 10, 128, 200, 10},
    {364, kDlgCheck, "Bağlantı açılınca &uyar", 10, 140, 200, 10},
};
const DlgTemplate kCatcherTemplate = {90, "", 230, 160, kCatcher, std::size(kCatcher)};

const OptionBinding kCatcherBindings[] = {
    {351, 3, 13}, {352, 3, 12}, {362, 4, 32}, {363, 4, 33}, {357, 3, 14},
    {358, 3, 15}, {360, 3, 2},  {361, 3, 17}, {359, 3, 16},
};

// ---- Logging (610) ----

const DlgControl kLogging[] = {
    {395, kDlgLabel, "&Otomatik kayıt:", 4, 6, 70, 8},
    {396, kDlgCombo, "", 76, 4, 70, 60},
    {397, kDlgCheck, "&Kodları ayıkla", 4, 22, 100, 10},
    {398, kDlgCheck, "Kayıtları &kilitle", 4, 34, 100, 10},
    {399, kDlgCheck, "&Boyutu sınırla (KB):", 4, 46, 100, 10},
    {400, kDlgNumber, "", 108, 44, 40, 12, 0, 9},
    {401, kDlgLabel, "Kayıtları &yeniden yükle:", 4, 134, 110, 8},
    {402, kDlgCheck, "Satırları &renklendir", 120, 22, 100, 10},
    {403, kDlgCheck, "&Zaman damgası:", 4, 60, 100, 10},
    {404, kDlgCheck, "&Ağa göre kaydet", 4, 76, 100, 10},
    {405, kDlgCheck, "Dosya adına &tarih koy", 4, 102, 100, 10},
    {406, kDlgCombo, "", 108, 100, 60, 60},
    {407, kDlgLabel, "", 4, 4, 0, 0},
    {408, kDlgButton, "", 4, 148, 222, 14},
    {409, kDlgCheck, "&Durum kayıtlarını ayır", 16, 116, 120, 10},
    {410, kDlgCheck, "Klasör &oluştur", 16, 88, 100, 10},
    {411, kDlgEdit, "", 108, 58, 80, 12, 0, kPageFieldMax},
    {412, kDlgCombo, "", 116, 132, 70, 60},
};
const DlgTemplate kLoggingTemplate = {610, "", 230, 160, kLogging, std::size(kLogging)};

const OptionBinding kLoggingBindings[] = {
    {398, 5, 15, 0, true}, {399, 6, 21}, {400, 6, 22, 0, false, true, 100},
    {403, 6, 26}, {397, 5, 25}, {402, 3, 35}, {404, 6, 31}, {410, 7, 20}, {405, 3, 3}, {409, 5, 28},
};

const char* const kLogWhat[] = {"Hiçbiri", "Kanallar", "Sohbetler", "İkisi de"};
const char* const kLogPeriod[] = {"Gün", "Hafta", "Ay"};

// ---- Flood (460) ----

const DlgControl kFlood[] = {
    {310, kDlgCheck, "Flood korumasını &etkinleştir", 4, 4, 200, 10},
    {311, kDlgLabel, "Şu kadar bayttan sonra &başla:", 4, 20, 130, 8},
    {312, kDlgNumber, "", 140, 18, 40, 12, 0, 4},
    {313, kDlgLabel, "", 4, 4, 0, 0},
    {314, kDlgLabel, "Kuyrukta en çok &satır:", 4, 36, 130, 8},
    {315, kDlgNumber, "", 140, 34, 40, 12, 0, 6},
    {316, kDlgLabel, "", 4, 4, 0, 0},
    {317, kDlgLabel, "Kullanıcı başına en çok s&atır:", 4, 52, 130, 8},
    {318, kDlgNumber, "", 140, 50, 40, 12, 0, 6},
    {319, kDlgLabel, "", 4, 4, 0, 0},
    {320, kDlgLabel, "Kullanıcıyı &yoksay (saniye):", 4, 68, 130, 8},
    {321, kDlgNumber, "", 140, 66, 40, 12, 0, 6},
    {322, kDlgLabel, "", 4, 4, 0, 0},
    {323, kDlgCheck, "Korumada &CTCP'leri yanıtla", 4, 84, 200, 10},
    {324, kDlgCheck, "Korumada özelde &whois", 4, 96, 200, 10},
    {325, kDlgCheck, "&Operatör komutlarını kuyruğa al", 4, 108, 200, 10},
    {326, kDlgLabel, "", 4, 4, 0, 0},
    {327, kDlgLabel, "", 4, 4, 0, 0},
    {328, kDlgCheck, "&Mesajları kuyruğa al", 4, 120, 200, 10},
    {329, kDlgLabel, "", 4, 4, 0, 0},
    {330, kDlgCheck, "Durumu yeni etkin &pencerede göster", 4, 132, 200, 10},
};
const DlgTemplate kFloodTemplate = {460, "", 230, 160, kFlood, std::size(kFlood)};

const OptionBinding kFloodBindings[] = {
    {310, 5, 17},
    {312, 5, 18, 0, false, true, 100, 999},
    {315, 5, 19, 0, false, true, 10},
    {318, 5, 20, 0, false, true, 3},
    {321, 5, 21, 0, false, true, 0},
    {323, 7, 9}, {324, 7, 13}, {325, 7, 14}, {328, 7, 26}, {330, 7, 27},
};

void enable(QWidget* d, int id, bool on)
{
    if (QWidget* w = dlg_item(d, id))
        w->setEnabled(on);
}

// ---- IRC ----

void fill_irc(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kIrcBindings);
}

void apply_irc(OptionsEdit& e)
{
    const int hide_key = opt(OPT_HIDE_CHANNEL_KEY);
    option_bindings_apply(e.dialog, kIrcBindings);
    // The channel key shows in the channels' captions.
    if (opt(OPT_HIDE_CHANNEL_KEY) != hide_key)
        for (WindowRecord* w = win_list; w; w = w->next)
            if (w->type == kWinChannel && win_is_open(w))
                win_update_title(w, nullptr);
}

// ---- IRC Options ----

void fill_irc_options(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kIrcOptionsBindings);
}

void apply_irc_options(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kIrcOptionsBindings);
}

// Ticking "skip the message of the day" warns at once what it costs.
int command_irc_options(OptionsEdit& e, int id)
{
    if (id != 264)
        return 0;
    if (dlg_checked(e.dialog, 264)) {
        std::string answer;
        input_dialog_run(e.dialog, "Kest", kMotdWarning, &answer, 3, 3, 0, 0, 0, 0);
    }
    return 1;
}

// ---- Messages ----

void fill_messages(OptionsEdit& e)
{
    opt_set(OPT_STRIP_INCOMING, strip_setting_flags);
    opt_set(OPT_STRIP_ONLY_OVER_COUNT, strip_setting_over_only);
    opt_set(OPT_STRIP_OVER_COUNT, strip_setting_over_count);
    option_bindings_fill(e.dialog, kMessagesBindings);
    dlg_set_text(e.dialog, 481, time_stamp_format);
    dlg_set_checked(e.dialog, 494, main_settings.lang_sjis);
    dlg_set_checked(e.dialog, 495, lang_setting_multibyte);
    dlg_set_checked(e.dialog, 496, main_settings.lang_mbed);
    dlg_set_checked(e.dialog, 497, lang_setting_utf);
    dlg_set_checked(e.dialog, 498, fontlink_option());
    dlg_set_text(e.dialog, 491, main_settings.finger_text);
    dlg_set_text(e.dialog, 493, main_settings.quit_message);
}

void apply_messages(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kMessagesBindings);
    strip_setting_flags = opt(OPT_STRIP_INCOMING);
    strip_setting_over_only = opt(OPT_STRIP_ONLY_OVER_COUNT);
    strip_setting_over_count = opt(OPT_STRIP_OVER_COUNT);
    time_stamp_format = page_timestamp_format(dlg_text(e.dialog, 481));
    main_settings.finger_text = dlg_text(e.dialog, 491);
    main_settings.quit_message = dlg_text(e.dialog, 493);
    main_settings.lang_sjis = dlg_checked(e.dialog, 494);
    lang_setting_multibyte = dlg_checked(e.dialog, 495);
    main_settings.lang_mbed = dlg_checked(e.dialog, 496);
    lang_setting_utf = dlg_checked(e.dialog, 497);
    fontlink_set_option(dlg_checked(e.dialog, 498));
    lang_options_save();
}

// Converting JIS needs the multibyte display and editbox.
int command_messages(OptionsEdit& e, int id)
{
    if (id != 494)
        return 0;
    if (dlg_checked(e.dialog, 494)) {
        dlg_set_checked(e.dialog, 495, 1);
        dlg_set_checked(e.dialog, 496, 1);
    }
    return 1;
}

// ---- Catcher ----

void fill_catcher(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kCatcherBindings);
    dlg_set_checked(e.dialog, 364, main_settings.warn_link);
    // Without the registry (the desktop's link handlers) chat links cannot
    // be handled.
    if (cmdline_no_registry) {
        dlg_set_checked(e.dialog, 362, 0);
        enable(e.dialog, 362, false);
        enable(e.dialog, 363, false);
    }
}

void apply_catcher(OptionsEdit& e)
{
    const int links = opt(OPT_CHAT_LINKS);
    option_bindings_apply(e.dialog, kCatcherBindings);
    main_settings.warn_link = dlg_checked(e.dialog, 364);
    if (!cmdline_no_registry && opt(OPT_CHAT_LINKS) != links) {
        if (opt(OPT_CHAT_LINKS))
            shell_register_irc_protocol();
        else
            shell_unregister_links();
    }
}

// ---- Logging ----

// The log folder button shows the folder itself.
void show_log_folder(QWidget* d)
{
    const std::string& dir = main_settings.log_dir;
    dlg_set_text(d, 408, "Kayıt klasörü: " + (dir.empty() ? std::string("(öntanımlı)") : dir));
    if (QWidget* b = dlg_item(d, 408))
        b->setToolTip(QString::fromStdString(dir));
}

void logging_enable(QWidget* d)
{
    enable(d, 400, dlg_checked(d, 399));
    enable(d, 411, dlg_checked(d, 403));
    enable(d, 410, dlg_checked(d, 404));
    enable(d, 406, dlg_checked(d, 405));
    enable(d, 409, dlg_checked(d, 405));
}

void fill_logging(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kLoggingBindings);
    dlg_combo_fill(e.dialog, 396, kLogWhat, 4, (opt(OPT_LOG_CHANNELS) ? 1 : 0) + (opt(OPT_LOG_CHATS) ? 2 : 0));
    dlg_combo_fill(e.dialog, 412, kLogWhat, 4, opt(OPT_LOG_RELOAD) & 3);
    dlg_combo_fill(e.dialog, 406, kLogPeriod, 3, opt(OPT_LOG_DATE_PERIOD));
    dlg_set_text(e.dialog, 411, time_log_stamp_format);
    show_log_folder(e.dialog);
    logging_enable(e.dialog);
}

void apply_logging(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kLoggingBindings);
    const int what = dlg_combo_index(e.dialog, 396);
    opt_set(OPT_LOG_CHANNELS, (what & 1) ? 1 : 0);
    opt_set(OPT_LOG_CHATS, (what & 2) ? 1 : 0);
    const int reload = dlg_combo_index(e.dialog, 412);
    opt_set(OPT_LOG_RELOAD, reload < 0 ? 0 : reload & 3);
    const int period = dlg_combo_index(e.dialog, 406);
    opt_set(OPT_LOG_DATE_PERIOD, period < 0 ? 0 : period);
    time_log_stamp_format = page_timestamp_format(dlg_text(e.dialog, 411));
}

int command_logging(OptionsEdit& e, int id)
{
    switch (id) {
    case 399:
    case 403:
    case 404:
    case 405:
        logging_enable(e.dialog);
        return 1;
    case 408: {
        filedlg_state().remembered_folder = main_settings.log_dir;
        if (filedlg_open(e.dialog, 0, "Kayıt Klasörü", nullptr, 4) != 1)
            return 1;
        const std::string path = filedlg_state().remembered_folder;
        main_settings.log_dir = path;
        show_log_folder(e.dialog);
        ini_save_text_settings();
        ini_save_dirs();
        return 1;
    }
    default:
        return 0;
    }
}

// ---- Flood ----

void fill_flood(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kFloodBindings);
}

void apply_flood(OptionsEdit& e)
{
    const int was_on = opt(OPT_FLOOD_PROTECTION);
    option_bindings_apply(e.dialog, kFloodBindings);
    const int on = opt(OPT_FLOOD_PROTECTION);
    const int answer_ctcps = opt(OPT_FLOOD_ANSWER_CTCPS);
    const int whois_queries = opt(OPT_FLOOD_WHOIS_QUERIES);
    for (int i = 1; i <= conn_count(); ++i) {
        Connection* conn = conn_by_position(i);
        if (!conn)
            continue;
        if (was_on && !on)
            flood_clear(conn, 1);
        // Replies held back by the protection: CTCP answers (kinds 1 to 4)
        // and whois requests (kind 5) go when their box is cleared.
        FloodState* state = flood_state(conn);
        if (!state)
            continue;
        StringNode* n = state->queue;
        while (n) {
            StringNode* next = n->next;
            const int kind = n->number;
            if ((kind >= 1 && kind <= 4 && !answer_ctcps) || (kind == 5 && !whois_queries)) {
                state->queue = strlist_remove(state->queue, n);
                --state->size;
            }
            n = next;
        }
    }
}

const OptionsPageDef kPages[] = {
    {230, &kIrcTemplate, fill_irc, apply_irc, nullptr, small_option_dialogs_command},
    {260, &kIrcOptionsTemplate, fill_irc_options, apply_irc_options, nullptr, command_irc_options},
    {480, &kMessagesTemplate, fill_messages, apply_messages, nullptr, command_messages},
    {350, &kCatcherTemplate, fill_catcher, apply_catcher, nullptr, nullptr},
    {395, &kLoggingTemplate, fill_logging, apply_logging, nullptr, command_logging},
    {310, &kFloodTemplate, fill_flood, apply_flood, nullptr, nullptr},
};

} // namespace

void lang_options_save()
{
    auto put = [](const char* key, int v) { ini_write("language", key, std::to_string(v ? 1 : 0).c_str(), main_ini_path); };
    put("sjis", main_settings.lang_sjis);
    put("multibyte", lang_setting_multibyte);
    put("mbed", main_settings.lang_mbed);
    put("utf", lang_setting_utf);
    put("linking", fontlink_option());
}

void pages_irc_install()
{
    for (const OptionsPageDef& p : kPages)
        options_page_register(p);
}

void pages_irc_uninstall()
{
    for (const OptionsPageDef& p : kPages)
        options_page_unregister(p.first_control);
}
