// Outgoing lines re-encoded by the font settings of the window they go to:
// real channel, query and status windows of a live connection, the server's
// CHARSET token from its own 005 line, and the font settings of a target
// without a window read from the settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "display/fonts.h"
#include "irc/link/outgoing_charset.h"
#include "messages_fixture.h"
#include "support/test_support.h"

namespace {

using chat_test::ChatTest;

class OutgoingCharset : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        saved_target_font_ = outgoing_target_font;
        outgoing_target_font = font_of_target;
    }
    void TearDown() override
    {
        outgoing_target_font = saved_target_font_;
        ChatTest::TearDown();
    }

    // The server's CHARSET token, as its 005 line gives it.
    void server_charset(const std::string& value) { feed(":srv 005 me CHARSET=" + value + " :are supported"); }

    // A channel window with the font charset and encoding mode.
    WindowRecord* channel(const std::string& name, int charset, int encoding)
    {
        WindowRecord* rec = open(name, kWinChannel, 0);
        if (rec) {
            rec->font_charset = charset;
            rec->font_encoding = encoding;
        }
        return rec;
    }

    int encode(WindowRecord* window, std::string& line, int flags)
    {
        return charset_encode_outgoing(window, conn, line, flags);
    }

    void (*saved_target_font_)(Connection*, const std::string&, int*, int*) = nullptr;
};

