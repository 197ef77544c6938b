// The connection and IRC pages of the options dialog on their real
// widgets: every page is copied into a dialog the way the options dialog
// copies it, filled from the settings, changed through its controls and
// applied; the settings must come back as the page shows them, bounded
// where the page bounds them, and nothing else may move.
#include <gtest/gtest.h>

#define KEST_TEST_WIDGETS
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QTcpServer>
#include <QHostAddress>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/irc_link_association.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "irc/link/net_settings.h"
#include "irc/link/proxy.h"
#include "irc/link/flood.h"
#include "irc/lists/servers.h"
#include "irc/ssl/ssl_checks.h"
#include "model/connection.h"
#include "options/dialog_opener.h"
#include "options/options_page.h"
#include "options/options_pages.h"
#include "options/page_connect.h"
#include "options/options_subdialogs.h"
#include "platform/platform_test_env.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

int beeps = 0;

// The pages: template id and first control.
const struct PageId {
    int tmpl;
    int first;
} kPageIds[] = {
    {190, 120}, {760, 140}, {200, 175}, {580, 160}, {540, 195}, {450, 210},
    {550, 230}, {551, 260}, {630, 480}, {90, 350},  {610, 395}, {460, 310},
};

class OptionPages : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir settings{"kest_optpages"};
    SavedValues<MainSettings, IdentSettings, ProxySettings, SslSettings, std::string, std::string, int, int, int> saved{
        main_settings,   ident_settings,   proxy_settings,           ssl_settings,            time_stamp_format,
        time_log_stamp_format, strip_setting_flags, strip_setting_over_only, strip_setting_over_count};

    // The chat-link box registers a link handler: in the settings folder.
    SavedEnv env{"XDG_DATA_HOME", "XDG_CONFIG_HOME", "PATH"};

    void SetUp() override
    {
        platform_test_app();
        ASSERT_TRUE(settings.made());
        setenv("XDG_DATA_HOME", settings.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", settings.path().c_str(), 1);
        setenv("PATH", "/nonexistent", 1);
        main_settings.servers_file = settings.path() + "servers.ini";
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        options_reset();
        page_connect_install();
        options_pages_install();
        conn = conn_new(nullptr);
        ASSERT_TRUE(conn);
        dialog = new QDialog;
        for (const PageId& p : kPageIds) {
            const OptionsPageDef* def = options_page_find(p.first);
            ASSERT_TRUE(def && def->page_template) << p.first;
            ASSERT_EQ(def->page_template->id, p.tmpl);
            dlg_template_register(*def->page_template);
            ASSERT_EQ(dlg_clone_page(*dialog, p.tmpl), 0) << p.tmpl;
        }
        edit.dialog = dialog;
        edit.conn = conn;
    }
    void TearDown() override
    {
        for (const PageId& p : kPageIds)
            if (const OptionsPageDef* def = options_page_find(p.first); def && def->cancel)
                def->cancel(edit);
        delete dialog;
        if (conn_is_live(conn))
            conn_free(conn);
        options_pages_uninstall();
        page_connect_uninstall();
        StringNode*& list = servers_list();
        strlist_free(&list);
        options_reset();
    }

    const OptionsPageDef* page(int first)
    {
        const OptionsPageDef* def = options_page_find(first);
        EXPECT_TRUE(def) << first;
        return def;
    }
    void fill(int first)
    {
        if (const OptionsPageDef* def = page(first); def && def->fill)
            def->fill(edit);
    }
    void apply(int first)
    {
        if (const OptionsPageDef* def = page(first); def && def->apply)
            def->apply(edit);
    }
    int command(int first, int id)
    {
        const OptionsPageDef* def = page(first);
        return def && def->command ? def->command(edit, id) : 0;
    }
    template <class T>
    T* item(int id)
    {
        T* w = qobject_cast<T*>(dlg_item(dialog, id));
        EXPECT_TRUE(w) << id;
        return w;
    }
    std::vector<std::string> lines()
    {
        std::vector<std::string> out;
        for (int l = 0; l < kOptionLines; ++l)
            out.push_back(options_line_text(l));
        return out;
    }

    Connection* conn = nullptr;
    QDialog* dialog = nullptr;
    OptionsEdit edit;
};

// ---- Boxes that hold one option value ----

struct BoxCase {
    int page;      // first control of the page
    int control;
    int line;
    int position;
    int bit;       // 0: the whole value
    bool inverted;
};

