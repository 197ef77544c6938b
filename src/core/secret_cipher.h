// Reversible forms of stored secrets: the enciphered text form (Blowfish in
// 64-bit cipher-feedback mode keyed by the MD5 digest of a key text, then
// Base64) and the older password scramble.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Blowfish key schedule: the P array and the four S-boxes.
struct BlowfishKey {
    std::uint32_t P[18];
    std::uint32_t S[4][256];
};

// Builds the schedule from a key of 1 to 72 bytes (a longer key is cut at 72;
// an empty key leaves the initial values unmixed by key bytes).
void blowfish_set_key(BlowfishKey& key, const unsigned char* bytes, std::size_t length);
// One 64-bit block, as two big-endian words, in place.
void blowfish_encrypt_block(const BlowfishKey& key, std::uint32_t& left, std::uint32_t& right);
void blowfish_decrypt_block(const BlowfishKey& key, std::uint32_t& left, std::uint32_t& right);

// 64-bit cipher feedback over count bytes (in and out may be the same). The
// register and its position (0..7) carry the state from call to call.
void blowfish_cfb64(const BlowfishKey& key, unsigned char reg[8], int& position, const unsigned char* in,
                    unsigned char* out, std::size_t count, bool encrypt);

// Replaces the text by its enciphered text form. 1 on success; 0 with the text
// emptied when the text is empty or its form would not fit in 4,150 characters
// (a plain text of more than 3,111 bytes).
int crypt_encrypt_text(std::string& text, std::string_view key_text);
// Replaces an enciphered text form by the plain text. 1 on success; 0 with the
// text emptied when the text is empty or holds no Base64 data. At most the
// first 4,150 characters are read.
int crypt_decrypt_text(std::string& text, std::string_view key_text);

// The password scramble and its inverse, in place; texts shorter than two
// characters are left as they are.
void pw_scramble(std::string& text);
void pw_unscramble(std::string& text);
// Swaps characters 0 and 1, 2 and 3, ...; an odd last character stays.
void pw_swap_pairs(std::string& text);
void pw_reverse(std::string& text);
