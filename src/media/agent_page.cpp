#include "media/agent_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "media/agent_settings.h"
#include "media/event_speech.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"

namespace {

// The working copy the page and its sub-dialogs edit.
AgentSettings g_work;

// ---- The page (80) ----

const DlgControl k80[] = {
    {623, kDlgCheck, "Konuşmayı &etkinleştir", 4, 4, 150, 10},
    {624, kDlgLabel, "&Ses:", 4, 22, 40, 8},
    {625, kDlgCombo, "", 50, 20, 120, 80},
    {626, kDlgLabel, "&Boyut:", 4, 40, 40, 8},
    {627, kDlgCombo, "", 50, 38, 50, 80},
    {628, kDlgGroupBox, "Seçenekler", 4, 56, 222, 64},
    {629, kDlgCheck, "&Balonlar", 10, 68, 100, 10},
    {630, kDlgCheck, "&Boşta efektleri", 10, 80, 100, 10},
    {631, kDlgCheck, "&Ses efektleri", 10, 92, 100, 10},
    {632, kDlgCheck, "&Otomatik gizle", 10, 104, 100, 10},
    {633, kDlgButton, "&Olaylar...", 4, 126, 70, 14},
    {634, kDlgButton, "&Sözlük...", 80, 126, 70, 14},
    {635, kDlgButton, "&Konuşma...", 156, 126, 70, 14},
};
const DlgTemplate kTemplate80 = {80, "", 230, 160, k80, std::size(k80)};

const char* const kSizes[] = {"10%", "20%", "30%", "40%", "50%", "60%", "70%", "80%", "90%", "100%"};

void fill_page(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    g_work = agent_settings;
    dlg_set_checked(d, 623, g_work.enable);
    // No character files here: the one voice is the synthesizer's own.
    const char* const names[] = {"default"};
    dlg_combo_fill(d, 625, names, 1, 0);
    int size = g_work.options[3];
    if (size < 10 || size > 100)
        size = 100;
    dlg_combo_fill(d, 627, kSizes, 10, size / 10 - 1);
    for (int i = 0; i < 4; ++i)
        dlg_set_checked(d, 629 + i, g_work.options[i == 3 ? 4 : i]);
}

int command_page(OptionsEdit& e, int id)
{
    if (id == 633)
        agent_events_dialog(e.dialog);
    else if (id == 634)
        agent_lexicon_dialog(e.dialog);
    else if (id == 635)
        agent_speech_dialog(e.dialog);
    else
        return 0;
    return 1;
}

void apply_page(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    g_work.enable = dlg_checked(d, 623) ? 1 : 0;
    g_work.character = "default";
    const int size = dlg_combo_index(d, 627);
    g_work.options[3] = size >= 0 && size < 10 ? (size + 1) * 10 : 100;
    for (int i = 0; i < 4; ++i)
        g_work.options[i == 3 ? 4 : i] = dlg_checked(d, 629 + i) ? 1 : 0;
    agent_settings = g_work;
    agent_save_settings();
}

// ---- Events (82): the channel, private and first six other switches, then away ----

const DlgControl k82[] = {
    {1, kDlgDefButton, "Tamam", 60, 170, 50, 14},
    {2, kDlgButton, "İptal", 120, 170, 50, 14},
    {110, kDlgCheck, "Kanal mesajı", 6, 6, 100, 10},
    {111, kDlgCheck, "Kanal notice", 6, 18, 100, 10},
    {112, kDlgCheck, "Kanal CTCP", 6, 30, 100, 10},
    {113, kDlgCheck, "Giriş/çıkış", 6, 42, 100, 10},
    {114, kDlgCheck, "Atılma", 6, 54, 100, 10},
    {115, kDlgCheck, "Mod", 6, 66, 100, 10},
    {116, kDlgCheck, "Konu", 6, 78, 100, 10},
    {117, kDlgCheck, "Nick", 6, 90, 100, 10},
    {118, kDlgCheck, "Çıkış", 6, 102, 100, 10},
    {119, kDlgCheck, "Özel mesaj", 116, 6, 100, 10},
    {120, kDlgCheck, "Özel notice", 116, 18, 100, 10},
    {121, kDlgCheck, "Özel CTCP", 116, 30, 100, 10},
    {122, kDlgCheck, "Özel nick", 116, 42, 100, 10},
    {123, kDlgCheck, "Bağlantı", 116, 62, 100, 10},
    {124, kDlgCheck, "Notice", 116, 74, 100, 10},
    {125, kDlgCheck, "Notify", 116, 86, 100, 10},
    {126, kDlgCheck, "DCC gönder/al", 116, 98, 100, 10},
    {127, kDlgCheck, "DCC sohbet", 116, 110, 100, 10},
    {128, kDlgCheck, "Davet", 116, 122, 100, 10},
    {129, kDlgCheck, "Uzakta", 6, 140, 100, 10},
};
const DlgTemplate kTemplate82 = {82, "Konuşma olayları", 230, 190, k82, std::size(k82)};

int* event_switch(AgentSettings& s, int id)
{
    const int i = id - 110;
    if (i < 9)
        return &s.channel[i];
    if (i < 13)
        return &s.priv[i - 9];
    return &s.other[i - 13];  // 123..128 the first six, 129 away (the seventh)
}

void wire_buttons(QDialog& d, const std::function<void()>& ok)
{
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d, ok] {
            ok();
            d.done(1);
        });
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 2)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d] { d.done(0); });
}

