// Connection and identity commands typed into a real status window's
// editbox: what they store, show, send and write to the settings files.
// Nothing reaches a network: a connected link is a loopback wire the test
// reads, and a connect that a command starts is stopped before its timer runs.
#include <gtest/gtest.h>

#include <QWidget>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "commands/output_commands.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "display/editbox.h"
#include "app/child_window.h"
#include "model/line_buffer.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "extensions/irc_links.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/net_settings.h"
#include "irc/numerics/isupport.h"
#include "irc/ssl/ssl_api.h"
#include "script/exec/script_hooks.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class IdentityCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        dir = fs::temp_directory_path() / ("kest-identity-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        main_ini_path = (dir / "kest.ini").string();
        main_settings.servers_file = (dir / "servers.ini").string();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
        conn->stored_identity[0] = "Kest User";
        conn->stored_identity[1] = "kuser@example.org";
        conn->stored_identity[2] = "kestme";
        conn_identity_copy(0, conn);
    }

    void TearDown() override
    {
        for (Connection* c = conn_list; c; c = c->next)
            conn_kill_connect_timer(c);
        window_test_reset();
        fs::remove_all(dir);
    }

    // Types a line into the status window's editbox and submits it. A
    // connect it starts is stopped before it can reach the network.
    void type(const std::string& line)
    {
        shown_from = lines().size();
        status->editbox->setTextBytes(line);
        editbox_submit(status, status->editbox.get(), kSubmitNormal | kSubmitAlways, 0);
        started.clear();
        for (Connection* c = conn_list; c; c = c->next) {
            if (c->connect_timer_id)
                started.push_back(c);
            conn_kill_connect_timer(c);
        }
    }

    // Whether the last typed line started a connect on the connection.
    bool connect_started(Connection* c) const
    {
        for (Connection* s : started)
            if (s == c)
                return true;
        return false;
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const StringNode* n = status->lines; n; n = n->next)
            out.push_back(n->text);
        return out;
    }

    // Whether a line shown since the last typed line ends with the text.
    bool shown(const std::string& text) const
    {
        std::vector<std::string> all = lines();
        for (std::size_t i = shown_from; i < all.size(); ++i) {
            const std::string& t = all[i];
            if (t.size() >= text.size() && t.compare(t.size() - text.size(), text.size(), text) == 0)
                return true;
        }
        return false;
    }

    std::string since() const
    {
        std::string s;
        std::vector<std::string> all = lines();
        for (std::size_t i = shown_from; i < all.size(); ++i)
            s += "  " + all[i] + "\n";
        return s;
    }

    void write_servers(const std::string& body) const
    {
        std::ofstream(dir / "servers.ini") << "[servers]\n" << body;
    }

    std::string ini_value(const char* file, const char* section, const char* key) const
    {
        std::string out;
        ini_read(section, key, "", out, kMediumTextSize, (dir / file).string());
        return out;
    }

    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    fs::path dir;
    std::size_t shown_from = 0;
    std::vector<Connection*> started;
    // Members, so they are put back after TearDown has closed the windows
    // with the program's own hooks still in place.
    HookGuard hooks_;
    SavedValues<std::string, std::string> paths_{main_ini_path, main_settings.servers_file};
};

// ---- /server: where it connects ----

