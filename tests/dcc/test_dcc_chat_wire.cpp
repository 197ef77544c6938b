// What a chat peer or a DCC-server caller sends, read byte by byte: lines,
// offers, request lines and the server's settings. Nothing a peer sends
// grows without bound or is read past its checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dcc/dcc_chat.h"
#include "dcc/dcc_engine.h"
#include "dcc/dcc_server.h"

namespace {

std::vector<std::string> feed_all(DccLineReader& r, const std::string& bytes, std::size_t chunk)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
        r.feed(bytes.data() + i, std::min(chunk, bytes.size() - i), [&](const std::string& l) {
            out.push_back(l);
            return true;
        });
    return out;
}

}  // namespace

TEST(DccLineReader, LinesAcrossReadsOfAnyLength)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
        std::string rest;
    } cases[] = {
        {"plain", "hello\nworld\n", {"hello", "world"}, ""},
        {"crlf and tabs dropped", "a\tb\r\nc\r\n", {"ab", "c"}, ""},
        {"no line end yet", "partial", {}, "partial"},
        {"empty lines handed on", "\n\nx\n", {"", "", "x"}, ""},
        {"binary kept", std::string("\x01\x02\xff\x00z\n", 6), {std::string("\x01\x02\xff\x00z", 5)}, ""},
        {"action", "\x01" "ACTION waves\x01\n", {"\x01" "ACTION waves\x01"}, ""},
    };
    for (const Case& c : cases) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
            SCOPED_TRACE(std::string(c.name) + " chunk " + std::to_string(chunk));
            DccLineReader r;
            EXPECT_EQ(feed_all(r, c.bytes, chunk), c.lines);
            EXPECT_EQ(r.line, c.rest);
        }
    }
}

TEST(DccLineReader, LongLinesAreCutAtTheUsableLength)
{
    // Exactly 4,150 characters wait for the next character; the 4,151st
    // hands the line on whole.
    DccLineReader r;
    const std::string exact(kChatLineMax, 'a');
    EXPECT_TRUE(feed_all(r, exact, 1000).empty());
    EXPECT_EQ(r.line.size(), kChatLineMax);
    std::vector<std::string> got = feed_all(r, "b", 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], exact + "b");
    EXPECT_TRUE(r.line.empty());

    // Ten megabytes without a line end: cut into bounded lines, never held
    // whole.
    DccLineReader flood;
    const std::string big(10 * 1024 * 1024, 'z');
    std::size_t count = 0, longest = 0;
    for (std::size_t i = 0; i < big.size(); i += kChatLineMax)
        flood.feed(big.data() + i, std::min(kChatLineMax, big.size() - i), [&](const std::string& l) {
            ++count;
            longest = std::max(longest, l.size());
            return true;
        });
    EXPECT_EQ(longest, kChatLineMax + 1);
    EXPECT_EQ(count, big.size() / (kChatLineMax + 1));
    EXPECT_LE(flood.line.size(), kChatLineMax);
}

TEST(DccLineReader, StopsWhenTheSessionGoes)
{
    DccLineReader r;
    int seen = 0;
    const std::string bytes = "one\ntwo\nthree\n";
    EXPECT_FALSE(r.feed(bytes.data(), bytes.size(), [&](const std::string&) { return ++seen < 2; }));
    EXPECT_EQ(seen, 2);
}

