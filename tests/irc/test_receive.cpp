// Line framing of the receive loop: reads cut into lines, CR dropped, empty
// lines skipped, overlong lines cut with the rest dropped up to the LF.
#include "model/connection.h"
#include "irc/link/receive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;
int g_stop_after = -1; // drop the link after this many lines

void capture(const std::string& line, Connection* conn)
{
    g_lines.push_back(line);
    if (g_stop_after >= 0 && static_cast<int>(g_lines.size()) >= g_stop_after)
        conn->connected = 0;
}

class ReceiveFraming : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        g_stop_after = -1;
        saved_ = irc_receive_line;
        irc_receive_line = capture;
        conn_ = conn_new(nullptr);
        ASSERT_NE(conn_, nullptr);
        conn_->connected = 1;
    }
    void TearDown() override
    {
        irc_receive_line = saved_;
        conn_free(conn_);
    }
    void (*saved_)(const std::string&, Connection*) = nullptr;
    Connection* conn_ = nullptr;
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
        g_lines.clear();
        conn_->recv_line.clear();
        conn_->line_length = 0;
        conn_->line_overflow = 0;
        for (const std::string& r : c.reads)
            ASSERT_EQ(irc_frame_bytes(conn_, r.data(), r.size()), 1);
        EXPECT_EQ(g_lines, c.lines);
        EXPECT_EQ(conn_->recv_line, c.pending);
        EXPECT_LE(conn_->recv_line.size(), static_cast<std::size_t>(kRecvLineCut));
    }
}

// A line whose handling drops the link stops the framing at once: the lines
// after it in the same read are not dispatched.
TEST_F(ReceiveFraming, StopsWhenTheLinkDropsDuringADispatch)
{
    g_stop_after = 2;
    std::string data = "A\r\nB\r\nC\r\nD\r\n";
    EXPECT_EQ(irc_frame_bytes(conn_, data.data(), data.size()), 0);
    EXPECT_EQ(g_lines, (std::vector<std::string>{"A", "B"}));
}

} // namespace
