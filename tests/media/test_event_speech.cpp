// Speech settings and event speech: the [agent] settings as the file holds
// them, the text preparation, and server lines spoken through the real
// synthesizer (its queue checked, and its speech written to a file).
#include <gtest/gtest.h>
#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QTimer>

#include <functional>

#include <algorithm>
#include <filesystem>

#include "app/subsystems.h"
#include "app/window_options.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "irc/printed_lines.h"
#include "media/agent_page.h"
#include "media/agent_settings.h"
#include "options/dialog_opener.h"
#include "options/options_dialog.h"
#include "options/options_page.h"
#include "platform/platform_utils.h"
#include "media/event_speech.h"
#include "model/connection.h"
#include "model/tip_events.h"
#include "model/window_record.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"

namespace {

std::string ini_value(const char* section, const char* key)
{
    std::string out;
    ini_read(section, key, "", out, 1024, main_ini_path);
    return out;
}

class SpeechSettings : public ::testing::Test {
protected:
    void SetUp() override { saved_ = agent_settings; }
    void TearDown() override { agent_settings = saved_; }
    TempSettingsDir settings_{"kest_agent_"};
    AgentSettings saved_;
};

}  // namespace

TEST_F(SpeechSettings, ShortListsKeepTheirDefaultsAndBadLexiconEntriesGo)
{
    ini_write("agent", "enable", "1", main_ini_path);
    ini_write("agent", "lang", "0x041f", main_ini_path);
    ini_write("agent", "speech", "120,,80", main_ini_path);  // the rest (and the empty item) default
    ini_write("agent", "channel", "0,1,0", main_ini_path);
    ini_write("agent", "pos", "300,-4", main_ini_path);
    ini_write("lexicon", "n0", "lol,laughing", main_ini_path);
    ini_write("lexicon", "n1", "nocomma", main_ini_path);
    ini_write("lexicon", "n2", "brb,be right back", main_ini_path);
    agent_load_settings();
    const AgentSettings& s = agent_settings;
    EXPECT_EQ(s.enable, 1);
    EXPECT_EQ(s.lang, 1055);
    const int speech[13] = {120, 60, 80, 1, 180, 10, 50, 1, 1, 1, 0, 50, 1};
    EXPECT_TRUE(std::equal(speech, speech + 13, s.speech));
    const int channel[9] = {0, 1, 0, 1, 1, 1, 1, 1, 1};
    EXPECT_TRUE(std::equal(channel, channel + 9, s.channel));
    EXPECT_EQ(s.pos[0], 300);
    EXPECT_EQ(s.pos[1], -4);
    ASSERT_EQ(s.lexicon.size(), 2u);
    EXPECT_EQ(s.lexicon[1], (std::pair<std::string, std::string>{"brb", "be right back"}));

    // Saved and read again: the same values, the lexicon renumbered.
    agent_settings.speech[6] = 25;
    agent_save_settings();
    EXPECT_EQ(ini_value("agent", "speech"), "120,60,80,1,180,10,25,1,1,1,0,50,1");
    EXPECT_EQ(ini_value("agent", "lang"), "0x041f");
    EXPECT_EQ(ini_value("lexicon", "n1"), "brb,be right back");
    EXPECT_EQ(ini_value("lexicon", "n2"), "");
    agent_load_settings();
    EXPECT_EQ(agent_settings.speech[6], 25);
    EXPECT_EQ(agent_settings.lexicon.size(), 2u);

    // Nothing stored: every default, and the locale's language.
    ini_remove_section(main_ini_path, "[agent]");
    agent_load_settings();
    EXPECT_EQ(agent_settings.enable, 0);
    EXPECT_EQ(agent_settings.speech[0], 150);
    EXPECT_EQ(agent_settings.lang, agent_default_lang());
}