const BoxCase kBoxes[] = {
    // Connection, Options, Local Info, Identd
    {120, 124, 4, 9, 0, false},
    {175, 175, 0, 0, 0, false}, {175, 176, 3, 4, 0, false}, {175, 177, 2, 1, 0, false},
    {175, 178, 4, 13, 0, false}, {175, 179, 7, 36, 0, false}, {175, 180, 8, 9, 0, false},
    {160, 166, 3, 11, 0, false}, {160, 170, 2, 4, 0, false},
    {195, 202, 0, 3, 0, false}, {195, 203, 0, 26, 0, false}, {195, 204, 6, 32, 0, false},
    // IRC
    {230, 230, 0, 22, 0, false}, {230, 231, 2, 29, 0, false}, {230, 232, 1, 17, 0, false},
    {230, 233, 0, 21, 0, false}, {230, 234, 7, 10, 0, false}, {230, 235, 4, 26, 0, false},
    {230, 236, 1, 18, 0, false}, {230, 237, 3, 10, 0, false}, {230, 238, 2, 26, 0, false},
    {230, 239, 0, 7, 0, false},  {230, 240, 3, 22, 0, false}, {230, 241, 7, 6, 0, false},
    {230, 245, 3, 25, 0, false}, {230, 244, 4, 4, 0, false},  {230, 243, 5, 12, 0, false},
    {230, 242, 2, 25, 0, false}, {230, 247, 4, 18, 0, false}, {230, 249, 4, 31, 0, false},
    // IRC Options
    {260, 266, 2, 18, 0, false}, {260, 267, 0, 1, 0, false},  {260, 268, 3, 34, 0, false},
    {260, 261, 7, 4, 0, false},  {260, 262, 7, 5, 0, false},  {260, 271, 8, 14, 0, false},
    {260, 265, 0, 30, 0, false}, {260, 263, 0, 8, 0, false},
    // Messages
    {480, 480, 4, 11, 0, false}, {480, 483, 5, 24, 1, false}, {480, 484, 5, 24, 2, false},
    {480, 486, 5, 24, 4, false}, {480, 485, 5, 24, 8, false}, {480, 487, 0, 28, 0, false},
    {480, 489, 6, 18, 0, false},
    // Catcher
    {350, 351, 3, 13, 0, false}, {350, 352, 3, 12, 0, false}, {350, 362, 4, 32, 0, false},
    {350, 363, 4, 33, 0, false}, {350, 357, 3, 14, 0, false}, {350, 358, 3, 15, 0, false},
    {350, 360, 3, 2, 0, false},  {350, 361, 3, 17, 0, false}, {350, 359, 3, 16, 0, false},
    // Logging
    {395, 398, 5, 15, 0, true},  {395, 399, 6, 21, 0, false}, {395, 403, 6, 26, 0, false},
    {395, 397, 5, 25, 0, false}, {395, 402, 3, 35, 0, false}, {395, 404, 6, 31, 0, false},
    {395, 410, 7, 20, 0, false}, {395, 405, 3, 3, 0, false},  {395, 409, 5, 28, 0, false},
    // Flood
    {310, 310, 5, 17, 0, false}, {310, 323, 7, 9, 0, false},  {310, 324, 7, 13, 0, false},
    {310, 325, 7, 14, 0, false}, {310, 328, 7, 26, 0, false}, {310, 330, 7, 27, 0, false},
};

TEST_F(OptionPages, EachBoxShowsItsSettingAndWritesOnlyThatSetting)
{
    // Looking up the local host forces the address lookup on (tested
    // below); off here so that each box stands alone.
    option_set_value(1, 11, 0);
    for (const BoxCase& c : kBoxes) {
        SCOPED_TRACE("control " + std::to_string(c.control));
        QAbstractButton* box = item<QAbstractButton>(c.control);
        ASSERT_TRUE(box);
        const int on_value = c.bit ? c.bit : 1;
        // Both ways from the settings into the box; for a bit, the other
        // bits of the value must not matter.
        for (int stored_on : {0, 1}) {
            const int other_bits = c.bit ? (15 & ~c.bit) : 0;
            const int stored = (stored_on ? on_value : 0) | (stored_on ? 0 : other_bits);
            option_set_value(c.line, c.position, c.inverted ? !stored : stored);
            if (c.line == 5 && c.position == 24)
                strip_setting_flags = stored;
            fill(c.page);
            EXPECT_EQ(box->isChecked(), stored_on == 1);
        }
        // And back: each change of the box moves only its own setting.
        for (int tick : {0, 1, 1, 0}) {
            fill(c.page);
            const int before_value = option_value(c.line, c.position, -1);
            std::vector<std::string> before = lines();
            if (c.control == 170 && !tick)
                item<QAbstractButton>(169)->setChecked(true);  // the other radio button
            else
                box->setChecked(tick == 1);
            apply(c.page);
            const int v = option_value(c.line, c.position, -1);
            if (c.bit)
                EXPECT_EQ(v, tick ? (before_value | c.bit) : (before_value & ~c.bit));
            else
                EXPECT_EQ(v, c.inverted ? !tick : tick);
            std::vector<std::string> after = lines();
            for (int l = 0; l < kOptionLines; ++l) {
                if (l != c.line) {
                    EXPECT_EQ(after[l], before[l]) << "line n" << l;
                }
            }
        }
    }
}

