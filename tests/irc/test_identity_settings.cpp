// The first connection's identity, server and local host in the main
// settings file: loaded into the program's connection record at their steps
// of the start-up load, written back by /saveini and by the identity's own
// savers, on real files in a temporary settings folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "irc/link/identity_settings.h"
#include "model/connection.h"
#include "support/test_support.h"

namespace {

class IdentitySettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        saved_list_ = conn_list;
        conn_list = first_.get();
        installed_before_ = settings_loaded.has_priority(kLoadIdentity);
        identity_settings_install();
        start_nick.clear();
        start_anick.clear();
    }

    void TearDown() override
    {
        if (!installed_before_)
            identity_settings_uninstall();
        first_->next = nullptr;
        conn_list = saved_list_;
        start_nick.clear();
        start_anick.clear();
        main_settings_free_lists();
        main_settings = MainSettings{};
        options_reset();
    }

    // A fresh first connection in place of the old one.
    void renew()
    {
        first_ = std::make_unique<Connection>();
        conn_list = first_.get();
    }

    // The load as start-up runs it: the first connection when it is live.
    void load() { settings_load_all(conn_is_live(conn_list) ? conn_list : nullptr); }

    std::string read(const char* section, const char* key)
    {
        std::string out;
        ini_read(section, key, "", out, 4200, main_ini_path);
        return out;
    }

    bool has_section(const char* header)
    {
        std::stringstream ss(slurp(main_ini_path));
        std::string line;
        while (std::getline(ss, line))
            if (line == header)
                return true;
        return false;
    }

    TempSettingsDir temp_{"kest_identity_"};
    std::unique_ptr<Connection> first_ = std::make_unique<Connection>();
    Connection* saved_list_ = nullptr;
    bool installed_before_ = false;
};

TEST_F(IdentitySettings, TheLoadFillsTheFirstConnection)
{
    spit(main_ini_path,
         "[kest]\nuser=Ayşe Yılmaz\nemail=a@b.example\nnick=ayse\nanick=ayse_\n"
         "host=Ağ Sunucusu SERVER:irc.example.org:6667,7000:gizliGROUP:ÖrnekNet\n"
         "[local]\nlocal=myhost\nlocalip=1.2.3.4\nlongip=16909060\n");
    load();
    EXPECT_EQ(first_->stored_identity[0], "Ayşe Yılmaz");
    EXPECT_EQ(first_->stored_identity[1], "a@b.example");
    EXPECT_EQ(first_->stored_identity[2], "ayse");
    EXPECT_EQ(first_->stored_identity[3], "ayse_");
    EXPECT_EQ(first_->live_identity[2], "ayse");
    EXPECT_EQ(first_->stored_identity[5], "irc.example.org");
    EXPECT_EQ(first_->stored_identity[6], "Ağ Sunucusu");
    EXPECT_EQ(first_->stored_identity[7], "ÖrnekNet");
    EXPECT_EQ(first_->stored_identity[8], "gizli");
    EXPECT_TRUE((std::set<std::string>{"6667", "7000"}).count(first_->stored_identity[9])) << first_->stored_identity[9];
    // Not connected: the server in use follows the stored one.
    EXPECT_EQ(first_->live_server[0], "irc.example.org");
    EXPECT_EQ(first_->stored_local_host, "myhost");
    EXPECT_EQ(first_->stored_local_ip_text, "1.2.3.4");
    EXPECT_EQ(first_->stored_local_ip, 16909060u);
}

TEST_F(IdentitySettings, TheCommandLineNickWins)
{
    spit(main_ini_path, "[kest]\nnick=filenick\nanick=fileanick\n");
    start_nick = "cmdnick";
    load();
    EXPECT_EQ(first_->stored_identity[2], "cmdnick");
    EXPECT_EQ(first_->live_identity[2], "cmdnick");
    EXPECT_EQ(first_->stored_identity[3], "fileanick");
}

