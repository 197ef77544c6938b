// Receive-path benchmark: a loopback server in a thread of this program plays
// a busy channel to a real link. The client connects through the link code,
// registers, joins a channel of 5,000 nicks (NAMES), then takes a stream of
// messages with joins, parts, quits and nick changes, with the channel
// logged to a file in a temporary settings folder and its window in an
// offscreen frame. 500,000 lines in all, from the welcome to the last one.
//
//   build/bench/kest_bench --benchmark_filter=Receive
//
// Arguments: the channel's size, and whether the channel window stays in view
// (0) or is minimised as soon as it opens (1). Counters: lines per second
// (first line dispatched to last), peak memory (VmHWM), the paint events of
// the text area and of the nick list per line, members and log size at the
// end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "model/colors.h"
#include "display/logging.h"
#include "display/nick_list.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/traffic_log.h"
#include "irc/link/receive.h"
#include "irc/lists/address_list.h"

#define KEST_TEST_WIDGETS
#include "tests/support/test_support.h"

namespace {

constexpr long kTotalLines = 500000;
constexpr const char* kChannel = "#bench";
constexpr const char* kOwnNick = "kest";

long proc_status_kb(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0) {
            kb = std::strtol(line + n, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return kb;
}

// CPU time of the calling thread.
double thread_cpu_seconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// ---- The server side ----

// A small fixed generator, so every run plays the same lines.
struct Rng {
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    std::uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<std::uint32_t>(s >> 16);
    }
    std::size_t below(std::size_t n) { return n ? next() % n : 0; }
};

// Writes the whole buffer (blocking); false when the peer went.
bool write_all(int fd, const std::string& data)
{
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

struct Server {
    int listener = -1;
    int port = 0;
    int channel_size = 5000;
    std::atomic<bool> stop{false};
    std::atomic<long> lines_written{0};
    std::atomic<bool> failed{false};
    std::thread thread;

    bool listen_loopback()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listener < 0)
            return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener, 4) != 0)
            return false;
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        return true;
    }

    // Waits (bounded) for fd to become readable; false on timeout or stop.
    bool wait_readable(int fd, int total_ms)
    {
        for (int waited = 0; waited < total_ms && !stop; waited += 100) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0)
                return true;
        }
        return false;
    }

    void run()
    {
        if (!wait_readable(listener, 10000)) {
            failed = true;
            return;
        }
        const int peer = ::accept(listener, nullptr, nullptr);
        if (peer < 0) {
            failed = true;
            return;
        }
        // The registration: wait for the USER line.
        std::string got;
        char buf[4096];
        while (got.find("USER ") == std::string::npos || got.back() != '\n') {
            if (!wait_readable(peer, 10000)) {
                failed = true;
                ::close(peer);
                return;
            }
            ssize_t n = ::recv(peer, buf, sizeof buf, 0);
            if (n <= 0) {
                failed = true;
                ::close(peer);
                return;
            }
            got.append(buf, static_cast<std::size_t>(n));
        }
        if (!play(peer))
            failed = true;
        // Keep the link open and take what the client says until told to stop.
        while (!stop) {
            pollfd p{peer, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::recv(peer, buf, sizeof buf, 0) <= 0)
                break;
        }
        ::close(peer);
    }

    bool play(int peer)
    {
        std::string out;
        long count = 0;
        auto line = [&](const std::string& l) {
            out += l;
            out += "\r\n";
            ++count;
        };
        auto flush = [&](bool force) {
            if (!force && out.size() < 65536)
                return true;
            bool ok = write_all(peer, out);
            out.clear();
            lines_written = count;
            return ok && !stop;
        };

        const std::string me = kOwnNick;
        const std::string chan = kChannel;
        line(":irc.bench 001 " + me + " :Welcome to the bench network " + me);
        line(":irc.bench 005 " + me +
             " PREFIX=(ov)@+ CHANTYPES=#& NETWORK=Bench NICKLEN=30 CHANMODES=b,k,l,imnpst"
             " :are supported by this server");
        line(":" + me + "!me@client.bench JOIN " + chan);

        Rng rng;
        std::vector<std::string> members;
        members.reserve(static_cast<std::size_t>(channel_size) * 2);
        long fresh = 0;
        for (int i = 0; i < channel_size; ++i)
            members.push_back("nick" + std::to_string(fresh++));
        // NAMES: about 400 characters of nicks per line, some of them ops and
        // voices.
        std::string names;
        auto names_line = [&] {
            line(":irc.bench 353 " + me + " = " + chan + " :" + names);
            names.clear();
        };
        names = "@" + me;
        for (std::size_t i = 0; i < members.size(); ++i) {
            const char* prefix = i % 50 == 0 ? "@" : i % 10 == 0 ? "+" : "";
            std::string entry = prefix + members[i];
            if (names.size() + entry.size() + 1 > 400)
                names_line();
            if (!names.empty())
                names += ' ';
            names += entry;
        }
        if (!names.empty())
            names_line();
        line(":irc.bench 366 " + me + " " + chan + " :End of /NAMES list.");
        if (!flush(true))
            return false;

        auto address = [](const std::string& nick) { return nick + "!u" + nick + "@host-" + nick + ".bench"; };
        auto take = [&](std::size_t at) {
            std::string nick = members[at];
            members[at] = members.back();
            members.pop_back();
            return nick;
        };
        char text[160];
        while (count < kTotalLines) {
            std::size_t r = rng.below(100);
            // Joins and leaves balance around the channel's size.
            const std::size_t size = members.size();
            const std::size_t target = static_cast<std::size_t>(channel_size);
            if (r >= 75 && r < 85 && size > target + target / 20)
                r = 85;
            else if (r >= 85 && r < 95 && size + target / 20 < target)
                r = 75;
            if (members.empty() || (r >= 75 && r < 85)) {
                std::string nick = "nick" + std::to_string(fresh++);
                line(":" + address(nick) + " JOIN :" + chan);
                members.push_back(nick);
            } else if (r < 75) {
                const std::string& nick = members[rng.below(members.size())];
                std::snprintf(text, sizeof text,
                              "line %ld of the replay, with a few more words to make it an "
                              "ordinary length for chat",
                              count);
                line(":" + address(nick) + " PRIVMSG " + chan + " :" + text);
            } else if (r < 90) {
                std::string nick = take(rng.below(members.size()));
                line(":" + address(nick) + " PART " + chan + " :gone for now");
            } else if (r < 95) {
                std::string nick = take(rng.below(members.size()));
                line(":" + address(nick) + " QUIT :Quit: see you");
            } else {
                const std::size_t at = rng.below(members.size());
                std::string renamed = "nick" + std::to_string(fresh++);
                line(":" + address(members[at]) + " NICK :" + renamed);
                members[at] = renamed;
            }
            if (!flush(false))
                return false;
        }
        return flush(true);
    }
};

