// The MP3 reader: the MPEG audio header of a file's first frame, a Xing
// header (variable bit rate), the ID3v1 tag at the end and the frames of an
// ID3v2 tag at the start or, through its footer, at the end. It keeps what
// it read of the last file, keyed by path and modification time, so a script
// asking several properties of one file reads it once.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What the reader keeps of the last file read.
struct Mp3State {
    std::string path;          // cache key with the modification time
    std::int64_t mtime = 0;
    bool valid = false;        // a frame header was found
    std::uint64_t size = 0;    // the whole file, tags included
    std::uint32_t header = 0;  // the first frame's header, big-endian as stored
    bool xing = false;
    long frames = -1;          // the Xing frame count, -1 when it carries none
    // ID3v1
    std::string title, artist, album, year, comment;
    int track = -1;
    int genre = -1;
    // ID3v2
    std::string id3_version;   // "v2.%d.%d", empty without a tag
    int id3_flags = 0;         // bit 7 unsynchronisation, 6 extended header / compression, 5 experimental, 4 footer
    std::uint64_t id3_size = 0;
    std::uint64_t id3_end = 0; // end offset of the tag's frames
    std::vector<std::pair<std::string, std::string>> frames_list; // id, decoded text
};

// Reads the file into the reader's state; 1 when a frame header was found.
// The same path with the same modification time returns 1 without reading.
int mp3_read_file(const std::string& path);
// One property of the file (".title", ".length", ".tag" ...) into `result`:
// empty when the file has no frame header or the property is unknown.
void mp3_property(const std::string& path, const std::string& property, std::string& result,
                  const std::string& argument);
// Reads from memory instead of a file (the same rules; no cache).
int mp3_read_bytes(const std::string& bytes, Mp3State& out);
// The properties of a state read before.
void mp3_state_property(const Mp3State& s, const std::string& property, std::string& result,
                        const std::string& argument);
// The reader's state of the last file (for the identifiers and tests).
const Mp3State& mp3_last();
// Forgets the cached file.
void mp3_reset();

// The fields of a frame header.
int mp3_bitrate(const Mp3State& s);     // kilobits per second, 0 when unknown
int mp3_sample_rate(const Mp3State& s); // Hz, 0 when unknown
long mp3_length_ms(const Mp3State& s);
// The ID3v1 genre name of a genre number, empty for none.
std::string mp3_genre_name(int genre);
