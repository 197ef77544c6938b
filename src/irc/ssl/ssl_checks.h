// SSL settings, certificate checks and the cache of accepted certificates.
// The checks run inside OpenSSL's callbacks on a link's worker thread; the
// prompts they need are shown on the user-interface thread through
// ssl_prompt_hooks while the worker waits.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "irc/ssl/ssl_api.h"

struct SslLink;

// [ssl] settings.
struct SslSettings {
    int show = 1;        // 0 reject invalid certificates, 1 ask, 2 accept
    std::string cert;    // client certificate chain file
    std::string key;     // private key file
    std::string ca;      // CA file for verification
};
extern SslSettings ssl_settings;
// The key's pass phrase, in memory only.
extern std::string ssl_passphrase;

void ssl_settings_load();
void ssl_settings_save();

// One certificate as the checks and the prompt see it.
struct SslCertRecord {
    // organisation, unit, host, e-mail, country, state, town, other
    std::string subject[8];
    std::string issuer[8];
    int start[6] = {0};  // day, month, year, hour, minute, second
    int end[6] = {0};
    int expired = 0;
    std::string fingerprint;      // 40 upper-case hex digits of the SHA-1 digest
    std::string verify_result;    // OpenSSL's text of the verify error
    std::vector<std::string> dns_names; // subjectAltName DNS entries
    std::vector<std::string> ip_names;  // subjectAltName IP entries, dotted
    int trusted = 0;
    int valid_name = 0;
    int preverify = 0;
    std::string host;   // the owner's host
    int port = 0;       // the owner's port
};

// Reads a certificate into the record; 1 read, 0 not.
int ssl_cert_read(X509* cert, SslCertRecord& record);
// A certificate name against a host: equal (case ignored), or "*." standing
// for exactly one label of the host.
int ssl_cert_name_match(const std::string& name, const std::string& host);
// The host check of a read certificate: its subjectAltName DNS (and IP)
// entries when it has any, else its common name.
int ssl_cert_host_matches(const SslCertRecord& record, const std::string& host);
// The details text of the prompt, lines separated by "\n".
std::string ssl_cert_details_text(const SslCertRecord& record);
// 1 when the end date (y, m, d) lies before today's local date.
int ssl_date_expired(int year, int month, int day);

// The cache of accepted certificates ([sslcache] n0.., newest first, at most 100).
int ssl_cache_any();
void ssl_cache_clear();
int ssl_cache_has(const std::string& fingerprint);
void ssl_cache_add(const std::string& fingerprint);
constexpr int kSslCacheMax = 100;

// Loads the CA file, certificate and key into a new context; 1 ready, 0 failed
// (the text shown in the status window of the link's owner).
int ssl_ctx_load_certificates(SslLink* link, SSL_CTX* ctx);
// OpenSSL's callbacks.
int ssl_verify_callback(int preverify, X509_STORE_CTX* store);
int ssl_passphrase_callback(char* buf, int size, int rwflag, void* userdata);

// The prompts, shown on the user-interface thread. `cancelled` turns 1 when
// the link goes while the prompt is open; the prompt then closes as
// cancelled. Results: certificate prompt 0 cancel, 1 accept once, 2 accept
// and remember; pass-phrase prompt 1 with the text, 0 none.
struct SslPromptHooks {
    int (*cert_prompt)(const SslCertRecord& record, std::shared_ptr<std::atomic<int>> cancelled) = nullptr;
    int (*passphrase_prompt)(std::string& out) = nullptr;
};
extern SslPromptHooks ssl_prompt_hooks;
// How long a prompt waits for an answer.
constexpr int kSslPromptSeconds = 60;
