// DCC file transfers between the program and irssi, a client that other
// users run: both on a private IRC server, irssi in its own tmux server with
// its own home folder, driven by the keys a user types. Files are compared
// by SHA-256.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"

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


#include "e2e/irssi_peer.inc"
}

bool wait_file(const fs::path& p, const std::string& bytes, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        std::error_code ec;
        if (fs::exists(p, ec) && fs::file_size(p, ec) == bytes.size() && read_file(p) == bytes)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

struct DccIrssiE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        if (which("irssi").empty() || which("tmux").empty())
            GTEST_SKIP() << "irssi and tmux are not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(ctl.login(server.port(), "ctl")) << joined(ctl.history());
    }
    void TearDown() override
    {
        irssi.stop();
        kest.stop(3000);
        server.stop();
    }
    void start(int exists_choice = 1)
    {
        kest.use_server(server.port());
        kest.set("options", "n0", option_line({{0, 1}, {14, 1}, {15, exists_choice}}));
        kest.log_status();
        kest.add_script("run.kst", kRunScript);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#ctl"}));
        ASSERT_TRUE(wait_in_channel(ctl, kMe, "#ctl")) << kest.output() << kest.status_log();
        ASSERT_TRUE(ctl.join("#ctl"));
        ASSERT_TRUE(irssi.start(server.port()));
        ASSERT_TRUE(irssi.wait_screen("End of MOTD")) << irssi.screen();
        irssi.type("/join #ctl");
        ASSERT_TRUE(wait_in_channel(ctl, "irpeer", "#ctl")) << irssi.screen();
    }
    void run(const std::string& command) { ctl.send_line("PRIVMSG #ctl :run " + command); }
    fs::path downloads() const { return kest.settings() / "downloads"; }
    bool status_says(const std::string& text, int ms = kWaitMs)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            if (kest.status_log().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    IrcServer server;
    Peer ctl;
    KestProgram kest;
    Irssi irssi{"irpeer"};
};

}  // namespace

TEST_F(DccIrssiE2e, FilesGoBothWaysPlainAndPassive)
{
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir dir("dccirssi");
    struct Case {
        const char* name;
        std::size_t size;
        bool passive;
    } cases[] = {
        {"zero.bin", 0, false},
        {"one.bin", 1, false},
        {"three.bin", 3 * 1024 * 1024, false},
        {"passive.bin", 200000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = random_bytes(c.size, static_cast<unsigned>(c.size) + 1);
        const fs::path out = dir.path() / (std::string("out-") + c.name);
        const fs::path in = dir.path() / (std::string("in-") + c.name);
        ASSERT_TRUE(write_file(out, bytes));
        ASSERT_TRUE(write_file(in, bytes));
        // The program sends to irssi.
        run(std::string("dcc passive ") + (c.passive ? "on" : "off"));
        run("dcc send -n irpeer " + out.string());
        if (c.passive) {
            // irssi takes passive offers (port 0) only when its user asks.
            irssi.type("/window 1");
            ASSERT_TRUE(irssi.wait_screen("port 0]: " + out.filename().string())) << irssi.screen();
            irssi.type(std::string("/dcc get ") + kMe + " " + out.filename().string());
        }
        EXPECT_TRUE(wait_file(irssi.downloads() / out.filename(), bytes)) << irssi.screen() << kest.status_log();
        EXPECT_TRUE(status_says("* DCC Send: " + out.filename().string() + " dosyası irpeer kullanıcısına gönderildi"))
            << kest.status_log() << irssi.screen();
        // irssi sends to the program.
        irssi.type(std::string("/dcc send ") + (c.passive ? "-passive " : "") + std::string(kMe) + " " + in.string());
        EXPECT_TRUE(status_says("* DCC Get: " + in.filename().string() + " dosyası irpeer kullanıcısından alındı"))
            << kest.status_log() << irssi.screen();
        EXPECT_EQ(sha256(read_file(downloads() / in.filename())), sha256(bytes));
    }
}

TEST_F(DccIrssiE2e, InterruptedFilesResumeBothWays)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    TempDir dir("dccirssi");
    const std::string bytes = random_bytes(1500000, 99);
    // irssi holds the first 600000 bytes: it asks to resume at its full size.
    ASSERT_TRUE(write_file(irssi.downloads() / "toirssi.bin", bytes.substr(0, 600000)));
    ASSERT_TRUE(write_file(dir.path() / "toirssi.bin", bytes));
    run("dcc send -n irpeer " + (dir.path() / "toirssi.bin").string());
    EXPECT_TRUE(wait_file(irssi.downloads() / "toirssi.bin", bytes)) << irssi.screen() << kest.status_log();
    EXPECT_TRUE(status_says("* DCC Send: toirssi.bin dosyası irpeer kullanıcısına gönderildi")) << kest.status_log();

    // The program holds the first 700000 bytes: it resumes 8192 bytes before.
    ASSERT_TRUE(write_file(downloads() / "tokest.bin", bytes.substr(0, 700000)));
    ASSERT_TRUE(write_file(dir.path() / "tokest.bin", bytes));
    irssi.type(std::string("/dcc send ") + kMe + " " + (dir.path() / "tokest.bin").string());
    EXPECT_TRUE(status_says("* DCC Get: tokest.bin dosyası irpeer kullanıcısından alındı"))
        << kest.status_log() << irssi.screen();
    EXPECT_EQ(sha256(read_file(downloads() / "tokest.bin")), sha256(bytes));
}
