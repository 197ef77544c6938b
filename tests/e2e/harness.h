// Whole-program test harness: a private IRC server on 127.0.0.1, the real
// program started offscreen against a temporary settings folder, plain peer
// clients on real sockets and a scripted one-shot server. Every wait is
// bounded and every process started here is killed when its owner goes,
// pass or fail.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// The default bound of every wait in these tests. A wait ends on its event;
// the bound only stops a test that is stuck, so it is generous: on a loaded
// two-core machine starting the program alone can take several seconds.
constexpr int kWaitMs = 30000;

// Path of the IRC server program the tests run.
extern const char* const kServerBinary;

// True when the IRC server program is installed.
bool server_available();

// A free TCP port on 127.0.0.1 (bound once, then released).
int free_port();

// A temporary folder removed with everything in it when the owner goes.
class TempDir {
public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Reads a whole file; empty when it is missing.
std::string read_file(const fs::path& p);
// Writes a whole file (folders made as needed); false on failure.
bool write_file(const fs::path& p, const std::string& text);

// Waits at most `ms` for a file to exist and to contain `needle`.
bool wait_for_file_text(const fs::path& p, const std::string& needle, int ms = kWaitMs);

// A child process with a time limit: started with posix_spawn, its output
// in a file, killed (SIGKILL) and reaped when the owner goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv[0]` with the given arguments and extra environment
    // entries ("NAME=value" replaces NAME). Standard output and error go to
    // `log`. False when the process could not be started.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env_extra,
               const fs::path& log);
    // Sends a signal; false when the process is not running.
    bool signal(int sig);
    // Waits at most `ms` for the process to end. Its exit code, -2 when a
    // signal ended it, -1 when it is still running.
    int wait_exit(int ms);
    // SIGTERM, a bounded wait, then SIGKILL. The exit code as wait_exit.
    int stop(int grace_ms = kWaitMs);
    // SIGKILL and reap at once.
    void kill_now();
    bool running();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int status_code_ = -1;
};

// A private IRC server on 127.0.0.1 with its own port, configuration,
// pid and message-of-the-day files in a temporary folder.
class IrcServer {
public:
    IrcServer();
    ~IrcServer();
    // Writes the configuration and starts the server in the foreground;
    // true once it accepts connections (at most `ms`).
    bool start(int ms = kWaitMs);
    // Stops the server (SIGTERM, then SIGKILL) and waits for the port to
    // close.
    void stop();
    // Stops the server and starts a new one with the same configuration on
    // the same port: every link to it is lost, and a client that connects
    // again finds a fresh server. True once the new one accepts
    // connections (at most `ms`).
    bool restart(int ms = kWaitMs);
    int port() const { return port_; }
    // Before start(): an SSL listener on a second free port with this
    // certificate and key (copied into the server's folder).
    void enable_ssl(const fs::path& cert, const fs::path& key);
    int ssl_port() const { return ssl_port_; }
    // Before start(): the server asks the ident service of each client (it
    // does so with its name lookups, which are turned on with it).
    bool ident = false;
    const fs::path& folder() const { return dir_.path(); }
    std::string log() const;
    static constexpr const char* kName = "irc.e2e.test";

private:
    TempDir dir_;
    int port_ = 0;
    int ssl_port_ = 0;
    fs::path ssl_cert_, ssl_key_;
    ChildProcess proc_;
};

// One line as an IRC peer sees it, split in its prefix, command and
// parameters (the trailing parameter last).
struct IrcLine {
    std::string raw;
    std::string prefix;
    std::string command;
    std::vector<std::string> params;
    std::string nick() const;  // the prefix up to "!"
};
IrcLine parse_irc_line(const std::string& raw);

// A tiny blocking IRC client with time limits, for peers and for the
// accepted side of a scripted server. It answers PING by itself.
class LineSocket {
public:
    LineSocket() = default;
    ~LineSocket();
    LineSocket(const LineSocket&) = delete;
    LineSocket& operator=(const LineSocket&) = delete;

