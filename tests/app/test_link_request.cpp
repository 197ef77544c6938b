// irc: links from outside: the link-request dialog that asks before a link
// handed over by another program changes anything (its three choices and
// no answer), and the check of every field of a link before anything is
// built from it. Links arrive the way they really do: through the
// instance hand-over of the local service, and on the command line. What
// the program does is read on the wire of its server link (a socket pair)
// and at a listening socket standing for another server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/hand_over_peer.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/link_request_dialog.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "core/options.h"
#include "irc/link/connect.h"
#include "irc/link/net_settings.h"
#include "platform/app_messages.h"
#include "platform/local_ipc.h"
#include "platform/sockets.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the test does with a link-request dialog once it shows.
using DialogAction = std::function<void(QDialog*)>;

void click(QDialog* d, const char* id)
{
    auto* button = d->findChild<QPushButton*>(id);
    ASSERT_TRUE(button) << id;
    ASSERT_TRUE(button->isEnabled()) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

void press_escape(QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }
void close_box(QDialog* d) { d->close(); }

std::string field(QDialog* d, const char* id)
{
    auto* edit = d->findChild<QLineEdit*>(id);
    return edit ? edit->text().toStdString() : std::string("<none>");
}

// Answers each link-request dialog that shows with the next planned
// action; a dialog with no action planned is counted and cancelled, so a
// fault shows as a count, never as a hang.
class DialogAnswerer {
public:
    DialogAnswerer()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    void plan(DialogAction act) { plan_.push_back(std::move(act)); }
    int shown = 0;       // dialogs seen
    int unplanned = 0;   // dialogs that showed with nothing planned
    std::vector<int> templates;

private:
    void poll()
    {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || d->objectName() != kLinkRequestDialogName || d == last_)
            return;
        last_ = d;
        ++shown;
        templates.push_back(d->property("template").toInt());
        if (plan_.empty()) {
            ++unplanned;
            d->reject();
            return;
        }
        DialogAction act = std::move(plan_.front());
        plan_.pop_front();
        act(d);
        if (d->isVisible())
            d->reject();
    }
    QTimer timer_;
    std::deque<DialogAction> plan_;
    QPointer<QDialog> last_;
};

// A listening socket on 127.0.0.1 standing for another IRC server.
class Listener {
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (peer_ >= 0)
            ::close(peer_);
        if (fd_ >= 0)
            ::close(fd_);
    }
    // A client that connected, within the wait (the program's events run
    // meanwhile); -1 when none came.
    int accept_within(int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) == 1) {
                peer_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                return peer_;
            }
            window_test_pump();
            QTest::qWait(5);
        }
        return -1;
    }
    // Whether a client is waiting now.
    bool pending() const
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }
    int port = 0;

private:
    int fd_ = -1;
    int peer_ = -1;
};

// The next whole line from a socket, read while the program's events run;
// empty when none came within the wait.
std::string next_line(int fd, std::string& buffer, int ms = 5000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::size_t nl = buffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (Clock::now() >= end)
            return std::string();
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) == 1) {
            char chunk[4096];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return std::string();
            buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        window_test_pump();
        QTest::qWait(2);
    }
}

void set_option(int id, int value)
{
    option_set_value(option_id_line(id), option_id_position(id), value);
}

