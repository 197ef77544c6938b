#include "e2e/harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace e2e {

const char* const kServerBinary = "/usr/sbin/ngircd";

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point end)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// True when something accepts connections on 127.0.0.1:port.
bool port_accepts(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a = loopback(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Lines longer than this from a peer are a fault of the other side; the
// reader stops growing its buffer there.
constexpr std::size_t kMaxBuffered = 1 << 20;

} // namespace

bool server_available()
{
    return ::access(kServerBinary, X_OK) == 0;
}

int free_port()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a = loopback(0);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        socklen_t len = sizeof a;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

// ---- Files ----

TempDir::TempDir(const std::string& tag)
{
    std::random_device rd;
    for (int i = 0; i < 100 && path_.empty(); ++i) {
        fs::path p = fs::temp_directory_path() /
                     ("kest-e2e-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(rd() % 1000000));
        std::error_code ec;
        if (fs::create_directory(p, ec))
            path_ = p;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!path_.empty())
        fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool write_file(const fs::path& p, const std::string& text)
{
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool wait_for_file_text(const fs::path& p, const std::string& needle, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (read_file(p).find(needle) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return false;
}

// ---- Processes ----

ChildProcess::~ChildProcess()
{
    kill_now();
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>& env_extra,
                         const fs::path& log)
{
    if (pid_ > 0 || argv.empty())
        return false;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        bool replaced = false;
        for (const std::string& x : env_extra) {
            std::size_t eq = x.find('=');
            if (eq != std::string::npos && v.compare(0, eq + 1, x, 0, eq + 1) == 0)
                replaced = true;
        }
        if (!replaced)
            env.push_back(v);
    }
    env.insert(env.end(), env_extra.begin(), env_extra.end());
    std::vector<std::string> args = argv;
    std::vector<char*> av, ev;
    for (std::string& a : args)
        av.push_back(a.data());
    av.push_back(nullptr);
    for (std::string& e : env)
        ev.push_back(e.data());
    ev.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0].c_str(), &fa, nullptr, av.data(), ev.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return false;
    pid_ = pid;
    status_code_ = -1;
    return true;
}

bool ChildProcess::running()
{
    return wait_exit(0) == -1 && pid_ > 0;
}

bool ChildProcess::signal(int sig)
{
    if (pid_ <= 0)
        return false;
    return ::kill(pid_, sig) == 0;
}

int ChildProcess::wait_exit(int ms)
{
    if (pid_ <= 0)
        return status_code_;
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            status_code_ = r == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            pid_ = -1;
            return status_code_;
        }
        if (Clock::now() >= end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ChildProcess::stop(int grace_ms)
{
    if (pid_ <= 0)
        return status_code_;
    signal(SIGTERM);
    int code = wait_exit(grace_ms);
    if (code == -1 && pid_ > 0) {
        kill_now();
        return -1;
    }
    return code;
}

void ChildProcess::kill_now()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    status_code_ = -2;
}

// ---- The private IRC server ----

IrcServer::IrcServer() : dir_("ircd") {}

IrcServer::~IrcServer()
{
    proc_.kill_now();
}

bool IrcServer::start(int ms)
{
    if (dir_.path().empty() || !server_available())
        return false;
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = free_port();
        if (!port_)
            return false;
        const fs::path& d = dir_.path();
        write_file(d / "motd", "e2e test server\n");
        std::ostringstream conf;
        conf << "[Global]\n"
             << "Name = " << kName << "\n"
             << "Info = Kest end-to-end tests\n"
             << "AdminInfo1 = Kest tests\n"
             << "AdminInfo2 = 127.0.0.1\n"
             << "AdminEMail = tests@localhost\n"
             << "Listen = 127.0.0.1\n"
             << "Ports = " << port_ << "\n"
             << "MotdFile = " << (d / "motd").string() << "\n"
             << "PidFile = " << (d / "ngircd.pid").string() << "\n"
             << "[Limits]\n"
             << "MaxConnectionsIP = 0\n"
             << "MaxNickLength = 30\n"
             << "MaxJoins = 0\n"
             << "ConnectRetry = 60\n"
             << "[Options]\n"
             << "PAM = no\n"
             << "Ident = " << (ident ? "yes" : "no") << "\n"
             << "DNS = " << (ident ? "yes" : "no") << "\n"
             << "RequireAuthPing = no\n"
             << "SyslogFacility = \n";
        if (!ssl_cert_.empty()) {
            ssl_port_ = free_port();
            conf << "[SSL]\n"
                 << "CertFile = " << ssl_cert_.string() << "\n"
                 << "KeyFile = " << ssl_key_.string() << "\n"
                 << "Ports = " << ssl_port_ << "\n";
        }
        write_file(d / "ngircd.conf", conf.str());
        // Started by root, the server drops to "nobody"; its pid file must
        // stay writable for it.
        if (::geteuid() == 0 && ::chown(d.c_str(), 65534, 65534) != 0)
            ::chmod(d.c_str(), 0777);
        if (!proc_.start({kServerBinary, "--nodaemon", "--config", (d / "ngircd.conf").string()}, {},
                         d / "ngircd.log"))
            return false;
        while (Clock::now() < end) {
            if (port_accepts(port_) && (!ssl_port_ || port_accepts(ssl_port_)))
                return true;
            if (!proc_.running())
                break;  // the port was taken meanwhile, or a bad start: try again
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        proc_.kill_now();
        if (Clock::now() >= end)
            break;
    }
    return false;
}

void IrcServer::enable_ssl(const fs::path& cert, const fs::path& key)
{
    ssl_cert_ = dir_.path() / "server-cert.pem";
    ssl_key_ = dir_.path() / "server-key.pem";
    write_file(ssl_cert_, read_file(cert));
    write_file(ssl_key_, read_file(key));
    // The server drops to "nobody" before it reads them.
    ::chmod(ssl_cert_.c_str(), 0644);
    ::chmod(ssl_key_.c_str(), 0644);
}

void IrcServer::stop()
{
    proc_.stop(5000);
    auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (port_ && port_accepts(port_) && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

bool IrcServer::restart(int ms)
{
    if (!port_ || dir_.path().empty() || !server_available())
        return false;
    stop();
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const fs::path& d = dir_.path();
    while (Clock::now() < end) {
        if (!proc_.start({kServerBinary, "--nodaemon", "--config", (d / "ngircd.conf").string()}, {},
                         d / "ngircd.log"))
            return false;
        while (Clock::now() < end) {
            if (port_accepts(port_) && (!ssl_port_ || port_accepts(ssl_port_)))
                return true;
            if (!proc_.running())
                break;  // the port is still held by the old links: try again
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        proc_.kill_now();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

std::string IrcServer::log() const
{
    return read_file(dir_.path() / "ngircd.log");
}

// ---- Lines ----

std::string IrcLine::nick() const
{
    return prefix.substr(0, prefix.find('!'));
}

IrcLine parse_irc_line(const std::string& raw)
{
    IrcLine l;
    l.raw = raw;
    std::size_t i = 0;
    if (i < raw.size() && raw[i] == ':') {
        std::size_t sp = raw.find(' ', i);
        l.prefix = raw.substr(1, sp == std::string::npos ? std::string::npos : sp - 1);
        i = sp == std::string::npos ? raw.size() : sp + 1;
    }
    while (i < raw.size() && raw[i] == ' ')
        ++i;
    std::size_t sp = raw.find(' ', i);
    l.command = raw.substr(i, sp == std::string::npos ? std::string::npos : sp - i);
    i = sp == std::string::npos ? raw.size() : sp + 1;
    while (i < raw.size() && l.params.size() < 64) {
        if (raw[i] == ' ') {
            ++i;
            continue;
        }
        if (raw[i] == ':') {
            l.params.push_back(raw.substr(i + 1));
            break;
        }
        sp = raw.find(' ', i);
        l.params.push_back(raw.substr(i, sp == std::string::npos ? std::string::npos : sp - i));
        i = sp == std::string::npos ? raw.size() : sp + 1;
    }
    return l;
}

// ---- Line sockets ----

LineSocket::~LineSocket()
{
    close();
}

void LineSocket::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void LineSocket::adopt(int fd)
{
    close();
    buf_.clear();
    eof_ = false;
    history_.clear();
    fd_ = fd;
}

bool LineSocket::saw(const std::string& pattern, int ms, IrcLine* found)
{
    std::regex re(pattern);
    for (const std::string& line : history_)
        if (std::regex_search(line, re)) {
            if (found)
                *found = parse_irc_line(line);
            return true;
        }
    return wait_for(pattern, ms, found);
}

bool LineSocket::connect_to(int port, int ms)
{
    close();
    buf_.clear();
    eof_ = false;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0)
        return false;
    sockaddr_in a = loopback(port);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return true;
    if (errno != EINPROGRESS) {
        close();
        return false;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, ms) != 1) {
        close();
        return false;
    }
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) {
        close();
        return false;
    }
    return true;
}

bool LineSocket::send_line(const std::string& line)
{
    if (fd_ < 0)
        return false;
    std::string data = line + "\r\n";
    std::size_t done = 0;
    auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (done < data.size()) {
        ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, ms_left(end)) == 1)
                continue;
        }
        return false;
    }
    return true;
}

bool LineSocket::fill(int ms)
{
    if (fd_ < 0 || eof_)
        return false;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, ms);
    if (r != 1)
        return false;
    char chunk[4096];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        eof_ = true;
        return false;
    }
    if (buf_.size() < kMaxBuffered)
        buf_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

bool LineSocket::read_line(std::string& line, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        std::size_t nl = buf_.find('\n');
        if (nl != std::string::npos) {
            line = buf_.substr(0, nl);
            buf_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            history_.push_back(line);
            if (answer_ping && line.rfind("PING", 0) == 0) {
                IrcLine l = parse_irc_line(line);
                send_line("PONG :" + (l.params.empty() ? std::string() : l.params.back()));
            }
            return true;
        }
        if (eof_ || fd_ < 0)
            return false;
        int left = ms_left(end);
        if (left <= 0)
            return false;
        if (!fill(left) && (eof_ || ms_left(end) <= 0))
            return false;
    }
}