// ---- Fields ----

struct FieldCase {
    const char* what;
    int page;
    int control;
    std::string typed;
    std::function<std::string()> stored;
    std::string expected;
};

std::string n(int line, int position)
{
    return std::to_string(option_value(line, position, -1));
}

TEST_F(OptionPages, FieldsStoreWhatTheyShowWithinTheirBounds)
{
    const std::string k1024(1024, 'q');
    const std::string k256(256, 'u');
    const FieldCase cases[] = {
        {"default port, SSL", 175, 182, "+6697", [] { return main_settings.default_port; }, "+6697"},
        {"default port, one digit", 175, 182, "1", [] { return main_settings.default_port; }, "1"},
        {"default port, zero", 175, 182, "0", [] { return main_settings.default_port; }, "6667"},
        {"default port, negative", 175, 182, "-5", [] { return main_settings.default_port; }, "6667"},
        {"default port, empty", 175, 182, "", [] { return main_settings.default_port; }, "6667"},
        {"ident system, empty", 195, 199, "", [] { return ident_settings.system; }, "UNIX"},
        {"ident system, one character", 195, 199, "x", [] { return ident_settings.system; }, "x"},
        {"ident port 0", 195, 201, "0", [] { return std::to_string(ident_settings.port); }, "113"},
        {"ident port 1", 195, 201, "1", [] { return std::to_string(ident_settings.port); }, "1"},
        {"ident port 65535", 195, 201, "65535", [] { return std::to_string(ident_settings.port); }, "65535"},
        {"firewall port 0", 210, 221, "0", [] { return std::to_string(proxy_settings.port); }, "1080"},
        {"firewall port 1081", 210, 221, "1081", [] { return std::to_string(proxy_settings.port); }, "1081"},
        {"firewall host, first word", 210, 215, "proxy.lan extra", [] { return proxy_settings.host; }, "proxy.lan"},
        {"firewall host, longest", 210, 215, k256, [] { return proxy_settings.host; }, k256},
        {"firewall user", 210, 217, "u", [] { return proxy_settings.userid; }, "u"},
        {"firewall password", 210, 219, "p w", [] { return proxy_settings.password; }, "p w"},
        {"firewall masks", 210, 223, "a b,c\nd", [] { return proxy_settings.masks; }, "a,b,c,d"},
        {"timestamp, empty", 480, 481, "", [] { return time_stamp_format; }, "[HH:nn]"},
        {"timestamp, spaces", 480, 481, "HH  nn   ss", [] { return time_stamp_format; }, "HH nn ss"},
        {"timestamp, one character", 480, 481, "x", [] { return time_stamp_format; }, "x"},
        {"code count 0", 480, 488, "0", [] { return n(0, 29); }, "1"},
        {"code count 1", 480, 488, "1", [] { return n(0, 29); }, "1"},
        {"code count 9999", 480, 488, "9999", [] { return n(0, 29); }, "9999"},
        {"finger, longest", 480, 491, k1024, [] { return main_settings.finger_text; }, k1024},
        {"finger, empty", 480, 491, "", [] { return main_settings.finger_text; }, ""},
        {"quit, longest", 480, 493, k1024, [] { return main_settings.quit_message; }, k1024},
        {"quit, one character", 480, 493, "q", [] { return main_settings.quit_message; }, "q"},
        {"log size 20", 395, 400, "20", [] { return n(6, 22); }, "100"},
        {"log size 100", 395, 400, "100", [] { return n(6, 22); }, "100"},
        {"log size 101", 395, 400, "101", [] { return n(6, 22); }, "101"},
        {"log stamp, empty", 395, 411, "", [] { return time_log_stamp_format; }, "[HH:nn]"},
        {"flood bytes 50", 310, 312, "50", [] { return n(5, 18); }, "100"},
        {"flood bytes 999", 310, 312, "999", [] { return n(5, 18); }, "999"},
        {"flood bytes 1000", 310, 312, "1000", [] { return n(5, 18); }, "999"},
        {"flood queue 5", 310, 315, "5", [] { return n(5, 19); }, "10"},
        {"flood queue 10", 310, 315, "10", [] { return n(5, 19); }, "10"},
        {"flood per user 1", 310, 318, "1", [] { return n(5, 20); }, "3"},
        {"flood per user 4", 310, 318, "4", [] { return n(5, 20); }, "4"},
        {"flood ignore -3", 310, 321, "-3", [] { return n(5, 21); }, "0"},
        {"flood ignore 0", 310, 321, "0", [] { return n(5, 21); }, "0"},
        {"full name, one character", 120, 120, "a", [this] { return conn->stored_identity[0]; }, "a"},
        {"full name, as typed", 120, 120, " Ad  Soyad ", [this] { return conn->stored_identity[0]; }, " Ad  Soyad "},
        {"e-mail, codes and the rest", 120, 121, "\x02me@x.org\x02 more",
         [this] { return conn->stored_identity[1]; }, "me@x.org"},
        {"nick, first word", 120, 122, "kest other", [this] { return conn->stored_identity[2]; }, "kest"},
        {"alternative nick", 120, 123, "k", [this] { return conn->stored_identity[3]; }, "k"},
        {"local host", 160, 163, "box.lan", [this] { return conn->local_host; }, "box.lan"},
        {"local address", 160, 164, "10.1.2.3", [this] { return conn->local_ip_text; }, "10.1.2.3"},
        {"local address, not dotted", 160, 164, "box.lan", [this] { return conn->local_ip_text; }, ""},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.what);
        fill(c.page);
        dlg_set_text(dialog, c.control, c.typed);
        apply(c.page);
        EXPECT_EQ(c.stored(), c.expected);
        // Shown again as stored when the page is filled again.
        fill(c.page);
        if (c.control != 223 && c.control != 164 && c.control != 121 && c.control != 122) {
            EXPECT_EQ(dlg_text(dialog, c.control), c.expected);
        }
    }
}

