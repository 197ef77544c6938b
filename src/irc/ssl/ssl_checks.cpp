#include "irc/ssl/ssl_checks.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <thread>

#include "model/connection.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/ssl/ssl_link.h"
#include "platform/worker.h"
#include "irc/ssl/ssl_entry_points.inc"

SslSettings ssl_settings;
std::string ssl_passphrase;
SslPromptHooks ssl_prompt_hooks;

namespace {

std::string read_key(const char* key, const char* def, std::size_t size)
{
    std::string v;
    ini_read("ssl", key, def, v, size, main_ini_path);
    return v;
}

// Shows a text in the status window of a server link's owner (any thread).
void tell_owner(int socket, int text_id)
{
    run_on_ui_thread([socket, text_id] {
        Connection* conn = conn_by_socket(socket);
        QWidget* w = conn ? link_status_window(conn) : nullptr;
        echo_line(w, std::string_view(text_load_string(text_id)), kColorInfoText);
    });
}

bool on_ui_thread()
{
    // The worker threads are the only others that come here.
    static const std::thread::id ui = std::this_thread::get_id();
    return std::this_thread::get_id() == ui;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string name_field(x509_name_st* name, int nid)
{
    char buf[kShortText];
    int n = name ? ssl_api.X509_NAME_get_text_by_NID(name, nid, buf, sizeof buf) : -1;
    return n > 0 ? std::string(buf, static_cast<std::size_t>(std::min<int>(n, kShortText - 1))) : std::string();
}

void read_name(x509_name_st* name, std::string (&fields)[8])
{
    static const int nids[7] = {kNidOrganisation, kNidUnit, kNidCommonName, kNidEmail,
                                kNidCountry, kNidState, kNidTown};
    for (int i = 0; i < 7; ++i)
        fields[i] = name_field(name, nids[i]);
}

void read_time(const asn1_string_st* t, int (&out)[6])
{
    struct tm tm{};
    if (!t || !ssl_api.ASN1_TIME_to_tm(t, &tm))
        return;
    out[0] = tm.tm_mday;
    out[1] = tm.tm_mon + 1;
    out[2] = tm.tm_year + 1900;
    out[3] = tm.tm_hour;
    out[4] = tm.tm_min;
    out[5] = tm.tm_sec;
}

// GENERAL_NAME as laid out by OpenSSL: a type and a pointer.
struct GeneralName {
    int type;
    const asn1_string_st* value;
};

int ask_prompt(SslLink* link, const SslCertRecord& record)
{
    if (!ssl_prompt_hooks.cert_prompt)
        return 0;
    auto cancel = std::make_shared<std::atomic<int>>(0);
    auto result = std::make_shared<std::promise<int>>();
    std::future<int> answer = result->get_future();
    link->prompt_cancel = cancel;
    link->prompt_open = 1;
    if (!run_on_ui_thread([record, cancel, result] {
            result->set_value(cancel->load() ? 0 : ssl_prompt_hooks.cert_prompt(record, cancel));
        })) {
        link->prompt_open = 0;
        return 0;
    }
    // The prompt closes itself after its time; a little more here.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kSslPromptSeconds + 5);
    int value = 0;
    for (;;) {
        if (answer.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready) {
            value = answer.get();
            break;
        }
        if (link->stop.load() || std::chrono::steady_clock::now() >= end) {
            cancel->store(1);
            value = 0;
            break;
        }
    }
    link->prompt_open = 0;
    if (link->stop.load() || !ssl_available())
        return 0;
    return value;
}

} // namespace

void ssl_settings_load()
{
    (void)on_ui_thread();
    std::string show = read_key("show", "1", kShortTextSize);
    ssl_settings.show = show == "0" ? 0 : show == "2" ? 2 : 1;
    ssl_settings.cert = read_key("cert", "", kMediumTextSize);
    ssl_settings.key = read_key("key", "", kMediumTextSize);
    ssl_settings.ca = read_key("ca", "", kMediumTextSize);
}

void ssl_settings_save()
{
    ini_write("ssl", "show", std::to_string(ssl_settings.show).c_str(), main_ini_path);
    ini_write("ssl", "cert", ssl_settings.cert.c_str(), main_ini_path);
    ini_write("ssl", "key", ssl_settings.key.c_str(), main_ini_path);
    ini_write("ssl", "ca", ssl_settings.ca.c_str(), main_ini_path);
}

int ssl_date_expired(int year, int month, int day)
{
    if (year < 50)
        year += 2000;
    else if (year < 100)
        year += 1900;
    std::time_t now = std::time(nullptr);
    struct tm local{};
    localtime_r(&now, &local);
    int today = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
    return year * 10000 + month * 100 + day < today ? 1 : 0;
}

int ssl_cert_read(X509* cert, SslCertRecord& r)
{
    if (!cert || !ssl_available())
        return 0;
    read_name(ssl_api.X509_get_subject_name(cert), r.subject);
    read_name(ssl_api.X509_get_issuer_name(cert), r.issuer);
    read_time(ssl_api.X509_get0_notBefore(cert), r.start);
    read_time(ssl_api.X509_get0_notAfter(cert), r.end);
    r.expired = ssl_date_expired(r.end[2], r.end[1], r.end[0]);
    unsigned char md[64];
    unsigned int len = 0;
    r.fingerprint.clear();
    if (ssl_api.X509_digest(cert, ssl_api.EVP_sha1(), md, &len) && len <= sizeof md) {
        char hex[3];
        for (unsigned int i = 0; i < len; ++i) {
            std::snprintf(hex, sizeof hex, "%02X", md[i]);
            r.fingerprint += hex;
        }
    }
    r.dns_names.clear();
    r.ip_names.clear();
    auto* names = static_cast<stack_st*>(ssl_api.X509_get_ext_d2i(cert, kNidSubjectAltName, nullptr, nullptr));
    if (names) {
        int n = ssl_api.OPENSSL_sk_num(names);
        for (int i = 0; i < n && i < 256; ++i) {
            auto* g = static_cast<const GeneralName*>(ssl_api.OPENSSL_sk_value(names, i));
            if (!g || !g->value)
                continue;
            const unsigned char* data = ssl_api.ASN1_STRING_get0_data(g->value);
            int length = ssl_api.ASN1_STRING_length(g->value);
            if (!data || length <= 0 || length > static_cast<int>(kShortText))
                continue;
            if (g->type == kGenDns) {
                r.dns_names.emplace_back(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
            } else if (g->type == kGenIpAddress && length == 4) {
                char ip[32];
                std::snprintf(ip, sizeof ip, "%d.%d.%d.%d", data[0], data[1], data[2], data[3]);
                r.ip_names.emplace_back(ip);
            }
        }
        ssl_api.GENERAL_NAMES_free(names);
    }
    return r.fingerprint.empty() ? 0 : 1;
}

int ssl_cert_name_match(const std::string& name, const std::string& host)
{
    if (name.empty() || host.empty() || name.find('\0') != std::string::npos)
        return 0;
    std::string n = lower(name);
    std::string h = lower(host);
    if (n == h)
        return 1;
    if (n.size() > 2 && n[0] == '*' && n[1] == '.') {
        // "*." stands for exactly one label of the host.
        std::size_t dot = h.find('.');
        if (dot == std::string::npos || dot == 0)
            return 0;
        return h.compare(dot, std::string::npos, n, 1, std::string::npos) == 0 ? 1 : 0;
    }
    return 0;
}

int ssl_cert_host_matches(const SslCertRecord& r, const std::string& host)
{
    if (!r.dns_names.empty() || !r.ip_names.empty()) {
        for (const std::string& ip : r.ip_names)
            if (ip == host)
                return 1;
        for (const std::string& dns : r.dns_names)
            if (ssl_cert_name_match(dns, host))
                return 1;
        return 0;
    }
    return ssl_cert_name_match(r.subject[2], host);
}

std::string ssl_cert_details_text(const SslCertRecord& r)
{
    std::string text;
    auto add = [&text](int id, const std::string& value) {
        char buf[kShortTextSize + 64];
        std::snprintf(buf, sizeof buf, text_load_string(id), value.c_str());
        text += buf;
        text += "\n";
    };
    auto section = [&](int title, const std::string (&f)[8]) {
        text += text_load_string(title);
        text += "\n";
        for (int i = 0; i < 7; ++i)
            if (!f[i].empty())
                add(5160 + i, f[i]);
        if (!f[7].empty()) {
            text += text_load_string(5167);
            text += "\n" + f[7] + "\n";
        }
    };
    section(5159, r.subject);
    section(5168, r.issuer);
    char buf[160];
    std::snprintf(buf, sizeof buf, text_load_string(5169), r.start[0], r.start[1], r.start[2], r.end[0],
                  r.end[1], r.end[2]);
    text += buf;
    return text;
}

// ---- The cache ----

namespace {

std::vector<std::string> cache_read()
{
    std::vector<std::string> list;
    for (int i = 0; i < kSslCacheMax; ++i) {
        std::string v;
        ini_read("sslcache", ("n" + std::to_string(i)).c_str(), "", v, kShortTextSize, main_ini_path);
        if (v.empty())
            break;
        list.push_back(v);
    }
    return list;
}

std::mutex g_cache_mutex;

} // namespace

int ssl_cache_any()
{
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    return cache_read().empty() ? 0 : 1;
}

void ssl_cache_clear()
{
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    ini_write("sslcache", nullptr, nullptr, main_ini_path);
}

int ssl_cache_has(const std::string& fingerprint)
{
    if (fingerprint.empty())
        return 0;
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    for (const std::string& f : cache_read())
        if (text_equal_nocase(f, fingerprint))
            return 1;
    return 0;
}

void ssl_cache_add(const std::string& fingerprint)
{
    if (fingerprint.empty())
        return;
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    std::vector<std::string> list = cache_read();
    for (const std::string& f : list)
        if (text_equal_nocase(f, fingerprint))
            return;
    list.insert(list.begin(), fingerprint);
    if (list.size() > static_cast<std::size_t>(kSslCacheMax))
        list.resize(kSslCacheMax);
    StringNode* nodes = nullptr;
    for (const std::string& f : list)
        nodes = strlist_append(nodes, std::string_view(f), 0);
    ini_write_numbered_list(nodes, "sslcache", "n", 0, main_ini_path);
    strlist_free(&nodes);
}

// ---- Contexts and callbacks ----

int ssl_ctx_load_certificates(SslLink* link, SSL_CTX* ctx)
{
    const SslSettings& s = ssl_settings;
    int failure = 0;
    if (!s.ca.empty() && ssl_api.SSL_CTX_load_verify_locations(ctx, s.ca.c_str(), nullptr) != 1)
        failure = 5154;
    else if (ssl_api.SSL_CTX_set_default_verify_paths(ctx) != 1)
        failure = 5155;
    else if (!s.cert.empty() && ssl_api.SSL_CTX_use_certificate_chain_file(ctx, s.cert.c_str()) != 1)
        failure = 5151;
    else if (!s.key.empty() && ssl_api.SSL_CTX_use_PrivateKey_file(ctx, s.key.c_str(), kSslFiletypePem) != 1) {
        ssl_passphrase.clear();
        failure = 5152;
    } else if (!s.cert.empty() && !s.key.empty() && ssl_api.SSL_CTX_check_private_key(ctx) != 1)
        failure = 5153;
    if (!failure)
        return 1;
    Connection* conn = link && link->owner_type == kSslOwnerServer ? conn_by_socket(link->socket) : nullptr;
    if (conn)
        link_state(conn).ssl_state = 3;
    echo_line(conn ? link_status_window(conn) : nullptr, std::string_view(text_load_string(failure)),
              kColorInfoText);
    return 0;
}

int ssl_passphrase_callback(char* buf, int size, int, void*)
{
    if (ssl_passphrase.empty()) {
        std::string typed;
        if (on_ui_thread() && ssl_prompt_hooks.passphrase_prompt && ssl_prompt_hooks.passphrase_prompt(typed)) {
            if (typed.size() > kShortText)
                typed.resize(kShortText);
            ssl_passphrase = typed;
        }
    }
    if (!buf || size <= 0 || ssl_passphrase.size() >= static_cast<std::size_t>(size))
        return 0;
    std::memcpy(buf, ssl_passphrase.data(), ssl_passphrase.size());
    return static_cast<int>(ssl_passphrase.size());
}

int ssl_verify_callback(int preverify, X509_STORE_CTX* store)
{
    if (!store || !ssl_available())
        return 0;
    if (ssl_api.X509_STORE_CTX_get_error_depth(store) > 0)
        return 1;
    auto* ssl = static_cast<SSL*>(
        ssl_api.X509_STORE_CTX_get_ex_data(store, ssl_api.SSL_get_ex_data_X509_STORE_CTX_idx()));
    SslLink* link;
    {
        std::lock_guard<std::mutex> lock(ssl_mutex);
        link = ssl_link_of_ssl(ssl);
    }
    if (!link)
        return 0;
    if (link->prompt_open.load()) {
        if (link->prompt_cancel)
            link->prompt_cancel->store(1);
        return 1;
    }
    if (link->accepted.load())
        return 1;
    SslCertRecord r;
    if (!ssl_cert_read(ssl_api.X509_STORE_CTX_get_current_cert(store), r))
        return 0;
    int error = ssl_api.X509_STORE_CTX_get_error(store);
    r.preverify = preverify;
    r.verify_result = ssl_api.X509_verify_cert_error_string(error);
    r.trusted = (preverify == 1 || error != kX509ErrUnableToGetIssuerCert) ? 1 : 0;
    r.host = link->host;
    r.port = link->port;
    r.valid_name = ssl_cert_host_matches(r, link->host);
    if (ssl_cache_has(r.fingerprint))
        return 1;
    if (preverify == 1 && error == 0 && !r.expired && r.valid_name) {
        link->accepted = 1;
        return 1;
    }
    if (ssl_settings.show == 2)
        return 1;
    if (ssl_settings.show == 0) {
        if (link->owner_type == kSslOwnerServer)
            tell_owner(link->socket, 5156);
        return 0;
    }
    int answer = ask_prompt(link, r);
    if (answer == 2)
        ssl_cache_add(r.fingerprint);
    if (answer == 1 || answer == 2) {
        link->accepted = 1;
        return 1;
    }
    link->rejected_by_user = 1;
    return 0;
}
