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
