// The finger client and server on real loopback sockets: /finger typed into
// the editbox against a plain socket peer and against the program's own
// finger server, nicks resolved through the address list or USERHOST,
// cancelling, hostile replies, and the server's sections of the finger file.
#include <gtest/gtest.h>

#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/command_line.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/net_settings.h"
#include "irc/link/send_queue.h"
#include "irc/lists/address_list.h"
#include "irc/services/finger.h"
#include "platform/app_messages.h"
#include "platform/platform_test_env.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

int listen_loopback(int* port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 5) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

int free_port()
{
    int port = 0;
    int fd = listen_loopback(&port);
    ::close(fd);
    return port;
}

int connect_to(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A plain socket playing a finger server: takes one client at a time while
// the program's events run.
struct PlainPeer {
    int fd = -1;
    int port = 0;
    PlainPeer() { fd = listen_loopback(&port); }
    ~PlainPeer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int accept_client(int ms = 5000)
    {
        int client = -1;
        pump_until(
            [&] {
                client = ::accept(fd, nullptr, nullptr);
                return client >= 0;
            },
            ms);
        return client;
    }
};

// Reads until a line feed arrives, the peer closes or `ms` pass.
std::string read_request(int fd, int ms = 5000)
{
    std::string out;
    pump_until(
        [&] {
            char buf[256];
            ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0)
                out.append(buf, static_cast<std::size_t>(n));
            return n == 0 || out.find('\n') != std::string::npos;
        },
        ms);
    return out;
}

// Everything until the peer closes (or `ms` pass); `closed` tells which.
std::string read_all(int fd, bool& closed, int ms = 5000)
{
    std::string out;
    closed = false;
    pump_until(
        [&] {
            char buf[4096];
            ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0)
                out.append(buf, static_cast<std::size_t>(n));
            if (n == 0)
                closed = true;
            return closed;
        },
        ms);
    return out;
}

// Sends everything, letting the program read meanwhile.
void send_all(int fd, const std::string& data)
{
    std::size_t done = 0;
    pump_until(
        [&] {
            ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            return done >= data.size() || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        },
        10000);
}

std::vector<std::string> lines_of(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

// Whether `want` appears in `lines` in this order (other lines between).
bool in_order(const std::vector<std::string>& lines, const std::vector<std::string>& want)
{
    std::size_t at = 0;
    for (const std::string& l : lines)
        if (at < want.size() && l == want[at])
            ++at;
    return at == want.size();
}

bool has_line(const std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

class Finger : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<int, int, std::string, std::string> saved_{finger_port, finger_server_client_seconds, main_ini_path,
                                                           main_settings.finger_file};

protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        // Socket events reach their handlers, whatever frame an earlier
        // test registered and destroyed.
        app_messages_set_frame(nullptr);
        frame_proc_install();
        saved_show = opt(OPT_FINGER_SHOW_REQUESTS);
        dir = fs::temp_directory_path() / ("kest-finger-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        main_ini_path = (dir / "kest.ini").string();
        main_settings.finger_file.clear();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
    }
    void TearDown() override
    {
        finger_close(std::string());
        finger_server_close_client(0);
        opt_set(OPT_FINGER_SHOW_REQUESTS, saved_show);
        window_test_reset();
        fs::remove_all(dir);
    }
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }
    void type(const std::string& text)
    {
        QTest::keyClicks(status->editbox.get(), QString::fromStdString(text));
        QTest::keyClick(status->editbox.get(), Qt::Key_Return);
        window_test_pump();
    }
    WindowRecord* finger_window() { return win_find_by_type(kWinFinger, nullptr); }
    std::vector<std::string> finger_lines() { return lines_of(finger_window()); }
    void make_connected()
    {
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->nick_index = 0;
        conn->live_identity[2] = "kestme";
    }
    void write_finger_file(const std::string& text)
    {
        main_settings.finger_file = (dir / "finger.txt").string();
        ASSERT_TRUE(spit_ok(main_settings.finger_file, text));
    }
    static bool spit_ok(const std::string& path, const std::string& text)
    {
        spit(path, text);
        return slurp(path) == text;
    }
    // Starts the program's finger server on a free port that the client
    // uses too.
    void start_server()
    {
        finger_port = free_port();
        finger_server_listen(0, 0);
        ASSERT_EQ(finger_server_listening_port(), finger_port);
    }
    // One request to the program's server: what came back before it closed.
    std::string ask_server(const std::string& request, bool& closed)
    {
        int fd = connect_to(finger_port);
        EXPECT_GE(fd, 0);
        if (fd < 0)
            return std::string();
        if (!request.empty())
            ::send(fd, request.data(), request.size(), 0);
        std::string reply = read_all(fd, closed, 3000);
        ::close(fd);
        return reply;
    }

    int saved_show = 0;
    fs::path dir;
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
};