// ---- Speech (81) ----

const DlgControl k81[] = {
    {1, kDlgDefButton, "Tamam", 60, 170, 50, 14},
    {2, kDlgButton, "İptal", 120, 170, 50, 14},
    {101, kDlgCombo, "", 60, 4, 50, 100},
    {102, kDlgCombo, "", 60, 20, 50, 100},
    {103, kDlgCombo, "", 60, 36, 50, 100},
    {104, kDlgCheck, "Nickler küçük harfle", 6, 90, 110, 10},
    {105, kDlgCheck, "Kanallar küçük harfle", 6, 102, 110, 10},
    {106, kDlgCheck, "Mesajlar küçük harfle", 6, 114, 110, 10},
    {107, kDlgCheck, "Satırlar birikince hızlan", 6, 54, 110, 10},
    {108, kDlgCombo, "", 120, 52, 50, 100},
    {109, kDlgNumber, "", 60, 68, 30, 12, 0, 3},
    {110, kDlgNumber, "", 150, 68, 30, 12, 0, 3},
    {111, kDlgCheck, "Çoğu simge olan metinleri atla", 6, 128, 130, 10},
    {112, kDlgCombo, "", 140, 126, 40, 100},
    {113, kDlgCheck, "Kanal adını yalnız değişince söyle", 6, 140, 160, 10},
    {114, kDlgCombo, "", 120, 4, 100, 100},
};
const DlgTemplate kTemplate81 = {81, "Konuşma", 230, 190, k81, std::size(k81)};

// A combo of numbers from..to by step; a value not in it selects `fallback`.
void fill_numbers(QDialog& d, int id, int from, int to, int step, int value, int fallback, const char* form)
{
    std::vector<std::string> texts;
    int selected = fallback;
    for (int v = from; v <= to; v += step) {
        if (v == value)
            selected = static_cast<int>(texts.size());
        char buf[16];
        std::snprintf(buf, sizeof buf, form, v);
        texts.emplace_back(buf);
    }
    std::vector<const char*> items;
    for (const std::string& t : texts)
        items.push_back(t.c_str());
    dlg_combo_fill(&d, id, items.data(), static_cast<int>(items.size()), selected);
}

int number_at(QDialog& d, int id, int from, int step)
{
    const int i = dlg_combo_index(&d, id);
    return from + (i < 0 ? 0 : i) * step;
}

int clamp_text(const std::string& text, int low, int high, int fallback)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || (end && *end))
        return fallback;
    return v < low ? low : v > high ? high : static_cast<int>(v);
}

// ---- Lexicon (83) ----

