#include "e2e/net_support.h"

#include <chrono>
#include <thread>

namespace e2e {

namespace {
using Clock = std::chrono::steady_clock;
const char* const kOpenssl = "/usr/bin/openssl";
} // namespace

bool run_tool(const std::vector<std::string>& argv, const fs::path& log, int ms)
{
    ChildProcess p;
    if (!p.start(argv, {}, log))
        return false;
    return p.wait_exit(ms) == 0;
}

CertMaker::CertMaker(const fs::path& folder) : folder_(folder), ca_(folder / "ca.pem")
{
    ok_ = run_tool({kOpenssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", (folder_ / "ca.key").string(), "-out", ca_.string(), "-days", "30", "-subj",
                    "/CN=Kest Test CA"},
                   folder_ / "ca.log");
}

bool CertMaker::make(const std::string& name, const std::string& cn, const std::string& san, int days,
                     bool self_signed)
{
    const fs::path log = folder_ / (name + ".log");
    const fs::path ext = folder_ / (name + ".ext");
    write_file(ext, san.empty() ? std::string("basicConstraints=CA:FALSE\n") : "subjectAltName=" + san + "\n");
    if (self_signed)
        return run_tool({kOpenssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                         "-nodes", "-keyout", key(name).string(), "-out", cert(name).string(), "-days",
                         std::to_string(days), "-subj", "/CN=" + cn, "-addext",
                         san.empty() ? "basicConstraints=CA:FALSE" : "subjectAltName=" + san},
                        log);
    const fs::path csr = folder_ / (name + ".csr");
    return run_tool({kOpenssl, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-keyout", key(name).string(), "-out", csr.string(), "-subj", "/CN=" + cn},
                    log) &&
           run_tool({kOpenssl, "x509", "-req", "-in", csr.string(), "-CA", ca_.string(), "-CAkey",
                     (folder_ / "ca.key").string(), "-CAcreateserial", "-out", cert(name).string(), "-days",
                     std::to_string(days), "-extfile", ext.string()},
                    log);
}

std::string CertMaker::fingerprint(const std::string& name) const
{
    const fs::path out = folder_ / (name + ".fp");
    if (!run_tool({kOpenssl, "x509", "-in", cert(name).string(), "-noout", "-fingerprint", "-sha1"}, out))
        return std::string();
    std::string text = read_file(out);
    std::string hex;
    std::size_t eq = text.find('=');
    for (std::size_t i = eq == std::string::npos ? 0 : eq + 1; i < text.size(); ++i)
        if (std::isxdigit(static_cast<unsigned char>(text[i])))
            hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))));
    return hex;
}

bool wait_status_text(const KestProgram& kest, const std::string& needle, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (kest.status_log().find(needle) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool wait_nick_present(Peer& peer, const std::string& nick, int ms, IrcLine* found)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        peer.send_line("WHOIS " + nick);
        IrcLine l;
        if (peer.wait_for("^:\\S+ (311|401) " + peer.nick + " " + nick + " ", 5000, &l) && l.command == "311") {
            if (found)
                *found = l;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return false;
}

} // namespace e2e

#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>
#include <pwd.h>
#include <sys/stat.h>

namespace e2e {

namespace {
const char* const kDanted = "/usr/sbin/danted";
const char* const kTinyproxy = "/usr/bin/tinyproxy";

bool accepts(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}
} // namespace

ProxyServer::ProxyServer(Kind kind, const std::string& user, const std::string& password)
    : kind_(kind), user_(user), password_(password)
{
}

ProxyServer::~ProxyServer() { proc_.stop(3000); }

bool ProxyServer::available(Kind kind)
{
    return ::access(kind == kSocks ? kDanted : kTinyproxy, X_OK) == 0;
}

std::string ProxyServer::log() const
{
    return read_file(dir_.path() / "proxy.log") + read_file(dir_.path() / "output.log");
}

bool ProxyServer::start(int ms)
{
    const fs::path& d = dir_.path();
    // The servers drop to "nobody" and must still write their logs.
    ::chmod(d.c_str(), 0777);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = free_port();
        std::vector<std::string> argv;
        if (kind_ == kSocks) {
            const std::string method = user_.empty() ? "none" : "username";
            write_file(d / "danted.conf",
                       "logoutput: " + (d / "proxy.log").string() + "\n"
                       "internal: 127.0.0.1 port = " + std::to_string(port_) + "\n"
                       "external: 127.0.0.1\n"
                       "socksmethod: " + method + "\n"
                       "clientmethod: none\n"
                       "user.privileged: root\n"
                       "user.unprivileged: nobody\n"
                       "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  log: connect\n}\n"
                       "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  command: connect bind bindreply\n"
                       "  log: connect\n}\n");
            argv = {kDanted, "-f", (d / "danted.conf").string(), "-N", "1"};
        } else {
            write_file(d / "tinyproxy.conf",
                       "Port " + std::to_string(port_) + "\n"
                       "Listen 127.0.0.1\n"
                       "Timeout 60\n"
                       "Allow 127.0.0.1\n"
                       "MaxClients 20\n"
                       "LogLevel Info\n"
                       "LogFile \"" + (d / "proxy.log").string() + "\"\n"
                       "PidFile \"" + (d / "proxy.pid").string() + "\"\n" +
                       (user_.empty() ? std::string() : "BasicAuth " + user_ + " " + password_ + "\n"));
            argv = {kTinyproxy, "-d", "-c", (d / "tinyproxy.conf").string()};
        }
        if (!proc_.start(argv, {}, d / "output.log"))
            return false;
        while (std::chrono::steady_clock::now() < end) {
            if (accepts(port_))
                return true;
            if (!proc_.running())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        proc_.kill_now();
        if (std::chrono::steady_clock::now() >= end)
            break;
    }
    return false;
}

bool ensure_proxy_account(const std::string& user, const std::string& password)
{
    if (::geteuid() != 0)
        return false;
    if (!::getpwnam(user.c_str()) &&
        !run_tool({"/usr/sbin/useradd", "-M", "-r", "-s", "/usr/sbin/nologin", user}, "/dev/null"))
        return false;
    TempDir d{"kest-account"};
    write_file(d.path() / "pw", user + ":" + password + "\n");
    ChildProcess p;
    // chpasswd reads its standard input: a shell feeds it the file.
    if (!p.start({"/bin/sh", "-c", "/usr/sbin/chpasswd < " + (d.path() / "pw").string()}, {}, d.path() / "log"))
        return false;
    return p.wait_exit(kWaitMs) == 0;
}

} // namespace e2e
