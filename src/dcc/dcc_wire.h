// The formats a DCC peer sees: reading the CTCP offers (SEND, TSEND, RESUME,
// ACCEPT), writing the offer and resume lines, and the acknowledgement words
// of a file transfer. Everything here is pure text and byte work, with every
// length and number checked, so that anything a peer sends is either read
// whole or refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum DccOfferKind : int {
    kDccOfferNone = 0,
    kDccOfferSend = 1,     // SEND and TSEND
    kDccOfferResume = 2,
    kDccOfferAccept = 3,
};

// Why an offer was refused.
enum DccOfferFault : int {
    kDccOfferOk = 0,
    kDccOfferMalformed = 1,  // words missing, bad name, bad numbers
    kDccOfferBadPort = 2,    // port 19, 0 without a token, above 65535
    kDccOfferBadSize = 3,    // negative or beyond 64 bits
    kDccOfferBadName = 4,    // no name left once cleaned, or a device name
};

// Longest offered name that is read (longer ones are refused).
constexpr std::size_t kDccNameMax = 1023;
// Words of a CTCP text that are looked at.
constexpr int kDccMaxWords = 92;
// A quoted name joins at most up to this word.
constexpr int kDccQuoteLastWord = 50;

struct DccOffer {
    int kind = kDccOfferNone;
    int fault = kDccOfferOk;
    std::string offered_name;   // the name as offered (quotes removed)
    std::string file;           // SEND: base name, made safe for the file system
    std::uint32_t address = 0;  // SEND: IPv4, host order
    std::string address_text;   // SEND: dotted
    int port = 0;               // 0..65535
    std::int64_t size = -1;     // SEND: -1 when none; RESUME/ACCEPT: the position
    int token = 0;              // 0 when none
    bool passive() const { return port == 0 && token != 0; }
};

// Reads the unframed CTCP text ("DCC SEND name addr port [size [token]]",
// "DCC RESUME name port pos [token]", "DCC ACCEPT name port pos [token]").
// The kind is kDccOfferNone for other texts; fault tells why a DCC text of
// these kinds is refused.
DccOffer dcc_parse_offer(std::string_view text);

// A non-negative decimal number, read as the integer part of a decimal
// fraction ("12.9" is 12); false for a sign, an exponent, other characters or
// a value beyond 63 bits.
bool dcc_parse_size(std::string_view word, std::int64_t& out);

// The safe base name of an offered name: the part after the last '/' or '\',
// a leading '.' and control characters and \/:*?"<>|^ made '_'. Empty when
// nothing is left.
std::string dcc_safe_name(std::string_view offered);

// "%lu" of an address and its dotted text.
std::string dcc_address_text(std::uint32_t address);

// The name as a SEND offer writes it: spaces made '_' when `underscores`,
// else quoted when it has a space.
std::string dcc_offer_name(const std::string& file, bool underscores);

// The CTCP texts (without the PRIVMSG frame and the 0x01 bytes).
std::string dcc_send_offer_text(const std::string& name, std::uint32_t address, int port,
                                std::int64_t size, int token);
std::string dcc_resume_text(const char* word, const std::string& name, int port, std::int64_t position,
                            int token);

// Acknowledgement words: 8 bytes (big-endian, signed 64-bit) when the size
// is above 4294967295, else 4 bytes (big-endian, unsigned 32-bit).
int dcc_ack_width(std::int64_t size);
// Writes one word into out (width bytes); the value is cut to 32 bits for
// width 4, as the peers do.
void dcc_ack_encode(std::int64_t value, int width, unsigned char* out);

// Collects acknowledgement words from reads of any length: a word split
// across reads is joined before it is read.
struct DccAckReader {
    int width = 4;
    unsigned char part[8] = {};
    int have = 0;
    // Feeds bytes; returns how many whole words they completed and sets
    // `last` to the last one (unchanged when none).
    int feed(const char* data, std::size_t length, std::int64_t& last);
};