const DlgControl k83[] = {
    {1, kDlgDefButton, "Tamam", 60, 170, 50, 14},
    {2, kDlgButton, "İptal", 120, 170, 50, 14},
    {110, kDlgEdit, "", 6, 6, 80, 12},
    {111, kDlgEdit, "", 92, 6, 90, 12},
    {112, kDlgButton, "&Ekle", 186, 5, 40, 14},
    {113, kDlgList, "", 6, 24, 176, 90},
    {114, kDlgButton, "&Sil", 186, 24, 40, 14},
    {115, kDlgButton, "&Dene", 186, 122, 40, 14},
    {116, kDlgEdit, "", 6, 123, 176, 12},
    {117, kDlgCheck, "Yalnız &tam sözcükler", 6, 142, 150, 10},
};
const DlgTemplate kTemplate83 = {83, "Sözlük", 230, 190, k83, std::size(k83)};

// A text up to its first comma.
std::string before_comma(const std::string& text)
{
    return text.substr(0, text.find(','));
}

void show_lexicon(QDialog& d, const Lexicon& list)
{
    auto* box = qobject_cast<QListWidget*>(dlg_item(&d, 113));
    if (!box)
        return;
    box->clear();
    for (const auto& [word, said] : list)
        box->addItem(QString::fromStdString(word + "\t" + said));
}

struct Lang {
    int id;
    const char* name;
};
extern const Lang kLangs[];
extern const std::size_t kLangCount;

}  // namespace

int agent_events_dialog(QDialog* owner)
{
    dlg_template_register(kTemplate82);
    return dlg_show_modal(owner, 82, [](QDialog& d) {
        for (int id = 110; id <= 129; ++id)
            dlg_set_checked(&d, id, *event_switch(g_work, id));
        wire_buttons(d, [&d] {
            for (int id = 110; id <= 129; ++id)
                *event_switch(g_work, id) = dlg_checked(&d, id) ? 1 : 0;
        });
    });
}

int agent_lexicon_dialog(QDialog* owner)
{
    dlg_template_register(kTemplate83);
    auto list = std::make_shared<Lexicon>(g_work.lexicon);
    return dlg_show_modal(owner, 83, [list](QDialog& d) {
        show_lexicon(d, *list);
        dlg_set_checked(&d, 117, g_work.other[7]);
        auto* box = qobject_cast<QListWidget*>(dlg_item(&d, 113));
        auto click = [&d](int id, std::function<void()> fn) {
            if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, id)))
                QObject::connect(b, &QAbstractButton::clicked, &d, fn);
        };
        click(112, [&d, list] {
            const std::string word = before_comma(dlg_text(&d, 110));
            const std::string said = before_comma(dlg_text(&d, 111));
            if (word.empty())
                return;
            bool replaced = false;
            for (auto& entry : *list)
                if (entry.first == word) {
                    entry.second = said;
                    replaced = true;
                }
            if (!replaced)
                list->emplace_back(word, said);
            show_lexicon(d, *list);
        });
        click(114, [&d, list, box] {
            const int row = box ? box->currentRow() : -1;
            if (row < 0 || row >= static_cast<int>(list->size()))
                return;
            list->erase(list->begin() + row);
            show_lexicon(d, *list);
        });
        click(115, [&d, list] { agent_speak_text(dlg_text(&d, 116), dlg_checked(&d, 117) != 0, *list); });
        if (box)
            QObject::connect(box, &QListWidget::itemDoubleClicked, &d, [&d, list, box] {
                const int row = box->currentRow();
                if (row < 0 || row >= static_cast<int>(list->size()))
                    return;
                dlg_set_text(&d, 110, (*list)[row].first);
                dlg_set_text(&d, 111, (*list)[row].second);
            });
        wire_buttons(d, [&d, list] {
            g_work.lexicon = *list;
            g_work.other[7] = dlg_checked(&d, 117) ? 1 : 0;
        });
    });
}

