// Line framing of the receive loop: reads cut into lines, CR dropped, empty
// lines skipped, overlong lines cut with the rest dropped up to the LF. The
// lines the dispatcher was handed are read from the connection's /debug
// traffic file.
#include "model/connection.h"
#include "irc/link/receive.h"
#include "platform/platform_test_env.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"
#include "support/traffic_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ReceiveFraming : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_test_app();
        ASSERT_TRUE(settings_.made());
        conn_ = conn_new(nullptr);
        ASSERT_NE(conn_, nullptr);
        ASSERT_TRUE(wire_.ok());
        wire_.attach(conn_);  // a PING is answered on it
        conn_->connected = 1;
        ASSERT_TRUE(traffic_file_start(conn_, "traffic.log"));
    }
    void TearDown() override
    {
        if (conn_is_live(conn_)) {
            conn_->socket = -1;
            conn_free(conn_);
        }
    }
    // The lines the dispatcher was handed since the last call.
    std::vector<std::string> take_lines()
    {
        std::vector<std::string> all = traffic_received(settings_.path() + "traffic.log");
        std::vector<std::string> fresh(all.begin() + static_cast<long>(std::min(seen_, all.size())), all.end());
        seen_ = all.size();
        return fresh;
    }
    HookGuard hooks_;
    TempSettingsDir settings_{"kest_receive_"};
    TestWire wire_;
    Connection* conn_ = nullptr;
    std::size_t seen_ = 0;
};

struct FramingCase {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> lines;
    std::string pending; // what is still being assembled afterwards
};

std::string rep(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

TEST_F(ReceiveFraming, CutsReadsIntoLines)
{
    std::string burst;
    std::vector<std::string> burst_lines;
    for (int i = 0; i < 300; ++i) {
        burst_lines.push_back(":srv 372 me :line " + std::to_string(i));
        burst += burst_lines.back() + "\r\n";
    }
    const FramingCase cases[] = {
        {"crlf split across reads", {"PING :abc\r", "\n"}, {"PING :abc"}, ""},
        {"text split across reads", {"PRIV", "MSG #a :hi", "\r\n"}, {"PRIVMSG #a :hi"}, ""},
        {"bare line feeds", {"ONE\nTWO\n"}, {"ONE", "TWO"}, ""},
        {"empty lines are skipped", {"\r\n\n\r\nX\r\n\r\n"}, {"X"}, ""},
        {"carriage returns inside a line are dropped", {"A\rB\r\n"}, {"AB"}, ""},
        {"a line without its end waits", {"NOTICE x :part"}, {}, "NOTICE x :part"},
        {"600 characters stay one line", {rep('a', 600) + "\r\n"}, {rep('a', 600)}, ""},
        {"601 characters: cut, no empty line after", {rep('a', 601) + "\r\nOK\r\n"},
         {rep('a', 601), "OK"}, ""},
        {"overlong line cut, rest dropped to the LF", {rep('a', 700) + "\r\nNEXT\r\n"},
         {rep('a', 601), "NEXT"}, ""},
        {"overlong line over several reads",
         {rep('a', 400), rep('b', 400), rep('c', 300) + "\nok\n"},
         {rep('a', 400) + rep('b', 201), "ok"}, ""},
        {"dropped tail does not leak into the next line", {rep('z', 650), "tail\r\nGOOD\r\n"},
         {rep('z', 601), "GOOD"}, ""},
        {"a burst of many lines in one read", {burst}, burst_lines, ""},
    };
    for (const FramingCase& c : cases) {
        SCOPED_TRACE(c.name);
        take_lines();
        conn_->recv_line.clear();
        conn_->line_length = 0;
        conn_->line_overflow = 0;
        for (const std::string& r : c.reads)
            ASSERT_EQ(irc_frame_bytes(conn_, r.data(), r.size()), 1);
        EXPECT_EQ(take_lines(), c.lines);
        EXPECT_EQ(conn_->recv_line, c.pending);
        EXPECT_LE(conn_->recv_line.size(), static_cast<std::size_t>(kRecvLineCut));
    }
}

// A line whose handling drops the link stops the framing at once: the lines
// after it in the same read are not dispatched. Here the answer to a PING
// finds the link without its socket, which closes it.
TEST_F(ReceiveFraming, StopsWhenTheLinkDropsDuringADispatch)
{
    conn_->socket = -1;
    std::string data = "A\r\nPING :B\r\nC\r\nD\r\n";
    EXPECT_EQ(irc_frame_bytes(conn_, data.data(), data.size()), 0);
    EXPECT_EQ(take_lines(), (std::vector<std::string>{"A", "PING :B"}));
    EXPECT_EQ(conn_->connected, 0);
    EXPECT_EQ(wire_.all(), "");
}

} // namespace