TEST_F(OptionPages, CombosSplitIntoTheirSettings)
{
    // Firewall use: index = server + 2 x DCC.
    for (int use = 0; use < 4; ++use) {
        fill(210);
        item<QComboBox>(211)->setCurrentIndex(use);
        item<QComboBox>(213)->setCurrentIndex(use % 3);
        apply(210);
        EXPECT_EQ(proxy_settings.enabled, use & 1);
        EXPECT_EQ(proxy_settings.dcc, (use & 2) ? 1 : 0);
        EXPECT_EQ(proxy_settings.method, use % 3);
        fill(210);
        EXPECT_EQ(item<QComboBox>(211)->currentIndex(), use);
    }
    // Logging: channels and chats, reload bits, the date period.
    for (int what = 0; what < 4; ++what) {
        fill(395);
        item<QComboBox>(396)->setCurrentIndex(what);
        item<QComboBox>(412)->setCurrentIndex(3 - what);
        item<QComboBox>(406)->setCurrentIndex(what % 3);
        apply(395);
        EXPECT_EQ(opt(OPT_LOG_CHANNELS), what & 1);
        EXPECT_EQ(opt(OPT_LOG_CHATS), (what & 2) ? 1 : 0);
        EXPECT_EQ(opt(OPT_LOG_RELOAD), 3 - what);
        EXPECT_EQ(opt(OPT_LOG_DATE_PERIOD), what % 3);
    }
    // No period chosen is stored as 0.
    fill(395);
    item<QComboBox>(406)->setCurrentIndex(-1);
    apply(395);
    EXPECT_EQ(opt(OPT_LOG_DATE_PERIOD), 0);
}

// A real listener stands in for the firewall; it accepts and never answers,
// so the negotiation stays pending until something ends it.
TEST_F(OptionPages, ServerLinksLeavingTheFirewallEndTheirPendingNegotiations)
{
    QTcpServer firewall;
    ASSERT_TRUE(firewall.listen(QHostAddress::LocalHost, 0));
    const struct {
        int use;         // 0 none, 1 server, 2 DCC, 3 both
        int remaining;   // negotiations left after OK
    } cases[] = {{1, 1}, {3, 1}, {2, 0}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.use);
        proxy_close_by_key(kProxyOwnerConnection, conn->id);
        proxy_settings.enabled = 1;
        proxy_settings.host = "127.0.0.1";
        proxy_settings.port = firewall.serverPort();
        proxy_settings.method = kProxySocks4;
        ASSERT_EQ(proxy_connect("127.0.0.2", 6667, kProxyModeConnect, kProxyOwnerConnection, conn->id), 1);
        ASSERT_EQ(proxy_link_count(), 1);
        fill(210);
        item<QComboBox>(211)->setCurrentIndex(c.use);
        apply(210);
        EXPECT_EQ(proxy_link_count(), c.remaining);
    }
    proxy_close_by_key(kProxyOwnerConnection, conn->id);
}