// ---- The client side ----

// Counts the lines that reach the dispatcher: the connection's /debug copy
// of its traffic goes to a window whose printer only counts the received
// lines (the dispatcher writes each line there as it takes it).
constexpr const char* kCountingTarget = "@bench";
std::atomic<long> g_dispatched{0};
std::chrono::steady_clock::time_point g_first_line;
std::chrono::steady_clock::time_point g_last_line;

void counting_output(Connection*, const std::string&, const std::string& line, const DebugSettings&)
{
    if (line.rfind("<- ", 0) != 0)
        return;
    if (g_dispatched == 0)
        g_first_line = std::chrono::steady_clock::now();
    if (++g_dispatched == kTotalLines)
        g_last_line = std::chrono::steady_clock::now();
}

// Paint events by object.
class PaintCounter : public QObject {
public:
    std::unordered_map<const QObject*, long> paints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};

// The program once per process: offscreen application, a settings folder,
// the frame and every subsystem joined as the program joins them.
PaintCounter* setup_once()
{
    static PaintCounter* counter = nullptr;
    if (counter)
        return counter;
    static TempSettingsDir settings("kest_bench_receive");
    // The log folder, as the program makes it when it loads its settings.
    std::error_code ec;
    std::filesystem::create_directories(settings.path() + "logs", ec);
    static QPointer<QMainWindow> frame;
    test_frame_mdi(frame);
    app_install_subsystems();
    frame_proc_install();
    color_items_init();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    static int counting_listener = 0;
    debug_window_line.add_once(counting_listener, 0, counting_output);
    counter = new PaintCounter;
    qApp->installEventFilter(counter);
    return counter;
}

