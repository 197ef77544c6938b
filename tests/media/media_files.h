// Sound files the media tests make for themselves: a wave of a tone, MP3
// files encoded from it by lame, and MPEG frames and tags written byte by
// byte where the encoder cannot make them (Layers I and II, hostile sizes).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace media_test {

inline void put16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>((v >> 8) & 0xff);
}
inline void put32(std::string& s, std::uint32_t v)
{
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}
inline void put_be32(std::string& s, std::uint32_t v)
{
    for (int k = 3; k >= 0; --k)
        s += static_cast<char>((v >> (8 * k)) & 0xff);
}
inline std::string syncsafe(std::uint32_t v)
{
    std::string s;
    for (int k = 3; k >= 0; --k)
        s += static_cast<char>((v >> (7 * k)) & 0x7f);
    return s;
}

// A mono 16-bit wave of a 440 Hz tone.
inline std::string wave_bytes(int rate, int millis)
{
    const std::uint32_t samples = static_cast<std::uint32_t>(static_cast<long>(rate) * millis / 1000);
    std::string d;
    d += "RIFF";
    put32(d, 36 + samples * 2);
    d += "WAVEfmt ";
    put32(d, 16);
    put16(d, 1);
    put16(d, 1);
    put32(d, static_cast<std::uint32_t>(rate));
    put32(d, static_cast<std::uint32_t>(rate) * 2);
    put16(d, 2);
    put16(d, 16);
    d += "data";
    put32(d, samples * 2);
    for (std::uint32_t i = 0; i < samples; ++i)
        put16(d, static_cast<unsigned>(static_cast<int>(8000 * std::sin(i * 2 * M_PI * 440 / rate))) & 0xffff);
    return d;
}

inline void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

inline std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// lame with the arguments on the wave; returns the MP3's path, empty when
// the encoder failed.
inline std::string lame(const std::string& dir, const std::string& name, const std::string& wave,
                        const std::string& args)
{
    const std::string out = dir + "/" + name;
    const std::string cmd = "lame --quiet " + args + " '" + wave + "' '" + out + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(out))
        return std::string();
    return out;
}

// A frame header: version bits (3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5), layer bits
// (1 Layer III, 2 II, 3 I), bit-rate index, sample-rate index, channel mode,
// and the protection, private and copyright bits.
inline std::uint32_t frame_header(int version, int layer, int bitrate, int rate, int mode, bool no_crc = true,
                                  bool priv = false, bool copyright = false)
{
    return 0xffe00000u | (std::uint32_t(version) << 19) | (std::uint32_t(layer) << 17) |
           (no_crc ? 1u << 16 : 0u) | (std::uint32_t(bitrate) << 12) | (std::uint32_t(rate) << 10) |
           (priv ? 1u << 8 : 0u) | (std::uint32_t(mode) << 6) | (copyright ? 1u << 3 : 0u);
}

// One frame of that header padded with zeros to `length` bytes, with a Xing
// header and frame count at the place the reader looks when frames >= 0.
inline std::string frame(std::uint32_t header, std::size_t length, long xing_frames = -2)
{
    std::string f;
    put_be32(f, header);
    f.resize(length, '\0');
    if (xing_frames >= -1) {
        const bool mpeg1 = ((header >> 19) & 3) == 3;
        const bool mono = ((header >> 6) & 3) == 3;
        const std::size_t at = mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
        std::string x = "Xing";
        put_be32(x, xing_frames >= 0 ? 1 : 0);
        put_be32(x, xing_frames >= 0 ? static_cast<std::uint32_t>(xing_frames) : 0);
        f.replace(at, x.size(), x);
    }
    return f;
}

// A 128-byte ID3v1 tag; track 0 makes it ID3v1.0 (30-character comment).
inline std::string id3v1(const std::string& title, const std::string& artist, const std::string& album,
                         const std::string& year, const std::string& comment, int track, int genre)
{
    std::string t = "TAG";
    auto fieldn = [&](const std::string& v, std::size_t n) {
        std::string f = v.substr(0, n);
        f.resize(n, '\0');
        t += f;
    };
    fieldn(title, 30);
    fieldn(artist, 30);
    fieldn(album, 30);
    fieldn(year, 4);
    if (track > 0) {
        fieldn(comment, 28);
        t += '\0';
        t += static_cast<char>(track);
    } else {
        fieldn(comment, 30);
    }
    t += static_cast<char>(genre);
    return t;
}

// An ID3v2.3 or 2.4 text frame (encoding 0 unless given).
inline std::string text_frame(int major, const std::string& id, const std::string& text, char encoding = 0)
{
    std::string f = id;
    const std::uint32_t size = static_cast<std::uint32_t>(text.size() + 1);
    if (major == 4)
        f += syncsafe(size);
    else
        put_be32(f, size);
    f += std::string(2, '\0');
    f += encoding;
    f += text;
    return f;
}

// An ID3v2.2 text frame: three-character id, three-byte size.
inline std::string text_frame22(const std::string& id, const std::string& text)
{
    std::string f = id;
    const std::uint32_t size = static_cast<std::uint32_t>(text.size() + 1);
    f += static_cast<char>((size >> 16) & 0xff);
    f += static_cast<char>((size >> 8) & 0xff);
    f += static_cast<char>(size & 0xff);
    f += '\0';
    f += text;
    return f;
}

// An ID3v2 header ("ID3") or footer ("3DI") for frames of `size` bytes.
inline std::string id3v2_header(const char* id, int major, int flags, std::uint32_t size)
{
    std::string h = id;
    h += static_cast<char>(major);
    h += '\0';
    h += static_cast<char>(flags);
    h += syncsafe(size);
    return h;
}

}  // namespace media_test