// Chat-link support makes the program the desktop's handler of irc: links
// (a desktop entry in the user's applications folder, here a temporary one).
TEST_F(OptionPages, ChatLinkSupportRegistersAndRemovesTheLinkHandler)
{
    TempDir data("kest_optlinks");
    ASSERT_TRUE(data.made());
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    SavedValues<int> registry{cmdline_no_registry};
    cmdline_no_registry = 0;
    const std::string entry = data.path + "applications/" + kIrcLinkDesktopFile;
    opt_set(OPT_CHAT_LINKS, 0);
    for (int round = 0; round < 2; ++round) {
        fill(350);
        item<QCheckBox>(362)->setChecked(true);
        apply(350);
        EXPECT_TRUE(std::filesystem::exists(entry));
        // OK again without a change touches nothing.
        std::filesystem::remove(entry);
        fill(350);
        apply(350);
        EXPECT_FALSE(std::filesystem::exists(entry));
        spit(entry, "x");
        fill(350);
        item<QCheckBox>(362)->setChecked(false);
        apply(350);
        EXPECT_FALSE(std::filesystem::exists(entry));
    }
    // Without the registry the boxes are off and nothing is written.
    cmdline_no_registry = 1;
    opt_set(OPT_CHAT_LINKS, 1);
    fill(350);
    EXPECT_FALSE(item<QCheckBox>(362)->isChecked());
    EXPECT_FALSE(item<QCheckBox>(362)->isEnabled());
    EXPECT_FALSE(item<QCheckBox>(363)->isEnabled());
    apply(350);
    EXPECT_EQ(opt(OPT_CHAT_LINKS), 0);
    EXPECT_FALSE(std::filesystem::exists(entry));
}

// Lines held back by flood protection: automatic CTCP answers (kinds 1 to
// 4) and whois requests (kind 5) stay only while their box is ticked;
// turning the protection off empties the queue and its counters.
TEST_F(OptionPages, FloodBoxesSortTheHeldLines)
{
    auto hold = [this] {
        FloodState* st = flood_state(conn);
        ASSERT_TRUE(st);
        flood_clear(conn, 1);
        for (int kind = 0; kind <= 5; ++kind) {
            st->queue = flood_queue_insert(st->queue, "@ line" + std::to_string(kind), kind);
            ++st->size;
        }
        conn->flood_budget = 500;
    };
    auto kinds = [this] {
        std::vector<int> out;
        for (StringNode* n = flood_state(conn)->queue; n; n = n->next)
            out.push_back(n->number);
        std::sort(out.begin(), out.end());
        return out;
    };
    const struct {
        int ctcps, whois;
        std::vector<int> kept;
    } cases[] = {
        {1, 1, {0, 1, 2, 3, 4, 5}},
        {0, 1, {0, 5}},
        {1, 0, {0, 1, 2, 3, 4}},
        {0, 0, {0}},
    };
    opt_set(OPT_FLOOD_PROTECTION, 1);
    for (const auto& c : cases) {
        hold();
        fill(310);
        dlg_set_checked(dialog, 323, c.ctcps);
        dlg_set_checked(dialog, 324, c.whois);
        apply(310);
        EXPECT_EQ(kinds(), c.kept);
        EXPECT_EQ(flood_state(conn)->size, static_cast<int>(c.kept.size()));
        EXPECT_EQ(conn->flood_budget, 500);
    }
    // Off: nothing is held any more and the counters start again.
    hold();
    fill(310);
    dlg_set_checked(dialog, 310, 0);
    apply(310);
    EXPECT_TRUE(kinds().empty());
    EXPECT_EQ(flood_state(conn)->size, 0);
    EXPECT_EQ(conn->flood_budget, 0);
    // Already off: OK leaves the counters alone.
    conn->flood_budget = 7;
    fill(310);
    apply(310);
    EXPECT_EQ(conn->flood_budget, 7);
}

TEST_F(OptionPages, BoxesThatGovernOtherControls)
{
    // Local Info: looking up the host forces the address lookup on.
    fill(160);
    auto* host = item<QCheckBox>(165);
    auto* address = item<QCheckBox>(166);
    address->setChecked(false);
    host->setChecked(true);
    command(160, 165);
    EXPECT_TRUE(address->isChecked());
    EXPECT_FALSE(address->isEnabled());
    host->setChecked(false);
    command(160, 165);
    EXPECT_TRUE(address->isEnabled());
    // Logging: each box enables its field.
    fill(395);
    const struct {
        int box;
        std::vector<int> fields;
    } pairs[] = {{399, {400}}, {403, {411}}, {404, {410}}, {405, {406, 409}}};
    for (const auto& p : pairs) {
        for (bool on : {true, false, true}) {
            item<QCheckBox>(p.box)->setChecked(on);
            command(395, p.box);
            for (int f : p.fields)
                EXPECT_EQ(dlg_item(dialog, f)->isEnabled(), on) << p.box << " -> " << f;
        }
    }
    // The connection's identity cannot change while it is connected.
    conn->connected = 1;
    conn->stored_identity[0] = "Before";
    fill(120);
    EXPECT_FALSE(dlg_item(dialog, 120)->isEnabled());
    EXPECT_FALSE(dlg_item(dialog, 121)->isEnabled());
    dlg_set_text(dialog, 120, "After");
    apply(120);
    EXPECT_EQ(conn->stored_identity[0], "Before");
    conn->connected = 0;
}