TEST_F(SpeechSettings, TextPreparation)
{
    agent_settings.lexicon = {{"lol", "laughing"}, {"kest", "kesst"}};
    struct Case {
        const char* in;
        bool whole;
        bool lower;
        const char* out;
    };
    const Case cases[] = {
        {"\\spd=300\\fast \\Pit=2\\\\vol=9\\x", false, false, "fast x"},
        {"\\spd=\\ stays", false, false, "\\spd=\\ stays"},           // a tag without digits stays
        {"\\chr=\"whisper\"\\hi\\emp\\ there\\RST\\", false, false, "hi there"},
        {"a^b_c`d|e", false, false, "a b c d e"},
        {"\x02" "bold\x02 \x03" "4,12red\x03 \x1funder\x0f", false, false, "bold red under"},
        {"LOL lolly", false, false, "laughing laughingly"},
        {"LOL lolly", true, false, "laughing lolly"},                  // whole words only
        {"Kest Rocks", false, true, "kesst rocks"},
        {"x", false, false, "x"},                                      // one character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(agent_prepare_text(c.in, c.whole, c.lower), c.out);
    }
    struct Clean {
        const char* in;
        const char* out;
    };
    const Clean cleans[] = {
        {"   hello.....  ", "hello..."}, {"wow!!! ok", "wow! ok"}, {"a:!?, b", "a: b"}, {"   ", ""},
    };
    for (const Clean& c : cleans)
        EXPECT_EQ(agent_clean_text(c.in), c.out) << c.in;
    // A lexicon that would grow the text past its limit stops there.
    agent_settings.lexicon = {{"a", std::string(100, 'b')}};
    const std::string grown = agent_apply_lexicon(std::string(100, 'a'), false);
    EXPECT_LE(grown.size(), 4150u);
    EXPECT_GT(grown.size(), 100u);
}

namespace {

// A registered link with speech on; lines come from the server.
class EventSpeech : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = agent_settings;
        ASSERT_FALSE(speech_program().empty()) << "espeak-ng is not installed";
        test_app();
        app_install_subsystems();
        conn_ = conn_new(nullptr);
        ASSERT_TRUE(conn_);
        ASSERT_TRUE(wire_.ok());
        wire_.attach(conn_);
        conn_->server_name = "irc.x";
        conn_->live_identity[2] = "me";
        conn_->live_identity[3] = "me_";
        irc_state_new_link(conn_);
        status_ = buffer_window_open(conn_, "Status", kWinStatus);
        irc_dispatch_line(":srv.x 001 me :Welcome me!u@h", conn_);
        speech_stop();
        agent_settings = AgentSettings{};
        agent_settings.enable = 1;
        agent_settings.lang = 1033;
    }
    void TearDown() override
    {
        speech_stop();
        agent_settings = saved_;
        if (status_)
            buffer_window_free(status_);
        conn_->socket = -1;
        conn_free(conn_);
    }
    // The waiting texts without their speed prefixes.
    std::vector<std::string> spoken() const
    {
        std::vector<std::string> out;
        for (const std::string& t : speech_waiting())
            out.push_back(t.substr(t.find("\\vol=") == std::string::npos ? 0 : t.find('\\', t.find("\\vol=") + 1) + 1));
        return out;
    }
    HookGuard hooks_;
    TestWire wire_;
    Connection* conn_ = nullptr;
    WindowRecord* status_ = nullptr;
    TempSettingsDir settings_{"kest_speech_"};
    AgentSettings saved_;
};

WindowRecord* channel_window(const char* name)
{
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->type == kWinChannel && w->name == name)
            return w;
    return nullptr;
}

}  // namespace

TEST_F(EventSpeech, ServerLinesAreSpokenAsTheirSwitchesSay)
{
    irc_dispatch_line(":me!u@h JOIN #Kest", conn_);
    irc_dispatch_line(":me!u@h JOIN #other", conn_);
    speech_stop();
    irc_dispatch_line(":Bob!u@h PRIVMSG #Kest :Hello There", conn_);
    irc_dispatch_line(":Bob!u@h JOIN #Kest", conn_);
    irc_dispatch_line(":Bob!u@h PRIVMSG me :psst", conn_);
    irc_dispatch_line(":Bob!u@h PART #Kest", conn_);
    irc_dispatch_line(":Bob!u@h INVITE me #Secret", conn_);
    const std::vector<std::string> want = {
        agent_prepare_text(text_fill_id(321, {"bob", "kest"}) + "Hello There", false, true),
        text_fill_id(332, {"bob", "kest"}),
        text_fill_id(323, {"bob"}) + "psst",
        text_fill_id(334, {"bob", "kest"}),
        text_fill_id(339, {"bob", "secret"}),
    };
    EXPECT_EQ(spoken(), want);
    // The prefix carries speed, pitch and volume.
    ASSERT_FALSE(speech_waiting().empty());
    EXPECT_EQ(speech_waiting().front().rfind("\\spd=150\\\\pit=60\\\\vol=65535\\", 0), 0u);

    // Switches off: join/part of the channel list, and invite of the others.
    speech_stop();
    agent_settings.channel[3] = 0;
    agent_settings.other[5] = 0;
    irc_dispatch_line(":Carl!u@h JOIN #Kest", conn_);
    irc_dispatch_line(":Bob!u@h INVITE me #Secret", conn_);
    EXPECT_TRUE(speech_waiting().empty());

    // One window's mode off: that channel is silent, the other still speaks.
    WindowRecord* kest = channel_window("#Kest");
    ASSERT_TRUE(kest);
    win_set_speech(kest->hwnd.get(), 0);
    EXPECT_EQ(ini_value("speak", "#Kest"), "off");
    irc_dispatch_line(":Bob!u@h PRIVMSG #Kest :quiet", conn_);
    irc_dispatch_line(":Bob!u@h PRIVMSG #other :loud", conn_);
    EXPECT_EQ(spoken(), (std::vector<std::string>{text_fill_id(321, {"bob", "other"}) + "loud"}));
    // Back to the global switch: the key goes; with the switch off, silence.
    win_set_speech(kest->hwnd.get(), 2);
    EXPECT_EQ(ini_value("speak", "#Kest"), "");
    speech_stop();
    agent_settings.enable = 0;
    irc_dispatch_line(":Bob!u@h PRIVMSG #Kest :nobody hears", conn_);
    EXPECT_TRUE(speech_waiting().empty());
    // ... but a window switched on speaks alone.
    win_set_speech(kest->hwnd.get(), 1);
    irc_dispatch_line(":Bob!u@h PRIVMSG #Kest :heard", conn_);
    irc_dispatch_line(":Bob!u@h PRIVMSG #other :not heard", conn_);
    EXPECT_EQ(spoken(), (std::vector<std::string>{text_fill_id(321, {"bob", "kest"}) + "heard"}));
    win_set_speech(kest->hwnd.get(), 2);
}