    bool connect_to(int port, int ms = kWaitMs);
    // Takes over an open socket (closing the one held).
    void adopt(int fd);
    bool is_open() const { return fd_ >= 0; }
    // The socket itself, for tests that speak another protocol on it before
    // its lines.
    int fd_for_test() const { return fd_; }
    void close();
    // Sends one line (CR LF added).
    bool send_line(const std::string& line);
    // Reads one line within `ms`; false on time-out or a closed link.
    bool read_line(std::string& line, int ms);
    // Reads lines until one matches the regular expression (ECMAScript,
    // searched in the raw line), at most `ms`. Every line read is kept in
    // history(). False on time-out or a closed link.
    bool wait_for(const std::string& pattern, int ms = kWaitMs, IrcLine* found = nullptr);
    // Like wait_for, but a line already read counts too.
    bool saw(const std::string& pattern, int ms = kWaitMs, IrcLine* found = nullptr);
    // True when the peer closed the link within `ms`.
    bool wait_closed(int ms = kWaitMs);
    const std::vector<std::string>& history() const { return history_; }
    bool answer_ping = true;

private:
    bool fill(int ms);
    int fd_ = -1;
    std::string buf_;
    bool eof_ = false;
    std::vector<std::string> history_;
};

// A plain IRC user on the private server.
class Peer : public LineSocket {
public:
    // Connects and registers with the nick; true once the server welcomed it.
    bool login(int port, const std::string& nick, int ms = kWaitMs);
    // Joins a channel and waits for the server's confirmation.
    bool join(const std::string& channel, int ms = kWaitMs);
    std::string nick;
};

// A listening socket on 127.0.0.1 that plays a server by hand: accept one
// link at a time, talk to it, close it.
class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    bool ok() const { return fd_ >= 0; }
    int port() const { return port_; }
    // Accepts the next link within `ms`; null on time-out.
    bool accept_link(LineSocket& out, int ms = kWaitMs);
    // Reads the registration (NICK and USER, any order) from a fresh link
    // and welcomes the nick (001 to 005, 375, 372, 376). The nick is
    // returned; empty when the registration did not come within `ms`.
    static std::string welcome(LineSocket& link, int ms = kWaitMs);

private:
    int fd_ = -1;
    int port_ = 0;
};

// The program under test, started offscreen with its own settings folder.
class KestProgram {
public:
    KestProgram();
    ~KestProgram();

    // The settings folder; fill it before start().
    const fs::path& settings() const { return settings_; }
    // Sets one key of the main settings file (written at start()).
    void set(const std::string& section, const std::string& key, const std::string& value);
    // Names the server of the first connection in the settings ("kest"
    // section "host") and turns on connecting at start-up.
    void use_server(int port);
    // Adds a perform entry ("network key,commands") to perform.ini.
    void add_perform(const std::string& entry);
    // The option line n0 that use_server and add_perform write.
    std::string option_line0() const;
    // Adds a remote script file (name relative to the settings folder) and
    // lists it in section "rfiles".
    void add_script(const std::string& name, const std::string& text);
    // Turns on logging of the status window into the settings' "logs/".
    void log_status();
    // The text of the status window's log files ("" while none exists).
    std::string status_log() const;

    // Writes the settings and starts the program with "-r <settings>" and
    // the extra arguments.
    bool start(const std::vector<std::string>& args);
    // Starts the program again on the settings as the last run left them
    // (nothing is written first).
    bool start_again(const std::vector<std::string>& args);
    // SIGTERM with a bounded wait, SIGKILL after it. The exit code (-1 when
    // it had to be killed).
    int stop(int grace_ms = kWaitMs);
    ChildProcess& process() { return proc_; }
    std::string output() const;
    // The runtime folder the program serves its local sockets in.
    fs::path runtime_dir() const { return runtime_.empty() ? dir_.path() / "run" : runtime_; }
    // Before start(): the program uses the runtime folder of another one,
    // so that each reaches the other's services.
    void share_runtime_with(const KestProgram& other) { runtime_ = other.runtime_dir(); }

private:
    TempDir dir_;
    fs::path runtime_;
    fs::path settings_;
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> ini_;
    std::vector<std::string> perform_;
    std::vector<std::string> scripts_;
    ChildProcess proc_;
};

// An "n" option line of the main settings: the given positions set, every
// other position left empty.
std::string option_line(std::initializer_list<std::pair<int, int>> values);

// The text of every log file of one window: "<name>.log", or the same name
// with a network or a date before the extension, anywhere under logs/.
std::string window_log(const KestProgram& kest, const std::string& name);

// The log's lines without line ends, the leading colour of the line and
// its time stamp.
std::vector<std::string> log_lines(const std::string& text);

// Index of the first log line at or after `from` that matches the whole
// pattern, -1 when none.
int log_index(const std::string& text, const std::string& pattern, std::size_t from = 0);

// Lines indented one under the other, for failure messages.
std::string joined(const std::vector<std::string>& lines);

} // namespace e2e