class LinkRequestTest : public ::testing::Test {
protected:
    HookGuard hooks_;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        window_test_reset();
        app_install_subsystems();
        // The frame's private messages reach their handlers, whatever frame
        // an earlier test registered and destroyed.
        app_messages_set_frame(nullptr);
        frame_proc_install();
        options_reset();
        // Straight to the servers, whatever an earlier test left.
        saved_proxy = proxy_settings;
        proxy_settings = ProxySettings();
        QMdiArea* mdi = window_test_mdi();
        saved_frame = frame_window;
        frame_window = qobject_cast<QMainWindow*>(mdi->window());
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        // The server link: a real socket to a listener standing for the
        // server this connection is on.
        ASSERT_GT(home.port, 0);
        const int s = sock_create(AF_INET, SOCK_STREAM);
        ASSERT_GE(s, 0);
        SockAddr addr;
        ASSERT_TRUE(sockaddr_from_text("127.0.0.1", home.port, addr));
        sock_connect(s, addr);
        wire = home.accept_within(5000);
        ASSERT_GE(wire, 0);
        conn->socket = s;
        conn->connected = 1;
        conn->registered = 1;
        conn->server_name = "irc.here.test";
        conn->stored_identity[5] = "irc.here.test";
        conn->stored_identity[2] = "kestlink";
        conn->stored_identity[3] = "kestlink2";
        conn->stored_identity[1] = "kest@example.test";
        conn->stored_identity[0] = "Kest Link";
        conn->live_identity[2] = "kestlink";
        window_test_pump();
    }
    void TearDown() override
    {
        window_test_reset();
        frame_window = saved_frame;
        proxy_settings = saved_proxy;
        options_reset();
    }

    // A link handed over by a second start of the program, as the local
    // service receives it.
    void hand_over(const std::string& link)
    {
        std::string reply;
        EXPECT_EQ(frame_ipc_request(IPC_LINK, link, reply), 1);
        window_test_pump();
    }

    // Sends a marker line on the connection and returns the lines the
    // server got up to it: what the program sent before the marker.
    std::vector<std::string> sent_before_marker()
    {
        if (conn_is_live(conn) && conn->socket >= 0)
            script_exec_line(conn->status_window.data(), "/raw MARKER", nullptr, 0, nullptr, nullptr, conn);
        std::vector<std::string> out;
        for (;;) {
            std::string line = next_line(wire, buffer);
            if (line.empty() || line == "MARKER")
                break;
            out.push_back(line);
        }
        return out;
    }

    // What the status windows showed (for a failure's message).
    static std::string status_text()
    {
        std::string out;
        for (Connection* k = conn_list; k; k = k->next)
            if (WindowRecord* rec = win_record_of(k->status_window))
                for (const StringNode* n = rec->lines; n; n = n->next)
                    out += n->text + "\n";
        return out;
    }

    TempSettingsDir settings{"kest_linkrequest"};
    Listener home;
    ProxySettings saved_proxy;
    QPointer<QMainWindow> saved_frame;
    Connection* conn = nullptr;
    int wire = -1;
    std::string buffer;
};

// ---- The dialog ----