// Runs the event loop until done() holds or ms pass.
template <class Done>
bool pump_until(Done done, int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void BM_ReceiveChannelReplay(benchmark::State& state)
{
    PaintCounter* counter = setup_once();
    const int channel_size = static_cast<int>(state.range(0));
    const bool minimised = state.range(1) != 0;
    const long hwm_before = proc_status_kb("VmHWM:");

    for (auto _ : state) {
        Server server;
        server.channel_size = channel_size;
        if (!server.listen_loopback()) {
            state.SkipWithError("no loopback listener");
            return;
        }
        server.thread = std::thread([&server] { server.run(); });

        Connection* conn = conn_new_with_status(conn_list);
        conn->stored_identity[0] = "Kest Bench";
        conn->stored_identity[1] = "me@client.bench";
        conn->stored_identity[2] = kOwnNick;
        conn->stored_identity[5] = "127.0.0.1";
        conn->stored_identity[9] = "6667";
        irc_request_host = "127.0.0.1:" + std::to_string(server.port);
        conn->debug_target = kCountingTarget;
        conn->debug_flags = 0x100;  // on, without wrapping or timestamps
        g_dispatched = 0;
        counter->paints.clear();

        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = thread_cpu_seconds();
        bool ok = conn_begin_connect(conn) == 1;
        WindowRecord* rec = nullptr;
        bool prepared = false;
        // The channel window appears with the JOIN: log it and, in the
        // minimised run, minimise it before the NAMES lines are handled.
        ok = ok && pump_until(
                       [&] {
                           if (!prepared) {
                               rec = win_find_by_name(kChannel, conn);
                               if (rec && rec->type == kWinChannel) {
                                   prepared = true;
                                   if (!rec->logging)
                                       log_set_window_mode(rec, 0, 0, 0, std::string(), 2, 0);
                                   if (minimised)
                                       win_container(rec->hwnd.get())->showMinimized();
                               }
                           }
                           return g_dispatched >= kTotalLines || server.failed.load();
                       },
                       600000);
        const auto end = std::chrono::steady_clock::now();
        const double cpu_used = thread_cpu_seconds() - cpu_start;

        rec = win_find_by_name(kChannel, conn);
        const bool have_channel = rec && rec->type == kWinChannel;
        const double seconds_all = std::chrono::duration<double>(end - start).count();
        const double seconds_lines =
            std::chrono::duration<double>(g_last_line - g_first_line).count();
        state.SetIterationTime(seconds_all);

        long text_paints = 0;
        long list_paints = 0;
        std::uintmax_t log_bytes = 0;
        if (have_channel) {
            if (rec->text_area.get())
                text_paints = counter->paints[rec->text_area.get()];
            if (rec->listbox.get())
                list_paints = counter->paints[rec->listbox->viewport()] +
                              counter->paints[rec->listbox.get()];
            std::error_code ec;
            if (!rec->log_path.empty()) {
                const std::uintmax_t size = std::filesystem::file_size(rec->log_path, ec);
                if (!ec)
                    log_bytes = size;
            }
            state.counters["members_at_end"] = nicklist_count(rec);
            state.counters["logging"] = rec->logging;
            state.counters["window_minimised"] = win_is_minimised(rec->hwnd.get());
        }
        state.counters["lines_dispatched"] = static_cast<double>(g_dispatched.load());
        state.counters["lines_per_second"] =
            seconds_lines > 0 ? static_cast<double>(kTotalLines - 1) / seconds_lines : 0;
        state.counters["seconds_first_to_last_line"] = seconds_lines;
        // The time the program's thread was busy; the rest of the wall time
        // it waited for the socket or its timers.
        state.counters["ui_thread_cpu_seconds"] = cpu_used;
        state.counters["ui_thread_busy_percent"] = seconds_all > 0 ? 100.0 * cpu_used / seconds_all : 0;
        state.counters["text_paints"] = static_cast<double>(text_paints);
        state.counters["text_paints_per_1000_lines"] =
            1000.0 * static_cast<double>(text_paints) / static_cast<double>(kTotalLines);
        state.counters["nicklist_paints"] = static_cast<double>(list_paints);
        state.counters["address_list_entries"] = ial_count(conn);
        state.counters["log_kB"] = static_cast<double>(log_bytes / 1024);
        state.counters["VmHWM_kB"] = static_cast<double>(proc_status_kb("VmHWM:"));
        state.counters["VmHWM_before_kB"] = static_cast<double>(hwm_before);
        state.counters["VmRSS_kB"] = static_cast<double>(proc_status_kb("VmRSS:"));

        // Close the link and the connection's windows.
        server.stop = true;
        conn->quitting = 1;
        conn_kill_connect_timer(conn);
        conn->waiting_retry = 0;
        if (have_channel)
            win_close(rec->hwnd.get());
        conn_close(std::string(), conn);
        server.thread.join();
        ::close(server.listener);
        pump_until([] { return false; }, 50);

        if (!ok || g_dispatched < kTotalLines) {
            state.SkipWithError("the replay did not reach the client in time");
            return;
        }
    }
}
BENCHMARK(BM_ReceiveChannelReplay)
    ->ArgNames({"nicks", "minimised"})
    ->Args({5000, 0})
    ->Args({5000, 1})
    ->Args({500, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