TEST_F(OptionPages, IdentUserIdComesFromTheIdentityOrTurnsTheServerOff)
{
    conn->stored_identity[1] = "";
    conn->live_identity[1] = "";
    conn->live_identity[2] = "";
    conn->live_identity[0] = "";
    conn->stored_identity[2] = "";
    fill(195);
    dlg_set_checked(dialog, 195, 1);
    dlg_set_text(dialog, 197, "");
    apply(195);
    EXPECT_EQ(ident_settings.enabled, 0);
    EXPECT_FALSE(item<QCheckBox>(195)->isChecked());

    fill(195);
    dlg_set_checked(dialog, 195, 0);
    dlg_set_text(dialog, 197, "we+ird name");
    apply(195);
    EXPECT_EQ(ident_settings.enabled, 0);
    EXPECT_EQ(ident_settings.userid, "we_ird");

    // An empty user id turns the server on and takes the e-mail's user.
    conn->live_identity[1] = "mailuser@example.org";
    conn->stored_identity[1] = "mailuser@example.org";
    fill(195);
    dlg_set_checked(dialog, 195, 0);
    dlg_set_text(dialog, 197, "");
    apply(195);
    EXPECT_EQ(ident_settings.enabled, 1);
    EXPECT_EQ(ident_settings.userid, "mailuser");
}

// ---- The Servers page and its editor ----

class ServersPage : public OptionPages {
protected:
    void SetUp() override
    {
        OptionPages::SetUp();
        spit(servers_file(), "[servers]\n"
                             "n0=Alpha oneSERVER:a1.example:6667GROUP:Alpha\n"
                             "n1=Alpha twoSERVER:a2.example:+6697GROUP:Alpha\n"
                             "n2=LonelySERVER:lonely.example:7000\n");
        original = slurp(servers_file());
        fill(140);
        tree = item<QTreeWidget>(141);
    }

    // Runs `answer` on the server editor the command opens.
    void with_editor(int command_id, std::function<void(QDialog*)> answer)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            seen = true;
            answer(d);
            if (d->isVisible())
                d->reject();
        });
        command(140, command_id);
        EXPECT_TRUE(seen);
    }
    static void type(QDialog* d, int id, const QString& text)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg_item(d, id));
        ASSERT_TRUE(e) << id;
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    static void click(QDialog* d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
        ASSERT_TRUE(b) << id;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void select(const QString& text)
    {
        const auto found = tree->findItems(text, Qt::MatchRecursive | Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << text.toStdString();
        tree->setCurrentItem(found[0]);
        found[0]->setSelected(true);
    }
    std::vector<std::string> file_entries()
    {
        std::vector<std::string> out;
        StringNode* list = ini_read_numbered_list("servers", "n", nullptr, servers_file(), 0);
        for (StringNode* node = list; node; node = node->next)
            out.push_back(node->text);
        strlist_free(&list);
        return out;
    }

    QTreeWidget* tree = nullptr;
    std::string original;
};

TEST_F(ServersPage, TheTreeShowsNetworksWithTheirServers)
{
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Alpha");
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Lonely");
    // Edit and Select need a server; Delete takes a network too.
    select("Alpha");
    EXPECT_FALSE(dlg_item(dialog, 144)->isEnabled());
    EXPECT_FALSE(dlg_item(dialog, 142)->isEnabled());
    EXPECT_TRUE(dlg_item(dialog, 145)->isEnabled());
    select("Alpha two");
    EXPECT_TRUE(dlg_item(dialog, 144)->isEnabled());
    EXPECT_TRUE(dlg_item(dialog, 142)->isEnabled());
}

TEST_F(ServersPage, AddTypedIntoTheEditorReachesTheFileOnlyOnOk)
{
    with_editor(143, [](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 132), "6667");
        type(d, 130, QString::fromUtf8("Yerel test"));
        type(d, 131, "127.0.0.1");
        type(d, 132, "6667,+6697");
        type(d, 133, "Local");
        click(d, 1);
    });
    EXPECT_EQ(slurp(servers_file()), original);
    ASSERT_EQ(tree->findItems("Local", Qt::MatchExactly).size(), 1);
    EXPECT_EQ(tree->currentItem()->text(0), QString::fromUtf8("Yerel test"));
    apply(140);
    EXPECT_EQ(file_entries().back(), "Yerel testSERVER:127.0.0.1:6667,+6697GROUP:Local");
    EXPECT_EQ(file_entries().size(), 4u);
}

