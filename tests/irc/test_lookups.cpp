// Host-name lookups on request: /dns against the local resolver (loopback
// names only), the DNS event and its identifiers, the queue order, cancelling
// and hostile names.
#include "app/child_widgets.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "irc/link/lookups.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/lists/address_list.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#include "commands/dns_commands.h"
#include "platform/host_lookup.h"
#include "platform/platform_test_env.h"
#include "script/events_fixture.h"
#include "support/test_wire.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

using events_test::said;

namespace {

// The lines the lookups printed, as they reached the windows' buffers.
std::vector<std::string> g_printed;
int g_printed_listener = 0;

class Lookups : public events_test::EventsTest {
protected:
    void SetUp() override
    {
        EventsTest::SetUp();
        platform_test_app();
        frame_proc_install();
        irc_lookups_install();
        app_wire_irc_lookups();
        status_ = status_window(conn);
        line_printed.add_once(g_printed_listener, kPrintedMarker + 1, [](const LinePrinted& p) {
            if (p.event == kPrintStored && p.first_part && !p.separator)
                g_printed.emplace_back(p.text);
        });
        // The internal address list knows bob's host.
        ial_set_on(1, conn);
        const std::string nick = "bob", address = "u@localhost";
        ial_update(&nick, &address, 0, conn);
        g_printed.clear();
        event_switch_events = 1;
    }
    void TearDown() override
    {
        dns_cancel_all();
        line_printed.drop(g_printed_listener);
        for (WindowRecord* rec : records_)
            win_record_free(rec);
        records_.clear();
        widgets_.clear();
        EventsTest::TearDown();
    }
    // A status window of a connection: where its lookups are asked from and
    // print.
    QWidget* status_window(Connection* owner)
    {
        widgets_.push_back(std::make_unique<QWidget>());
        WindowRecord* rec = win_record_new(1);
        rec->name = "Status Window";
        rec->type = kWinStatus;
        rec->conn = owner;
        rec->hwnd = widgets_.back().get();
        records_.push_back(rec);
        win_create_text_area(rec);
        owner->status_window = rec->hwnd.get();
        return rec->hwnd.get();
    }
    int dns(const std::vector<std::string>& args, int show = 1)
    {
        CommandCall call;
        call.tokens.push_back("dns");
        for (const auto& a : args)
            call.tokens.push_back(a);
        call.conn = conn;
        call.show = show;
        return cmd_dns(call);
    }
    // Waits (bounded) until every queued lookup has been handed out.
    bool settle(int ms = 20000)
    {
        return pump_until([] { return dns_queue == nullptr; }, ms);
    }
    void free_window(QWidget* window)
    {
        for (auto it = records_.begin(); it != records_.end(); ++it)
            if ((*it)->hwnd.get() == window) {
                win_record_free(*it);
                records_.erase(it);
                return;
            }
    }
    QWidget* status_ = nullptr;
    std::vector<WindowRecord*> records_;
    std::vector<std::unique_ptr<QWidget>> widgets_;
};

// Forward and reverse lookups show the progress and result lines and raise
// DNS with the lookup's identifiers set.
TEST_F(Lookups, ResultLinesAndEventIdentifiers)
{
    load_script("a.kst", {"on *:DNS:say nick= $+ $dns(0).nick q= $+ $dns(1) n= $+ $dns(0)"
                          " ip= $+ $dns(0).ip ip1= $+ $dns(1).ip addr= $+ $dns(0).addr"});
    // $nick is whoever the lookup was made for: empty for a host or address.
    load_script("b.kst", {"on *:DNS:say i= $+ $iaddress n= $+ $naddress r= $+ $raddress nk= $+ $nick"});
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> printed;
        std::vector<std::string> said;
    } cases[] = {
        {"address to name", {"127.0.0.1"},
         {"* Dns'ye Bakılıyor 127.0.0.1", "* Dns Çekilen 127.0.0.1 Çözülen ip localhost"},
         {"nick= q= n=0 ip=127.0.0.1 ip1= addr=localhost",
          "i=127.0.0.1 n=localhost r=localhost nk="}},
        {"the part after @ is looked up", {"me@127.0.0.1"},
         {"* Dns'ye Bakılıyor 127.0.0.1", "* Dns Çekilen 127.0.0.1 Çözülen ip localhost"},
         {"nick= q= n=0 ip=127.0.0.1 ip1= addr=localhost",
          "i=127.0.0.1 n=localhost r=localhost nk="}},
        {"name to address: -h takes a name without a dot as a host", {"-h", "localhost"},
         {"* Dns'ye Bakılıyor localhost", "* Dns Çekilen localhost Çözülen ip 127.0.0.1"},
         {"nick= q=localhost n=1 ip=127.0.0.1 ip1=127.0.0.1 addr=localhost",
          "i=127.0.0.1 n=localhost r=127.0.0.1 nk="}},
        {"a known nick's host under the nick's name", {"bob"},
         {"* Dns'ye Bakılıyor localhost", "* Dns Çekilen localhost Çözülen ip 127.0.0.1"},
         {"nick=bob q=localhost n=1 ip=127.0.0.1 ip1=127.0.0.1 addr=localhost",
          "i=127.0.0.1 n=localhost r=127.0.0.1 nk=bob"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_printed.clear();
        said.clear();
        EXPECT_EQ(dns(c.args), 1);
        ASSERT_TRUE(settle());
        EXPECT_EQ(g_printed, c.printed);
        EXPECT_EQ(said, c.said);
        EXPECT_TRUE(dns_addresses.empty());
    }
}

// Names that cannot resolve, and names no resolver should see, end in the
// failure text (and a DNS event with no result); empty names are refused.
TEST_F(Lookups, FailuresAndHostileNames)
{
    load_script("a.kst", {"on *:DNS:say r= $+ $raddress n= $+ $dns(0)"});
    const std::string long_name = std::string(300, 'a') + ".org";
    struct Case {
        const char* name;
        std::string query;
        int result;
        std::string shown;   // the query as shown; empty: nothing at all
    } cases[] = {
        {"unresolvable", "no-such-host.invalid", 2, "no-such-host.invalid"},
        {"blank inside", "bad host.org", 2, "bad host.org"},
        {"control character", std::string("bad\x01host.org"), 2, std::string("bad\x01host.org")},
        {"line break", "bad\r\nhost.org", 2, "bad\r\nhost.org"},
        {"over 255 characters is cut and fails", long_name, 2, long_name.substr(0, 256)},
        {"empty", "", 0, ""},
        {"blanks only", "    ", 0, ""},
        {"nothing after @", "nick@", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_printed.clear();
        said.clear();
        EXPECT_EQ(dns_lookup_request(status_, std::string(), c.query, 1, kDnsCommand), c.result);
        ASSERT_TRUE(settle());
        if (c.shown.empty()) {
            EXPECT_TRUE(g_printed.empty());
            EXPECT_TRUE(said.empty());
            continue;
        }
        EXPECT_EQ(g_printed, (std::vector<std::string>{"* Dns'ye Bakılıyor " + c.shown,
                                                       "* Dns Çözülemedi " + c.shown}));
        EXPECT_EQ(said, (std::vector<std::string>{"r= n=0"}));
    }
}

// Requests wait in order; the waiting ones say so with the count of others.
TEST_F(Lookups, QueuedLookupsCompleteInOrder)
{
    load_script("a.kst", {"on *:DNS:say $raddress"});
    EXPECT_EQ(dns({"-h", "localhost"}), 1);
    EXPECT_EQ(dns({"127.0.0.1"}), 1);
    EXPECT_EQ(dns({"bob"}), 1);
    EXPECT_EQ(dns_queue_count(), 3);
    ASSERT_TRUE(settle());
    EXPECT_EQ(g_printed, (std::vector<std::string>{
                             "* Dns'ye Bakılıyor localhost",
                             "* Dns sırada 127.0.0.1 (1 sıradaki dns)",
                             "* Dns sırada localhost (2 sıradaki dns)",
                             "* Dns Çekilen localhost Çözülen ip 127.0.0.1",
                             "* Dns'ye Bakılıyor 127.0.0.1 (1 sıradaki dns)",
                             "* Dns Çekilen 127.0.0.1 Çözülen ip localhost",
                             "* Dns'ye Bakılıyor localhost",
                             "* Dns Çekilen localhost Çözülen ip 127.0.0.1",
                         }));
    EXPECT_EQ(said, (std::vector<std::string>{"127.0.0.1", "localhost", "127.0.0.1"}));
    // /dns without a name lists nothing once the queue is empty.
    g_printed.clear();
    EXPECT_EQ(dns({}), 1);
    EXPECT_TRUE(g_printed.empty());
}

// Cancelling drops what is still pending: all of it, or all but the head
// for /dns -c. A listing shows what waits.
TEST_F(Lookups, CancelDropsPendingResults)
{
    load_script("a.kst", {"on *:DNS:say $raddress"});
    dns({"-h", "localhost"}, 0);
    dns({"127.0.0.1"}, 0);
    dns({"bob"}, 0);
    EXPECT_EQ(dns({}), 1);
    EXPECT_EQ(g_printed, (std::vector<std::string>{"* DNS Çözülüyor:", "localhost", "127.0.0.1",
                                                   "localhost"}));
    g_printed.clear();
    EXPECT_EQ(dns({"-c"}), 1);
    EXPECT_EQ(dns_queue_count(), 1);
    ASSERT_TRUE(settle());
    EXPECT_EQ(said, (std::vector<std::string>{"127.0.0.1"}));
    EXPECT_TRUE(g_printed.empty());  // show flag off: no lines

    said.clear();
    dns({"-h", "localhost"});
    dns({"127.0.0.1"});
    g_printed.clear();
    dns_cancel_all();
    EXPECT_EQ(dns_queue, nullptr);
    EXPECT_EQ(host_lookup_pending(), 0);
    pump_for(300);
    EXPECT_TRUE(said.empty());
    EXPECT_TRUE(g_printed.empty());
    // The queue works again afterwards.
    // A stray completion that matches no request leaves the one in flight alone.
    dns({"-h", "localhost"});
    dns_on_lookup_done(static_cast<uintptr_t>(static_cast<intptr_t>(-999999)), intptr_t{10061} << 16);
    EXPECT_EQ(dns_queue_count(), 1);
    ASSERT_TRUE(settle());
    EXPECT_EQ(said, (std::vector<std::string>{"127.0.0.1"}));
}

// A lookup whose connection closed meanwhile is dropped without output and
// the next one still runs.
TEST_F(Lookups, ClosedConnectionDropsItsLookup)
{
    load_script("a.kst", {"on *:DNS:say $raddress"});
    Connection* other = conn_new(nullptr);
    EXPECT_EQ(dns_lookup_request(status_window(other), "", "localhost", 1, kDnsCommand), 2);
    EXPECT_EQ(dns_lookup_request(status_, "", "127.0.0.1", 1, kDnsCommand), 2);
    free_window(other->status_window.data());
    conn_free(other);
    g_printed.clear();
    ASSERT_TRUE(settle());
    EXPECT_EQ(said, (std::vector<std::string>{"localhost"}));
    EXPECT_EQ(g_printed, (std::vector<std::string>{"* Dns'ye Bakılıyor 127.0.0.1",
                                                   "* Dns Çekilen 127.0.0.1 Çözülen ip localhost"}));
    // A window without a connection gets no lookup.
    EXPECT_EQ(dns_lookup_request(nullptr, "", "localhost", 1, kDnsCommand), 0);
    EXPECT_EQ(dns_queue, nullptr);
}

// A nick nobody knows: not connected is an error; connected, the server is
// asked for its address, and an empty answer settles it as not found. A
// handler's /haltdef keeps the result line away.
TEST_F(Lookups, UnknownNickAndHaltedOutput)
{
    load_script("a.kst", {"on *:DNS:say $nick $dns(0).nick"});
    script_error_clear();
    EXPECT_EQ(dns({"carol"}), 0);
    EXPECT_TRUE(script_error_pending());
    script_error_clear();
    TestWire wire;
    ASSERT_TRUE(wire.ok());
    irc_state_new_link(conn);
    conn->connected = 1;
    wire.attach(conn);
    EXPECT_EQ(dns({"carol"}), 1);
    EXPECT_EQ(wire.lines(), std::vector<std::string>{"USERHOST carol\n"});
    EXPECT_TRUE(g_printed.empty());
    irc_dispatch_line(":srv 302 me :", conn);
    conn->connected = 0;
    conn->socket = -1;
    EXPECT_EQ(dns_queue, nullptr);
    EXPECT_EQ(g_printed, (std::vector<std::string>{"* /dns: Kullanıcı Bulunamadı carol"}));
    EXPECT_EQ(said, (std::vector<std::string>{"carol carol"}));

    remote_files_free_all();
    load_script("h.kst", {"on *:DNS:haltdef"});
    g_printed.clear();
    dns({"-h", "localhost"});
    ASSERT_TRUE(settle());
    EXPECT_EQ(g_printed, (std::vector<std::string>{"* Dns'ye Bakılıyor localhost"}));
}

// The local-host kinds fill the connection's local address and name without
// showing progress lines.
TEST_F(Lookups, LocalHostKindsFillTheConnection)
{
    struct Case {
        const char* name;
        std::string query;
        int kind;
        std::string ip_text, host;
        std::uint32_t ip;
    } cases[] = {
        {"kind 5 by name gives the address", "localhost", kDnsLocalHost, "127.0.0.1", "", 0x7F000001u},
        {"kind 5 by address gives the name", "127.0.0.1", kDnsLocalHost, "", "localhost", 0},
        {"kind 51 gives the address, then its name", "localhost", kDnsLocalInfoAddress, "127.0.0.1",
         "localhost", 0x7F000001u},
        {"a failure changes nothing", "no-such-host.invalid", kDnsLocalHost, "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn->local_ip_text.clear();
        conn->local_host.clear();
        conn->local_ip = 0;
        g_printed.clear();
        EXPECT_EQ(dns_lookup_request(status_, "", c.query, 0, c.kind), 2);
        ASSERT_TRUE(settle());
        EXPECT_EQ(conn->local_ip_text, c.ip_text);
        EXPECT_EQ(conn->local_host, c.host);
        EXPECT_EQ(conn->local_ip, c.ip);
        EXPECT_TRUE(g_printed.empty());
    }
    // Kinds 2-5 are not queued twice for the same host.
    EXPECT_EQ(dns_lookup_request(status_, "", "localhost", 0, kDnsLocalHost), 2);
    EXPECT_EQ(dns_lookup_request(status_, "", "LOCALHOST", 0, kDnsLocalHost), 2);
    EXPECT_EQ(dns_queue_count(), 1);
    ASSERT_TRUE(settle());
}

// Outside a DNS event the identifiers are empty; $dns( takes one or two
// arguments.
TEST_F(Lookups, IdentifiersOutsideTheEvent)
{
    load_script("a.kst", {"on 1:TEXT:*:#:say a $+ $dns(0) $+ $dns(1).ip $+ $iaddress $+ $raddress $+ b"});
    EventLine l = text_line("bob", "#chan", "hello");
    fire_line(l, "TEXT", kEvText, 0);
    EXPECT_EQ(said, (std::vector<std::string>{"ab"}));
    script_error_clear();
    said.clear();
    remote_files_free_all();
    load_script("b.kst", {"on 1:TEXT:*:#:say $dns(1,2,3)"});
    fire_line(l, "TEXT", kEvText, 0);
    EXPECT_TRUE(said.empty());
    script_error_clear();
}

TEST(LookupsMask, DottedIpMasks)
{
    struct Case {
        const char* text;
        bool mask;
    } cases[] = {
        {"127.0.0.1", true}, {"10", true},        {"1.2.*", true},    {"1?.2.3.4", true},
        {"255.255.255.255", true}, {"256.1.1.1", false}, {"1.2.3.4.5", false}, {"", false},
        {"1..2", false},   {"1.2.", false},       {".1", false},      {"localhost", false},
        {"::1", false},    {"99999999999999999999", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(dns_is_ip_mask(c.text), c.mask);
    }
}

} // namespace