TEST_F(Finger, TypedQueriesAskThePeerAndShowItsReplyLaidOut)
{
    PlainPeer peer;
    ASSERT_GE(peer.fd, 0);
    finger_port = peer.port;
    const struct {
        const char* typed;
        const char* request;
        const char* trying;
    } cases[] = {
        {"/finger @127.0.0.1", "@127.0.0.1\n", "Bağlanılmaya çalışılan finger @127.0.0.1"},
        {"/finger 127.0.0.1", "@127.0.0.1\n", "Bağlanılmaya çalışılan finger @127.0.0.1"},
        {"/finger alice@127.0.0.1 ignored words", "alice\n", "Bağlanılmaya çalışılan finger alice@127.0.0.1"},
    };
    for (int round = 0; round < 2; ++round) {  // the second round finds the window open
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.typed) + " round " + std::to_string(round));
            type(c.typed);
            ASSERT_TRUE(finger_window()) << "no Finger window";
            EXPECT_EQ(finger_window()->name, "Finger Window");
            int client = peer.accept_client();
            ASSERT_GE(client, 0);
            EXPECT_EQ(read_request(client), c.request);
            send_all(client, "ab\tcd\r\nline two\n\n\tx\nlast without a line feed");
            ::close(client);
            ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
            EXPECT_TRUE(in_order(finger_lines(), {"Deneniyor 127.0.0.1", c.trying, "ab      cd", "line two", " ",
                                                  "        x", "last without a line feed",
                                                  "Finger oturumunun sonu"}))
                << ::testing::PrintToString(finger_lines());
        }
    }
    // Every target once, newest first.
    StringNode* history = finger_history_load();
    std::vector<std::string> texts;
    for (StringNode* n = history; n; n = n->next)
        texts.push_back(n->text);
    strlist_free(&history);
    EXPECT_EQ(texts, (std::vector<std::string>{"alice@127.0.0.1", "127.0.0.1"}));
}

TEST_F(Finger, HostileRepliesStayBoundedAndLoseNothing)
{
    PlainPeer peer;
    ASSERT_GE(peer.fd, 0);
    finger_port = peer.port;
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>(i & 0xff);
    const struct {
        const char* what;
        std::string reply;
        std::size_t marks;  // 'Q' characters that must reach the window
    } cases[] = {
        {"huge without a line feed", std::string(300000, 'Q'), 300000},
        {"one line just over the buffer", std::string(kFingerLineMax + 10, 'Q') + "\n", kFingerLineMax + 10},
        {"tabs at the end of a full line", std::string(kFingerLineMax - 3, 'Q') + "\t\t\t\n", kFingerLineMax - 3},
        {"binary bytes", binary + "Q", 4096 / 256 + 1},  // the byte 'Q' of each round and the last one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        type("/finger @127.0.0.1");
        int client = peer.accept_client();
        ASSERT_GE(client, 0);
        read_request(client);
        send_all(client, c.reply);
        ::close(client);
        ASSERT_TRUE(pump_until([] { return !finger_running(); }, 10000)) << "the query never ended";
        std::vector<std::string> lines = finger_lines();
        // Only this query's lines: those after its last "Deneniyor".
        std::size_t from = 0;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == "Deneniyor 127.0.0.1")
                from = i;
        std::size_t marks = 0;
        for (std::size_t i = from; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), kFingerLineMax);
            marks += static_cast<std::size_t>(std::count(lines[i].begin(), lines[i].end(), 'Q'));
        }
        EXPECT_EQ(marks, c.marks);
        EXPECT_EQ(lines.back(), "Finger oturumunun sonu");
    }
}