TEST_F(EventSpeech, ActionsSayTheChannelOnlyWhenItChanged)
{
    irc_dispatch_line(":me!u@h JOIN #a", conn_);
    irc_dispatch_line(":me!u@h JOIN #b", conn_);
    speech_stop();
    const char* lines[] = {
        ":Bob!u@h PRIVMSG #a :\x01" "ACTION waves\x01",
        ":Bob!u@h PRIVMSG #a :\x01" "ACTION waves again\x01",
        ":Bob!u@h PRIVMSG #b :\x01" "ACTION waves\x01",
    };
    for (const char* l : lines)
        irc_dispatch_line(l, conn_);
    EXPECT_EQ(spoken(), (std::vector<std::string>{text_fill_id(323, {"bob"}) + "waves",
                                                  text_fill_id(324, {"bob"}) + "waves again",
                                                  text_fill_id(323, {"bob"}) + "waves"}));
    // With the switch off the nick is always said with its own text.
    speech_stop();
    agent_settings.speech[kSpeechChannelOnce] = 0;
    irc_dispatch_line(lines[0], conn_);
    irc_dispatch_line(lines[1], conn_);
    EXPECT_EQ(spoken(), (std::vector<std::string>{text_fill_id(323, {"bob"}) + "waves",
                                                  text_fill_id(323, {"bob"}) + "waves again"}));
}

TEST_F(EventSpeech, ALongQueueSpeedsUpAndAFullOneSpeaksNoMore)
{
    irc_dispatch_line(":me!u@h JOIN #a", conn_);
    speech_stop();
    agent_settings.speech[kSpeechFastLines] = 5;
    agent_settings.speech[kSpeechMostLines] = 8;
    for (int i = 0; i < 12; ++i)
        irc_dispatch_line(":Bob!u@h PRIVMSG #a :line " + std::to_string(i), conn_);
    ASSERT_EQ(speech_waiting().size(), 8u);
    EXPECT_EQ(speech_waiting()[4].rfind("\\spd=150\\", 0), 0u);
    EXPECT_EQ(speech_waiting()[5].rfind("\\spd=180\\", 0), 0u);
    EXPECT_NE(speech_waiting().back().find("line 7"), std::string::npos);
    // A message with its own speed tag keeps the configured speed.
    speech_stop();
    irc_dispatch_line(":Bob!u@h PRIVMSG #a :\\spd=400\\hurry", conn_);
    ASSERT_EQ(speech_waiting().size(), 1u);
    EXPECT_EQ(speech_waiting().front().find("400"), std::string::npos);
    // Mostly symbols: dropped only with its switch.
    speech_stop();
    agent_settings.speech[kSpeechDropSymbols] = 1;
    agent_settings.speech[kSpeechSymbolShare] = 50;
    TipEventText ev{"bob", "#a", "#$ ok, fine words here"};
    EXPECT_EQ(agent_speak_event(3, ev, conn_, nullptr), 1);  // the nick's words outweigh the symbols
    ev.text = "#$%&*@!~#$%&*@!~#$%&*@!~";
    EXPECT_EQ(agent_speak_event(3, ev, conn_, nullptr), 0);
    EXPECT_EQ(agent_speak_event(99, ev, conn_, nullptr), 0);  // no such kind
}

