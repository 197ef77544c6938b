// The DCC request reader and the acknowledgement words: what peers put on
// the wire is read whole, and what a hostile peer sends is refused with the
// fault that names it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dcc/dcc_wire.h"

namespace {

struct OfferCase {
    const char* text;
    int kind;
    int fault;
    const char* file;      // the safe name (SEND)
    const char* offered;   // the name as offered
    const char* address;   // dotted (SEND)
    int port;
    long long size;        // SEND size, RESUME/ACCEPT position
    int token;
};

const std::vector<OfferCase> kOffers = {
    // What peers send.
    {"DCC SEND file.txt 2130706433 5000 1234", kDccOfferSend, kDccOfferOk, "file.txt", "file.txt", "127.0.0.1", 5000, 1234, 0},
    {"DCC SEND \"my file.txt\" 3232235777 5000 1234", kDccOfferSend, kDccOfferOk, "my file.txt", "my file.txt", "192.168.1.1", 5000, 1234, 0},
    {"DCC TSEND file.txt 2130706433 5000 1234", kDccOfferSend, kDccOfferOk, "file.txt", "file.txt", "127.0.0.1", 5000, 1234, 0},
    {"dcc send empty 2130706433 1024 0", kDccOfferSend, kDccOfferOk, "empty", "empty", "127.0.0.1", 1024, 0, 0},
    {"DCC SEND nosize 2130706433 5000", kDccOfferSend, kDccOfferOk, "nosize", "nosize", "127.0.0.1", 5000, -1, 0},
    {"DCC SEND big.iso 2130706433 5000 5000000000", kDccOfferSend, kDccOfferOk, "big.iso", "big.iso", "127.0.0.1", 5000, 5000000000LL, 0},
    {"DCC SEND x 2130706433 5000 12.9", kDccOfferSend, kDccOfferOk, "x", "x", "127.0.0.1", 5000, 12, 0},
    {"DCC SEND p.bin 16843009 0 300 42", kDccOfferSend, kDccOfferOk, "p.bin", "p.bin", "1.1.1.1", 0, 300, 42},
    {"DCC SEND  spaced   2130706433   5000  7", kDccOfferSend, kDccOfferOk, "spaced", "spaced", "127.0.0.1", 5000, 7, 0},
    {"DCC SEND a 4294967295 65535 1", kDccOfferSend, kDccOfferOk, "a", "a", "255.255.255.255", 65535, 1, 0},
    // Names that try to leave the folder or hide.
    {"DCC SEND ..\\..\\notes.txt 2130706433 5000", kDccOfferSend, kDccOfferOk, "notes.txt", "..\\..\\notes.txt", "127.0.0.1", 5000, -1, 0},
    {"DCC SEND ../../etc/passwd 2130706433 5000 1", kDccOfferSend, kDccOfferOk, "passwd", "../../etc/passwd", "127.0.0.1", 5000, 1, 0},
    {"DCC SEND .bashrc 2130706433 5000 1", kDccOfferSend, kDccOfferOk, "_bashrc", ".bashrc", "127.0.0.1", 5000, 1, 0},
    {"DCC SEND \"a\x01" "b|c.txt\" 2130706433 5000 1", kDccOfferSend, kDccOfferOk, "a_b_c.txt", "a\x01" "b|c.txt", "127.0.0.1", 5000, 1, 0},
    {"DCC SEND .. 2130706433 5000 1", kDccOfferSend, kDccOfferOk, "_", "..", "127.0.0.1", 5000, 1, 0},
    {"DCC SEND ../ 2130706433 5000 1", kDccOfferSend, kDccOfferBadName, "", "../", "", 0, -1, 0},
    {"DCC SEND nul 2130706433 5000 1", kDccOfferSend, kDccOfferBadName, "", "nul", "", 0, -1, 0},
    // Malformed numbers and words.
    {"DCC SEND", kDccOfferSend, kDccOfferMalformed, "", "", "", 0, -1, 0},
    {"DCC SEND file.txt 2130706433", kDccOfferSend, kDccOfferMalformed, "", "file.txt", "", 0, -1, 0},
    {"DCC SEND file.txt localhost 5000 1", kDccOfferSend, kDccOfferMalformed, "file.txt", "file.txt", "", 0, -1, 0},
    {"DCC SEND file.txt 4294967296 5000 1", kDccOfferSend, kDccOfferMalformed, "file.txt", "file.txt", "", 0, -1, 0},
    {"DCC SEND file.txt -1 5000 1", kDccOfferSend, kDccOfferMalformed, "file.txt", "file.txt", "", 0, -1, 0},
    {"DCC SEND file.txt 2130706433 19 1", kDccOfferSend, kDccOfferBadPort, "file.txt", "file.txt", "127.0.0.1", 0, -1, 0},
    {"DCC SEND file.txt 2130706433 65555 1", kDccOfferSend, kDccOfferBadPort, "file.txt", "file.txt", "127.0.0.1", 0, -1, 0},
    {"DCC SEND file.txt 2130706433 -5 1", kDccOfferSend, kDccOfferBadPort, "file.txt", "file.txt", "127.0.0.1", 0, -1, 0},
    {"DCC SEND file.txt 2130706433 0 1", kDccOfferSend, kDccOfferBadPort, "file.txt", "file.txt", "127.0.0.1", 0, 1, 0},
    {"DCC SEND file.txt 2130706433 5000 -1", kDccOfferSend, kDccOfferBadSize, "file.txt", "file.txt", "127.0.0.1", 5000, -1, 0},
    {"DCC SEND file.txt 2130706433 5000 1e9", kDccOfferSend, kDccOfferBadSize, "file.txt", "file.txt", "127.0.0.1", 5000, -1, 0},
    {"DCC SEND file.txt 2130706433 5000 99999999999999999999", kDccOfferSend, kDccOfferBadSize, "file.txt", "file.txt", "127.0.0.1", 5000, -1, 0},
    {"DCC SEND file.txt 2130706433 5000 9223372036854775808", kDccOfferSend, kDccOfferBadSize, "file.txt", "file.txt", "127.0.0.1", 5000, -1, 0},
    {"DCC SEND file.txt 2130706433 5000 9223372036854775807", kDccOfferSend, kDccOfferOk, "file.txt", "file.txt", "127.0.0.1", 5000, 9223372036854775807LL, 0},
    {"DCC SEND \"never closed 2130706433 5000 1", kDccOfferSend, kDccOfferMalformed, "", "", "", 0, -1, 0},
    // Resume and accept.
    {"DCC RESUME file.txt 5000 1000", kDccOfferResume, kDccOfferOk, "", "file.txt", "", 5000, 1000, 0},
    {"DCC RESUME \"my file.txt\" 0 8192 7", kDccOfferResume, kDccOfferOk, "", "my file.txt", "", 0, 8192, 7},
    {"DCC RESUME file.txt 5000 6000000000", kDccOfferResume, kDccOfferOk, "", "file.txt", "", 5000, 6000000000LL, 0},
    {"DCC RESUME file.txt 5000 -1", kDccOfferResume, kDccOfferBadSize, "", "file.txt", "", 5000, -1, 0},
    {"DCC RESUME file.txt 5000", kDccOfferResume, kDccOfferMalformed, "", "file.txt", "", 0, -1, 0},
    {"DCC ACCEPT \"file.txt\" 5000 1000", kDccOfferAccept, kDccOfferOk, "", "file.txt", "", 5000, 1000, 0},
    {"DCC ACCEPT file.txt 70000 1000", kDccOfferAccept, kDccOfferBadPort, "", "file.txt", "", 0, -1, 0},
    // Not ours.
    {"DCC CHAT chat 2130706433 5000", kDccOfferNone, kDccOfferOk, "", "", "", 0, -1, 0},
    {"VERSION", kDccOfferNone, kDccOfferOk, "", "", "", 0, -1, 0},
};

TEST(DccOfferReader, ReadsWhatPeersSendAndRefusesWhatNoTransferCanUse)
{
    for (const OfferCase& c : kOffers) {
        SCOPED_TRACE(c.text);
        DccOffer o = dcc_parse_offer(c.text);
        EXPECT_EQ(o.kind, c.kind);
        EXPECT_EQ(o.fault, c.fault);
        if (o.kind == kDccOfferNone)
            continue;
        EXPECT_EQ(o.offered_name, c.offered);
        if (c.fault != kDccOfferOk && c.fault != kDccOfferBadSize)
            continue;
        EXPECT_EQ(o.file, c.file);
        EXPECT_EQ(o.address_text, c.address);
        EXPECT_EQ(o.port, c.port);
        if (c.fault == kDccOfferOk) {
            EXPECT_EQ(o.size, c.size);
            EXPECT_EQ(o.token, c.token);
        }
    }
}

TEST(DccOfferReader, LongNamesAreRefusedAtTheLimitAndQuotedNamesJoinAtMostFiftyWords)
{
    const std::string at_limit(kDccNameMax, 'a');
    EXPECT_EQ(dcc_parse_offer("DCC SEND " + at_limit + " 2130706433 5000 1").fault, kDccOfferOk);
    const std::string over(kDccNameMax + 1, 'a');
    EXPECT_EQ(dcc_parse_offer("DCC SEND " + over + " 2130706433 5000 1").fault, kDccOfferMalformed);
    EXPECT_EQ(dcc_parse_offer("DCC SEND " + std::string(5000, 'x') + " 2130706433 5000 1").fault,
              kDccOfferMalformed);

    std::string words = "\"w";
    for (int i = 3; i < kDccQuoteLastWord; ++i)
        words += " w";
    DccOffer inside = dcc_parse_offer("DCC SEND " + words + " w\" 2130706433 5000 1");
    EXPECT_EQ(inside.fault, kDccOfferOk);
    EXPECT_EQ(inside.port, 5000);
    DccOffer beyond = dcc_parse_offer("DCC SEND " + words + " w w\" 2130706433 5000 1");
    EXPECT_EQ(beyond.fault, kDccOfferMalformed);
}

TEST(DccOfferWriter, WritesNamesSizesAndTokensAsPeersReadThem)
{
    EXPECT_EQ(dcc_offer_name("my file.txt", true), "my_file.txt");
    EXPECT_EQ(dcc_offer_name("my file.txt", false), "\"my file.txt\"");
    EXPECT_EQ(dcc_offer_name("plain.txt", false), "plain.txt");
    EXPECT_EQ(dcc_send_offer_text("a.bin", 3232235778u, 5000, 5000000000LL, 0),
              "DCC SEND a.bin 3232235778 5000 5000000000");
    EXPECT_EQ(dcc_send_offer_text("a.bin", 4294967295u, 0, 0, 12), "DCC SEND a.bin 4294967295 0 0 12");
    EXPECT_EQ(dcc_resume_text("RESUME", "a b", 5000, 8192, 0), "DCC RESUME \"a b\" 5000 8192");
    EXPECT_EQ(dcc_resume_text("ACCEPT", "a", 0, 6000000000LL, 9), "DCC ACCEPT \"a\" 0 6000000000 9");
    // What the writer writes, the reader reads back.
    DccOffer back = dcc_parse_offer(dcc_send_offer_text("\"a b\"", 2130706433u, 0, 5000000000LL, 77));
    EXPECT_EQ(back.fault, kDccOfferOk);
    EXPECT_EQ(back.file, "a b");
    EXPECT_EQ(back.size, 5000000000LL);
    EXPECT_TRUE(back.passive());
}

TEST(DccAckWords, WidthFollowsTheSizeAtTheFourGibibyteBoundary)
{
    EXPECT_EQ(dcc_ack_width(-1), 4);
    EXPECT_EQ(dcc_ack_width(0), 4);
    EXPECT_EQ(dcc_ack_width(4294967295LL), 4);
    EXPECT_EQ(dcc_ack_width(4294967296LL), 8);
    unsigned char b[8];
    dcc_ack_encode(0x0102030405060708LL, 8, b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 8), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    dcc_ack_encode(0x1FFFFFFFELL, 4, b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 4), std::string("\xFF\xFF\xFF\xFE", 4));
}