TEST_F(Finger, ASecondStartTheMenuCommandAndClosingTheWindowCancel)
{
    PlainPeer peer;
    ASSERT_GE(peer.fd, 0);
    finger_port = peer.port;
    const struct {
        const char* what;
        int how;  // 0 typed again, 1 menu command 158, 2 the window closed
    } cases[] = {{"typed again", 0}, {"menu command", 1}, {"window closed", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        type("/finger @127.0.0.1");
        int client = peer.accept_client();
        ASSERT_GE(client, 0);
        read_request(client);
        ASSERT_TRUE(finger_running());
        if (c.how == 0)
            type("/finger @127.0.0.1");
        else if (c.how == 1)
            frame_on_command(nullptr, 158, 0);
        else
            win_close(finger_window()->hwnd.get());
        window_test_pump();
        EXPECT_FALSE(finger_running());
        if (c.how != 2) {
            EXPECT_EQ(finger_lines().back(), "Finger İptal Edildi");
        }
        bool closed = false;
        read_all(client, closed, 3000);
        EXPECT_TRUE(closed) << "the peer must see the query end";
        ::close(client);
        // Nothing was started in its place.
        EXPECT_LT(::accept(peer.fd, nullptr, nullptr), 0);
    }
}

TEST_F(Finger, ConnectFailuresAreShownAndEndTheQuery)
{
    finger_port = free_port();  // nobody listens there
    type("/finger @127.0.0.1");
    ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
    EXPECT_EQ(finger_lines().back(), "Finger adresine bağlanılamıyor");
    // A host name that can never be looked up.
    EXPECT_EQ(finger_query_start(status->hwnd.get(), "bad\x01host.test", conn), 1);
    ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
    EXPECT_EQ(finger_lines().back(), "Finger adresi çözülemedi");
}

TEST_F(Finger, ANickIsAskedAtItsAddressFromTheListOrTheServer)
{
    PlainPeer peer;
    ASSERT_GE(peer.fd, 0);
    finger_port = peer.port;
    make_connected();
    const std::string known = "bob";
    const std::string address = "~bobby@127.0.0.1";
    ial_update(&known, &address, 0, conn);
    const struct {
        const char* typed;
        const char* userhost;  // the USERHOST line sent, empty: none
        const char* reply;     // the server's 302 line
        const char* request;   // what the peer is asked
    } cases[] = {
        {"/finger bob", "", "", "bobby\n"},
        {"/finger carol", "USERHOST carol\n", ":srv 302 kestme :carol=+carl@127.0.0.1", "@127.0.0.1\n"},
        {"/finger @dave", "USERHOST dave\n", ":srv 302 kestme :dave=+~dv@127.0.0.1", "dv\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        wire.clear();
        type(c.typed);
        if (*c.userhost) {
            ASSERT_EQ(sent(), std::vector<std::string>{c.userhost});
            EXPECT_FALSE(finger_running()) << "the query waits for the answer";
            irc_dispatch_line(c.reply, conn);
        } else {
            EXPECT_TRUE(sent().empty());
        }
        int client = peer.accept_client();
        ASSERT_GE(client, 0);
        EXPECT_EQ(read_request(client), c.request);
        ::close(client);
        ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
    }
    // A nick the server does not know starts nothing.
    wire.clear();
    type("/finger nobody");
    irc_dispatch_line(":srv 302 kestme :", conn);
    window_test_pump();
    EXPECT_FALSE(finger_running());
    EXPECT_LT(::accept(peer.fd, nullptr, nullptr), 0);
    EXPECT_TRUE(has_line(lines_of(status), "* /finger: Kullanıcı Bulunamadı nobody"))
        << ::testing::PrintToString(lines_of(status));
}

TEST_F(Finger, ANickNeedsAConnectedServer)
{
    type("/finger carol");
    EXPECT_TRUE(sent().empty());
    EXPECT_FALSE(finger_running());
    EXPECT_FALSE(finger_window());
}

TEST_F(Finger, TheServerAnswersFromTheSectionsOfTheFile)
{
    write_finger_file("[default]\nDefault text\n[Alice]\nline one\n\nline three\n$$+(ev,al)\n\n\n[bob]\nbob line\n"
                      "[carl]\ncarl one\n\n\ncarl two\n\n\n\ncarl three\n\n\n"
                      "[dana]\n\n\ndana after two\r\n\n\n\ndana end\n[fay]\nfay\n");
    start_server();
    const struct {
        const char* request;
        const char* reply;
        bool closed_without_reply;
    } cases[] = {
        {"alice\r\n", "line one\n\nline three\neval\n", false},
        {"ALICE\n", "line one\n\nline three\neval\n", false},
        {"bob\r\n", "bob line\n", false},
        // Blank lines inside a section go out as they stand, two or three
        // in a row; those at its end do not.
        {"carl\r\n", "carl one\n\n\ncarl two\n\n\n\ncarl three\n", false},
        {"dana\r\n", "\n\ndana after two\r\n\n\n\ndana end\n", false},
        {"nobody\r\n", "Default text\n", false},
        {"\r\n", "Default text\n", false},
        {"x", "", true},
    };
    for (int round = 0; round < 2; ++round) {  // the server serves again after each
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::PrintToString(std::string(c.request)));
            bool closed = false;
            EXPECT_EQ(ask_server(c.request, closed), c.reply);
            EXPECT_TRUE(closed);
        }
    }
}