TEST_F(EventSpeech, TheSynthesizerWritesTheSpeechToAFile)
{
    const std::string dir = settings_.path();
    const std::string prefix = "\\spd=150\\\\pit=60\\\\vol=65535\\";
    ASSERT_EQ(speech_to_file(prefix + "hi", dir + "short.wav", 20000), 1);
    ASSERT_EQ(speech_to_file(prefix + "a much longer sentence than the first one spoken here", dir + "long.wav", 20000), 1);
    const auto small = std::filesystem::file_size(dir + "short.wav");
    const auto big = std::filesystem::file_size(dir + "long.wav");
    EXPECT_GT(small, 44u);  // more than a wave header
    EXPECT_GT(big, small * 2);
    // Faster speech of the same text is shorter.
    ASSERT_EQ(speech_to_file("\\spd=400\\\\pit=60\\\\vol=65535\\a much longer sentence than the first one spoken here",
                             dir + "fast.wav", 20000), 1);
    EXPECT_LT(std::filesystem::file_size(dir + "fast.wav"), big);
    // The arguments: ranges clamped, the text after "--" as given.
    const std::vector<std::string> args = speech_arguments("\\spd=010\\\\pit=250\\\\vol=32767\\-x", std::string());
    EXPECT_EQ(args, (std::vector<std::string>{"-v", "en-US", "-s", "80", "-p", "99", "-a", "49", "--", "-x"}));
}

TEST_F(EventSpeech, NotifyEventsAreSpokenThroughTheNotifyList)
{
    ASSERT_EQ(notify_hooks.speech_tips, &agent_notify_event);
    NotifyEntry entry;
    entry.nick = "Alice";
    entry.online = 1;
    notify_hooks.speech_tips(21, &entry, conn_);
    entry.online = 0;
    notify_hooks.speech_tips(21, &entry, conn_);
    notify_hooks.speech_tips(44, nullptr, conn_);  // nobody of the (empty) list is on line
    EXPECT_EQ(spoken(), (std::vector<std::string>{agent_prepare_text(text_fill_id(344, {"alice"}), false, true),
                                                  agent_prepare_text(text_fill_id(345, {"alice"}), false, true),
                                                  agent_prepare_text(text_fill_id(371, {}), false, true)}));
    // Notify speech off: nothing.
    speech_stop();
    agent_settings.other[2] = 0;
    notify_hooks.speech_tips(21, &entry, conn_);
    EXPECT_TRUE(speech_waiting().empty());
}

namespace {

// The speech page copied into a dialog as the options dialog copies it.
class SpeechPage : public SpeechSettings {
protected:
    void SetUp() override
    {
        SpeechSettings::SetUp();
        test_app();
        agent_page_install();
        const OptionsPageDef* def = options_page_find(623);
        ASSERT_TRUE(def && def->page_template);
        dlg_template_register(*def->page_template);
        dialog_ = new QDialog;
        ASSERT_EQ(dlg_clone_page(*dialog_, def->page_template->id), 0);
        edit_.dialog = dialog_;
    }
    void TearDown() override
    {
        delete dialog_;
        agent_page_uninstall();
        SpeechSettings::TearDown();
    }
    const OptionsPageDef* page() { return options_page_find(623); }
    // Runs `act` on the modal dialog the page's button opens, then OK or Cancel.
    void on_modal(std::function<void(QDialog*)> act, int button)
    {
        QTimer::singleShot(0, [act, button] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(d);
            act(d);
            qobject_cast<QAbstractButton*>(dlg_item(d, button))->click();
        });
    }
    QDialog* dialog_ = nullptr;
    OptionsEdit edit_;
};

}  // namespace