TEST_F(ServersPage, TheEditorKeepsAnIncompleteEntryOpenAndCancelChangesNothing)
{
    select("Alpha one");
    with_editor(144, [](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 130), "Alpha one");
        EXPECT_EQ(dlg_text(d, 131), "a1.example");
        EXPECT_EQ(dlg_text(d, 133), "Alpha");
        EXPECT_EQ(dlg_text(d, 134), "");
        type(d, 132, "");
        const int before = beeps;
        click(d, 1);
        // Still open, a beep, the port field has the focus.
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(beeps, before + 1);
        EXPECT_EQ(d->focusWidget(), dlg_item(d, 132));
        type(d, 132, "7000");
        click(d, 2);
    });
    apply(140);
    EXPECT_EQ(slurp(servers_file()), original);

    // Saving an entry unchanged gives back the same entry.
    select("Alpha one");
    with_editor(144, [](QDialog* d) { click(d, 1); });
    const OptionsPageDef* def = options_page_find(140);
    def->apply(edit);
    EXPECT_EQ(file_entries()[0], "Alpha oneSERVER:a1.example:6667GROUP:Alpha");
}

// Entries a hand-edited file may hold: a bare host (the list reads it as
// an entry of that host), very long texts, empty parts. They are listed
// without harm and the bare host opens in the editor as a server.
TEST_F(ServersPage, OddEntriesAreListedAndABareHostEdits)
{
    const std::string longest(1024, 'x');
    spit(servers_file(), "[servers]\n"
                         "n0=just.a.host:6667\n"
                         "n1=" + longest + "SERVER:h:1GROUP:" + longest + "\n"
                         "n2=SERVER:::::GROUP:\n"
                         "n3=GROUP:OnlyGroup\n");
    fill(140);
    EXPECT_GE(tree->topLevelItemCount(), 3);
    select("just.a.host");
    with_editor(144, [](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 131), "just.a.host");
        EXPECT_EQ(dlg_text(d, 132), "6667");
        EXPECT_EQ(dlg_text(d, 130).size(), std::string("just.a.host").size());
        click(d, 2);
    });
    apply(140);
    EXPECT_NE(slurp(servers_file()).find("n0=just.a.host:6667\n"), std::string::npos);
}

TEST_F(ServersPage, DeleteAServerOrAWholeNetworkThenCancel)
{
    select("Alpha one");
    command(140, 145);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 1);
    select("Alpha");
    command(140, 145);
    EXPECT_TRUE(tree->findItems("Alpha", Qt::MatchExactly).isEmpty());
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    // Cancel: the file is as it was and a new opening shows the old list.
    page(140)->cancel(edit);
    EXPECT_EQ(slurp(servers_file()), original);
    fill(140);
    EXPECT_EQ(tree->topLevelItemCount(), 2);
    // Delete then OK writes.
    select("Lonely");
    command(140, 145);
    apply(140);
    EXPECT_EQ(file_entries().size(), 2u);
}

TEST_F(ServersPage, SelectChoosesTheServerForTheConnection)
{
    select("Alpha two");
    command(140, 142);
    EXPECT_EQ(edit.chosen_server, "Alpha twoSERVER:a2.example:+6697GROUP:Alpha");
    EXPECT_EQ(dlg_text(dialog, 129), "Alpha two");
    // A network row is not a server: nothing is chosen.
    edit.chosen_server.clear();
    select("Alpha");
    command(140, 142);
    EXPECT_EQ(edit.chosen_server, "");
}

// ---- Sub-dialogs on staging copies ----

class SubDialogs : public OptionPages {
protected:
    void run(int page_first, int command_id, std::function<void(QDialog*)> answer)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d)
                return;
            seen = true;
            answer(d);
            if (d->isVisible())
                d->reject();
        });
        command(page_first, command_id);
        EXPECT_TRUE(seen);
    }
    static void type(QDialog* d, int id, const QString& text)
    {
        auto* e = qobject_cast<QLineEdit*>(dlg_item(d, id));
        ASSERT_TRUE(e) << id;
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    // Clicks a button in its middle, a box on its mark.
    static void click(QDialog* d, int id)
    {
        auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, id));
        ASSERT_TRUE(b) << id;
        if (qobject_cast<QCheckBox*>(b))
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        else
            QTest::mouseClick(b, Qt::LeftButton);
    }
};