TEST_F(IdentityCommands, ServerTakesHostPortAndPassword)
{
    struct Case {
        const char* typed;
        const char* host;
        const char* port;
        const char* password;
    };
    const Case cases[] = {
        {"/server irc.example.net:7000 secret", "irc.example.net", "7000", "secret"},
        {"/server irc.example.net 7001 other", "irc.example.net", "7001", "other"},
        {"/server irc.example.net:0", "irc.example.net", "6667", ""},
        {"/server irc.example.net:abc", "irc.example.net", "6667", ""},
        {"/server irc.example.net", "irc.example.net", "6667", ""},
        {"/server -l irc.example.net:6999 -j #a,#b", "irc.example.net", "6999", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        conn->stored_identity[8] = "stale";
        type(c.typed);
        EXPECT_EQ(conn->stored_identity[5], c.host);
        EXPECT_EQ(conn->stored_identity[9], c.port);
        EXPECT_EQ(conn->stored_identity[8], c.password);
        EXPECT_EQ(conn->live_server[0], c.host);
        EXPECT_TRUE(sent().empty()) << "nothing is sent before the link is up";
    }
    // The last one: keep to the host, and the channels wait for the logon.
    EXPECT_EQ(link_state(conn).server_l_switch, 1);
    ASSERT_TRUE(conn->autojoin_list);
    EXPECT_EQ(conn->autojoin_list->text, "#a,#b");
    EXPECT_EQ(conn->autojoin_list->next, nullptr);
}

TEST_F(IdentityCommands, ServerByNumberReadsThatEntryOfTheServersFile)
{
    write_servers("n0=OneSERVER:one.example.net:6660\n"
                  "n1=TwoSERVER:two.example.net:6661:pwGROUP:Net\n"
                  "n2=ThreeSERVER:three.example.net:6662-6669GROUP:Net\n");
    struct Case {
        const char* typed;
        int result;
        const char* host;   // null: unchanged
        const char* text;   // shown, null: nothing expected
    };
    const Case cases[] = {
        {"/server 3", 1, "three.example.net", nullptr},
        {"/server 2", 1, "two.example.net", nullptr},
        {"/server 0", 0, nullptr, "* /server: Geçersiz Server Adı"},
        {"/server 9", 0, nullptr, "* /server: Geçersiz Server Numarası"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string before = conn->stored_identity[5];
        type(c.typed);
        EXPECT_EQ(conn->stored_identity[5], c.host ? c.host : before);
        if (c.text) {
            EXPECT_TRUE(shown(c.text)) << since();
        }
    }
    // Entry 2 brought its password and group, entry 3 a port of its range
    // (the range itself is no port to connect to).
    type("/server 2");
    EXPECT_EQ(conn->stored_identity[8], "pw");
    EXPECT_EQ(conn->stored_identity[7], "Net");
    type("/server 3");
    const int picked = std::atoi(conn->stored_identity[9].c_str());
    EXPECT_TRUE(picked >= 6662 && picked <= 6669) << conn->stored_identity[9];
    EXPECT_TRUE(text_is_digits(conn->stored_identity[9])) << conn->stored_identity[9];
    EXPECT_EQ(conn->stored_identity[8], "") << "the password of the entry before does not stay";
}

TEST_F(IdentityCommands, ServerWithSslSwitch)
{
    struct Case {
        const char* name;
        int ssl_loaded;
        const char* typed;
        const char* port;  // null: the command fails with text 969
    };
    const Case cases[] = {
        {"-e makes the port an SSL port", 1, "/server -e irc.example.net 6697", "+6697"},
        {"a port given with + stays", 1, "/server -e irc.example.net +7000", "+7000"},
        {"no SSL library", 0, "/server -e irc.example.net 6697", nullptr},
        {"+port without the SSL library", 0, "/server irc.example.net +6697", nullptr},
        {"plain port without -e", 0, "/server irc.example.net 6667", "6667"},
    };
    // The real libraries, loaded or released; left as they were found.
    const int was_loaded = ssl_available();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ssl_unload();
        if (c.ssl_loaded) {
            ASSERT_EQ(ssl_load_library(), 1);
        } else {
            // A library that cannot be found: the failed load is not tried again.
            const char* crypto = ssl_library_names[0];
            ssl_library_names[0] = "libkest-no-such-crypto.so.3";
            EXPECT_EQ(ssl_load_library(), 0);
            ssl_library_names[0] = crypto;
        }
        ASSERT_EQ(ssl_available(), c.ssl_loaded);
        conn_kill_connect_timer(conn);
        type(c.typed);
        if (c.port) {
            EXPECT_EQ(conn->stored_identity[9], c.port);
            EXPECT_TRUE(connect_started(conn));
        } else {
            EXPECT_TRUE(shown("* /server: SSS Bulunamıyor")) << since();
            EXPECT_FALSE(connect_started(conn));
        }
    }
    ssl_unload();
    if (was_loaded)
        ssl_load_library();
}

TEST_F(IdentityCommands, ServerMOpensANewConnectionThatJoinsAfterLogon)
{
    struct Case {
        const char* typed;
        int connects;      // -m connects, -n does not
        int minimised_join;  // -jn
        int status_minimised;
    };
    const Case cases[] = {
        {"/server -m irc.example.net -j #a,#b", 1, 0, 0},
        {"/server -mz irc.example.net -jn #a,#b", 1, 1, 1},
        {"/server -n irc.example.net -j #a,#b", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const int before = conn_count();
        type(c.typed);
        ASSERT_EQ(conn_count(), before + 1);
        Connection* fresh = conn_list;
        while (fresh->next)
            fresh = fresh->next;
        ASSERT_NE(fresh, conn);
        ASSERT_TRUE(fresh->status_window);
        EXPECT_EQ(fresh->status_window->isMinimized(), c.status_minimised == 1);
        EXPECT_EQ(fresh->stored_identity[5], "irc.example.net");
        EXPECT_EQ(fresh->stored_identity[2], "kestme") << "the identity comes from the connection it ran on";
        ASSERT_TRUE(fresh->autojoin_list);
        EXPECT_EQ(fresh->autojoin_list->text, "#a,#b");
        EXPECT_EQ(fresh->autojoin_list->extra[0], c.minimised_join);
        EXPECT_EQ(connect_started(fresh), c.connects == 1);
        EXPECT_FALSE(connect_started(conn));
        EXPECT_EQ(conn->autojoin_list, nullptr) << "the first connection's list is untouched";
        EXPECT_NE(conn->stored_identity[5], "irc.example.net");
        conn_kill_connect_timer(fresh);
        conn_free(fresh);
    }
}

TEST_F(IdentityCommands, ServerIdentitySwitchFillsTheIdentity)
{
    type("/server irc.example.net -i newnick altnick new@example.org New Full Name -j #x");
    EXPECT_EQ(conn->stored_identity[2], "newnick");
    EXPECT_EQ(conn->stored_identity[3], "altnick");
    EXPECT_EQ(conn->stored_identity[1], "new@example.org");
    EXPECT_EQ(conn->stored_identity[0], "New Full Name");
    EXPECT_EQ(conn->live_identity[2], "newnick");
    ASSERT_TRUE(conn->autojoin_list);
    EXPECT_EQ(conn->autojoin_list->text, "#x");
}

TEST_F(IdentityCommands, ServerWithoutIdentityTellsWhatIsMissing)
{
    struct Case {
        const char* name;
        std::vector<int> cleared;  // stored identity fields emptied
        const char* missing;
        const char* how;
    };
    const Case cases[] = {
        {"all three", {0, 1, 2}, "* Bağlanmak için eksik: nick, tam ad, e-posta adresi",
         "* Belirlemek için: /nick <nick>, /fullname <ad soyad>, /emailaddr <adres>"},
        {"only the nick", {2}, "* Bağlanmak için eksik: nick", "* Belirlemek için: /nick <nick>"},
        {"only the full name", {0}, "* Bağlanmak için eksik: tam ad", "* Belirlemek için: /fullname <ad soyad>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn->stored_identity[0] = "Kest User";
        conn->stored_identity[1] = "kuser@example.org";
        conn->stored_identity[2] = "kestme";
        for (int f : c.cleared)
            conn->stored_identity[f].clear();
        type("/server irc.example.net");
        EXPECT_TRUE(shown(c.missing)) << since();
        EXPECT_TRUE(shown(c.how)) << since();
        EXPECT_TRUE(started.empty()) << "no connect starts";
    }
    // Without any server either.
    conn->stored_identity[0] = "Kest User";
    conn->stored_identity[2].clear();
    conn->stored_identity[5].clear();
    type("/server");
    EXPECT_TRUE(shown("* Bağlanmak için eksik: nick, server")) << since();
    EXPECT_TRUE(shown("* Belirlemek için: /nick <nick>, /server <adres>[:port]")) << since();
}

// ---- /server: the server list ----

TEST_F(IdentityCommands, ServerListIsEditedAndWritten)
{
    write_servers("n0=ZedSERVER:zed.example.net:6667GROUP:Z\n");
    struct Case {
        const char* typed;
        const char* text;   // shown
        const char* n0;
        const char* n1;     // null: no such key
    };
    const Case cases[] = {
        {"/server -a irc.example.net -p 6660-6669 -g Net -d My server", "* Server Listesine 'My server' Eklendi",
         "ZedSERVER:zed.example.net:6667GROUP:Z", "My serverSERVER:irc.example.net:6660-6669GROUP:Net"},
        // Matched by description: the fields not given stay.
        {"/server -a irc.example.net -w pw -d My server", "* Server Listesi 'My server' Güncellendi",
         "ZedSERVER:zed.example.net:6667GROUP:Z", "My serverSERVER:irc.example.net:6660-6669:pwGROUP:Net"},
        // "none" empties a field.
        {"/server -a irc.example.net -w none -g none", "* Server Listesi 'My server' Güncellendi",
         "ZedSERVER:zed.example.net:6667GROUP:Z", "My serverSERVER:irc.example.net:6660-6669"},
        {"/server -r nothing.example.net", "* /server: 'nothing.example.net' Serveri Yok",
         "ZedSERVER:zed.example.net:6667GROUP:Z", "My serverSERVER:irc.example.net:6660-6669"},
        {"/server -r zed.example.net", "* Server Listesinden 'Zed' Kaldırıldı",
         "My serverSERVER:irc.example.net:6660-6669", nullptr},
        {"/server -a other.example.net", "* Server Listesine 'other.example.net' Eklendi",
         "My serverSERVER:irc.example.net:6660-6669", "other.example.netSERVER:other.example.net:6667"},
        // -r matches by the host too.
        {"/server -r irc.example.net", "* Server Listesinden 'My server' Kaldırıldı",
         "other.example.netSERVER:other.example.net:6667", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_TRUE(shown(c.text)) << since();
        EXPECT_EQ(ini_value("servers.ini", "servers", "n0"), c.n0);
        EXPECT_EQ(ini_value("servers.ini", "servers", "n1"), c.n1 ? c.n1 : "");
        EXPECT_TRUE(sent().empty());
        EXPECT_TRUE(started.empty()) << "editing the list connects nowhere";
    }
}

TEST_F(IdentityCommands, ServerListSortOnlySortsAndSaves)
{
    write_servers("n0=NoneSERVER:none.example.net:6667\n"
                  "n1=BeeSERVER:b.example.net:6667GROUP:Bnet\n"
                  "n2=AySERVER:a.example.net:6667GROUP:Anet\n");
    type("/server -s");
    // Grouped entries first, by group; connects nowhere, says nothing.
    EXPECT_EQ(ini_value("servers.ini", "servers", "n0"), "AySERVER:a.example.net:6667GROUP:Anet");
    EXPECT_EQ(ini_value("servers.ini", "servers", "n1"), "BeeSERVER:b.example.net:6667GROUP:Bnet");
    EXPECT_EQ(ini_value("servers.ini", "servers", "n2"), "NoneSERVER:none.example.net:6667");
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(lines().size(), shown_from) << since();
}

TEST_F(IdentityCommands, ServerListRefusals)
{
    write_servers("n0=KeepSERVER:keep.example.net:6667\n");
    const std::string before = read_text(dir / "servers.ini");
    struct Case {
        std::string typed;
        const char* error;
    };
    const Case cases[] = {
        {"/server -a", "* /server: Yetersiz veya eksik parametre"},
        {"/server -r", "* /server: Yetersiz veya eksik parametre"},
        {"/server -a :6667", "* /server: Yetersiz veya eksik parametre"},
        {"/server -a long.example.net -d " + std::string(1100, 'x'), "* /server: Sıra cok uzun"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.substr(0, 40));
        type(c.typed);
        if (c.error) {
            EXPECT_TRUE(shown(c.error)) << since();
        }
        EXPECT_EQ(read_text(dir / "servers.ini"), before);
    }
    // A list edit with none of its letters does nothing.
    type("/server -z");
    EXPECT_EQ(read_text(dir / "servers.ini"), before);
}

TEST_F(IdentityCommands, ServerListIsReadAgainWhenTheFileChanged)
{
    write_servers("n0=OneSERVER:one.example.net:6667\n");
    type("/server -a two.example.net");
    EXPECT_EQ(ini_value("servers.ini", "servers", "n1"), "two.example.netSERVER:two.example.net:6667");
    // Changed behind the program's back: the next edit starts from the file.
    write_servers("n0=ThreeSERVER:three.example.net:6667\n");
    fs::last_write_time(dir / "servers.ini", fs::file_time_type::clock::now() + std::chrono::seconds(5));
    type("/server -a four.example.net");
    EXPECT_EQ(ini_value("servers.ini", "servers", "n0"), "ThreeSERVER:three.example.net:6667");
    EXPECT_EQ(ini_value("servers.ini", "servers", "n1"), "four.example.netSERVER:four.example.net:6667");
    EXPECT_EQ(ini_value("servers.ini", "servers", "n2"), "");
}

// ---- /quit and /disconnect ----

TEST_F(IdentityCommands, QuitSendsOneQuitAndNeedsALink)
{
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    type("/quit off to bed");
    type("/quit again");
    type("/quit");
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "QUIT :off to bed\n");
    EXPECT_EQ(conn->quitting, 1);
    conn->connected = 0;
    conn->socket = -1;
    conn->quitting = 0;
    wire.clear();
    type("/quit bye");
    EXPECT_TRUE(shown("* /quit: Servera bağlı değilsiniz")) << since();
    EXPECT_TRUE(sent().empty());
    type("/disconnect");
    EXPECT_TRUE(shown("* Servere Bağlı Değilsiniz")) << since();
}

// ---- Nicks ----

TEST_F(IdentityCommands, NickWordsWhileNotConnected)
{
    struct Case {
        const char* typed;
        int result;
        int slot;          // -1: nothing stored
        const char* nick;
        const char* text;
    };
    const Case cases[] = {
        {"/nick newmain", 1, 0, "newmain", "* Nickiniz Artık newmain"},
        {"/mnick other", 1, 0, "other", "* Nickiniz Artık other"},
        {"/anick altone", 1, 1, "altone", "* Alternatif Nickiniz altone"},
        {"/tnick temp", 0, -1, nullptr, "* /tnick: Servera bağlı değilsiniz"},
        {"/nick", 0, -1, nullptr, "* /nick: Yetersiz veya eksik parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_TRUE(shown(c.text)) << since();
        if (c.slot >= 0) {
            EXPECT_EQ(conn->live_identity[2 + c.slot], c.nick);
            EXPECT_EQ(conn->stored_identity[2 + c.slot], c.nick);
        }
        EXPECT_TRUE(sent().empty()) << "no server traffic";
    }
    // Saved to the settings.
    EXPECT_EQ(ini_value("kest.ini", "kest", "nick"), "other");
    EXPECT_EQ(ini_value("kest.ini", "kest", "anick"), "altone");
}

TEST_F(IdentityCommands, NickWordsWhileConnected)
{
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    conn->live_identity[2] = "kestme";
    conn->live_identity[3] = "kestalt";
    conn->nick_index = 0;
    struct Case {
        const char* typed;
        int registered;
        const char* line;     // sent, null: nothing
        int slot;             // slot that holds `stored` at once (-1: none changes)
        const char* stored;
        int switch_slot;      // slot the server's confirmation goes to
    };
    const Case cases[] = {
        // Registered: nothing changes until the server confirms.
        {"/nick newnick", 1, "NICK :newnick\n", -1, nullptr, 0},
        {"/nick newnick extra", 1, "NICK :newnick extra\n", -1, nullptr, 0},
        {"/tnick tempnick", 1, "NICK :tempnick\n", -1, nullptr, 2},
        // The alternative slot is not in use: stored only.
        {"/anick otheralt", 1, nullptr, 1, "otheralt", -1},
        // The slot in use goes to the server.
        {"/mnick mainnew", 1, "NICK :mainnew\n", -1, nullptr, 0},
        // During the logon the nick is stored at once.
        {"/nick early", 0, "NICK :early\n", 0, "early", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        wire.clear();
        conn->registered = c.registered;
        conn->nick_switch_slot = -1;
        const std::string main_before = conn->live_identity[2];
        type(c.typed);
        if (c.line) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.line);
        } else {
            EXPECT_TRUE(sent().empty());
        }
        if (c.slot >= 0) {
            EXPECT_EQ(conn->live_identity[2 + c.slot], c.stored);
        } else {
            EXPECT_EQ(conn->live_identity[2], main_before);
        }
        if (c.switch_slot >= 0) {
            EXPECT_EQ(conn->nick_switch_slot, c.switch_slot);
        }
    }
}

// ---- Identity texts ----

TEST_F(IdentityCommands, FullNameAndUserNameChangeTheSameField)
{
    struct Case {
        const char* typed;
        const char* field;
        const char* text;
    };
    const Case cases[] = {
        {"/fullname Ada Lovelace", "Ada Lovelace", "* Kullanıcı Adı: Ada Lovelace"},
        {"/username Grace Hopper", "Grace Hopper", "* Kullanıcı Adı: Grace Hopper"},
        {"/.fullname Quiet Name", "Quiet Name", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_EQ(conn->stored_identity[0], c.field);
        EXPECT_EQ(conn->live_identity[0], c.field);
        EXPECT_EQ(ini_value("kest.ini", "kest", "user"), c.field);
        if (c.text) {
            EXPECT_TRUE(shown(c.text)) << since();
        } else {
            EXPECT_FALSE(shown(c.field)) << since();
        }
    }
    type("/emailaddr ada@example.org and more");
    EXPECT_EQ(conn->stored_identity[1], "ada@example.org");
    EXPECT_TRUE(shown("* Email adresi: ada@example.org")) << since();
    EXPECT_EQ(ini_value("kest.ini", "kest", "email"), "ada@example.org");
}

// ---- Network settings ----

TEST_F(IdentityCommands, FirewallSetsAndShowsTheProxy)
{
    struct Case {
        const char* typed;
        const char* text;
        const char* method;   // [socks] method
        const char* enabled;
    };
    const Case cases[] = {
        {"/firewall -m5 on proxy.example.net", "* Firewall Açık Socks5 (proxy.example.net 1080)", "5", "yes"},
        {"/firewall -m4 on proxy.example.net:1234", "* Firewall Açık Socks4 (proxy.example.net 1234)", "4", "yes"},
        {"/firewall -mp on host.example.net 0 me pw", "* Firewall Açık Proxy (host.example.net 1080)", "proxy", "yes"},
        {"/firewall off", "* Firewall Kapalı", "proxy", "no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_TRUE(shown(c.text)) << since();
        EXPECT_EQ(ini_value("kest.ini", "socks", "method"), c.method);
        EXPECT_EQ(ini_value("kest.ini", "socks", "enabled"), c.enabled);
    }
    EXPECT_EQ(proxy_settings.userid, "me");
    // The password is not written in the clear.
    const std::string pw = ini_value("kest.ini", "socks", "pw");
    EXPECT_FALSE(pw.empty());
    EXPECT_NE(pw, "pw");
    // "c" clears the user id and the password; no host set shows its note.
    proxy_settings.host.clear();
    type("/firewall -c on");
    EXPECT_TRUE(shown("* Firewall Açık Proxy (Adres Belirlenemedi)")) << since();
    EXPECT_EQ(proxy_settings.userid, "");
    EXPECT_EQ(ini_value("kest.ini", "socks", "pw"), "");
}

TEST_F(IdentityCommands, IdentdDerivesTheUserId)
{
    struct Case {
        const char* typed;
        const char* email;
        int result;
        const char* text;
        const char* active;
    };
    const Case cases[] = {
        {"/identd on", "kuser@example.org", 1, "* Identd Açık (kuser)", "yes"},
        {"/identd on some*id+long12345", "kuser@example.org", 1, "* Identd Açık (some_id_lo)", "yes"},
        {"/identd off", "kuser@example.org", 1, "* Identd Kapalı", "no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        conn->live_identity[1] = c.email;
        type(c.typed);
        EXPECT_TRUE(shown(c.text)) << since();
        EXPECT_EQ(ini_value("kest.ini", "ident", "active"), c.active);
    }
    // Nothing to make a user id from.
    for (int i = 0; i < 3; ++i) {
        conn->live_identity[i].clear();
        conn->stored_identity[i].clear();
    }
    type("/identd on");
    EXPECT_TRUE(shown("* /identd: Geçersiz parametre")) << since();
    EXPECT_EQ(ini_value("kest.ini", "ident", "active"), "no");
}

TEST_F(IdentityCommands, LocalInfoAndResetIdle)
{
    type("/localinfo myhost.example.net 10.1.2.3");
    EXPECT_EQ(conn->local_host, "myhost.example.net");
    EXPECT_EQ(conn->local_ip_text, "10.1.2.3");
    EXPECT_EQ(conn->local_ip, 0x0A010203u);
    type("/localinfo otherhost not-an-address");
    EXPECT_EQ(conn->local_host, "otherhost");
    EXPECT_EQ(conn->local_ip_text, "");
    EXPECT_EQ(conn->local_ip, 0u);
    type("/localinfo -u");
    EXPECT_TRUE(shown("* /localinfo: Servera bağlı değilsiniz")) << since();

    type("/resetidle 30");
    EXPECT_EQ(conn->idle_seconds, 30);
    type("/resetidle");
    EXPECT_EQ(conn->idle_seconds, 0);
}


// ---- Links ----

TEST(IrcLinkRequest, LinksAndArgumentListsAreRead)
{
    options_reset();
    struct Case {
        const char* text;
        int from_outside;
        int result;
        const char* server;
        const char* port;
        const char* channel;
        int confirm;
        const char* command;  // the /server line for a connection elsewhere
    };
    const Case cases[] = {
        {"irc://irc.example.net:7000/#kest", 1, 1, "irc.example.net", "7000", "#kest", 1,
         "/!.server irc.example.net 7000 -l -j #kest"},
        {"irc://irc.example.net/kest?key", 0, 1, "irc.example.net", "6667", "#kest key", 1,
         "/!.server irc.example.net 6667 -l -j #kest key"},
        {"irc:///#here", 0, 1, "", "6667", "#here", 1, "/!.server -j #here"},
        {"#chan, irc.example.net:6999, 0", 0, 1, "irc.example.net", "6999", "#chan", 0,
         "/!.server irc.example.net 6999 -l -j #chan"},
        {"#chan,7001", 1, 1, "current.example.net", "7001", "#chan", 1,
         "/!.server current.example.net 7001 -l -j #chan"},
        {"#chan,1,abc", 0, 1, "current.example.net", "6667", "#chan", 1, nullptr},
        {"friends.chat", 0, 0, "", "", "", 0, nullptr},
        {"", 0, 0, "", "", "", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        IrcLinkRequest r;
        EXPECT_EQ(irc_link_parse(c.text, c.from_outside, "current.example.net", "#&", r), c.result);
        if (!c.result)
            continue;
        EXPECT_EQ(r.server, c.server);
        EXPECT_EQ(r.port, c.port);
        EXPECT_EQ(r.channel, c.channel);
        EXPECT_EQ(r.confirm, c.confirm);
        if (c.command) {
            EXPECT_EQ(irc_link_server_command(r), c.command);
        }
    }
    // irc: links turned off in the options: nothing is followed.
    option_set_value(option_id_line(OPT_CHAT_LINKS), option_id_position(OPT_CHAT_LINKS), 0);
    IrcLinkRequest r;
    EXPECT_EQ(irc_link_parse("irc://irc.example.net/#kest", 1, "", "#", r), 0);
    options_reset();
}

TEST_F(IdentityCommands, ALinkForTheServerInUseJoinsItsChannel)
{
    // Followed without asking first.
    option_set_value(option_id_line(OPT_CHAT_LINKS_CONFIRM), option_id_position(OPT_CHAT_LINKS_CONFIRM), 0);
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    conn->registered = 1;
    conn->server_name = "irc.example.net";
    struct Case {
        const char* link;
        const char* sent;  // null: nothing sent (a connect starts instead)
    };
    const Case cases[] = {
        {"irc://irc.example.net/#same", "JOIN #same\n"},
        {"irc://IRC.EXAMPLE.NET:6667/other", "JOIN #other\n"},
        {"irc://elsewhere.example.org/#far", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        wire.clear();
        conn->quitting = 0;
        EXPECT_EQ(dde_open_irc_link(c.link, 1), 1);
        for (Connection* k = conn_list; k; k = k->next)
            conn_kill_connect_timer(k);
        if (c.sent) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.sent);
        } else {
            // Another server: the link is left (QUIT) and the new one is set up.
            EXPECT_EQ(conn->stored_identity[5], "elsewhere.example.org");
            ASSERT_TRUE(conn->autojoin_list);
            EXPECT_EQ(conn->autojoin_list->text, "#far");
        }
    }
    // On the way to another server the fields are taken as they are too:
    // nothing in them is evaluated or read as a second command.
    wire.clear();
    conn->quitting = 0;
    EXPECT_EQ(dde_open_irc_link("#f$me|/quit %x,other.example.org", 1), 1);
    for (Connection* k = conn_list; k; k = k->next)
        conn_kill_connect_timer(k);
    EXPECT_EQ(conn->stored_identity[5], "other.example.org");
    ASSERT_TRUE(conn->autojoin_list);
    EXPECT_EQ(conn->autojoin_list->text, "#f$me|/quit %x");
    options_reset();
}

} // namespace
