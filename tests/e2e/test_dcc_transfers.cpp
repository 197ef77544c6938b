// Whole-program tests of DCC file transfers: the program on a private IRC
// server, a control peer that has it run commands, and a peer that offers
// and takes files over real loopback sockets, the way other clients put
// them on the wire (unquoted names, empty files, passive offers with a
// token, RESUME and ACCEPT). Files are compared by SHA-256.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "e2e/net_support.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestbot";
const char* const kRunScript = "on *:TEXT:run *:#ctl:if ($nick == ctl) $2-\n";

std::string sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 255u);
    return s;
}

// A raw TCP socket with bounded waits.
struct Sock {
    int fd = -1;
    ~Sock() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool wait(short events, int ms)
    {
        pollfd p{fd, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    bool connect_to(int port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    // Listens on a free loopback port; returns it.
    int listen_any()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0)
            return 0;
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        return ntohs(a.sin_port);
    }
    bool accept_from(Sock& listener, int ms = kWaitMs)
    {
        if (!listener.wait(POLLIN, ms))
            return false;
        fd = ::accept(listener.fd, nullptr, nullptr);
        return fd >= 0;
    }
    bool send_all(const char* p, std::size_t n, int ms = kWaitMs)
    {
        while (n > 0) {
            if (!wait(POLLOUT, ms))
                return false;
            ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
            if (w <= 0)
                return false;
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }
};

// Receives a file as a DCC receiver does: acknowledges the total after
// every read with a 4-byte word, until `size` bytes came or the sender
// closed.
std::string receive_file(Sock& s, std::int64_t size, std::int64_t start = 0)
{
    std::string got;
    char buf[65536];
    while (static_cast<std::int64_t>(got.size()) + start < size && s.wait(POLLIN, kWaitMs)) {
        ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
        uint32_t ack = htonl(static_cast<uint32_t>(start + static_cast<std::int64_t>(got.size())));
        s.send_all(reinterpret_cast<const char*>(&ack), 4);
    }
    return got;
}

// Sends a file as a DCC sender does and reads the acknowledgements until
// the last one names the whole size. Returns the last acknowledgement.
std::int64_t send_file(Sock& s, const std::string& bytes, std::int64_t start = 0)
{
    if (!s.send_all(bytes.data() + start, bytes.size() - static_cast<std::size_t>(start)))
        return -1;
    std::string acks;
    std::int64_t last = -1;
    while (last < static_cast<std::int64_t>(bytes.size()) && s.wait(POLLIN, kWaitMs)) {
        char buf[64];
        ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        acks.append(buf, static_cast<std::size_t>(n));
        while (acks.size() >= 4) {
            uint32_t v;
            std::memcpy(&v, acks.data(), 4);
            last = ntohl(v);
            acks.erase(0, 4);
        }
    }
    return last;
}

bool wait_in_channel(Peer& peer, const std::string& channel, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const std::regex re("(^| )[~&@%+]*" + channel + "( |$)");
    while (Clock::now() < end) {
        peer.send_line(std::string("WHOIS ") + kMe);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (319|318|401) " + peer.nick + " ", 3000, &l) && l.command == "319")
            if (!l.params.empty() && std::regex_search(l.params.back(), re))
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// The words of a CTCP DCC line the program sent to the peer.
std::vector<std::string> dcc_words(const IrcLine& l)
{
    std::string text = l.params.back();
    if (!text.empty() && text.front() == '\x01')
        text.erase(0, 1);
    if (!text.empty() && text.back() == '\x01')
        text.pop_back();
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t e = text.find(' ', i);
        if (e == std::string::npos)
            e = text.size();
        words.push_back(text.substr(i, e - i));
        i = e + 1;
    }
    return words;
}

struct DccE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(ctl.login(server.port(), "ctl")) << joined(ctl.history());
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }
    // Receive mode 1 (accept), the existing-file choice, passive offers.
    void start(int exists_choice = 2, bool passive = false)
    {
        kest.use_server(server.port());
        kest.set("options", "n0", option_line({{0, 1}, {14, 1}, {15, exists_choice}}));
        if (passive)
            kest.set("options", "n3", option_line({{36, 1}}));
        kest.log_status();
        kest.add_script("run.kst", kRunScript);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#ctl"}));
        ASSERT_TRUE(wait_in_channel(ctl, "#ctl")) << kest.output() << kest.status_log() << joined(ctl.history());
        ASSERT_TRUE(ctl.join("#ctl"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    void run(const std::string& command) { ctl.send_line("PRIVMSG #ctl :run " + command); }
    fs::path downloads() const { return kest.settings() / "downloads"; }
    // Waits for the status window's log to hold the text.
    bool status_says(const std::string& text, int ms = kWaitMs)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            if (kest.status_log().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The program's offer to the peer for /dcc send.
    bool offer_from_program(const fs::path& file, std::vector<std::string>& words)
    {
        run("dcc send -n peer " + file.string());
        IrcLine l;
        if (!peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :\x01" "DCC SEND ", kWaitMs, &l))
            return false;
        words = dcc_words(l);
        return true;
    }
    // Offers a file to the program.
    void offer(const std::string& text) { peer.send_line(std::string("PRIVMSG ") + kMe + " :\x01" + text + "\x01"); }

    IrcServer server;
    Peer ctl;
    Peer peer;
    KestProgram kest;
};

}  // namespace

TEST_F(DccE2e, SendsEmptyTinyAndLargeFilesWhoseEveryByteIsAcknowledged)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccsend");
    struct Case {
        const char* name;
        std::size_t size;
    } cases[] = {{"empty.bin", 0}, {"one.bin", 1}, {"large.bin", 3 * 1024 * 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = random_bytes(c.size, static_cast<unsigned>(c.size));
        const fs::path file = dir.path() / c.name;
        ASSERT_TRUE(write_file(file, bytes));
        std::vector<std::string> w;
        ASSERT_TRUE(offer_from_program(file, w)) << joined(peer.history());
        // DCC SEND name address port size: the name bare, the size whole.
        ASSERT_EQ(w.size(), 6u);
        EXPECT_EQ(w[2], c.name);
        EXPECT_EQ(w[3], "2130706433");
        EXPECT_EQ(w[5], std::to_string(c.size));
        Sock s;
        ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
        const std::string got = receive_file(s, static_cast<std::int64_t>(c.size));
        EXPECT_EQ(sha256(got), sha256(bytes));
        EXPECT_TRUE(status_says(std::string("* DCC Send: ") + c.name + " dosyası peer kullanıcısına gönderildi"))
            << kest.status_log();
    }
}

TEST_F(DccE2e, ASendWhoseReceiverClosesBeforeAcknowledgingEverythingFails)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccsend");
    const std::string bytes = random_bytes(200000, 7);
    ASSERT_TRUE(write_file(dir.path() / "half.bin", bytes));
    std::vector<std::string> w;
    ASSERT_TRUE(offer_from_program(dir.path() / "half.bin", w)) << joined(peer.history());
    Sock s;
    ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
    // Every byte is read but only half is acknowledged.
    std::string got;
    char buf[65536];
    while (got.size() < bytes.size() && s.wait(POLLIN, kWaitMs)) {
        ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    ASSERT_EQ(got.size(), bytes.size());
    uint32_t ack = htonl(100000);
    s.send_all(reinterpret_cast<const char*>(&ack), 4);
    s.close();
    EXPECT_TRUE(status_says("* DCC Send: half.bin dosyası peer kullanıcısına gönderilemedi")) << kest.status_log();
    EXPECT_EQ(kest.status_log().find("half.bin dosyası peer kullanıcısına gönderildi"), std::string::npos);
}

TEST_F(DccE2e, ReceivesOffersAsPeersWriteThemIntoTheDownloadFolder)
{
    ASSERT_NO_FATAL_FAILURE(start());
    struct Case {
        const char* offered;   // the name as the offer writes it
        const char* stored;    // where it lands in the download folder
        std::size_t size;
    } cases[] = {
        {"empty.txt", "empty.txt", 0},
        {"one.txt", "one.txt", 1},
        {"big.bin", "big.bin", 3 * 1024 * 1024},
        {"../../escape.txt", "escape.txt", 10},
        {".hidden", "_hidden", 10},
        {"\"with space.txt\"", "with space.txt", 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered);
        const std::string bytes = random_bytes(c.size, static_cast<unsigned>(c.size) + 3);
        Sock listener;
        const int port = listener.listen_any();
        ASSERT_GT(port, 0);
        offer("DCC SEND " + std::string(c.offered) + " 2130706433 " + std::to_string(port) + " " +
              std::to_string(c.size));
        Sock s;
        ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
        if (c.size > 0) {
            EXPECT_EQ(send_file(s, bytes), static_cast<std::int64_t>(c.size));
        }
        const fs::path stored = downloads() / c.stored;
        EXPECT_TRUE(status_says(std::string("* DCC Get: ") + c.stored + " dosyası peer kullanıcısından alındı"))
            << kest.status_log();
        EXPECT_EQ(sha256(read_file(stored)), sha256(bytes));
        EXPECT_TRUE(fs::exists(stored));
    }
    // Nothing was written outside the download folder.
    EXPECT_FALSE(fs::exists(kest.settings() / "escape.txt"));
    EXPECT_FALSE(fs::exists(kest.settings().parent_path() / "escape.txt"));
}

TEST_F(DccE2e, HostileOffersAreRefusedWithTheirOwnTextAndNothingIsWritten)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string refused = "DCC gönderim isteği peer (geçersiz parametre nedeniyle) reddedildi";
    const std::vector<std::string> offers = {
        "DCC SEND a.txt 2130706433 19 10",
        "DCC SEND a.txt 2130706433 70000 10",
        "DCC SEND a.txt 2130706433 0 10",
        "DCC SEND a.txt localhost 5000 10",
        "DCC SEND a.txt 2130706433 5000 -1",
        "DCC SEND a.txt 2130706433 5000 99999999999999999999999",
        "DCC SEND nul 2130706433 5000 10",
        "DCC SEND ",
    };
    for (const std::string& o : offers) {
        SCOPED_TRACE(o.substr(0, 60));
        const std::size_t before = kest.status_log().size();
        offer(o);
        auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
        bool seen = false;
        while (!seen && Clock::now() < end) {
            seen = kest.status_log().find(refused, before) != std::string::npos;
            if (!seen)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(seen) << kest.status_log();
    }
    // A flood of offers nobody serves (more than the queue holds): the
    // program keeps answering.
    for (int i = 0; i < 40; ++i)
        offer("DCC SEND flood" + std::to_string(i) + ".txt 2130706433 1 10");
    peer.send_line(std::string("PRIVMSG ") + kMe + " :\x01VERSION\x01");
    EXPECT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ NOTICE peer :\x01VERSION ", kWaitMs))
        << joined(peer.history());
    EXPECT_FALSE(fs::exists(downloads() / "a.txt"));
}

TEST_F(DccE2e, AnOfferWithoutSizeIsReceivedOnlyWhenTheSenderClosesCleanly)
{
    ASSERT_NO_FATAL_FAILURE(start());
    struct Case {
        const char* name;
        bool abort;
        const char* result;
    } cases[] = {
        {"clean.txt", false, "* DCC Get: clean.txt dosyası peer kullanıcısından alındı"},
        {"reset.txt", true, "* DCC Get: reset.txt dosyası peer kullanıcısından alınamadı"},
    };
    const std::string bytes = random_bytes(50000, 11);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sock listener;
        const int port = listener.listen_any();
        offer("DCC SEND " + std::string(c.name) + " 2130706433 " + std::to_string(port));
        Sock s;
        ASSERT_TRUE(s.accept_from(listener));
        ASSERT_TRUE(s.send_all(bytes.data(), bytes.size()));
        // Wait for the acknowledgement of the whole file, then close.
        std::int64_t last = 0;
        std::string acks;
        while (last < 50000 && s.wait(POLLIN, kWaitMs)) {
            char buf[64];
            ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            acks.append(buf, static_cast<std::size_t>(n));
            while (acks.size() >= 4) {
                uint32_t v;
                std::memcpy(&v, acks.data(), 4);
                last = ntohl(v);
                acks.erase(0, 4);
            }
        }
        ASSERT_EQ(last, 50000);
        if (c.abort) {
            linger l{1, 0};
            ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        s.close();
        EXPECT_TRUE(status_says(c.result)) << kest.status_log();
    }
}

TEST_F(DccE2e, ASenderThatSendsMoreThanItOfferedLeavesExactlyTheOfferedBytes)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string bytes = random_bytes(30000, 5);
    Sock listener;
    const int port = listener.listen_any();
    offer("DCC SEND more.bin 2130706433 " + std::to_string(port) + " 20000");
    Sock s;
    ASSERT_TRUE(s.accept_from(listener));
    s.send_all(bytes.data(), bytes.size());
    EXPECT_TRUE(status_says("* DCC Get: more.bin dosyası peer kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(read_file(downloads() / "more.bin"), bytes.substr(0, 20000));
}

TEST_F(DccE2e, PassiveOffersWorkBothWays)
{
    ASSERT_NO_FATAL_FAILURE(start(2, true));
    // The program offers passively: port 0 and a token; the peer listens
    // and answers with its address, port and the same token.
    TempDir dir("dccpassive");
    const std::string out = random_bytes(100000, 21);
    ASSERT_TRUE(write_file(dir.path() / "pout.bin", out));
    std::vector<std::string> w;
    ASSERT_TRUE(offer_from_program(dir.path() / "pout.bin", w)) << joined(peer.history());
    ASSERT_EQ(w.size(), 7u);
    EXPECT_EQ(w[4], "0");
    EXPECT_EQ(w[5], "100000");
    EXPECT_NE(w[6], "0");
    Sock listener;
    const int port = listener.listen_any();
    offer("DCC SEND pout.bin 2130706433 " + std::to_string(port) + " 100000 " + w[6]);
    Sock s;
    ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
    EXPECT_EQ(sha256(receive_file(s, 100000)), sha256(out));
    EXPECT_TRUE(status_says("* DCC Send: pout.bin dosyası peer kullanıcısına gönderildi")) << kest.status_log();
    // The peer offers passively: the program listens and answers with the
    // name exactly as offered.
    const std::string in = random_bytes(70000, 22);
    offer("DCC SEND pin.bin 16843009 0 70000 77");
    IrcLine l;
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :\x01" "DCC SEND pin.bin ", kWaitMs, &l))
        << joined(peer.history());
    std::vector<std::string> r = dcc_words(l);
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[3], "2130706433");
    EXPECT_EQ(r[5], "70000");
    EXPECT_EQ(r[6], "77");
    Sock c;
    ASSERT_TRUE(c.connect_to(std::stoi(r[4])));
    EXPECT_EQ(send_file(c, in), 70000);
    EXPECT_TRUE(status_says("* DCC Get: pin.bin dosyası peer kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(sha256(read_file(downloads() / "pin.bin")), sha256(in));
}

TEST_F(DccE2e, AnInterruptedGetResumesEightKibibytesBeforeItsEndAndTheFileIsWhole)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    const std::string bytes = random_bytes(200000, 31);
    // The first 100000 bytes are there from an earlier, interrupted get;
    // the last ones are damaged and are received again.
    std::string partial = bytes.substr(0, 100000);
    for (std::size_t i = 95000; i < 100000; ++i)
        partial[i] = 'X';
    ASSERT_TRUE(write_file(downloads() / "part.bin", partial));
    Sock listener;
    const int port = listener.listen_any();
    offer("DCC SEND part.bin 2130706433 " + std::to_string(port) + " 200000");
    IrcLine l;
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :\x01" "DCC RESUME ", kWaitMs, &l))
        << joined(peer.history()) << kest.status_log();
    std::vector<std::string> r = dcc_words(l);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[2], "\"part.bin\"");
    EXPECT_EQ(r[3], std::to_string(port));
    EXPECT_EQ(r[4], "91808");
    // An ACCEPT for another position is dropped; the right one connects.
    offer("DCC ACCEPT \"part.bin\" " + std::to_string(port) + " 5");
    offer("DCC ACCEPT \"part.bin\" " + std::to_string(port) + " 91808");
    Sock s;
    ASSERT_TRUE(s.accept_from(listener));
    EXPECT_EQ(send_file(s, bytes, 91808), 200000);
    EXPECT_TRUE(status_says("* DCC Get: part.bin dosyası peer kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(sha256(read_file(downloads() / "part.bin")), sha256(bytes));
}

TEST_F(DccE2e, ASendResumesAtThePositionTheReceiverAsksFor)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccresume");
    const std::string bytes = random_bytes(120000, 41);
    ASSERT_TRUE(write_file(dir.path() / "res.bin", bytes));
    std::vector<std::string> w;
    ASSERT_TRUE(offer_from_program(dir.path() / "res.bin", w)) << joined(peer.history());
    // A RESUME for a port no send listens on is refused with its own text.
    offer("DCC RESUME res.bin 1 1000");
    EXPECT_TRUE(status_says("peer İle gerçekleşen DCC Alımı (geçersiz parametre nedeniyle) reddedildi"))
        << kest.status_log();
    offer("DCC RESUME res.bin " + w[4] + " 50000");
    IrcLine l;
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :\x01" "DCC ACCEPT ", kWaitMs, &l));
    std::vector<std::string> a = dcc_words(l);
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[2], "\"res.bin\"");
    EXPECT_EQ(a[3], w[4]);
    EXPECT_EQ(a[4], "50000");
    Sock s;
    ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
    EXPECT_EQ(receive_file(s, 120000, 50000), bytes.substr(50000));
    EXPECT_TRUE(status_says("* DCC Send: res.bin dosyası peer kullanıcısına gönderildi")) << kest.status_log();
}

// A sparse file just over 4 GiB: the offer carries the whole size, the
// acknowledgements are 8-byte words, and a resume position beyond 32 bits
// is answered and honoured.
TEST_F(DccE2e, FilesOverFourGibibytesUseWholeSizesPositionsAndEightByteAcknowledgements)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccbig");
    const fs::path file = dir.path() / "huge.img";
    const std::int64_t size = 4294967296LL + 4096;
    {
        std::ofstream f(file, std::ios::binary);
        f.seekp(size - 5);
        f.write("tail!", 5);
    }
    ASSERT_EQ(static_cast<std::int64_t>(fs::file_size(file)), size);
    run("dcc packetsize 65536");
    std::vector<std::string> w;
    ASSERT_TRUE(offer_from_program(file, w)) << joined(peer.history());
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(w[5], std::to_string(size));
    // Resume 4096 + 16 bytes before the end, at a position past 32 bits.
    const std::int64_t from = 4294967296LL - 16;
    offer("DCC RESUME huge.img " + w[4] + " " + std::to_string(from));
    IrcLine l;
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :\x01" "DCC ACCEPT ", kWaitMs, &l));
    EXPECT_EQ(dcc_words(l).back(), std::to_string(from));
    Sock s;
    ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
    std::string got;
    char buf[65536];
    while (static_cast<std::int64_t>(got.size()) < size - from && s.wait(POLLIN, kWaitMs)) {
        ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    ASSERT_EQ(static_cast<std::int64_t>(got.size()), size - from);
    EXPECT_EQ(got.substr(got.size() - 5), "tail!");
    EXPECT_EQ(got.substr(0, 16), std::string(16, '\0'));
    // A 4-byte word would be read as part of an 8-byte one: the send is not
    // done until the whole 8-byte acknowledgement came, split in two.
    unsigned char ack[8];
    const std::uint64_t v = static_cast<std::uint64_t>(size);
    for (int i = 0; i < 8; ++i)
        ack[i] = static_cast<unsigned char>(v >> (56 - 8 * i));
    s.send_all(reinterpret_cast<const char*>(ack), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.send_all(reinterpret_cast<const char*>(ack) + 3, 5);
    EXPECT_TRUE(status_says("* DCC Send: huge.img dosyası peer kullanıcısına gönderildi")) << kest.status_log();
}

TEST_F(DccE2e, AWholeSparseFileOverFourGibibytesArrivesWithItsChecksum)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccbig");
    const fs::path file = dir.path() / "whole.img";
    const std::int64_t size = 4294967296LL + 100;
    {
        std::ofstream f(file, std::ios::binary);
        f.write("head", 4);
        f.seekp(size - 4);
        f.write("tail", 4);
    }
    // The expected checksum, computed the same way over the same bytes.
    QCryptographicHash want(QCryptographicHash::Sha256);
    {
        const std::string zeros(1 << 20, '\0');
        want.addData(QByteArrayView("head", 4));
        std::int64_t left = size - 8;
        while (left > 0) {
            const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(zeros.size()));
            want.addData(QByteArrayView(zeros.data(), static_cast<qsizetype>(n)));
            left -= n;
        }
        want.addData(QByteArrayView("tail", 4));
    }
    run("dcc packetsize 65536");
    std::vector<std::string> w;
    ASSERT_TRUE(offer_from_program(file, w)) << joined(peer.history());
    Sock s;
    ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
    QCryptographicHash got(QCryptographicHash::Sha256);
    std::int64_t total = 0;
    static char buf[1 << 20];
    while (total < size && s.wait(POLLIN, kWaitMs)) {
        ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.addData(QByteArrayView(buf, n));
        total += n;
        unsigned char ack[8];
        for (int i = 0; i < 8; ++i)
            ack[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(total) >> (56 - 8 * i));
        s.send_all(reinterpret_cast<const char*>(ack), 8);
    }
    ASSERT_EQ(total, size);
    EXPECT_EQ(got.result().toHex().toStdString(), want.result().toHex().toStdString());
    EXPECT_TRUE(status_says("* DCC Send: whole.img dosyası peer kullanıcısına gönderildi")) << kest.status_log();
}

// The end events reach loaded scripts with the peer's nick and the full path
// of the file; each handler hears only its own kind, and a mask list keeps
// out the files it does not name.
TEST_F(DccE2e, EndEventsReachScriptsForFinishedAndFailedSendsAndGets)
{
    kest.add_script("ends.kst",
                    "on *:FILESENT:*:echo -s EVT FILESENT $nick $filename\n"
                    "on *:SENDFAIL:*:echo -s EVT SENDFAIL $nick $filename\n"
                    "on *:FILERCVD:*:echo -s EVT FILERCVD $nick $filename\n"
                    "on *:GETFAIL:*:echo -s EVT GETFAIL $nick $filename\n");
    // A script runs its first matching handler of an event: the masks get their own.
    kest.add_script("masks.kst",
                    "on *:FILESENT:*.none, *.txt:echo -s EVT TXTSENT $filename\n"
                    "on *:FILERCVD:*.none:echo -s EVT NONE $filename\n");
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccends");
    auto count = [&](const std::string& text) {
        const std::string log = kest.status_log();
        std::size_t n = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    };

    // A finished send.
    const std::string bytes = random_bytes(30000, 21);
    ASSERT_TRUE(write_file(dir.path() / "ok.txt", bytes));
    std::vector<std::string> w;
    ASSERT_TRUE(offer_from_program(dir.path() / "ok.txt", w)) << joined(peer.history());
    {
        Sock s;
        ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
        EXPECT_EQ(receive_file(s, 30000), bytes);
    }
    const std::string sent = (dir.path() / "ok.txt").string();
    EXPECT_TRUE(status_says("EVT FILESENT peer " + sent)) << kest.status_log();
    EXPECT_TRUE(status_says("EVT TXTSENT " + sent)) << kest.status_log();

    // A failed send: the receiver takes every byte but acknowledges half.
    ASSERT_TRUE(write_file(dir.path() / "half.bin", bytes));
    ASSERT_TRUE(offer_from_program(dir.path() / "half.bin", w)) << joined(peer.history());
    {
        Sock s;
        ASSERT_TRUE(s.connect_to(std::stoi(w[4])));
        std::string got;
        char buf[65536];
        while (got.size() < bytes.size() && s.wait(POLLIN, kWaitMs)) {
            ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        uint32_t ack = htonl(1000);
        s.send_all(reinterpret_cast<const char*>(&ack), 4);
    }
    const std::string half = (dir.path() / "half.bin").string();
    EXPECT_TRUE(status_says("EVT SENDFAIL peer " + half)) << kest.status_log();

    // A finished get.
    const std::string got_path = (downloads() / "in.txt").string();
    {
        Sock listener;
        const int port = listener.listen_any();
        offer("DCC SEND in.txt 2130706433 " + std::to_string(port) + " 30000");
        Sock s;
        ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
        EXPECT_EQ(send_file(s, bytes), 30000);
    }
    EXPECT_TRUE(status_says("EVT FILERCVD peer " + got_path)) << kest.status_log();

    // A failed get: the sender closes after a part of the file.
    const std::string cut_path = (downloads() / "cut.bin").string();
    {
        Sock listener;
        const int port = listener.listen_any();
        offer("DCC SEND cut.bin 2130706433 " + std::to_string(port) + " 30000");
        Sock s;
        ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
        ASSERT_TRUE(s.send_all(bytes.data(), 1000));
    }
    EXPECT_TRUE(status_says("EVT GETFAIL peer " + cut_path)) << kest.status_log();
    ASSERT_TRUE(status_says("cut.bin dosyası peer kullanıcısından alınamadı")) << kest.status_log();

    // Each transfer fired its own event once and no other.
    EXPECT_EQ(count("EVT FILESENT "), 1u);
    EXPECT_EQ(count("EVT SENDFAIL "), 1u);
    EXPECT_EQ(count("EVT FILERCVD "), 1u);
    EXPECT_EQ(count("EVT GETFAIL "), 1u);
    EXPECT_EQ(count("EVT TXTSENT "), 1u);
    EXPECT_EQ(count("EVT NONE "), 0u);
    EXPECT_EQ(count("EVT FILESENT peer " + half), 0u);
    EXPECT_EQ(count("EVT FILERCVD peer " + cut_path), 0u);
}

// A received file's rule runs its action: a command line gets the path as
// its parameters; a program gets the path as its one argument, never through
// a shell, so blanks, ";" and "$(...)" in an offered name run nothing. A
// failed get runs no action.
TEST_F(DccE2e, AfterReceiveActionsGetThePathAndRunNothingElse)
{
    TempDir dir("dccafter");
    const fs::path out = dir.path() / "args.txt";
    const fs::path prog = dir.path() / "opener.sh";
    ASSERT_TRUE(write_file(prog, "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> '" + out.string() + "'\n"));
    fs::permissions(prog, fs::perms::owner_all);
    fs::create_directories(downloads());
    kest.set("extensions", "n0", "defaultEXTDIR:downloads/");
    kest.set("extensions", "n1", "*.runEXTDIR:downloads/EXTAPP:" + prog.string());
    kest.set("extensions", "n2", "*.cmdEXTDIR:downloads/EXTCOM:echo -s AFTER $1-");
    // A program file that cannot be started (not executable).
    const fs::path unusable = dir.path() / "unusable-program";
    ASSERT_TRUE(write_file(unusable, "not a program\n"));
    fs::permissions(unusable, fs::perms::owner_read | fs::perms::owner_write);
    kest.set("extensions", "n3", "*.goneEXTDIR:downloads/EXTAPP:" + unusable.string());
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string bytes = random_bytes(5000, 5);
    auto receive = [&](const std::string& offered, std::size_t send) {
        Sock listener;
        const int port = listener.listen_any();
        offer("DCC SEND " + offered + " 2130706433 " + std::to_string(port) + " 5000");
        Sock s;
        ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
        if (send == bytes.size())
            EXPECT_EQ(send_file(s, bytes), 5000);
        else
            ASSERT_TRUE(s.send_all(bytes.data(), send));
    };
    auto wait_file = [&](const fs::path& p) {
        auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
        while (Clock::now() < end && read_file(p).empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return read_file(p);
    };

    const std::string hostile = "a b;touch pwned;$(touch pwned2) `touch pwned3`.run";
    ASSERT_NO_FATAL_FAILURE(receive("\"" + hostile + "\"", bytes.size()));
    const fs::path stored = downloads() / hostile;
    EXPECT_TRUE(status_says("* DCC Get: " + hostile + " dosyası peer kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(read_file(stored), bytes);
    EXPECT_EQ(wait_file(out), "1|" + stored.string() + "\n");

    ASSERT_NO_FATAL_FAILURE(receive("note.cmd", bytes.size()));
    EXPECT_TRUE(status_says("AFTER " + (downloads() / "note.cmd").string())) << kest.status_log();

    // A program that cannot be started says so.
    ASSERT_NO_FATAL_FAILURE(receive("file.gone", bytes.size()));
    EXPECT_TRUE(status_says("* DCC Get: '" + unusable.string() + "' Çalıştırılamıyor"))
        << kest.status_log();

    // A get that fails runs no action.
    ASSERT_NO_FATAL_FAILURE(receive("cut.run", 100));
    ASSERT_TRUE(status_says("cut.run dosyası peer kullanıcısından alınamadı")) << kest.status_log();
    ASSERT_NO_FATAL_FAILURE(receive("cut.cmd", 100));
    ASSERT_TRUE(status_says("cut.cmd dosyası peer kullanıcısından alınamadı")) << kest.status_log();

    // The program ran once, for the one finished file, and nothing the name held ran.
    EXPECT_EQ(read_file(out), "1|" + stored.string() + "\n");
    EXPECT_EQ(kest.status_log().find("AFTER " + (downloads() / "cut.cmd").string()), std::string::npos);
    for (const fs::path& d : {dir.path(), kest.settings(), downloads(), fs::current_path()})
        for (const char* p : {"pwned", "pwned2", "pwned3"})
            EXPECT_FALSE(fs::exists(d / p)) << d / p;
}

namespace {

// An offer whose listener is never connected to: true when no connection
// came in after everything before `later` was handled.
bool never_connected(Sock& listener) { return !listener.wait(POLLIN, 0); }

}  // namespace

TEST_F(DccE2e, TheOffersCtcpEventReadsTheReceivePathAndMayMoveOrRefuseTheFile)
{
    const fs::path elsewhere = kest.settings() / "elsewhere";
    fs::create_directories(elsewhere);
    kest.add_script("offers.kst", "on *:CTCP:DCC SEND*:*:{ echo -s offer-path $filename | "
                                  "if (moved isin $3) dcc get " + elsewhere.string() + " | "
                                  "if (refused isin $3) dcc reject }\n");
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string bytes = random_bytes(3000, 11);

    // Refused by the script: no connection, no file, no message.
    Sock refused_listener;
    const int refused_port = refused_listener.listen_any();
    offer("DCC SEND refused.txt 2130706433 " + std::to_string(refused_port) + " 3000");

    // Moved by the script into another folder.
    Sock listener;
    const int port = listener.listen_any();
    offer("DCC SEND moved.txt 2130706433 " + std::to_string(port) + " 3000");
    Sock s;
    ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
    EXPECT_EQ(send_file(s, bytes), 3000);
    ASSERT_TRUE(status_says("moved.txt dosyası peer kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(sha256(read_file(elsewhere / "moved.txt")), sha256(bytes));
    EXPECT_FALSE(fs::exists(downloads() / "moved.txt"));

    // The event read the path the file would have gone to.
    EXPECT_TRUE(status_says("offer-path " + (downloads() / "refused.txt").string())) << kest.status_log();
    EXPECT_TRUE(status_says("offer-path " + (downloads() / "moved.txt").string())) << kest.status_log();
    EXPECT_TRUE(never_connected(refused_listener));
    EXPECT_FALSE(fs::exists(downloads() / "refused.txt"));
    EXPECT_FALSE(fs::exists(elsewhere / "refused.txt"));
}

TEST_F(DccE2e, AutomaticAcceptsCanBeLimitedToTrustedSenders)
{
    // The check on, untrusted senders not asked about: only the trusted
    // sender's file comes in, also when the file-type filter refuses its type.
    kest.set("options", "n3", option_line({{5, 1}, {24, 0}}));
    kest.set("options", "n4", option_line({{3, 2}}));
    kest.set("trusted", "n0", "ctl!*@*");
    kest.set("text", "ignore", "*.txt");
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string bytes = random_bytes(2000, 12);

    Sock untrusted_listener;
    const int untrusted_port = untrusted_listener.listen_any();
    offer("DCC SEND untrusted.bin 2130706433 " + std::to_string(untrusted_port) + " 2000");

    Sock listener;
    const int port = listener.listen_any();
    ctl.send_line(std::string("PRIVMSG ") + kMe + " :\x01" "DCC SEND trusted.txt 2130706433 " +
                  std::to_string(port) + " 2000\x01");
    Sock s;
    ASSERT_TRUE(s.accept_from(listener)) << kest.status_log();
    EXPECT_EQ(send_file(s, bytes), 2000);
    ASSERT_TRUE(status_says("trusted.txt dosyası ctl kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(sha256(read_file(downloads() / "trusted.txt")), sha256(bytes));
    EXPECT_TRUE(never_connected(untrusted_listener));
    EXPECT_FALSE(fs::exists(downloads() / "untrusted.bin"));
}

TEST_F(DccE2e, SendsAndGetsGoThroughTheSocks5ProxyWhenDccUsesIt)
{
    if (!ProxyServer::available(ProxyServer::kSocks))
        GTEST_SKIP() << "no SOCKS server program";
    ProxyServer proxy(ProxyServer::kSocks);
    ASSERT_TRUE(proxy.start()) << proxy.log();
    kest.set("socks", "enabled", "yes");
    kest.set("socks", "hostname", "127.0.0.1");
    kest.set("socks", "port", std::to_string(proxy.port()));
    kest.set("socks", "method", "5");
    kest.set("socks", "dccs", "yes");
    ASSERT_NO_FATAL_FAILURE(start());

    // Our offer names the port the proxy listens on for the receiver.
    TempDir dir("dccproxy");
    const std::string bytes = random_bytes(200000, 21);
    const fs::path file = dir.path() / "through.bin";
    ASSERT_TRUE(write_file(file, bytes));
    std::vector<std::string> words;
    ASSERT_TRUE(offer_from_program(file, words)) << kest.status_log() << proxy.log();
    ASSERT_GE(words.size(), 6u);
    EXPECT_EQ(words[3], "2130706433");
    const int port = std::stoi(words[4]);
    EXPECT_NE(proxy.log().find("bind"), std::string::npos) << proxy.log();
    Sock s;
    ASSERT_TRUE(s.connect_to(port)) << proxy.log();
    EXPECT_EQ(sha256(receive_file(s, static_cast<std::int64_t>(bytes.size()))), sha256(bytes));
    EXPECT_TRUE(status_says("through.bin")) << kest.status_log();

    // A file offered to us is fetched through the proxy too.
    Sock listener;
    const int peer_port = listener.listen_any();
    offer("DCC SEND fetched.bin 2130706433 " + std::to_string(peer_port) + " 200000");
    Sock in;
    ASSERT_TRUE(in.accept_from(listener)) << kest.status_log() << proxy.log();
    EXPECT_EQ(send_file(in, bytes), 200000);
    ASSERT_TRUE(status_says("fetched.bin dosyası peer kullanıcısından alındı")) << kest.status_log();
    EXPECT_EQ(sha256(read_file(downloads() / "fetched.bin")), sha256(bytes));
    EXPECT_NE(proxy.log().find("." + std::to_string(peer_port)), std::string::npos) << proxy.log();
}