bool LineSocket::wait_for(const std::string& pattern, int ms, IrcLine* found)
{
    std::regex re(pattern);
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::string line;
    while (read_line(line, ms_left(end))) {
        if (std::regex_search(line, re)) {
            if (found)
                *found = parse_irc_line(line);
            return true;
        }
    }
    return false;
}

bool LineSocket::wait_closed(int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::string line;
    for (;;) {
        while (read_line(line, 0)) {
        }
        if (eof_ || fd_ < 0)
            return true;
        int left = ms_left(end);
        if (left <= 0)
            return false;
        fill(left);
    }
}

// ---- Peers ----

bool Peer::login(int port, const std::string& n, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    nick = n;
    if (!connect_to(port, ms))
        return false;
    send_line("NICK " + n);
    send_line("USER " + n + " 0 * :e2e peer");
    IrcLine l;
    while (wait_for("^:\\S+ (001|433|432) ", ms_left(end), &l)) {
        return l.command == "001";
    }
    return false;
}

bool Peer::join(const std::string& channel, int ms)
{
    send_line("JOIN " + channel);
    return wait_for("^:\\S+ 366 " + nick + " ", ms);
}

// ---- Scripted server ----

ScriptedServer::ScriptedServer()
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    port_ = ntohs(a.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool ScriptedServer::accept_link(LineSocket& out, int ms)
{
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1)
        return false;
    int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (c < 0)
        return false;
    out.adopt(c);
    return true;
}