TEST_F(Finger, TheServerWithoutAFileOrADefaultSection)
{
    opt_set(OPT_FINGER_SHOW_REQUESTS, 1);
    start_server();
    bool closed = false;
    EXPECT_EQ(ask_server("alice\r\n", closed), "[Finger Dosyası Açılamıyor]\n");
    EXPECT_TRUE(closed);
    EXPECT_TRUE(has_line(lines_of(status), "* Finger server özel [alice]\x0f by 127.0.0.1 (Finger Dosyası Açılamıyor)"))
        << ::testing::PrintToString(lines_of(status));

    write_finger_file("[carol]\ncarol line\n");
    EXPECT_EQ(ask_server("alice\r\n", closed), "Kullanıcı Yok\n");
    EXPECT_EQ(ask_server("carol\r\n", closed), "carol line\n");
    EXPECT_TRUE(has_line(lines_of(status), "* Finger server özel [carol]\x0f by 127.0.0.1"));

    // With the show option off nothing is printed for a served request.
    opt_set(OPT_FINGER_SHOW_REQUESTS, 0);
    const std::size_t before = lines_of(status).size();
    EXPECT_EQ(ask_server("carol\r\n", closed), "carol line\n");
    window_test_pump();
    EXPECT_EQ(lines_of(status).size(), before);
}

// One client at a time: a second one waits while the first is served, and
// a client that never asks is dropped after the time limit.
TEST_F(Finger, ASilentClientIsDroppedAndTheNextOneServed)
{
    write_finger_file("[alice]\nAlice line\n");
    finger_server_client_seconds = 1;
    start_server();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        int silent = connect_to(finger_port);
        ASSERT_GE(silent, 0);
        pump_for(100);
        int second = connect_to(finger_port);
        ASSERT_GE(second, 0);
        ::send(second, "alice\r\n", 7, 0);
        // Not yet: the silent one holds the server.
        bool closed = false;
        EXPECT_EQ(read_all(second, closed, 500), "");
        EXPECT_FALSE(closed);
        // Then the silent one is dropped and the waiting one answered.
        EXPECT_EQ(read_all(second, closed, 5000), "Alice line\n");
        EXPECT_TRUE(closed);
        bool silent_closed = false;
        read_all(silent, silent_closed, 1000);
        EXPECT_TRUE(silent_closed);
        ::close(silent);
        ::close(second);
    }
}

TEST_F(Finger, TheClientAgainstTheProgramsOwnServer)
{
    write_finger_file("[alice]\nAlice Example\n\tdesk 4\n\n");
    start_server();
    type("/finger alice@127.0.0.1");
    ASSERT_TRUE(pump_until([] { return !finger_running(); }, 5000));
    EXPECT_TRUE(in_order(finger_lines(), {"Bağlanılmaya çalışılan finger alice@127.0.0.1", "Alice Example",
                                          "        desk 4", "Finger oturumunun sonu"}))
        << ::testing::PrintToString(finger_lines());
    EXPECT_FALSE(has_line(finger_lines(), "Kullanıcı Yok"));
}

TEST_F(Finger, StartsAtStartUpOnlyWhenSwitchedOn)
{
    const int saved = opt(OPT_FINGER_SERVER);
    SavedValues keep{cmdline_no_registry, ident_settings.enabled};
    cmdline_no_registry = 1;    // no link association from a test
    ident_settings.enabled = 0;
    std::ofstream(main_ini_path) << "[dde]\nServerStatus=off\n";
    finger_port = free_port();
    // The deferred start's services, as the start runs them.
    opt_set(OPT_FINGER_SERVER, 0);
    app_start_services();
    EXPECT_EQ(finger_server_listening_port(), 0);
    opt_set(OPT_FINGER_SERVER, 1);
    app_start_services();
    EXPECT_EQ(finger_server_listening_port(), finger_port);
    opt_set(OPT_FINGER_SERVER, saved);
    finger_server_close_client(0);
    // Closing at exit takes the listener and a running query.
    PlainPeer peer;
    start_server();
    finger_port = peer.port;
    type("/finger @127.0.0.1");
    int client = peer.accept_client();
    ASSERT_GE(client, 0);
    app_close_services();
    EXPECT_EQ(finger_server_listening_port(), 0);
    EXPECT_FALSE(finger_running());
    ::close(client);
}

} // namespace
