// Helpers of the network tests: certificates made with the openssl tool,
// waiting for status-window text and for a nick on the server.
#pragma once

#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {

// Runs a program to its end within `ms`; true when it exited with 0.
bool run_tool(const std::vector<std::string>& argv, const fs::path& log, int ms = kWaitMs);

// Makes certificates in a folder: a test CA, and certificates signed by it or
// by themselves.
class CertMaker {
public:
    explicit CertMaker(const fs::path& folder);
    bool ok() const { return ok_; }
    const fs::path& ca() const { return ca_; }
    // Makes name.pem and name.key: common name `cn`, subjectAltName `san`
    // (empty: none), valid for `days` (-1: expired yesterday), signed by the
    // CA or by itself. True on success.
    bool make(const std::string& name, const std::string& cn, const std::string& san, int days,
              bool self_signed);
    fs::path cert(const std::string& name) const { return folder_ / (name + ".pem"); }
    fs::path key(const std::string& name) const { return folder_ / (name + ".key"); }
    // The SHA-1 fingerprint of a certificate: 40 upper-case hex digits.
    std::string fingerprint(const std::string& name) const;

private:
    fs::path folder_;
    fs::path ca_;
    bool ok_ = false;
};

// Waits until the program's status-window log holds the text.
bool wait_status_text(const KestProgram& kest, const std::string& needle, int ms = kWaitMs);
// Asks the server about a nick until it is there; true when it is within `ms`.
bool wait_nick_present(Peer& peer, const std::string& nick, int ms = kWaitMs, IrcLine* found = nullptr);

} // namespace e2e

namespace e2e {

// A proxy server on 127.0.0.1 with a free port and a private configuration
// in its own folder; stopped when it goes.
class ProxyServer {
public:
    enum Kind { kSocks, kHttp };
    // user and password empty: no authentication.
    ProxyServer(Kind kind, const std::string& user = "", const std::string& password = "");
    ~ProxyServer();
    static bool available(Kind kind);
    bool start(int ms = kWaitMs);
    int port() const { return port_; }
    std::string log() const;

private:
    Kind kind_;
    std::string user_, password_;
    TempDir dir_{"kest-proxy"};
    int port_ = 0;
    ChildProcess proc_;
};

// Makes sure a system account with this password exists for the SOCKS
// server's user/password check (root only); false when it cannot.
bool ensure_proxy_account(const std::string& user, const std::string& password);

} // namespace e2e
