#include "irc/ssl/ssl_api.h"
#include "irc/ssl/ssl_entry_points.inc"

#include "irc/ssl/ssl_checks.h"
#include "irc/ssl/ssl_link.h"
#include "platform/dynlib.h"

#include <atomic>
#include <mutex>

SslApi ssl_api{};
const char* ssl_library_names[2] = {"libcrypto.so.3", "libssl.so.3"};

namespace {

void* g_crypto = nullptr;
void* g_ssl = nullptr;
int g_available = 0;
// Set once a load was tried since the last release: the libraries are loaded
// on first use, and a missing library is not looked for again and again.
std::atomic<int> g_tried{0};
std::mutex g_load_lock;

void release()
{
    if (g_ssl)
        dynlib_close(g_ssl);
    if (g_crypto)
        dynlib_close(g_crypto);
    g_ssl = g_crypto = nullptr;
    ssl_api = SslApi{};
    g_available = 0;
}

template <typename F>
bool resolve(void* lib, F& slot, const char* name)
{
    slot = reinterpret_cast<F>(dynlib_symbol(lib, name));
    return slot != nullptr;
}

} // namespace

namespace {

int load_libraries()
{
    g_tried.store(1, std::memory_order_release);
    if (g_available)
        return 1;
    g_crypto = dynlib_open(ssl_library_names[0]);
    g_ssl = g_crypto ? dynlib_open(ssl_library_names[1]) : nullptr;
    if (!g_crypto || !g_ssl) {
        release();
        return 0;
    }
    SslApi& a = ssl_api;
    void* s = g_ssl;
    void* c = g_crypto;
    bool ok = resolve(s, a.OPENSSL_init_ssl, "OPENSSL_init_ssl") &&
              resolve(s, a.TLS_client_method, "TLS_client_method") &&
              resolve(s, a.SSL_CTX_new, "SSL_CTX_new") && resolve(s, a.SSL_CTX_free, "SSL_CTX_free") &&
              resolve(s, a.SSL_CTX_ctrl, "SSL_CTX_ctrl") &&
              resolve(s, a.SSL_CTX_set_verify, "SSL_CTX_set_verify") &&
              resolve(s, a.SSL_CTX_load_verify_locations, "SSL_CTX_load_verify_locations") &&
              resolve(s, a.SSL_CTX_set_default_verify_paths, "SSL_CTX_set_default_verify_paths") &&
              resolve(s, a.SSL_CTX_use_certificate_chain_file, "SSL_CTX_use_certificate_chain_file") &&
              resolve(s, a.SSL_CTX_use_PrivateKey_file, "SSL_CTX_use_PrivateKey_file") &&
              resolve(s, a.SSL_CTX_check_private_key, "SSL_CTX_check_private_key") &&
              resolve(s, a.SSL_CTX_set_default_passwd_cb, "SSL_CTX_set_default_passwd_cb") &&
              resolve(s, a.SSL_CTX_set_default_passwd_cb_userdata, "SSL_CTX_set_default_passwd_cb_userdata") &&
              resolve(s, a.SSL_new, "SSL_new") && resolve(s, a.SSL_free, "SSL_free") &&
              resolve(s, a.SSL_set_fd, "SSL_set_fd") &&
              resolve(s, a.SSL_set_connect_state, "SSL_set_connect_state") &&
              resolve(s, a.SSL_ctrl, "SSL_ctrl") && resolve(s, a.SSL_connect, "SSL_connect") &&
              resolve(s, a.SSL_read, "SSL_read") && resolve(s, a.SSL_write, "SSL_write") &&
              resolve(s, a.SSL_get_error, "SSL_get_error") && resolve(s, a.SSL_shutdown, "SSL_shutdown") &&
              resolve(s, a.SSL_pending, "SSL_pending") &&
              resolve(s, a.SSL_get1_peer_certificate, "SSL_get1_peer_certificate") &&
              resolve(s, a.SSL_get_ex_data_X509_STORE_CTX_idx, "SSL_get_ex_data_X509_STORE_CTX_idx") &&
              resolve(c, a.X509_STORE_CTX_get_current_cert, "X509_STORE_CTX_get_current_cert") &&
              resolve(c, a.X509_STORE_CTX_get_error, "X509_STORE_CTX_get_error") &&
              resolve(c, a.X509_STORE_CTX_get_error_depth, "X509_STORE_CTX_get_error_depth") &&
              resolve(c, a.X509_STORE_CTX_get_ex_data, "X509_STORE_CTX_get_ex_data") &&
              resolve(c, a.X509_get_subject_name, "X509_get_subject_name") &&
              resolve(c, a.X509_get_issuer_name, "X509_get_issuer_name") &&
              resolve(c, a.X509_NAME_get_text_by_NID, "X509_NAME_get_text_by_NID") &&
              resolve(c, a.X509_verify_cert_error_string, "X509_verify_cert_error_string") &&
              resolve(c, a.X509_get_ext_d2i, "X509_get_ext_d2i") && resolve(c, a.X509_digest, "X509_digest") &&
              resolve(c, a.EVP_sha1, "EVP_sha1") && resolve(c, a.X509_free, "X509_free") &&
              resolve(c, a.X509_get0_notBefore, "X509_get0_notBefore") &&
              resolve(c, a.X509_get0_notAfter, "X509_get0_notAfter") &&
              resolve(c, a.ASN1_TIME_to_tm, "ASN1_TIME_to_tm") &&
              resolve(c, a.ASN1_STRING_get0_data, "ASN1_STRING_get0_data") &&
              resolve(c, a.ASN1_STRING_length, "ASN1_STRING_length") &&
              resolve(c, a.OPENSSL_sk_num, "OPENSSL_sk_num") && resolve(c, a.OPENSSL_sk_value, "OPENSSL_sk_value") &&
              resolve(c, a.GENERAL_NAMES_free, "GENERAL_NAMES_free") && resolve(c, a.RAND_status, "RAND_status");
    // OpenSSL 3 does its own locking and seeding; the library must say it is seeded.
    if (!ok || !a.OPENSSL_init_ssl(0, nullptr) || !a.RAND_status()) {
        release();
        return 0;
    }
    g_available = 1;
    return 1;
}

} // namespace

int ssl_load_library()
{
    ssl_settings_load();
    std::lock_guard<std::mutex> hold(g_load_lock);
    return load_libraries();
}

void ssl_unload()
{
    ssl_free_all_links();
    std::lock_guard<std::mutex> hold(g_load_lock);
    release();
    g_tried.store(0, std::memory_order_release);
}

int ssl_available()
{
    if (!g_tried.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> hold(g_load_lock);
        if (!g_tried.load(std::memory_order_relaxed))
            load_libraries();
    }
    return g_available;
}