TEST_F(SpeechPage, PageAndSubDialogsWriteOnOkOnly)
{
    ini_write("agent", "speech", "300,60,100", main_ini_path);
    ini_write("agent", "options", "1,1,1,250,0", main_ini_path);
    agent_load_settings();
    page()->fill(edit_);
    EXPECT_EQ(dlg_checked(dialog_, 623), 0);
    EXPECT_EQ(dlg_combo_index(dialog_, 627), 9);  // a size outside 10..100 shows 100%

    // The speech dialog: 300 is not in the speed list, the sixteenth entry shows.
    int shown_speed = -1;
    on_modal([&](QDialog* d) {
        shown_speed = dlg_combo_index(d, 101);
        qobject_cast<QComboBox*>(dlg_item(d, 101))->setCurrentIndex(3);  // 80
        dlg_set_text(d, 110, "999");                                      // most lines clamps to 250
        dlg_set_checked(d, 111, 1);
    }, 1);
    EXPECT_EQ(page()->command(edit_, 635), 1);
    EXPECT_EQ(shown_speed, 15);
    // The events dialog cancelled: nothing of it stays.
    on_modal([](QDialog* d) { dlg_set_checked(d, 110, 0); }, 2);
    page()->command(edit_, 633);
    // ... and with OK: the kick switch and away go off.
    on_modal([](QDialog* d) {
        dlg_set_checked(d, 114, 0);
        dlg_set_checked(d, 129, 0);
    }, 1);
    page()->command(edit_, 633);
    // Nothing is live before the page is applied.
    EXPECT_EQ(agent_settings.speech[kSpeechSpeed], 300);
    EXPECT_EQ(agent_settings.channel[4], 1);

    dlg_set_checked(dialog_, 623, 1);
    page()->apply(edit_);
    EXPECT_EQ(agent_settings.enable, 1);
    EXPECT_EQ(agent_settings.speech[kSpeechSpeed], 80);
    EXPECT_EQ(agent_settings.speech[kSpeechMostLines], 250);
    EXPECT_EQ(agent_settings.speech[kSpeechDropSymbols], 1);
    EXPECT_EQ(agent_settings.channel[0], 1);  // the cancelled change
    EXPECT_EQ(agent_settings.channel[4], 0);
    EXPECT_EQ(agent_settings.other[6], 0);
    EXPECT_EQ(agent_settings.options[3], 100);
    EXPECT_EQ(ini_value("agent", "enable"), "1");
    EXPECT_EQ(ini_value("agent", "channel"), "1,1,1,1,0,1,1,1,1");
    EXPECT_EQ(ini_value("agent", "other"), "1,1,1,1,1,1,0,0");
}

TEST_F(SpeechPage, LexiconDialogAddsReplacesAndDeletes)
{
    agent_settings.lexicon = {{"lol", "laughing"}};
    page()->fill(edit_);
    std::vector<std::string> rows;
    on_modal([&](QDialog* d) {
        auto add = [d](const char* word, const char* said) {
            dlg_set_text(d, 110, word);
            dlg_set_text(d, 111, said);
            qobject_cast<QAbstractButton*>(dlg_item(d, 112))->click();
        };
        add("brb, extra", "be right back");  // a comma ends the word there
        add("lol", "laugh out loud");         // the same word is replaced
        add("", "nothing");                   // no word: nothing added
        add("k", "okay");                     // a one-character word
        auto* box = qobject_cast<QListWidget*>(dlg_item(d, 113));
        ASSERT_TRUE(box);
        box->setCurrentRow(2);
        qobject_cast<QAbstractButton*>(dlg_item(d, 114))->click();
        for (int i = 0; i < box->count(); ++i)
            rows.push_back(box->item(i)->text().toStdString());
        dlg_set_checked(d, 117, 1);
    }, 1);
    EXPECT_EQ(page()->command(edit_, 634), 1);
    EXPECT_EQ(rows, (std::vector<std::string>{"lol\tlaugh out loud", "brb\tbe right back"}));
    EXPECT_EQ(agent_settings.lexicon.size(), 1u);  // not live before the page applies
    page()->apply(edit_);
    EXPECT_EQ(agent_settings.lexicon,
              (Lexicon{{"lol", "laugh out loud"}, {"brb", "be right back"}}));
    EXPECT_EQ(agent_settings.other[7], 1);
    EXPECT_EQ(ini_value("lexicon", "n1"), "brb,be right back");
    EXPECT_EQ(ini_value("agent", "other"), "1,1,1,1,1,1,1,1");
}

// With speech there, the options dialog lists the speech page under Sounds.
TEST_F(EventSpeech, OptionsDialogListsTheSpeechPage)
{
    int row = -1;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QDialog* d = options_dialog_window();
        if (!d)
            return;
        seen = true;
        if (options_category_row_of(623) < 0 && options_category_row_of(280) >= 0)
            options_toggle_group(options_category_row_of(280));
        row = options_category_row_of(623);
        if (auto* cancel = qobject_cast<QAbstractButton*>(dlg_item(d, 2)))
            cancel->click();
    });
    options_dialog_open(0);
    test_drain_events();
    ASSERT_TRUE(seen) << "the dialog did not open";
    EXPECT_GE(row, 0);
}
