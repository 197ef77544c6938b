// MD5, SHA-1 and CRC-32 (our own implementations of the published
// algorithms), and the value cores of the $md5 and $sha1 identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------
// MD5
// ---------------------------------------------------------------------------

struct Md5Context {
    std::uint32_t state[4];   // A, B, C, D
    std::uint32_t count[2];   // message length in bits, low word first
    unsigned char buffer[64]; // the block being filled
};

void md5_init(Md5Context* ctx);
void md5_update(Md5Context* ctx, const void* data, std::size_t count);
// Pads, writes the 16 digest bytes (state words little-endian) and clears the context.
void md5_final(Md5Context* ctx, unsigned char digest[16]);
void md5_transform(std::uint32_t state[4], const unsigned char block[64]);

// Digest of a byte run into one static 16-byte buffer that the next call overwrites.
const unsigned char* md5_digest(const void* data, std::size_t count);

// ---------------------------------------------------------------------------
// SHA-1
// ---------------------------------------------------------------------------

struct Sha1Context {
    std::uint32_t state[5];
    std::uint32_t count[2];   // message length in bits, low word first
    unsigned char buffer[64];
};

void sha1_init(Sha1Context* ctx);
void sha1_update(Sha1Context* ctx, const void* data, std::size_t count);
// Pads, writes the 20 digest bytes (state words big-endian) and clears the context.
void sha1_final(unsigned char digest[20], Sha1Context* ctx);
void sha1_transform(std::uint32_t state[5], const unsigned char block[64]);

// ---------------------------------------------------------------------------
// CRC-32 (reflected polynomial 0xEDB88320, start 0xFFFFFFFF, final complement)
// ---------------------------------------------------------------------------

// Checksum of a byte run; a count of 0 or less gives 0.
std::uint32_t crc32_buffer(const void* data, std::ptrdiff_t count);
// Checksum of a file's bytes read in 4,096-byte blocks; 0 when the file can't
// be opened, is not a regular file, or a read error occurs. An empty file gives 0.
std::uint32_t crc32_file(const std::string& path);

// ---------------------------------------------------------------------------
// Hexadecimal forms and whole-text / whole-file digests
// ---------------------------------------------------------------------------

// Lower-case hexadecimal, two digits per byte.
std::string digest_hex(const unsigned char* bytes, std::size_t count);

std::string md5_hex(std::string_view data);   // 32 digits
std::string sha1_hex(std::string_view data);  // 40 digits

// Digest of a file's bytes, read in 512-byte blocks through a 4,096-byte
// buffered stream, so memory use does not grow with the file. Returns 1 and
// fills the digest, or 0 when the file can't be opened, is not a regular file,
// or a read fails before its end.
int md5_file(const std::string& path, unsigned char digest[16]);
int sha1_file(const std::string& path, unsigned char digest[20]);

// ---------------------------------------------------------------------------
// $md5 and $sha1: the value from evaluated arguments
// ---------------------------------------------------------------------------
// args: the data and an optional kind N (0 text, 1 binary variable name,
// 2 file name: surrounding quotes removed, then resolved like every file name,
// a relative one against the settings folder; a reserved device name is not
// read). On success the value gets the lower-case hexadecimal digest and 0 is
// returned; otherwise the identifier error code, 6 (invalid parameter) or 12
// (file read error), with the value left empty. Binary variables belong to
// the script data stores: the caller hands in the bytes of the variable that
// the data names (null when there is none), which kind 1 reads.

int id_md5_value(const std::vector<std::string>& args, std::string& value,
                 const std::string* bvar_bytes = nullptr);
int ident_sha1_value(const std::vector<std::string>& args, std::string& value,
                     const std::string* bvar_bytes = nullptr);
