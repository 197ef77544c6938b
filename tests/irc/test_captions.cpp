// Captions of the status and channel windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "irc/dispatch/captions.h"
#include "irc/numerics/isupport.h"
#include "support/test_wire.h"

namespace {

// The captions the windows were told to show.
std::vector<std::string> set_calls;

class Captions : public ::testing::Test {
protected:
    void SetUp() override
    {
        options_reset();
        caption_changed.add_once(listener_, 0, [](WindowRecord*, const std::string& t) { set_calls.push_back(t); });
        set_calls.clear();
        conn = conn_new(nullptr);
        irc_state_new_link(conn);
    }
    void TearDown() override
    {
        caption_changed.drop(listener_);
        conn_free(conn);
    }
    Connection* conn = nullptr;
    int listener_ = 0;
};

TEST_F(Captions, StatusCaptionByConnectionState)
{
    struct Case {
        int connected, connecting, registered, retry, retry_ms;
        const char* network;
        const char* group;
        const char* host;
        const char* nick;
        const char* expect;
    } cases[] = {
        {0, 0, 0, 0, 0, "", "", "", "", "Status: Şu Anda Bir Servere Bağlı Değilsiniz"},
        {0, 0, 0, 0, 0, "", "", "", "me", "Status: Şu Anda Bir Servere Bağlı Değilsiniz (me)"},
        {0, 0, 0, 0, 0, "", "", "irc.x", "me", "Status: Şu Anda Bir Servere Bağlı Değilsiniz (me, irc.x)"},
        {1, 0, 1, 0, 0, "", "7", "irc.x", "me", "Status: me irc.x:6667 Serverinde Bulunuyor (00:00)"},
        {1, 0, 1, 0, 0, "Net", "", "irc.x", "me", "Status: me Net (irc.x:6667) Serverinde Bulunuyor (00:00)"},
        {0, 1, 0, 1, 2500, "", "", "irc.x", "me", "Status: me  Nicki İçin Bağlanma Tekrarı Yapılan Süre (2) irc.x"},
        {0, 1, 0, 1, 500, "", "", "irc.x", "me", "Status: me  Nicki İçin Bağlanma Tekrarı Yapılan Süre (1) irc.x"},
        {0, 1, 0, 1, 0, "", "", "irc.x", "me", "Status: me  Nicki İçin Bağlanma Tekrarı Yapılan Süre (0) irc.x"},
        {0, 1, 0, 0, 0, "", "", "irc.x", "", "Status: [Nickiniz Şu an Yok] Bağlanılıyor irc.x:6667"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expect);
        conn->connected = c.connected;
        conn->socket = c.connected ? 1000 : -1;  // never used for I/O here
        conn->connecting = c.connecting;
        irc_state(conn)->registration = c.registered;
        irc_state(conn)->nick_pending = 0;
        conn->waiting_retry = c.retry;
        conn->retry_delay = c.retry_ms;
        conn->network = c.network;
        conn->live_server[0] = c.host;
        conn->live_server[2] = c.group;
        conn->live_server[4] = "6667";
        conn->server_name = c.host;
        conn->live_identity[2] = c.nick;
        EXPECT_EQ(irc_status_caption(conn), c.expect);
    }
    // Own modes show between the nick and the server while there are any.
    irc_state(conn)->user_modes_text = "[+iw]";
    TestWire wire;
    ASSERT_TRUE(wire.ok());
    conn->connected = 1;
    wire.attach(conn);
    irc_state(conn)->registration = 1;
    conn->network = "Net";
    conn->live_identity[2] = "me";
    EXPECT_EQ(irc_status_caption(conn), "Status: me [+iw] Net (irc.x:6667) Serverinde Bulunuyor (00:00)");
    irc_state(conn)->user_modes_text.clear();
    conn->socket = -1;
    conn->connected = 0;
    EXPECT_EQ(irc_status_caption(nullptr), "Status");
}

TEST_F(Captions, ChannelCaptionSetOnlyWhenChanged)
{
    WindowRecord* rec = win_record_new(1);
    ASSERT_NE(rec, nullptr);
    rec->type = kWinChannel;
    rec->name = "#c";
    rec->conn = conn;
    struct Case {
        const char* modes;
        const char* topic;
        const char* expect;
    } cases[] = {
        {"[+]", "", "#c [0]"},
        {"[+nt]", "", "#c [0] [+nt]"},
        {"[+]", "\x02\x03" "4\x0F", "#c [0]"},
        {"[+]", "\x02hi\x02 there", "#c [0]: hi there"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expect);
        rec->chan_modes = c.modes;
        rec->topic = c.topic;
        set_calls.clear();
        win_update_title(rec, nullptr);
        win_update_title(rec, nullptr);
        EXPECT_EQ(set_calls, std::vector<std::string>{c.expect});
    }
    win_record_free(rec);
}

TEST_F(Captions, StatusLabels)
{
    WindowRecord* rec = win_record_new(1);
    rec->type = kWinStatus;
    rec->conn = conn;
    conn->network = "Net";
    conn->live_identity[2] = "me";
    struct Case {
        int net_opt, nick_opt, kind;
        const char* expect;
    } cases[] = {
        {1, 1, 1, "Net me"}, {0, 0, 1, "Status"}, {0, 0, 2, "Net me"}, {1, 0, 1, "Net"}, {1, 1, 5, "Status"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expect);
        opt_set(OPT_STATUS_LABEL_NETWORK, c.net_opt);
        opt_set(OPT_STATUS_LABEL_NICK, c.nick_opt);
        std::string out;
        irc_status_label(rec, out, c.kind);
        EXPECT_EQ(out, c.expect);
    }
    win_record_free(rec);
}

}  // namespace