struct AckCase {
    int width;
    std::vector<std::string> reads;
    int words;
    long long last;
};

TEST(DccAckWords, WordsSplitAcrossReadsAreJoinedBeforeTheyAreRead)
{
    const std::vector<AckCase> cases = {
        {4, {std::string("\x00\x00\x10\x00", 4)}, 1, 4096},
        {4, {std::string("\x00", 1), std::string("\x00\x10", 2), std::string("\x00", 1)}, 1, 4096},
        {4, {std::string("\x00\x00\x10\x00\x00\x00", 6)}, 1, 4096},
        {4, {std::string("\x00\x00\x10\x00\x00\x00", 6), std::string("\x20\x00", 2)}, 2, 8192},
        {4, {std::string("\xFF\xFF\xFF\xFF", 4)}, 1, 4294967295LL},
        {8, {std::string("\x00\x00\x00\x01", 4), std::string("\x00\x00\x00\x00", 4)}, 1, 4294967296LL},
        {8, {std::string("\x00\x00\x00\x01\x2A\x05\xF2", 7), std::string("\x00", 1)}, 1, 5000000000LL},
        {4, {std::string("\x00\x00\x10", 3)}, 0, -7},
        {4, {std::string()}, 0, -7},
    };
    for (const AckCase& c : cases) {
        SCOPED_TRACE(c.width);
        SCOPED_TRACE(c.last);
        DccAckReader r;
        r.width = c.width;
        std::int64_t last = -7;
        int words = 0;
        for (const std::string& part : c.reads)
            words += r.feed(part.data(), part.size(), last);
        EXPECT_EQ(words, c.words);
        EXPECT_EQ(last, c.last);
    }
}

}  // namespace