TEST_F(OutgoingCharset, ServerLinesByTargetWindow)
{
    // "#k" + dotless i in 1254: the channel name itself holds a code-page byte.
    const std::string chan = "#k\xFD";
    ASSERT_TRUE(channel(chan, 162, 2));
    ASSERT_TRUE(channel("#plain", 162, 0));
    struct Case {
        const char* name;
        std::string server_charset;
        std::string line;
        int result;
        std::string expected;
    };
    // The server's CHARSET: "ascii" is one that takes neither UTF-8 nor JIS.
    const Case cases[] = {
        {"message part only", "ascii", "PRIVMSG " + chan + " :\xE7" "ay", 0, "PRIVMSG " + chan + " :\xC3\xA7" "ay"},
        {"lower-case command, leading blanks", "ascii", "  privmsg " + chan + " :\xFD", 0,
         "  privmsg " + chan + " :\xC4\xB1"},
        {"server takes UTF-8: whole line", "UTF-8", "PRIVMSG " + chan + " :\xE7", 0,
         "PRIVMSG #k\xC4\xB1 :\xC3\xA7"},
        {"target cut at its comma", "ascii", "NOTICE " + chan + ",#other :\xFD", 0, "NOTICE " + chan + ",#other :\xC4\xB1"},
        {"KICK reason", "ascii", "KICK " + chan + " nick :\xFD", 0, "KICK " + chan + " nick :\xC4\xB1"},
        {"window without UTF-8 sending", "ascii", "PRIVMSG #plain :\xFD", -1, "PRIVMSG #plain :\xFD"},
        {"JOIN is not converted", "ascii", "JOIN " + chan, -1, "JOIN " + chan},
        {"no message part", "ascii", "PRIVMSG " + chan + " \xFD", -1, "PRIVMSG " + chan + " \xFD"},
        {"nothing after the target", "ascii", "PRIVMSG " + chan, -1, "PRIVMSG " + chan},
        {"no target at all", "ascii", "PRIVMSG ", -1, "PRIVMSG "},
        {"empty line", "ascii", "", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server_charset(c.server_charset);
        std::string line = c.line;
        EXPECT_EQ(encode(nullptr, line, kEncodeUtf8 | kEncodeIrcMessage), c.result);
        EXPECT_EQ(line, c.expected);
    }
}

// A channel window of another connection does not decide for this one.
TEST_F(OutgoingCharset, AnotherConnectionsWindowDoesNotDecide)
{
    Connection* other = conn_new_with_status(conn_list);
    ASSERT_NE(other, nullptr);
    chat_test::pump();
    WindowOpenRequest request;
    request.name = "#t";
    request.type = kWinChannel;
    request.conn = other;
    WindowRecord* theirs = win_record_of(win_open(request));
    chat_test::pump();
    ASSERT_TRUE(theirs);
    ASSERT_EQ(theirs->conn, other);
    theirs->font_charset = 162;
    theirs->font_encoding = 2;
    std::string line = "PRIVMSG #t :\xFD";
    EXPECT_EQ(encode(nullptr, line, 5), -1);
    EXPECT_EQ(line, "PRIVMSG #t :\xFD");
}

TEST_F(OutgoingCharset, TargetsWithoutWindowsAndTheStatusWindow)
{
    // A target with no window: the font settings it would have.
    std::string line = "PRIVMSG nick :\xFD";
    EXPECT_EQ(encode(nullptr, line, 5), -1);
    ini_write("fonts", "fnick", "Arial,12,162,2", main_ini_path);
    EXPECT_EQ(encode(nullptr, line, 5), 0);
    EXPECT_EQ(line, "PRIVMSG nick :\xC4\xB1");
    // Without the fonts' answer such a target has the default settings.
    outgoing_target_font = nullptr;
    line = "PRIVMSG nick :\xFD";
    EXPECT_EQ(encode(nullptr, line, 5), -1);
    outgoing_target_font = font_of_target;

    // No target: the status window decides.
    line = "AWAY :\xFD";
    EXPECT_EQ(encode(nullptr, line, 5), -1);
    WindowRecord* st = status();
    ASSERT_TRUE(st);
    st->font_charset = 162;
    st->font_encoding = 2;
    EXPECT_EQ(encode(nullptr, line, 5), 0);
    EXPECT_EQ(line, "AWAY :\xC4\xB1");
}

// A line given its window (as DCC chat sends) is decided by that window.
TEST_F(OutgoingCharset, LinesGivenTheirWindow)
{
    WindowRecord* a = open("nick", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(a);
    a->font_charset = 162;
    a->font_encoding = 2;
    std::string line = "merhaba d\xFDnya";
    EXPECT_EQ(encode(a, line, 1), 0);
    EXPECT_EQ(line, "merhaba d\xC4\xB1nya");
    // A record that is no window.
    WindowRecord loose;
    loose.font_charset = 162;
    loose.font_encoding = 2;
    line = "d\xFDnya";
    EXPECT_EQ(encode(&loose, line, 1), -1);
    EXPECT_EQ(line, "d\xFDnya");
}

TEST_F(OutgoingCharset, JisConversions)
{
    const std::string nihon = "\x93\xFA\x96\x7B";
    const std::string jis = "\x1b$BF|K\\\x1b(B";
    std::string line = "PRIVMSG #j :" + nihon;

    // Bit 8 without bit 2: nothing asked.
    EXPECT_EQ(encode(nullptr, line, kEncodeJisAnyWindow | kEncodeIrcMessage), 0);
    EXPECT_EQ(line, "PRIVMSG #j :" + nihon);
    // Flags 14 with no Shift-JIS window anywhere.
    EXPECT_EQ(encode(nullptr, line, 14), -1);
    EXPECT_EQ(line, "PRIVMSG #j :" + nihon);
    WindowRecord* j = channel("#j", 128, 0);
    ASSERT_TRUE(j);
    EXPECT_EQ(encode(nullptr, line, 14), 0);
    EXPECT_EQ(line, "PRIVMSG #j :" + jis);

    // A line given its window (flags 10, as DCC chat sends): only a Shift-JIS
    // window converts.
    j->font_charset = 162;
    WindowRecord* a = open("a", kWinQuery, kQueryPrivate);
    WindowRecord* b = open("b", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(a && b);
    a->font_charset = 128;
    b->font_charset = 162;
    std::string chat = nihon;
    EXPECT_EQ(encode(b, chat, 10), -1);
    EXPECT_EQ(chat, nihon);
    EXPECT_EQ(encode(a, chat, 10), 0);
    EXPECT_EQ(chat, jis);

    // Bit 2 with an IRC line and a Shift-JIS target window: message part only,
    // unless the server says it takes JIS.
    j->font_charset = 128;
    line = "PRIVMSG #j :" + nihon;
    EXPECT_EQ(encode(nullptr, line, kEncodeJis | kEncodeIrcMessage), 0);
    EXPECT_EQ(line, "PRIVMSG #j :" + jis);
    server_charset("iso-2022-jp");
    line = "PRIVMSG #j :" + nihon;
    EXPECT_EQ(encode(nullptr, line, kEncodeJis | kEncodeIrcMessage), 0);
    EXPECT_EQ(line, "PRIVMSG #j :" + jis);
}

TEST_F(OutgoingCharset, RebuiltLineMustStayUnderTheLimit)
{
    ASSERT_TRUE(channel("#a", 0, 2));
    // 2070 bytes of 1252 e-acute become 4140 bytes of UTF-8: the message
    // converts, but with its 12-byte head the line would pass the limit.
    std::string line = "PRIVMSG #a :" + std::string(2070, '\xE9');
    const std::string before = line;
    EXPECT_EQ(encode(nullptr, line, 5), -1);
    EXPECT_EQ(line, before);
}

// Whatever bytes a line holds, both passes of the send path stay within the
// line limit, for a UTF-8 window and a Shift-JIS one, and without a
// connection.
TEST_F(OutgoingCharset, HostileLinesStayInBounds)
{
    ASSERT_TRUE(channel("#x", 162, 2));
    ASSERT_TRUE(channel("#y", 128, 0));
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> length(0, 200);
    for (int round = 0; round < 500; ++round) {
        std::string text(round % 50 == 0 ? 4000 : length(rng), '\0');
        for (char& c : text)
            c = static_cast<char>(byte(rng));
        for (const char* target : {"#x", "#y", "nobody"}) {
            std::string line = std::string("PRIVMSG ") + target + " :" + text;
            charset_encode_outgoing(nullptr, conn, line, 5);
            charset_encode_outgoing(nullptr, conn, line, 14);
            ASSERT_LE(line.size(), std::max(kLongText, text.size() + 20));
            std::string loose = line;
            charset_encode_outgoing(nullptr, nullptr, loose, 5);
            charset_encode_outgoing(nullptr, nullptr, loose, 14);
        }
    }
}

}  // namespace