TEST(DccChatOffer, OffersAreReadOrRefused)
{
    struct Case {
        const char* text;
        bool ok;
        const char* ip;
        int port;
        int token;
    } cases[] = {
        {"DCC CHAT chat 2130706433 5000", true, "127.0.0.1", 5000, 0},
        {"dcc chat CHAT 2130706433 65535", true, "127.0.0.1", 65535, 0},
        {"DCC CHAT chat 127.0.0.1 1", true, "127.0.0.1", 1, 0},
        {"DCC CHAT chat 2130706433 0 77", true, "127.0.0.1", 0, 77},   // passive
        {"DCC CHAT chat 2130706433 4000 77", true, "127.0.0.1", 4000, 77},  // reply to a passive offer
        {"DCC CHAT chat 2130706433 19", false, "", 0, 0},              // the chargen port
        {"DCC CHAT chat 2130706433 0", false, "", 0, 0},               // no port, no token
        {"DCC CHAT chat 2130706433 65536", false, "", 0, 0},
        {"DCC CHAT chat 4294967296 5000", false, "", 0, 0},            // beyond 32 bits
        {"DCC CHAT chat -1 5000", false, "", 0, 0},
        {"DCC CHAT chat host.example 5000", false, "", 0, 0},
        {"DCC CHAT chat 2130706433 50x0", false, "", 0, 0},
        {"DCC CHAT chat 2130706433 5000 tok", false, "", 0, 0},
        {"DCC CHAT chat 2130706433", false, "", 0, 0},
        {"DCC CHAT", false, "", 0, 0},
        {"DCC SEND chat 2130706433 5000", false, "", 0, 0},
        {"", false, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DccChatOffer o = dccchat_parse_offer(c.text);
        EXPECT_EQ(o.ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(o.ip, c.ip);
            EXPECT_EQ(o.port, c.port);
            EXPECT_EQ(o.token, c.token);
        }
    }
    // A long run of garbage words is refused without reading it all.
    EXPECT_FALSE(dccchat_parse_offer("DCC CHAT chat " + std::string(100000, '9') + " 5").ok);
}

TEST(DccServerLines, RequestLinesAndTheirChecks)
{
    struct Case {
        std::string line;
        bool ok;
        int number;
        const char* nick;
        const char* rest;
    } cases[] = {
        {"100 alice\n", true, 100, "alice", ""},
        {"110 bob\r\n", true, 110, "bob", ""},
        {"  120   carol 12345 my file.txt\n", true, 120, "carol", "12345 my file.txt"},
        {"130 d.v|x folder\\f.txt\n", true, 130, "d_v_x", "folder\\f.txt"},  // odd characters made '_'
        {"101 [srv]^_`{}()-\n", true, 101, "[srv]^_`{}()-", ""},
        {"100\n", false, 0, "", ""},                  // no nick
        {"100 \n", false, 0, "", ""},
        {"\r\n", false, 0, "", ""},
        {"", false, 0, "", ""},
        {"abc alice\n", false, 0, "", ""},            // no number
        {"1x0 alice\n", false, 0, "", ""},
        {"99999999999 alice\n", false, 0, "", ""},
        {"100 " + std::string(256, 'n') + "\n", false, 0, "", ""},  // nick too long
        {"100 " + std::string(255, 'n') + "\n", true, 100, "", ""},
        {std::string("\x16\x03\x01\x02\x00", 5), false, 0, "", ""},  // a TLS hello, not a request
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        DccServerRequest r;
        EXPECT_EQ(dccserver_parse_request(c.line, r), c.ok);
        if (c.ok) {
            EXPECT_EQ(r.number, c.number);
            if (*c.nick) {
                EXPECT_EQ(r.nick, c.nick);
            }
            EXPECT_EQ(r.rest, c.rest);
        }
    }
}

TEST(DccServerLines, FileNamesLoseTheirFolders)
{
    struct Case {
        const char* given;
        const char* name;  // empty: refused
    } cases[] = {
        {"song.mp3", "song.mp3"},
        {"c:\\music\\song.mp3", "song.mp3"},
        {"../../etc/passwd", "passwd"},
        {"dir/", ""},
        {"..", ""},
        {"nul", ""},
    };
    for (const Case& c : cases) {
        std::string n = c.given;
        const bool ok = dccserver_check_file_name(n);
        EXPECT_EQ(ok, *c.name != '\0') << c.given;
        if (ok) {
            EXPECT_EQ(n, c.name) << c.given;
        }
    }
}

TEST(DccServerSettingsText, ReadAndWrittenInOrder)
{
    DccServerSettings s;
    EXPECT_EQ(dccserver_settings_text(s), "0,59,1,1,1,1");
    s = dccserver_settings_from("1,5959,0,1,0,1");
    EXPECT_EQ(s.enabled, 1);
    EXPECT_EQ(s.port, 5959);
    EXPECT_EQ(s.sends, 0);
    EXPECT_EQ(s.fserve, 0);
    EXPECT_EQ(dccserver_settings_text(s), "1,5959,0,1,0,1");
    // Missing and bad values keep their defaults; the port stays 16 bits.
    s = dccserver_settings_from("1,x");
    EXPECT_EQ(s.port, 59);
    EXPECT_EQ(s.chats, 1);
    s = dccserver_settings_from("0,65537");
    EXPECT_EQ(s.port, 1);
    s = dccserver_settings_from("");
    EXPECT_EQ(dccserver_settings_text(s), "0,59,1,1,1,1");
}

TEST(DccServerLines, SendTargetsNameAnAddressAndAPort)
{
    struct Case {
        std::string text;
        int ok;
        std::string nick;
        std::string address;
        int port;
    } cases[] = {
        {"10.0.0.5", 1, "10.0.0.5", "10.0.0.5", 59},
        {"friend 10.0.0.5:6000", 1, "friend", "10.0.0.5", 6000},
        {"10.0.0.5:6000 friend", 1, "friend", "10.0.0.5", 6000},
        {"  friend   host.example.org:1", 1, "friend", "host.example.org", 1},
        {"host.example.org:65535", 1, "host.example.org", "host.example.org", 65535},
        {"friend 10.0.0.5:65536", 0, "", "", 0},
        {"friend 10.0.0.5:0", 0, "", "", 0},
        {"friend 10.0.0.5:", 0, "", "", 0},
        {"friend 10.0.0.5:-1", 0, "", "", 0},
        {"friend 10.0.0.5:80x", 0, "", "", 0},
        {"friend other", 0, "", "", 0},
        {"", 0, "", "", 0},
        {"x " + std::string(300, 'a') + ".org", 0, "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        std::string nick = "unchanged", address;
        int port = -1;
        EXPECT_EQ(dccsend_server_target(c.text, nick, address, port), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(nick, c.nick);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(port, c.port);
    }
}