// Template 585 for a link with a channel, 586 without: the fields show the
// current server, the requested one and the channel; each button gives its
// result, and Escape and the close box give none.
TEST_F(LinkRequestTest, TheDialogGivesEachChoiceAndNoneWhenClosed)
{
    struct Case {
        const char* name;
        const char* channel;
        DialogAction act;
        int result;
    };
    const Case cases[] = {
        {"change server", "#far", [](QDialog* d) { click(d, "104"); }, kLinkRequestChangeServer},
        {"join here", "#far", [](QDialog* d) { click(d, "105"); }, kLinkRequestJoinHere},
        {"new connection", "#far", [](QDialog* d) { click(d, "106"); }, kLinkRequestNewConnection},
        {"escape", "#far", press_escape, kLinkRequestNone},
        {"close box", "#far", close_box, kLinkRequestNone},
        {"no channel: change server", "", [](QDialog* d) { click(d, "104"); }, kLinkRequestChangeServer},
        {"no channel: new connection", "", [](QDialog* d) { click(d, "106"); }, kLinkRequestNewConnection},
        {"no channel: escape", "", press_escape, kLinkRequestNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogAnswerer answer;
        const bool with_channel = *c.channel != '\0';
        answer.plan([&](QDialog* d) {
            EXPECT_EQ(field(d, "101"), "irc.here.test");
            EXPECT_EQ(field(d, "102"), "irc.there.test");
            EXPECT_EQ(field(d, "103"), with_channel ? c.channel : "<none>");
            auto* join = d->findChild<QPushButton*>("105");
            ASSERT_TRUE(join);
            EXPECT_EQ(join->isEnabled(), with_channel) << "nothing to join without a channel";
            // A stray Enter follows nothing.
            QTest::keyClick(d, Qt::Key_Return);
            EXPECT_TRUE(d->isVisible());
            c.act(d);
        });
        LinkRequest r;
        r.server = "irc.there.test";
        r.port = "6667";
        r.channel = c.channel;
        EXPECT_EQ(link_request_dialog("irc.here.test", r), c.result);
        EXPECT_EQ(answer.shown, 1);
        EXPECT_EQ(answer.unplanned, 0);
        ASSERT_EQ(answer.templates.size(), 1u);
        EXPECT_EQ(answer.templates[0], with_channel ? 585 : 586);
    }
}

TEST(LinkRequestCommand, EachChoiceRunsItsCommandLine)
{
    struct Case {
        int result;
        const char* server;
        const char* password;
        const char* channel;
        const char* command;
    };
    const Case cases[] = {
        {kLinkRequestChangeServer, "irc.there.test", "", "#far", "/!.server irc.there.test 7000 -l -j #far"},
        {kLinkRequestChangeServer, "irc.there.test", "pw", "#far", "/!.server irc.there.test 7000 pw -l -j #far"},
        {kLinkRequestChangeServer, "", "", "#far", "/!.server -j #far"},
        {kLinkRequestNewConnection, "irc.there.test", "", "#far", "/!.server -m irc.there.test 7000 -l -j #far"},
        {kLinkRequestNewConnection, "irc.there.test", "pw", "#far",
         "/!.server -m irc.there.test 7000 pw -l -j #far"},
        {kLinkRequestNewConnection, "", "", "#far", "/!.server -m -j #far"},
        {kLinkRequestJoinHere, "irc.there.test", "", "#far key", "/join #far key"},
        {kLinkRequestJoinHere, "irc.there.test", "", "", ""},
        {kLinkRequestNone, "irc.there.test", "", "#far", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        LinkRequest r;
        r.server = c.server;
        r.port = "7000";
        r.password = c.password;
        r.channel = c.channel;
        EXPECT_EQ(link_request_command(c.result, r), c.command);
    }
}

// ---- A link handed over from outside ----

// With the ask-first option on (the default) a handed-over link changes
// nothing until the user answers: no answer leaves the program on its
// server; each answer does what it says, on the wire.
TEST_F(LinkRequestTest, AHandedOverLinkAsksFirstAndFollowsTheAnswer)
{
    struct Case {
        const char* name;
        DialogAction act;
        std::vector<std::string> sent;  // on the current server, in order
        bool quits;                     // the current server gets a QUIT first
        bool connects;                  // the other server gets a logon
        bool new_connection;            // ... on a connection of its own
    };
    const Case cases[] = {
        {"escape", press_escape, {}, false, false, false},
        {"close box", close_box, {}, false, false, false},
        {"join here", [](QDialog* d) { click(d, "105"); }, {"JOIN #far"}, false, false, false},
        {"new connection", [](QDialog* d) { click(d, "106"); }, {}, false, true, true},
        {"change server", [](QDialog* d) { click(d, "104"); }, {}, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Listener other;
        ASSERT_GT(other.port, 0);
        DialogAnswerer answer;
        answer.plan(c.act);
        const std::string link = "irc://127.0.0.1:" + std::to_string(other.port) + "/far";
        hand_over(link);
        EXPECT_EQ(answer.shown, 1);
        EXPECT_EQ(answer.unplanned, 0);
        ASSERT_EQ(answer.templates.size(), 1u);
        EXPECT_EQ(answer.templates[0], 585);
        if (c.quits) {
            const std::string first = next_line(wire, buffer);
            EXPECT_EQ(first.rfind("QUIT", 0), 0u) << first;
        } else {
            EXPECT_EQ(sent_before_marker(), c.sent);
            EXPECT_EQ(conn->stored_identity[5], "irc.here.test");
            EXPECT_TRUE(conn_is_connected(conn));
        }
        int count = 0;
        for (Connection* k = conn_list; k; k = k->next)
            ++count;
        EXPECT_EQ(count, c.new_connection ? 2 : 1);
        if (c.connects) {
            const int peer = other.accept_within(5000);
            ASSERT_GE(peer, 0) << "no logon at the other server: " << status_text();
            std::string in;
            bool nick = false;
            for (std::string line = next_line(peer, in); !line.empty() && !nick; line = next_line(peer, in))
                nick = line.rfind("NICK ", 0) == 0;
            EXPECT_TRUE(nick);
        } else {
            EXPECT_FALSE(other.pending()) << "nothing may connect without a yes";
        }
        // Back to one connection on this server for the next case.
        for (Connection* k = conn_list; k;) {
            Connection* next = k->next;
            if (k != conn)
                conn_free(k);
            k = next;
        }
        if (c.quits)
            return;  // the connection has left its server: the last case
    }
}

// Only one request is shown at a time: a link handed over while the dialog
// is open is dropped; after the answer, the next link asks again.
TEST_F(LinkRequestTest, OneRequestAtATime)
{
    DialogAnswerer answer;
    answer.plan([this](QDialog* d) {
        hand_over("irc://irc.here.test/second");
        EXPECT_EQ(QApplication::activeModalWidget(), d);
        press_escape(d);
    });
    hand_over("irc://irc.here.test/first");
    EXPECT_EQ(answer.shown, 1);
    EXPECT_EQ(answer.unplanned, 0);
    EXPECT_EQ(sent_before_marker(), std::vector<std::string>{});
    // Asked again, and answered this time.
    answer.plan([](QDialog* d) { click(d, "105"); });
    hand_over("irc://irc.here.test/third");
    EXPECT_EQ(answer.shown, 2);
    EXPECT_EQ(answer.unplanned, 0);
    EXPECT_EQ(sent_before_marker(), std::vector<std::string>{"JOIN #third"});
}

// With the ask-first option off the link is followed at once.
TEST_F(LinkRequestTest, WithoutAskingTheLinkIsFollowed)
{
    set_option(OPT_CHAT_LINKS_CONFIRM, 0);
    DialogAnswerer answer;
    hand_over("irc://irc.here.test/now?key");
    EXPECT_EQ(answer.shown, 0);
    EXPECT_EQ(sent_before_marker(), std::vector<std::string>{"JOIN #now key"});
}

// ---- Hostile links ----

// A field of a link holding a line end, another control character or a
// blank, a port that is no number up to 65535, or a server written as a
// switch: the link is refused whole. Handed over with and without asking,
// nothing reaches the server and no dialog shows; the same links in good
// form are followed.
TEST_F(LinkRequestTest, HostileLinksAreRefusedBeforeAnythingIsBuilt)
{
    const char* const hostile[] = {
        "irc://irc.here.test/a9\r\nPRIVMSG x :raw9",
        "irc://irc.here.test/a9\nPRIVMSG x :raw9",
        "irc://irc.here.test/a9\rPRIVMSG x :raw9",
        "irc://irc.here.test/a9?key\r\nQUIT :k",
        "irc://irc.here.test\r\nQUIT :s/a9",
        "irc://irc.here.test:6667\nQUIT/a9",
        "irc://nick\nQUIT@irc.here.test/a9",
        "irc://irc.here.test/a\x07" "9",
        "irc://irc.here.test/a\x7f" "9",
        "irc://irc.here.test/a9 b",
        "irc://irc.here.test:66x7/a9",
        "irc://irc.here.test:65536/a9",
        "irc://irc.here.test:123456/a9",
        "irc://-e/a9",
        "#a9\r\nPRIVMSG x :raw9",
        "irc.here.test:6667\n,#a9",
        "-d.x,#a9",
    };
    for (int ask : {0, 1}) {
        set_option(OPT_CHAT_LINKS_CONFIRM, ask);
        for (const char* link : hostile) {
            SCOPED_TRACE(std::string(ask ? "asking: " : "not asking: ") + link);
            DialogAnswerer answer;
            hand_over(link);
            EXPECT_EQ(answer.shown, 0);
            EXPECT_EQ(sent_before_marker(), std::vector<std::string>{});
            EXPECT_EQ(conn->stored_identity[5], "irc.here.test");
        }
    }
    // The good forms, the port at its largest.
    set_option(OPT_CHAT_LINKS_CONFIRM, 0);
    const struct {
        const char* link;
        const char* sent;
    } good[] = {
        {"irc://irc.here.test/a9", "JOIN #a9"},
        {"irc://irc.here.test:65535/a9?key", "JOIN #a9 key"},
        {"irc://nick@irc.here.test:6667/#a9", "JOIN #a9"},
        {"#a9,irc.here.test", "JOIN #a9"},
        // What a script line would read as identifiers, variables or a
        // second command is a channel's name like any other.
        {"#a9|/quit,irc.here.test", "JOIN #a9|/quit"},
        {"#a9$me%x,irc.here.test", "JOIN #a9$me%x"},
        {"#a9 $+ b,irc.here.test", "JOIN #a9 $+ b"},
    };
    for (const auto& g : good) {
        SCOPED_TRACE(g.link);
        hand_over(g.link);
        EXPECT_EQ(sent_before_marker(), std::vector<std::string>{g.sent});
    }
}

// On the command line a hostile link is neither kept for the start nor
// offered to a running instance; a good one is both.
TEST(LinkCommandLine, HostileLinksAreNeitherKeptNorHandedOver)
{
    HandOverPeer instance(std::filesystem::temp_directory_path() /
                          ("kest_link_cmdline_" + std::to_string(::getpid())));
    ASSERT_TRUE(instance.served());
    const std::vector<std::string>& offered = instance.offered;
    const char* const hostile[] = {
        "irc://irc.example.net/a9\r\nPRIVMSG x :raw9",
        "irc://irc.example.net:6667\nQUIT/a9",
        "irc://irc.example.net/a9 b",
        "irc://irc.example.net:70000/a9",
        "irc://-e/a9",
    };
    for (const char* link : hostile) {
        SCOPED_TRACE(link);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{link}, std::vector<std::string>{std::string("-s") + link}}) {
            CmdlineResult r = instance.parse(args, CmdlineResult());
            EXPECT_EQ(r.result, 1);
            EXPECT_EQ(r.link, "");
            EXPECT_EQ(r.server, "");
            EXPECT_EQ(r.channel, "");
            EXPECT_EQ(r.port, "");
        }
    }
    EXPECT_TRUE(offered.empty());
    CmdlineResult r = instance.parse({"irc://irc.example.net:6697/a9?key"}, CmdlineResult());
    EXPECT_EQ(r.link, "irc://irc.example.net:6697/a9?key");
    EXPECT_EQ(r.server, "irc.example.net");
    EXPECT_EQ(r.port, "6697");
    EXPECT_EQ(r.channel, "#a9 key");
    EXPECT_EQ(offered, std::vector<std::string>{"irc://irc.example.net:6697/a9?key"});
}

} // namespace

