// DCC chats between the program and irssi, a client that other users run,
// both ways through a private IRC server: lines and actions typed on each
// side arrive on the other, and a peer that closes ends the session. Two
// instances of the program serve files to each other and chat through the
// DCC server. irssi runs in its own tmux server with its own home folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <poll.h>
#include <cerrno>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <thread>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

#include "e2e/irssi_peer.inc"
}

const char* const kMe = "kestbot";
// Commands from #ctl to the instance named first, and every chat and
// file-server line written where the test reads it.
const char* const kScript =
    "on *:TEXT:run *:#ctl:if ($nick == ctl) if ($2 == $me) $3-\n"
    "on *:CHAT:*:write chat.txt $nick $1-\n"
    "on *:SERV:*:write serv.txt $nick $1-\n"
    "alias chatstate write -c state.txt $chat($1).status\n"
    "alias chatcount write -c count.txt $chat(0)\n";

// Waits for the text in the file past its first `from` bytes.
bool file_says(const fs::path& p, const std::string& text, std::size_t from = 0, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        const std::string all = read_file(p);
        if (all.size() > from && all.find(text, from) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Does `act` every half second until `done` holds (bounded).
bool until(const std::function<void()>& act, const std::function<bool()>& done, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        act();
        for (int i = 0; i < 5; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return done();
}

struct DccChatE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(ctl.login(server.port(), "ctl")) << joined(ctl.history());
    }
    void TearDown() override
    {
        irssi.stop();
        kest.stop(3000);
        other.stop(3000);
        server.stop();
    }
    // A program instance with chats and files accepted at once.
    void start_kest(KestProgram& k, const std::string& nick)
    {
        k.use_server(server.port());
        k.set("options", "n0", option_line({{0, 1}, {14, 1}, {17, 1}}));
        // No one answers the file-server warning here.
        k.set("warn", "fserve", "off");
        k.log_status();
        k.add_script("run.kst", kScript);
        ASSERT_TRUE(k.start({"-n", nick, "-j", "#ctl"}));
        ASSERT_TRUE(wait_in_channel(ctl, nick, "#ctl")) << k.output() << k.status_log();
        if (!ctl_joined) {
            ASSERT_TRUE(ctl.join("#ctl"));
            ctl_joined = true;
        }
    }
    void start_irssi()
    {
        if (which("irssi").empty() || which("tmux").empty())
            GTEST_SKIP() << "irssi and tmux are not installed";
        ASSERT_TRUE(irssi.start(server.port()));
        ASSERT_TRUE(irssi.wait_screen("End of MOTD")) << irssi.screen();
    }
    void run(const std::string& nick, const std::string& command)
    {
        ctl.send_line("PRIVMSG #ctl :run " + nick + " " + command);
    }
    bool status_says(KestProgram& k, const std::string& text, int ms = kWaitMs)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            if (k.status_log().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // The state of the chat with the nick, as $chat( reads it.
    bool chat_state_is(KestProgram& k, const std::string& me, const std::string& nick, const std::string& state)
    {
        const fs::path out = k.settings() / "state.txt";
        return until([&] { run(me, "chatstate " + nick); },
                     [&]() -> bool { return read_file(out).find(state) != std::string::npos; });
    }

    IrcServer server;
    Peer ctl;
    bool ctl_joined = false;
    KestProgram kest;
    KestProgram other;
    Irssi irssi{"irpeer"};
};

}  // namespace

TEST_F(DccChatE2e, ChatWithIrssiBothWays)
{
    ASSERT_NO_FATAL_FAILURE(start_kest(kest, kMe));
    ASSERT_NO_FATAL_FAILURE(start_irssi());
    const fs::path chat = kest.settings() / "chat.txt";

    // The program offers; irssi's user accepts.
    run(kMe, "dcc chat irpeer");
    ASSERT_TRUE(irssi.wait_screen("DCC CHAT")) << irssi.screen() << kest.status_log();
    irssi.type(std::string("/dcc chat ") + kMe);
    ASSERT_TRUE(irssi.wait_screen("established")) << irssi.screen();
    // irssi shows the chat in a window of its own: bring it to the front.
    irssi.type(std::string("/query =") + kMe);
    irssi.type(std::string("/msg =") + kMe + " hello from irssi");
    EXPECT_TRUE(file_says(chat, "irpeer hello from irssi")) << read_file(chat) << irssi.screen();
    run(kMe, "msg =irpeer hello from kest");
    EXPECT_TRUE(irssi.wait_screen("hello from kest")) << irssi.screen();
    run(kMe, "describe =irpeer waves slowly");
    EXPECT_TRUE(irssi.wait_screen("waves slowly")) << irssi.screen();
    irssi.type(std::string("/action =") + kMe + " dances");
    EXPECT_TRUE(file_says(chat, "ACTION dances")) << read_file(chat);
    // A line for a chat with another nick goes nowhere.
    run(kMe, "msg =nobody not for irssi");
    EXPECT_TRUE(chat_state_is(kest, kMe, "irpeer", "active"));
    EXPECT_EQ(irssi.screen().find("not for irssi"), std::string::npos);

    // irssi closes: the session ends on our side.
    irssi.type(std::string("/dcc close chat ") + kMe);
    EXPECT_TRUE(chat_state_is(kest, kMe, "irpeer", "inactive")) << kest.status_log();

    // irssi offers; the program accepts at once (the option says so),
    // connects out and takes over the ended chat's window.
    irssi.type(std::string("/dcc chat ") + kMe);
    irssi.type(std::string("/query =") + kMe);
    EXPECT_TRUE(until([&] { run(kMe, "msg =irpeer second session"); },
                      [&] { return irssi.screen().find("second session") != std::string::npos; }))
        << irssi.screen() << kest.status_log();
    const std::size_t before = read_file(chat).size();
    irssi.type(std::string("/msg =") + kMe + " back again");
    EXPECT_TRUE(file_says(chat, "irpeer back again", before)) << read_file(chat);
    run(kMe, "chatcount");
    EXPECT_TRUE(file_says(kest.settings() / "count.txt", "1"));
}

TEST_F(DccChatE2e, FileServerBetweenTwoInstances)
{
    TempDir served("fserve");
    TempDir secret("fsecret");
    ASSERT_TRUE(write_file(served.path() / "readme.txt", "first line\nsecond line\n"));
    ASSERT_TRUE(write_file(served.path() / "pics" / "cat.jpg", "meow"));
    ASSERT_TRUE(write_file(secret.path() / "secret.txt", "top secret\n"));
    ASSERT_NO_FATAL_FAILURE(start_kest(kest, kMe));
    ASSERT_NO_FATAL_FAILURE(start_kest(other, "browser"));
    const fs::path seen = other.settings() / "chat.txt";

    run(kMe, "fserve browser 2 " + served.path().string());
    ASSERT_TRUE(file_says(seen, "File Server")) << read_file(seen) << kest.status_log() << other.status_log();
    ASSERT_TRUE(file_says(seen, std::string(kMe) + " [\\]")) << read_file(seen);
    const std::string away = secret.path().filename().string();
    struct Step {
        std::string command;
        std::string answer;
        std::string never;
    } steps[] = {
        {"dir", "readme.txt", "secret"},
        {"ls", "PICS", "secret"},
        {"cd pics", "[\\pics]", "[\\]"},
        {"dir", "cat.jpg", "readme"},
        {"cd ..", "[\\]", "pics]"},
        {"cd ../../" + away, "[\\]", away},
        {"cd " + secret.path().string(), "Geçersiz biçim", "[\\"},
        {"read ../" + away + "/secret.txt", "Dosyaya", "top secret"},
        {"get ../" + away + "/secret.txt", "Geçersiz dosya", "top secret"},
        {"read readme.txt", "second line", "top secret"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        const std::size_t before = read_file(seen).size();
        run("browser", "msg =" + std::string(kMe) + " " + s.command);
        EXPECT_TRUE(file_says(seen, s.answer, before)) << read_file(seen);
        EXPECT_EQ(read_file(seen).find(s.never, before), std::string::npos) << read_file(seen);
    }
    // The serving side saw the commands as SERV lines.
    EXPECT_TRUE(file_says(kest.settings() / "serv.txt", "browser cd pics"));
    // get starts a send that the other instance receives.
    run("browser", "msg =" + std::string(kMe) + " get readme.txt");
    EXPECT_TRUE(status_says(other, "readme.txt dosyası")) << other.status_log() << kest.status_log();
    EXPECT_EQ(read_file(other.settings() / "downloads" / "readme.txt"), "first line\nsecond line\n");
    // quit closes the server's window; the browsing side sees the end.
    run("browser", "msg =" + std::string(kMe) + " quit");
    EXPECT_TRUE(chat_state_is(other, "browser", kMe, "inactive"))
        << read_file(other.settings() / "state.txt") << read_file(seen) << kest.status_log();
}

TEST_F(DccChatE2e, DccServerTakesChatsAndRefusesGarbage)
{
    const int port = free_port();
    ASSERT_NO_FATAL_FAILURE(start_kest(kest, kMe));
    ASSERT_NO_FATAL_FAILURE(start_kest(other, "caller"));
    run(kMe, "dcc server on " + std::to_string(port));
    ASSERT_TRUE(status_says(kest, "DCC Server Açık (" + std::to_string(port))) << kest.status_log();
    auto connect = [&](LineSocket& raw) {
        for (int i = 0; i < 50; ++i) {
            if (raw.connect_to(port, 1000))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };

    // Garbage instead of a request, and an unknown number: closed without
    // an answer.
    for (const std::string& junk : {std::string("\x16\x03\x01 garbage"), std::string("999 somebody")}) {
        LineSocket raw;
        ASSERT_TRUE(connect(raw));
        raw.send_line(junk);
        std::string line;
        EXPECT_FALSE(raw.read_line(line, kWaitMs)) << line;
    }
    // A chat request from a plain socket: accepted with our nick; then a
    // flood of lines, binary and ten megabytes without a line end, and the
    // session still takes the next line.
    {
        LineSocket raw;
        ASSERT_TRUE(connect(raw));
        raw.send_line("100 rawpeer");
        EXPECT_TRUE(raw.wait_for("^101 " + std::string(kMe) + "$", kWaitMs)) << joined(raw.history());
        raw.send_line("hi over the server");
        EXPECT_TRUE(file_says(kest.settings() / "chat.txt", "rawpeer hi over the server"));
        std::string flood;
        for (int i = 0; i < 3000; ++i)
            flood += "line " + std::to_string(i) + "\n";
        flood += std::string("\x00\xff\x01\x02 binary", 12) + "\n";
        flood += std::string(10 * 1024 * 1024, 'y');
        flood += "\nafter the flood";
        ASSERT_TRUE(raw.send_line(flood));
        EXPECT_TRUE(file_says(kest.settings() / "chat.txt", "rawpeer after the flood", 0, 60000));
        EXPECT_TRUE(file_says(kest.settings() / "chat.txt", "rawpeer line 2999"));
    }
    // The other instance asks by address and port: the chat opens and
    // lines go both ways.
    run("caller", "dcc chat " + std::string(kMe) + " 127.0.0.1:" + std::to_string(port));
    EXPECT_TRUE(until([&] { run(kMe, "msg =caller through the server"); },
                      [&] {
                          return read_file(other.settings() / "chat.txt").find(std::string(kMe) +
                                                                                " through the server") !=
                                 std::string::npos;
                      }))
        << read_file(other.settings() / "chat.txt") << other.status_log() << kest.status_log();
    run("caller", "msg =" + std::string(kMe) + " and back");
    EXPECT_TRUE(file_says(kest.settings() / "chat.txt", "caller and back"));

    // Switched off, it answers no more.
    run(kMe, "dcc server off");
    ASSERT_TRUE(status_says(kest, "DCC Server Kapalı")) << kest.status_log();
    LineSocket late;
    EXPECT_TRUE(until([] {}, [&] { return !late.connect_to(port, 500); }));
}

TEST_F(DccChatE2e, DccServerOnAPortInUseSaysWhy)
{
    ScriptedServer busy;  // holds the port
    ASSERT_TRUE(busy.ok());
    ASSERT_NO_FATAL_FAILURE(start_kest(kest, kMe));
    run(kMe, "dcc server on " + std::to_string(busy.port()));
    EXPECT_TRUE(status_says(kest, "DCC Server başlatılamadı: port " + std::to_string(busy.port())))
        << kest.status_log();
}

namespace {

// Writes raw bytes on a test socket and reads one acknowledgement word
// (4 bytes, big-endian) within `ms`; -1 when none came.
long long raw_send_and_ack(LineSocket& raw, const std::string& bytes, int ms = kWaitMs)
{
    if (::send(raw.fd_for_test(), bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
        return -1;
    unsigned char word[4];
    std::size_t have = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (have < 4 && Clock::now() < end) {
        pollfd p{raw.fd_for_test(), POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::recv(raw.fd_for_test(), word + have, 4 - have, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return -1;
        if (n > 0)
            have += static_cast<std::size_t>(n);
    }
    if (have < 4)
        return -1;
    return (static_cast<long long>(word[0]) << 24) | (word[1] << 16) | (word[2] << 8) | word[3];
}

}  // namespace

TEST_F(DccChatE2e, DccServerTakesSendsAndServesGets)
{
    const int port = free_port();
    TempDir served("dsrv");
    TempDir away("dsrvaway");
    // Several blocks, and small enough for the file server's shared rate limit.
    const std::string body(40000, 'k');
    ASSERT_TRUE(write_file(served.path() / "big.bin", body));
    ASSERT_TRUE(write_file(served.path() / "sub" / "deep.txt", "deep down\n"));
    ASSERT_TRUE(write_file(away.path() / "secret.txt", "top secret\n"));
    ASSERT_TRUE(write_file(away.path() / "offer.txt", "offered through the server\n"));
    // The serving instance: its file server's home is the served folder.
    kest.set("fileserver", "homedir", served.path().string());
    ASSERT_NO_FATAL_FAILURE(start_kest(kest, kMe));
    ASSERT_NO_FATAL_FAILURE(start_kest(other, "caller"));
    run(kMe, "dcc server on " + std::to_string(port));
    ASSERT_TRUE(status_says(kest, "DCC Server Açık (" + std::to_string(port))) << kest.status_log();
    const std::string target = "127.0.0.1:" + std::to_string(port);
    auto connect = [&](LineSocket& raw) {
        for (int i = 0; i < 50; ++i) {
            if (raw.connect_to(port, 1000))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };

    // A send to the DCC server by address: the server answers with its
    // nick, which the sending side takes over, and the file arrives whole.
    run("caller", "dcc send " + target + " " + (away.path() / "offer.txt").string());
    EXPECT_TRUE(status_says(other, "offer.txt dosyası " + std::string(kMe) + " kullanıcısına gönderildi"))
        << other.status_log() << kest.status_log();
    EXPECT_TRUE(file_says(kest.settings() / "downloads" / "offer.txt", "offered through the server"))
        << kest.status_log();

    // A raw caller whose name climbs out of the folder: the file lands in
    // the receive folder under its bare name, acknowledged byte for byte.
    {
        LineSocket raw;
        ASSERT_TRUE(connect(raw));
        raw.send_line("120 rawpeer 5 ..\\..\\../escape.txt");
        ASSERT_TRUE(raw.wait_for("^121 " + std::string(kMe) + " 0$", kWaitMs)) << joined(raw.history());
        EXPECT_EQ(raw_send_and_ack(raw, "hello"), 5);
        EXPECT_TRUE(file_says(kest.settings() / "downloads" / "escape.txt", "hello")) << kest.status_log();
        EXPECT_FALSE(fs::exists(kest.settings() / "escape.txt"));
        EXPECT_FALSE(fs::exists(kest.settings().parent_path() / "escape.txt"));
    }

    // Requests that are refused with "150 unavailable": a get with no open
    // file-server session, and a send while sends are switched off; the
    // refused send's file is never written.
    struct Refusal {
        std::string before;
        std::string shown;
        std::string request;
    } refusals[] = {
        {"", "", "130 rawpeer somewhere\\big.bin"},
        {"dcc server -s", "Açık (" + std::to_string(port) + ",Chat,Fserve)", "120 rawpeer 4 refused.txt"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.request);
        if (!r.before.empty()) {
            run(kMe, r.before);
            ASSERT_TRUE(status_says(kest, r.shown)) << kest.status_log();
        }
        LineSocket raw;
        ASSERT_TRUE(connect(raw));
        raw.send_line(r.request);
        EXPECT_TRUE(raw.wait_for("^150 unavailable$", kWaitMs)) << joined(raw.history());
        EXPECT_TRUE(raw.wait_closed());
    }
    EXPECT_FALSE(fs::exists(kest.settings() / "downloads" / "refused.txt"));
    // The other instance's send while sends are off says why it failed.
    run("caller", "dcc send " + target + " " + (away.path() / "secret.txt").string());
    EXPECT_TRUE(status_says(other, "(150: servis kullanılamıyor)")) << other.status_log();
    EXPECT_FALSE(fs::exists(kest.settings() / "downloads" / "secret.txt"));
    run(kMe, "dcc server +s");

    // A file server asked for through the DCC server: "get" fetches files
    // of the current folder over a link of its own; names that leave the
    // folder, or do not exist there, are not served.
    run("caller", "dcc fserve " + target);
    const fs::path seen = other.settings() / "chat.txt";
    ASSERT_TRUE(file_says(seen, "File Server")) << read_file(seen) << other.status_log() << kest.status_log();
    run("caller", "msg =" + std::string(kMe) + " get big.bin");
    EXPECT_TRUE(until([] {}, [&] { return read_file(other.settings() / "downloads" / "big.bin") == body; }))
        << read_file(other.settings() / "downloads" / "big.bin").size();
    run("caller", "msg =" + std::string(kMe) + " cd sub");
    ASSERT_TRUE(file_says(seen, "[\\sub]")) << read_file(seen);
    run("caller", "msg =" + std::string(kMe) + " get deep.txt");
    EXPECT_TRUE(until([] {}, [&] { return read_file(other.settings() / "downloads" / "deep.txt") == "deep down\n"; }))
        << other.status_log() << kest.status_log();
    // Names outside the current folder are refused; a name that exists
    // there, asked for after them, still comes.
    for (const std::string& name :
         {"../../" + away.path().filename().string() + "/secret.txt", std::string("/etc/hostname"),
          std::string("..\\big.bin"), std::string(300, 'n') + ".txt"})
        run("caller", "msg =" + std::string(kMe) + " get " + name);
    ASSERT_TRUE(write_file(served.path() / "sub" / "later.txt", "later\n"));
    run("caller", "msg =" + std::string(kMe) + " get later.txt");
    EXPECT_TRUE(until([] {}, [&] { return read_file(other.settings() / "downloads" / "later.txt") == "later\n"; }))
        << other.status_log() << kest.status_log();
    for (const char* name : {"secret.txt", "hostname"}) {
        EXPECT_FALSE(fs::exists(other.settings() / "downloads" / name)) << name;
        EXPECT_EQ(kest.status_log().find(std::string(name) + " dosyası"), std::string::npos) << kest.status_log();
    }
    EXPECT_TRUE(read_file(other.settings() / "downloads" / "big.bin") == body);

    // A server named by a host name is looked up before the link opens
    // ("127.1" is a name to this program, not a dotted address).
    ASSERT_TRUE(write_file(away.path() / "byname.txt", "sent to a host name\n"));
    run("caller", "dcc send 127.1:" + std::to_string(port) + " " + (away.path() / "byname.txt").string());
    EXPECT_TRUE(file_says(kest.settings() / "downloads" / "byname.txt", "sent to a host name"))
        << other.status_log() << kest.status_log();
}

TEST_F(DccChatE2e, DccServerEventDecidesRequestsByKind)
{
    const int port = free_port();
    TempDir home("dsrvhome");
    kest.set("fileserver", "homedir", home.path().string());
    // A handler for sends and one for chats; file-server requests have none.
    kest.add_script("srv.kst",
                    "on *:DCCSERVER:SEND:write srv.txt send $nick $nopath($filename) | "
                    "if ($nick == stopper) halt | if ($nick == refuser) dcc reject\n"
                    "on *:DCCSERVER:CHAT:write srv.txt chat $nick | if ($nick == stopper) halt\n");
    ASSERT_NO_FATAL_FAILURE(start_kest(kest, kMe));
    run(kMe, "dcc server on " + std::to_string(port));
    ASSERT_TRUE(status_says(kest, "DCC Server Açık (" + std::to_string(port))) << kest.status_log();
    const fs::path log = kest.settings() / "srv.txt";
    struct Case {
        std::string request;
        std::string reply;
        std::string logged;  // empty: no handler may run
    } cases[] = {
        {"120 stopper 4 held.txt", "^150 unavailable$", "send stopper held.txt"},
        {"120 refuser 4 refused.txt", "^151 rejected$", "send refuser refused.txt"},
        {"120 sender 4 taken.txt", "^121 " + std::string(kMe) + " 0$", "send sender taken.txt"},
        {"100 stopper", "^150 unavailable$", "chat stopper"},
        {"100 chatter", "^101 " + std::string(kMe) + "$", "chat chatter"},
        {"110 stopper", "^111 " + std::string(kMe) + "$", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        const std::size_t before = read_file(log).size();
        LineSocket raw;
        bool connected = false;
        for (int i = 0; i < 50 && !connected; ++i)
            if (!(connected = raw.connect_to(port, 1000)))
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_TRUE(connected);
        raw.send_line(c.request);
        EXPECT_TRUE(raw.wait_for(c.reply, kWaitMs)) << joined(raw.history()) << kest.status_log();
        if (c.logged.empty())
            EXPECT_EQ(read_file(log).size(), before) << read_file(log);
        else
            EXPECT_TRUE(file_says(log, c.logged, before)) << read_file(log);
    }
    // Neither refused file was written.
    EXPECT_FALSE(fs::exists(kest.settings() / "downloads" / "held.txt"));
    EXPECT_FALSE(fs::exists(kest.settings() / "downloads" / "refused.txt"));
}
