// OpenSSL 3, loaded at run time from libssl.so.3 and libcrypto.so.3. Without
// them (or with any entry point missing) SSL is simply not available and the
// rest of the program runs on.
#pragma once

#include <cstddef>
#include <ctime>

// Opaque OpenSSL types.
struct ssl_st;
struct ssl_ctx_st;
struct ssl_method_st;
struct x509_st;
struct x509_name_st;
struct x509_store_ctx_st;
struct evp_md_st;
struct asn1_string_st;
struct ossl_init_settings_st;
struct stack_st;

using SSL = ssl_st;
using SSL_CTX = ssl_ctx_st;
using X509 = x509_st;
using X509_STORE_CTX = x509_store_ctx_st;

// The few constants of the OpenSSL ABI used here.
constexpr int kSslErrorNone = 0;
constexpr int kSslErrorSsl = 1;
constexpr int kSslErrorWantRead = 2;
constexpr int kSslErrorWantWrite = 3;
constexpr int kSslErrorWantX509Lookup = 4;
constexpr int kSslErrorSyscall = 5;
constexpr int kSslErrorZeroReturn = 6;
constexpr int kSslErrorWantConnect = 7;
constexpr int kSslErrorWantAccept = 8;
constexpr int kSslVerifyPeer = 1;
constexpr int kSslVerifyClientOnce = 4;
constexpr int kSslFiletypePem = 1;
constexpr int kX509ErrUnableToGetIssuerCert = 2;
constexpr int kNidCommonName = 13;
constexpr int kNidCountry = 14;
constexpr int kNidTown = 15;
constexpr int kNidState = 16;
constexpr int kNidOrganisation = 17;
constexpr int kNidUnit = 18;
constexpr int kNidEmail = 48;
constexpr int kNidSubjectAltName = 85;
constexpr int kGenDns = 2;
constexpr int kGenIpAddress = 7;

using SslVerifyCallback = int (*)(int preverify, X509_STORE_CTX* store);
using SslPasswordCallback = int (*)(char* buf, int size, int rwflag, void* userdata);


// The resolved entry points are in ssl_entry_points.inc (included by the
// SSL sources only): a table filled at load time, not handlers to set.

// Loads both libraries and resolves every entry point; 1 when SSL is
// available. Reads the [ssl] settings first. Repeated calls keep the
// libraries loaded once. Nothing needs to call it first: the libraries are
// loaded on first use (ssl_available), so a start without SSL links never
// maps them.
int ssl_load_library();
// At exit: every link freed, both libraries released.
void ssl_unload();
// 1 while the libraries are loaded; the first call after start (or after
// ssl_unload) loads them, and a failed load is not tried again.
int ssl_available();
// The library names tried (tests point them elsewhere to see the missing case).
extern const char* ssl_library_names[2];