// Every field of a link ends up in a command line: a field that would add
// a word, a switch or a second line makes no command at all.
TEST(LinkRequestCommand, FieldsThatWouldChangeTheCommandLineMakeNone)
{
    struct Case {
        const char* name;
        const char* server;
        const char* port;
        const char* password;
        const char* channel;
        int valid;
    };
    const Case cases[] = {
        {"plain", "irc.there.test", "6667", "", "#far", 1},
        {"channel and key", "irc.there.test", "6667", "", "#far key", 1},
        {"no server, no port", "", "", "", "#far", 1},
        {"port 1", "irc.there.test", "1", "", "#far", 1},
        {"port 65535", "irc.there.test", "65535", "", "#far", 1},
        {"port 0", "irc.there.test", "0", "", "#far", 0},
        {"port 65536", "irc.there.test", "65536", "", "#far", 0},
        {"port with letters", "irc.there.test", "66a7", "", "#far", 0},
        {"port negative", "irc.there.test", "-1", "", "#far", 0},
        {"server without port", "irc.there.test", "", "", "#far", 0},
        {"blank in server", "irc.there.test -m", "6667", "", "#far", 0},
        {"server as a switch", "-m", "6667", "", "#far", 0},
        {"blank in password", "irc.there.test", "6667", "pw -m", "#far", 0},
        {"password as a switch", "irc.there.test", "6667", "-l", "#far", 0},
        {"line feed in channel", "irc.there.test", "6667", "", "#far\n/quit", 0},
        {"carriage return in server", "irc.there.test\r", "6667", "", "#far", 0},
        {"tab in password", "irc.there.test", "6667", "p\tw", "#far", 0},
        {"delete in channel", "irc.there.test", "6667", "", "#f\x7f" "ar", 0},
        {"channel with two blanks", "irc.there.test", "6667", "", "#far key more", 0},
        {"key as a switch", "irc.there.test", "6667", "", "#far -m", 0},
        {"channel as a switch", "irc.there.test", "6667", "", "-m", 0},
        {"channel ending in a blank", "irc.there.test", "6667", "", "#far ", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRequest r;
        r.server = c.server;
        r.port = c.port;
        r.password = c.password;
        r.channel = c.channel;
        EXPECT_EQ(link_request_fields_valid(r), c.valid);
        for (int result : {kLinkRequestChangeServer, kLinkRequestJoinHere, kLinkRequestNewConnection}) {
            const std::string command = link_request_command(result, r);
            if (!c.valid)
                EXPECT_EQ(command, "") << result;
            else
                EXPECT_FALSE(command.empty()) << result;
        }
    }
}