std::string ScriptedServer::welcome(LineSocket& link, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::string nick;
    bool user = false;
    std::string line;
    while ((nick.empty() || !user) && link.read_line(line, ms_left(end))) {
        IrcLine l = parse_irc_line(line);
        if (l.command == "NICK" && !l.params.empty())
            nick = l.params[0];
        else if (l.command == "USER")
            user = true;
    }
    if (nick.empty() || !user)
        return {};
    const std::string s = ":fake.e2e.test ";
    for (const std::string& l : {
             s + "001 " + nick + " :Welcome to the scripted server " + nick,
             s + "002 " + nick + " :Your host is fake.e2e.test",
             s + "003 " + nick + " :This server was created today",
             s + "004 " + nick + " fake.e2e.test e2e-1 iow ntklmo",
             s + "005 " + nick + " PREFIX=(ov)@+ CHANTYPES=# NETWORK=FakeNet :are supported by this server",
             s + "375 " + nick + " :- message of the day",
             s + "372 " + nick + " :- hello",
             s + "376 " + nick + " :End of MOTD command",
         })
        link.send_line(l);
    return nick;
}

// ---- The program ----

KestProgram::KestProgram() : dir_("kest")
{
    settings_ = dir_.path() / "settings";
    std::error_code ec;
    fs::create_directories(settings_, ec);
    fs::create_directories(dir_.path() / "run", ec);
    ::chmod((dir_.path() / "run").c_str(), 0700);
    fs::create_directories(dir_.path() / "config", ec);
    // No first-start dialogs; an identity complete enough to connect.
    set("about", "show", "no");
    set("kest", "user", "Kest Tester");
    set("kest", "email", "ktester@example.org");
}

KestProgram::~KestProgram()
{
    proc_.kill_now();
}

void KestProgram::set(const std::string& section, const std::string& key, const std::string& value)
{
    for (auto& e : ini_)
        if (e.first == section && e.second.first == key) {
            e.second.second = value;
            return;
        }
    ini_.push_back({section, {key, value}});
}

void KestProgram::use_server(int port)
{
    set("kest", "host", "E2ESERVER:127.0.0.1:" + std::to_string(port) + "GROUP:E2E");
    set("options", "n0", option_line0());
}