TEST_F(IdentitySettings, TheServerEntryGoesThroughTheServerList)
{
    struct Case {
        const char* entry;
        const char* host;
        const char* description;
        const char* port;
        const char* password;
        const char* group;
    };
    const Case cases[] = {
        {"Net  SERVER:irc.net:6667", "irc.net", "Net", "6667", "", ""},
        {"NetSERVER:irc.net:", "irc.net", "Net", "6667", "", ""},
        {"NetSERVER:irc.net:+6697:pw:rd GROUP:G", "irc.net", "Net", "+6697", "pw:rd ", "G"},
        {"irc.bare.net:7000", "irc.bare.net", "irc.bare.net", "7000", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        renew();
        spit(main_ini_path, std::string("[kest]\nhost=") + c.entry + "\n");
        load();
        EXPECT_EQ(first_->stored_identity[5], c.host);
        EXPECT_EQ(first_->stored_identity[6], c.description);
        EXPECT_EQ(first_->stored_identity[9], c.port);
        EXPECT_EQ(first_->stored_identity[8], c.password);
        EXPECT_EQ(first_->stored_identity[7], c.group);
    }
    // A host longer than the record keeps is cut.
    renew();
    spit(main_ini_path, "[kest]\nhost=DSERVER:" + std::string(400, 'h') + ":1\n");
    load();
    EXPECT_EQ(first_->stored_identity[5].size(), 256u);
}

// Without a live first connection its steps are skipped and nothing is
// touched; a record that is not in the list is not filled either.
TEST_F(IdentitySettings, WithoutALiveFirstConnectionNothingIsFilled)
{
    spit(main_ini_path, "[kest]\nuser=U\nnick=x\nhost=NSERVER:h:1\n[local]\nlocal=lh\nlongip=5\n");
    conn_list = nullptr;
    load();
    conn_list = first_.get();
    EXPECT_EQ(first_->stored_identity[0], "");
    EXPECT_EQ(first_->stored_identity[2], "");
    EXPECT_EQ(first_->stored_identity[5], "");
    EXPECT_EQ(first_->stored_local_host, "");
    EXPECT_EQ(first_->stored_local_ip, 0u);
}

TEST_F(IdentitySettings, IdentitySaveByFlags)
{
    first_->stored_identity[0] = "User";
    first_->stored_identity[1] = "u@x";
    first_->stored_identity[2] = "nick";
    first_->stored_identity[3] = "anick";
    first_->stored_identity[6] = "Net";
    first_->stored_identity[5] = "irc.net";
    first_->stored_identity[9] = "6667";

    ini_save_identity(2, first_.get());
    EXPECT_EQ(read("kest", "nick"), "nick");
    EXPECT_EQ(read("kest", "user"), "");
    EXPECT_EQ(read("kest", "host"), "");

    ini_save_identity(4, first_.get());
    EXPECT_EQ(read("kest", "host"), "NetSERVER:irc.net:6667");

    first_->stored_identity[8] = "pw";
    first_->stored_identity[7] = "G";
    ini_save_identity(0, first_.get());
    EXPECT_EQ(read("kest", "user"), "User");
    EXPECT_EQ(read("kest", "email"), "u@x");
    EXPECT_EQ(read("kest", "anick"), "anick");
    EXPECT_EQ(read("kest", "host"), "NetSERVER:irc.net:6667:pwGROUP:G");

    // Without a description the server is not kept.
    first_->stored_identity[6].clear();
    ini_save_identity(4, first_.get());
    EXPECT_EQ(read("kest", "host"), "");
}

TEST_F(IdentitySettings, SavingAStaleConnectionSavesTheFirst)
{
    Connection stale;
    stale.stored_identity[2] = "stale";
    Connection other;
    other.stored_identity[2] = "other";
    first_->next = &other;
    first_->stored_identity[2] = "first";

    ini_save_identity(2, &stale);
    EXPECT_EQ(read("kest", "nick"), "first");
    ini_save_identity(2, &other);
    EXPECT_EQ(read("kest", "nick"), "other");

    // Without any live connection nothing is written.
    first_->next = nullptr;
    conn_list = nullptr;
    ini_save_identity(2, &other);
    EXPECT_EQ(read("kest", "nick"), "other");
    conn_list = first_.get();
}

TEST_F(IdentitySettings, WhatIsSavedLoadsBack)
{
    first_->stored_identity[0] = "Çağrı";
    first_->stored_identity[2] = "cagri";
    first_->stored_identity[6] = "Net";
    first_->stored_identity[5] = "irc.net";
    first_->stored_identity[9] = "+6697";
    first_->stored_identity[8] = "pw";
    first_->stored_identity[7] = "G";
    ini_save_identity(0, first_.get());
    const std::vector<std::string> saved(first_->stored_identity, first_->stored_identity + 10);
    renew();
    load();
    for (int f : {0, 2, 5, 6, 7, 8, 9})
        EXPECT_EQ(first_->stored_identity[f], saved[f]) << f;
    EXPECT_EQ(first_->ssl, 1);
}

TEST_F(IdentitySettings, LocalHostSave)
{
    first_->local_host = "host.lan";
    first_->local_ip_text = "192.168.1.2";
    first_->local_ip = 3232235778u;
    ini_save_local_host(first_.get());
    EXPECT_EQ(read("local", "local"), "host.lan");
    EXPECT_EQ(read("local", "localip"), "192.168.1.2");
    EXPECT_EQ(read("local", "longip"), "3232235778");

    renew();
    load();
    EXPECT_EQ(first_->stored_local_host, "host.lan");
    EXPECT_EQ(first_->stored_local_ip_text, "192.168.1.2");
    EXPECT_EQ(first_->stored_local_ip, 3232235778u);

    // An unknown address, or a connection that is not live, removes the section.
    first_->local_ip = 0;
    ini_save_local_host(first_.get());
    EXPECT_FALSE(has_section("[local]"));
    Connection stale;
    stale.local_ip = 5;
    stale.local_host = "x";
    spit(main_ini_path, "[local]\nlocal=x\n");
    ini_save_local_host(&stale);
    EXPECT_EQ(read("local", "local"), "");
}

// /saveini writes the identity of the first live connection after the
// option lines; without one the section is left as it was.
TEST_F(IdentitySettings, SaveAllWritesTheIdentityOfTheFirstConnection)
{
    first_->stored_identity[2] = "kaydet";
    settings_save_all();
    EXPECT_EQ(read("kest", "nick"), "kaydet");
    EXPECT_NE(read("options", "n0"), "");

    spit(main_ini_path, "[kest]\nnick=kept\n");
    conn_list = nullptr;
    settings_save_all();
    conn_list = first_.get();
    EXPECT_EQ(read("kest", "nick"), "kept");

    // Installing again adds no second listener.
    const std::size_t loads = settings_loaded.size();
    const std::size_t saves = settings_saving.size();
    identity_settings_install();
    EXPECT_EQ(settings_loaded.size(), loads);
    EXPECT_EQ(settings_saving.size(), saves);
}

}  // namespace