int agent_speech_dialog(QDialog* owner)
{
    dlg_template_register(kTemplate81);
    return dlg_show_modal(owner, 81, [](QDialog& d) {
        int* s = g_work.speech;
        fill_numbers(d, 101, 50, 250, 10, s[kSpeechSpeed], 15, "%d");
        fill_numbers(d, 108, 50, 250, 10, s[kSpeechFastSpeed], 15, "%d");
        fill_numbers(d, 102, 10, 250, 10, s[kSpeechPitch], 15, "%d");
        fill_numbers(d, 103, 10, 100, 10, s[kSpeechVolume], 9, "%d%%");
        fill_numbers(d, 112, 10, 100, 10, s[kSpeechSymbolShare], 4, "%d%%");
        dlg_set_checked(&d, 107, s[kSpeechIncrease]);
        dlg_set_text(&d, 109, std::to_string(s[kSpeechFastLines]));
        dlg_set_text(&d, 110, std::to_string(s[kSpeechMostLines]));
        dlg_set_checked(&d, 104, s[kSpeechLowerNicks]);
        dlg_set_checked(&d, 105, s[kSpeechLowerChannels]);
        dlg_set_checked(&d, 106, s[kSpeechLowerMessages]);
        dlg_set_checked(&d, 111, s[kSpeechDropSymbols]);
        dlg_set_checked(&d, 113, s[kSpeechChannelOnce]);
        std::vector<const char*> names;
        int selected = -1, english = -1;
        for (std::size_t i = 0; i < kLangCount; ++i) {
            names.push_back(kLangs[i].name);
            if (kLangs[i].id == g_work.lang)
                selected = static_cast<int>(i);
            if (english < 0 && (kLangs[i].id == 1033 || kLangs[i].id == 2057))
                english = static_cast<int>(i);
        }
        dlg_combo_fill(&d, 114, names.data(), static_cast<int>(names.size()),
                       selected >= 0 ? selected : english >= 0 ? english : 0);
        wire_buttons(d, [&d] {
            int* s = g_work.speech;
            s[kSpeechSpeed] = number_at(d, 101, 50, 10);
            s[kSpeechFastSpeed] = number_at(d, 108, 50, 10);
            s[kSpeechPitch] = number_at(d, 102, 10, 10);
            s[kSpeechVolume] = number_at(d, 103, 10, 10);
            s[kSpeechSymbolShare] = number_at(d, 112, 10, 10);
            s[kSpeechIncrease] = dlg_checked(&d, 107) ? 1 : 0;
            s[kSpeechFastLines] = clamp_text(dlg_text(&d, 109), 5, 25, 10);
            s[kSpeechMostLines] = clamp_text(dlg_text(&d, 110), 5, 250, 50);
            s[kSpeechLowerNicks] = dlg_checked(&d, 104) ? 1 : 0;
            s[kSpeechLowerChannels] = dlg_checked(&d, 105) ? 1 : 0;
            s[kSpeechLowerMessages] = dlg_checked(&d, 106) ? 1 : 0;
            s[kSpeechDropSymbols] = dlg_checked(&d, 111) ? 1 : 0;
            s[kSpeechChannelOnce] = dlg_checked(&d, 113) ? 1 : 0;
            const int lang = dlg_combo_index(&d, 114);
            if (lang >= 0 && static_cast<std::size_t>(lang) < kLangCount)
                g_work.lang = kLangs[lang].id;
        });
    });
}

void agent_page_install()
{
    options_page_register({623, &kTemplate80, fill_page, apply_page, nullptr, command_page});
}

void agent_page_uninstall()
{
    options_page_unregister(623);
}

namespace {

// The speech languages, sorted by name.
const Lang kLangs[] = {
    {1025, "Arabic"}, {1069, "Basque"}, {2052, "Chinese (Simplified)"}, {1028, "Chinese (Traditional)"},
    {1050, "Croatian"}, {1029, "Czech"}, {1030, "Danish"}, {1043, "Dutch"}, {2057, "English (United Kingdom)"},
    {1033, "English (United States)"}, {1035, "Finnish"}, {1036, "French"}, {1031, "German"}, {1032, "Greek"},
    {1037, "Hebrew"}, {1038, "Hungarian"}, {1040, "Italian"}, {1041, "Japanese"}, {1042, "Korean"},
    {1044, "Norwegian"}, {1045, "Polish"}, {1046, "Portuguese (Brazil)"}, {2070, "Portuguese (Portugal)"},
    {1048, "Romanian"}, {1049, "Russian"}, {1051, "Slovak"}, {1060, "Slovenian"}, {3082, "Spanish"},
    {1053, "Swedish"}, {1054, "Thai"}, {1055, "Turkish"},
};
const std::size_t kLangCount = std::size(kLangs);

}  // namespace