// Option line n0: connect on start (position 0), and the perform list on
// (position 18) once there are entries; empty fields keep their defaults.
std::string KestProgram::option_line0() const
{
    return perform_.empty() ? "1" : "1" + std::string(18, ',') + "1";
}

void KestProgram::add_perform(const std::string& entry)
{
    perform_.push_back(entry);
    set("options", "n0", option_line0());
}

void KestProgram::add_script(const std::string& name, const std::string& text)
{
    write_file(settings_ / name, text);
    scripts_.push_back(name);
}

void KestProgram::log_status()
{
    set("logging", "status", "on");
}

std::string KestProgram::status_log() const
{
    std::string all;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(settings_, ec)) {
        if (!e.is_regular_file())
            continue;
        std::string name = e.path().filename().string();
        if (name.rfind("status", 0) == 0 && e.path().extension() == ".log")
            all += read_file(e.path());
    }
    return all;
}

bool KestProgram::start(const std::vector<std::string>& args)
{
    if (dir_.path().empty())
        return false;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections;
    std::vector<std::string> order;
    auto put = [&](const std::string& s, const std::string& k, const std::string& v) {
        if (!sections.count(s))
            order.push_back(s);
        sections[s].push_back({k, v});
    };
    for (const auto& e : ini_)
        put(e.first, e.second.first, e.second.second);
    if (!scripts_.empty()) {
        put("rfiles", "n0", "users.ini");
        put("rfiles", "n1", "vars.ini");
        for (std::size_t i = 0; i < scripts_.size(); ++i)
            put("rfiles", "n" + std::to_string(i + 2), scripts_[i]);
    }
    std::ostringstream ini;
    for (const std::string& s : order) {
        ini << "[" << s << "]\n";
        for (const auto& kv : sections[s])
            ini << kv.first << "=" << kv.second << "\n";
        ini << "\n";
    }
    if (!write_file(settings_ / "kest.ini", ini.str()))
        return false;
    if (!perform_.empty()) {
        std::ostringstream p;
        p << "[perform]\n";
        for (std::size_t i = 0; i < perform_.size(); ++i)
            p << "n" << i << "=" << perform_[i] << "\n";
        write_file(settings_ / "perform.ini", p.str());
    }
    return start_again(args);
}

bool KestProgram::start_again(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {KEST_BINARY, "-r", settings_.string() + "/"};
    argv.insert(argv.end(), args.begin(), args.end());
    return proc_.start(argv,
                       {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime_dir().string(),
                        "XDG_CONFIG_HOME=" + (dir_.path() / "config").string(),
                        "XDG_DATA_HOME=" + (dir_.path() / "data").string()},
                       dir_.path() / "output.log");
}

int KestProgram::stop(int grace_ms)
{
    return proc_.stop(grace_ms);
}

std::string KestProgram::output() const
{
    return read_file(dir_.path() / "output.log");
}

std::string option_line(std::initializer_list<std::pair<int, int>> values)
{
    int last = 0;
    for (const auto& v : values)
        last = std::max(last, v.first);
    std::vector<std::string> fields(static_cast<std::size_t>(last) + 1);
    for (const auto& v : values)
        fields[static_cast<std::size_t>(v.first)] = std::to_string(v.second);
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? "," : "") + fields[i];
    return line;
}

// The text of every log file of one window: "<name>.log", or the same name
// with a network or a date before the extension, anywhere under logs/.
std::string window_log(const KestProgram& kest, const std::string& name)
{
    std::string all;
    std::error_code ec;
    const fs::path root = kest.settings() / "logs";
    for (const auto& e : fs::recursive_directory_iterator(root, ec)) {
        if (!e.is_regular_file() || e.path().extension() != ".log")
            continue;
        const std::string file = e.path().filename().string();
        if (file == name + ".log" || file.rfind(name + ".", 0) == 0)
            all += read_file(e.path());
    }
    return all;
}

// The log's lines without line ends, the leading colour of the line and
// its time stamp.
std::vector<std::string> log_lines(const std::string& text)
{
    static const std::regex stamp("^(\x03[0-9][0-9])?\\[[0-9:]+\\] ");
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(std::regex_replace(line, stamp, "", std::regex_constants::format_first_only));
    }
    return out;
}

// Index of the first log line at or after `from` that matches the whole
// pattern, -1 when none.
int log_index(const std::string& text, const std::string& pattern, std::size_t from)
{
    const std::regex re(pattern);
    std::vector<std::string> lines = log_lines(text);
    for (std::size_t i = from; i < lines.size(); ++i)
        if (std::regex_match(lines[i], re))
            return static_cast<int>(i);
    return -1;
}

// Lines indented one under the other, for failure messages.
std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += "  " + l + "\n";
    return s;
}

} // namespace e2e