TEST_F(SubDialogs, ReconnectValuesReachTheSettingsOnlyWithTheOptionsOk)
{
    opt_set(OPT_CONNECT_TIMEOUT, 60);
    opt_set(OPT_RETRY_LIMIT, 5);
    opt_set(OPT_RETRY_DELAY, 7);
    fill(175);
    run(175, 183, [](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 102), "60");
        type(d, 102, "5");
        type(d, 103, "0");
        type(d, 104, "1");
        click(d, 101);
        click(d, 1);
    });
    // Not yet live.
    EXPECT_EQ(opt(OPT_CONNECT_TIMEOUT), 60);
    apply(175);
    EXPECT_EQ(opt(OPT_CONNECT_TIMEOUT), 10);
    EXPECT_EQ(opt(OPT_RETRY_LIMIT), 1);
    EXPECT_EQ(opt(OPT_RETRY_DELAY), 1);
    // Opened again in the same dialog, it shows the values now live.
    run(175, 183, [](QDialog* d) {
        EXPECT_EQ(dlg_text(d, 102), "10");
        EXPECT_EQ(dlg_text(d, 103), "1");
        click(d, 2);
    });

    // A second opening, changed and cancelled with the options dialog.
    fill(175);
    run(175, 183, [](QDialog* d) {
        type(d, 102, "300");
        click(d, 1);
    });
    page(175)->cancel(edit);
    EXPECT_EQ(opt(OPT_CONNECT_TIMEOUT), 10);

    // Cancel of the sub-dialog leaves the staging copy.
    fill(175);
    run(175, 183, [](QDialog* d) {
        type(d, 102, "300");
        click(d, 2);
    });
    apply(175);
    EXPECT_EQ(opt(OPT_CONNECT_TIMEOUT), 10);
}

TEST_F(SubDialogs, PortOrderBoundsAndTheBindAddress)
{
    const struct {
        const char* first;
        const char* last;
        const char* address;
        int want_first;
        int want_last;
        const char* want_address;
    } cases[] = {
        {"2000", "100", "host.example", 1024, 5000, ""},
        {"0", "10", "10.0.0.1", 1, 10, "10.0.0.1"},
        {"3000", "3000", "", 3000, 3000, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        fill(175);
        run(175, 184, [&](QDialog* d) {
            type(d, 112, c.first);
            type(d, 113, c.last);
            type(d, 116, c.address);
            click(d, 1);
        });
        apply(175);
        EXPECT_EQ(opt(OPT_DCC_FIRST_PORT), c.want_first);
        EXPECT_EQ(opt(OPT_DCC_LAST_PORT), c.want_last);
        std::string address;
        ini_read("ports", "address", "", address, 256, main_ini_path);
        EXPECT_EQ(address, c.want_address);
    }
    // The four switches as the port settings keep them.
    fill(175);
    run(175, 184, [](QDialog* d) {
        EXPECT_TRUE(dlg_checked(d, 110));   // DCC uses the range unless told otherwise
        EXPECT_FALSE(dlg_checked(d, 111));
        click(d, 110);
        click(d, 111);
        click(d, 114);
        click(d, 115);
        click(d, 1);
    });
    apply(175);
    const struct {
        const char* key;
        const char* value;
    } keys[] = {{"dcc", "0"}, {"other", "1"}, {"random", "on"}, {"bind", "on"}};
    for (const auto& k : keys) {
        std::string v;
        ini_read("ports", k.key, "", v, 16, main_ini_path);
        EXPECT_EQ(v, k.value) << k.key;
    }
}

TEST_F(SubDialogs, SslChoiceAndFiles)
{
    ssl_settings.show = 7;
    ssl_settings.cert = "/tmp/client.pem";
    fill(175);
    run(175, 186, [](QDialog* d) {
        auto* combo = qobject_cast<QComboBox*>(dlg_item(d, 101));
        ASSERT_TRUE(combo);
        EXPECT_EQ(combo->currentIndex(), 1);
        combo->setCurrentIndex(2);
        // A button with a path empties it.
        click(d, 102);
        click(d, 1);
    });
    EXPECT_EQ(ssl_settings.cert, "/tmp/client.pem");
    apply(175);
    EXPECT_EQ(ssl_settings.show, 2);
    EXPECT_EQ(ssl_settings.cert, "");
    std::string stored;
    ini_read("ssl", "show", "", stored, 16, main_ini_path);
    EXPECT_EQ(stored, "2");
}

TEST_F(SubDialogs, TheAcceptedCertificatesCanBeForgotten)
{
    ssl_cache_clear();
    fill(175);
    run(175, 186, [](QDialog* d) {
        EXPECT_FALSE(dlg_item(d, 105)->isEnabled());
        click(d, 2);
    });
    ssl_cache_add("0123456789ABCDEF0123456789ABCDEF01234567");
    ASSERT_TRUE(ssl_cache_any());
    run(175, 186, [](QDialog* d) {
        EXPECT_TRUE(dlg_item(d, 105)->isEnabled());
        click(d, 105);
        EXPECT_FALSE(dlg_item(d, 105)->isEnabled());
        click(d, 2);
    });
    // Cleared at once, though the dialog was cancelled.
    EXPECT_FALSE(ssl_cache_any());
}

} // namespace
