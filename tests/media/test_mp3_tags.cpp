// The MP3 reader against files lame makes and against frames and tags
// written byte by byte: header fields by MPEG version and layer, bit rates
// with and without a Xing header, ID3v1 and ID3v2 tags at the start and
// end, and files whose sizes lie.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QTemporaryDir>

#include "media/media_files.h"
#include "media/mp3_tags.h"

using namespace media_test;

namespace {

class Mp3Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        wave_ = path("tone.wav");
        write_file(wave_, wave_bytes(44100, 2000));
        mp3_reset();
    }
    void TearDown() override { mp3_reset(); }
    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
    std::string prop(const std::string& file, const std::string& p, const std::string& arg = std::string())
    {
        std::string out;
        mp3_property(file, p, out, arg);
        return out;
    }
    // The bytes written to a file of that name.
    std::string file_of(const std::string& name, const std::string& bytes)
    {
        const std::string p = path(name);
        write_file(p, bytes);
        return p;
    }

    QTemporaryDir dir_;
    std::string wave_;
};

// A stream of frames of one header with a Xing frame count, `per_frame`
// bytes a frame.
std::string xing_stream(std::uint32_t header, std::size_t per_frame, long frames)
{
    std::string s = frame(header, per_frame, frames);
    s.resize(per_frame * static_cast<std::size_t>(frames), '\0');
    return s;
}

}  // namespace

TEST_F(Mp3Files, EncodedFilesReportVersionRateBitrateAndLength)
{
    struct Case {
        const char* args;
        const char* version;
        const char* sample;
        const char* bitrate;
        const char* mode;
    };
    const Case cases[] = {
        {"-b 128", "MPEG 1.0 Layer 3", "44100", "128", "Single Channel"},
        {"-b 320", "MPEG 1.0 Layer 3", "44100", "320", "Single Channel"},
        {"-b 64 --resample 22.05", "MPEG 2.0 Layer 3", "22050", "64", "Single Channel"},
        {"-b 8 --resample 16", "MPEG 2.0 Layer 3", "16000", "8", "Single Channel"},
        {"-b 32 --resample 11.025", "MPEG 2.5 Layer 3", "11025", "32", "Single Channel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string mp3 = lame(dir_.path().toStdString(), "cbr.mp3", wave_, c.args);
        ASSERT_FALSE(mp3.empty()) << "lame failed";
        mp3_reset();
        EXPECT_EQ(prop(mp3, ".version"), c.version);
        EXPECT_EQ(prop(mp3, ".sample"), c.sample);
        EXPECT_EQ(prop(mp3, ".bitrate"), c.bitrate);
        EXPECT_EQ(prop(mp3, ".mode"), c.mode);
        // A constant rate carries an "Info" header, not a Xing one.
        EXPECT_EQ(prop(mp3, ".vbr"), "$false");
        const long length = std::stol(prop(mp3, ".length"));
        EXPECT_GE(length, 1900);
        EXPECT_LE(length, 2300);
    }
}

// The Xing average takes the frame size of the version and layer: MPEG 2
// and 2.5 Layer III frames hold half the samples of MPEG 1 ones, so the
// MPEG 1 factor would halve their bit rate and double their length.
TEST_F(Mp3Files, VariableRateFilesKeepTheirLengthAtEveryVersion)
{
    for (const char* args : {"-V 5", "-V 2 --resample 22.05", "-V 7 --resample 11.025", "-V 4 --resample 24"}) {
        SCOPED_TRACE(args);
        const std::string mp3 = lame(dir_.path().toStdString(), "vbr.mp3", wave_, args);
        ASSERT_FALSE(mp3.empty());
        mp3_reset();
        EXPECT_EQ(prop(mp3, ".vbr"), "$true");
        EXPECT_EQ(prop(mp3, ".variable"), "$true");
        EXPECT_GT(mp3_last().frames, 0);
        const long length = std::stol(prop(mp3, ".length"));
        EXPECT_GE(length, 1700);
        EXPECT_LE(length, 2600);
    }
}

TEST_F(Mp3Files, XingAverageFactorByVersionAndLayer)
{
    struct Case {
        int version, layer, rate_index;
        std::size_t per_frame;
        int kbps;
    };
    // kbps = bytes a frame * sample rate / (1000 * factor); factor Layer I 48,
    // MPEG 2 and 2.5 Layer III 72, otherwise 144.
    const Case cases[] = {
        {3, 3, 1, 480, 480},   // MPEG 1 Layer I, 48 kHz
        {3, 2, 1, 432, 144},   // MPEG 1 Layer II
        {3, 1, 1, 432, 144},   // MPEG 1 Layer III
        {2, 1, 1, 216, 72},    // MPEG 2 Layer III, 24 kHz
        {0, 1, 1, 216, 36},    // MPEG 2.5 Layer III, 12 kHz
        {2, 2, 1, 432, 72},    // MPEG 2 Layer II
        {2, 3, 1, 240, 120},   // MPEG 2 Layer I
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " layer " << c.layer);
        Mp3State s;
        ASSERT_EQ(mp3_read_bytes(xing_stream(frame_header(c.version, c.layer, 9, c.rate_index, 0), c.per_frame, 100), s), 1);
        EXPECT_TRUE(s.xing);
        EXPECT_EQ(s.frames, 100);
        EXPECT_EQ(mp3_bitrate(s), c.kbps);
        // 100 frames of that size at that rate: the length follows.
        EXPECT_EQ(mp3_length_ms(s), static_cast<long>(c.per_frame * 100 * 8 / c.kbps));
    }
}

TEST_F(Mp3Files, XingWithoutFrameCountFallsBackToTheTableRate)
{
    Mp3State s;
    std::string out;
    std::string bytes = frame(frame_header(3, 1, 9, 0, 0), 417, -1) + std::string(4000, '\0');
    ASSERT_EQ(mp3_read_bytes(bytes, s), 1);
    EXPECT_EQ(s.frames, -1);
    mp3_state_property(s, ".bitrate", out, "");
    EXPECT_EQ(out, "128");
    mp3_state_property(s, ".vbr", out, "");
    EXPECT_EQ(out, "$true");
}

TEST_F(Mp3Files, TableRatesAndHeaderFlagsOfEveryLayer)
{
    struct Case {
        std::uint32_t header;
        const char* version;
        const char* bitrate;
        const char* sample;
        const char* mode;
        const char* crc;
        const char* priv;
        const char* copyright;
    };
    const Case cases[] = {
        {frame_header(3, 3, 14, 0, 0), "MPEG 1.0 Layer 1", "448", "44100", "Stereo", "$false", "$false", "$false"},
        {frame_header(3, 2, 14, 2, 1, false), "MPEG 1.0 Layer 2", "384", "32000", "Joint Stereo", "$true", "$false", "$false"},
        {frame_header(3, 1, 1, 1, 2, true, true), "MPEG 1.0 Layer 3", "32", "48000", "Dual Channel", "$false", "$true", "$false"},
        {frame_header(2, 3, 14, 1, 3, true, false, true), "MPEG 2.0 Layer 1", "256", "24000", "Single Channel", "$false", "$false", "$true"},
        {frame_header(2, 2, 1, 2, 0), "MPEG 2.0 Layer 2", "8", "16000", "Stereo", "$false", "$false", "$false"},
        {frame_header(0, 1, 14, 2, 0), "MPEG 2.5 Layer 3", "160", "8000", "Stereo", "$false", "$false", "$false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        Mp3State s;
        ASSERT_EQ(mp3_read_bytes(frame(c.header, 2000), s), 1);
        std::string out;
        const std::pair<const char*, const char*> want[] = {{".version", c.version}, {".bitrate", c.bitrate},
                                                            {".sample", c.sample},   {".mode", c.mode},
                                                            {".crc", c.crc},         {".private", c.priv},
                                                            {".copyright", c.copyright}, {".vbr", "$false"}};
        for (const auto& [p, v] : want) {
            mp3_state_property(s, p, out, "");
            EXPECT_EQ(out, v) << p;
        }
    }
}

TEST_F(Mp3Files, InvalidHeadersAreNotFrames)
{
    // Reserved version, layer 0, bit-rate index 0 and 15, sample-rate index 3,
    // emphasis 2: none counts, and a file of only those has no properties.
    const std::uint32_t bad[] = {
        frame_header(1, 1, 9, 0, 0), frame_header(3, 0, 9, 0, 0), frame_header(3, 1, 0, 0, 0),
        frame_header(3, 1, 15, 0, 0), frame_header(3, 1, 9, 3, 0), frame_header(3, 1, 9, 0, 0) | 2u,
        0xffc00000u | (3u << 19) | (1u << 17) | (9u << 12),
    };
    for (std::uint32_t h : bad) {
        SCOPED_TRACE(h);
        Mp3State s;
        EXPECT_EQ(mp3_read_bytes(frame(h, 600), s), 0);
        std::string out = "x";
        mp3_state_property(s, ".bitrate", out, "");
        EXPECT_EQ(out, "");
    }
    // The first valid header after rubbish is found.
    Mp3State s;
    ASSERT_EQ(mp3_read_bytes(frame(bad[0], 300) + frame(frame_header(2, 1, 5, 0, 3), 300), s), 1);
    std::string out;
    mp3_state_property(s, ".version", out, "");
    EXPECT_EQ(out, "MPEG 2.0 Layer 3");
}

TEST_F(Mp3Files, Id3v1FromTheEncoderAndByHand)
{
    const std::string mp3 = lame(dir_.path().toStdString(), "tagged.mp3", wave_,
                                 "-b 64 --id3v1-only --tt Title --ta Artist --tl Album --ty 1999 --tc Comment --tn 7 --tg Jazz");
    ASSERT_FALSE(mp3.empty());
    const std::pair<const char*, const char*> want[] = {
        {".title", "Title"}, {".artist", "Artist"}, {".album", "Album"}, {".year", "1999"},
        {".comment", "Comment"}, {".track", "7"}, {".genre", "Jazz"}, {".id3", ""}, {".tag", "0"}};
    for (const auto& [p, v] : want)
        EXPECT_EQ(prop(mp3, p), v) << p;

    struct Case {
        std::string tag;
        const char* comment;
        const char* track;
        const char* genre;
    };
    const std::string c30(30, 'c');
    const Case cases[] = {
        // ID3v1.1: 28 characters of comment, byte 126 the track.
        {id3v1("T", "A", "B", "2001", c30, 12, 17), "cccccccccccccccccccccccccccc", "12", "Rock"},
        // ID3v1.0: 30 characters, no track.
        {id3v1("T", "A", "B", "2001", c30, 0, 147), "cccccccccccccccccccccccccccccc", "-1", "Synthpop"},
        // Genre 255 and 148 have no name; trailing blanks are cut.
        {id3v1("T", "A", "B", "2001", "note   ", 0, 255), "note", "-1", ""},
        {id3v1("T", "A", "B", "2001", "n", 0, 148), "n", "-1", ""},
        {id3v1("T", "A", "B", "2001", "n", 0, 0), "n", "-1", "Blues"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.genre);
        Mp3State s;
        ASSERT_EQ(mp3_read_bytes(frame(frame_header(3, 1, 9, 0, 0), 417) + c.tag, s), 1);
        std::string out;
        mp3_state_property(s, ".comment", out, "");
        EXPECT_EQ(out, c.comment);
        mp3_state_property(s, ".track", out, "");
        EXPECT_EQ(out, c.track);
        mp3_state_property(s, ".genre", out, "");
        EXPECT_EQ(out, c.genre);
    }
    // No "TAG": every field empty, track -1.
    Mp3State s;
    ASSERT_EQ(mp3_read_bytes(frame(frame_header(3, 1, 9, 0, 0), 417), s), 1);
    std::string out;
    mp3_state_property(s, ".title", out, "");
    EXPECT_EQ(out, "");
    mp3_state_property(s, ".track", out, "");
    EXPECT_EQ(out, "-1");
}

TEST_F(Mp3Files, Id3v2FromTheEncoderWithBothTags)
{
    const std::string mp3 = lame(dir_.path().toStdString(), "both.mp3", wave_,
                                 "-b 64 --add-id3v2 --tt Song --ta Singer --tl Record --ty 2004 --tg Rock");
    ASSERT_FALSE(mp3.empty());
    // The ID3v1 fields come from the trailer; the version from the ID3v2 tag.
    EXPECT_EQ(prop(mp3, ".title"), "Song");
    EXPECT_EQ(prop(mp3, ".id3").substr(0, 4), "v2.3");
    EXPECT_EQ(prop(mp3, ".tag", "TIT2"), "Song");
    EXPECT_EQ(prop(mp3, ".tag", "tpe1"), "Singer");
    EXPECT_EQ(prop(mp3, ".version"), "MPEG 1.0 Layer 3");
    const std::string tags = prop(mp3, ".tags");
    EXPECT_NE(tags.find("TIT2"), std::string::npos);
    EXPECT_NE(tags.find("TALB"), std::string::npos);
}

TEST_F(Mp3Files, SyncInsideTheTagIsSkipped)
{
    // A title holding an MPEG 1 frame header; the audio is MPEG 2.
    const std::string inside = std::string("\xff\xfb\x90\x00", 4) + "look";
    const std::string frames = text_frame(3, "TIT2", inside) + text_frame(3, "TPE1", "Who");
    const std::string tag = id3v2_header("ID3", 3, 0, static_cast<std::uint32_t>(frames.size() + 20)) + frames +
                            std::string(20, '\0');
    Mp3State s;
    ASSERT_EQ(mp3_read_bytes(tag + frame(frame_header(2, 1, 8, 0, 0), 600), s), 1);
    std::string out;
    mp3_state_property(s, ".version", out, "");
    EXPECT_EQ(out, "MPEG 2.0 Layer 3");
    mp3_state_property(s, ".id3", out, "");
    EXPECT_EQ(out, "v2.3.0");
    // The padding ended the frames: two, in file order.
    mp3_state_property(s, ".tag", out, "");
    EXPECT_EQ(out, "2");
    mp3_state_property(s, ".tag", out, "0");
    EXPECT_EQ(out, "2");
    mp3_state_property(s, ".tag", out, "2");
    EXPECT_EQ(out, "TPE1 Who");
    mp3_state_property(s, ".tag", out, "3");
    EXPECT_EQ(out, "");
    mp3_state_property(s, ".tag", out, "TALB");
    EXPECT_EQ(out, "");
    mp3_state_property(s, ".tags", out, "");
    EXPECT_EQ(out, "TIT2 TPE1");
}

TEST_F(Mp3Files, FooterTagAtTheEndBeforeId3v1)
{
    const std::string frames = text_frame(4, "TIT2", "Tail") + text_frame(4, "TPE1", "Back");
    const auto size = static_cast<std::uint32_t>(frames.size());
    const std::string audio = frame(frame_header(3, 1, 9, 0, 0), 2000);
    const std::string v1 = id3v1("Old", "A", "B", "1990", "c", 0, 1);
    for (bool with_v1 : {true, false}) {
        SCOPED_TRACE(with_v1);
        const std::string bytes = audio + id3v2_header("ID3", 4, 0x10, size) + frames +
                                  id3v2_header("3DI", 4, 0x10, size) + (with_v1 ? v1 : std::string());
        Mp3State s;
        ASSERT_EQ(mp3_read_bytes(bytes, s), 1);
        EXPECT_EQ(s.id3_version, "v2.4.0");
        EXPECT_EQ(s.id3_flags, 0x10);
        std::string out;
        mp3_state_property(s, ".tag", out, "1");
        EXPECT_EQ(out, "TIT2 Tail");
        mp3_state_property(s, ".title", out, "");
        EXPECT_EQ(out, with_v1 ? "Old" : "");
    }
}

TEST_F(Mp3Files, Version22IdsAreMappedAndCrmDropped)
{
    const std::string frames = text_frame22("TT2", "Two") + text_frame22("CRM", "secret") + text_frame22("TP1", "Pat");
    const std::string bytes = id3v2_header("ID3", 2, 0, static_cast<std::uint32_t>(frames.size())) + frames +
                              frame(frame_header(3, 1, 9, 0, 0), 500);
    Mp3State s;
    ASSERT_EQ(mp3_read_bytes(bytes, s), 1);
    std::string out;
    mp3_state_property(s, ".tags", out, "");
    EXPECT_EQ(out, "TIT2 TPE1");
    mp3_state_property(s, ".id3", out, "");
    EXPECT_EQ(out, "v2.2.0");
}

TEST_F(Mp3Files, FrameTextEncodings)
{
    struct Case {
        const char* name;
        std::string frame;
        const char* text;
    };
    const std::string le = std::string("\xff\xfe", 2) + std::string("H\0i\0 \0 \0\xe7\0!\0\0\0", 14);
    const std::string be = std::string("\0H\0i\0 \x01\x1f\0\0", 10);
    const Case cases[] = {
        // UTF-16 with a little-endian byte-order mark: blank runs collapse,
        // the text becomes UTF-8.
        {"utf16 le", text_frame(3, "TIT2", le, 1), "Hi \xc3\xa7!"},
        {"utf16 be", text_frame(3, "TIT2", be, 2), "Hi \xc4\x9f"},
        // Latin-1 bytes stay; NUL bytes inside become blanks.
        {"latin1", text_frame(3, "TIT2", std::string("a\0b", 3)), "a b"},
        // A comment's unknown-language code goes.
        {"comment", text_frame(3, "COMM", std::string("XXX\0  note", 10)), "note"},
        // A UTF-16 comment keeps its language ahead of the text.
        {"utf16 comment", text_frame(3, "COMM", std::string("eng") + std::string("\xff\xfe\0\0\xff\xfeo\0k\0", 10), 1),
         "eng ok"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = id3v2_header("ID3", 3, 0, static_cast<std::uint32_t>(c.frame.size())) + c.frame +
                                  frame(frame_header(3, 1, 9, 0, 0), 500);
        Mp3State s;
        ASSERT_EQ(mp3_read_bytes(bytes, s), 1);
        ASSERT_EQ(s.frames_list.size(), 1u);
        EXPECT_EQ(s.frames_list[0].second, c.text);
    }
}

// Sizes taken from the file are held to the file: a tag or frame claiming
// more than there is ends the frames, and nothing is read past the end.
TEST_F(Mp3Files, HostileSizesStayWithinTheFile)
{
    const std::string audio = frame(frame_header(3, 1, 9, 0, 0), 500);
    struct Case {
        const char* name;
        std::string bytes;
        int found;
        std::size_t frames;
    };
    std::string huge_frame = "TIT2";
    put_be32(huge_frame, 0x7fffffff);
    huge_frame += std::string(2, '\0') + "x";
    const Case cases[] = {
        {"tag size past the file", id3v2_header("ID3", 3, 0, 0x0fffffff) + text_frame(3, "TIT2", "a") + audio, 0, 1},
        {"frame size past the tag", id3v2_header("ID3", 3, 0, 40) + huge_frame + std::string(40, '\0') + audio, 1, 0},
        {"extended header past the file", id3v2_header("ID3", 4, 0x40, 4) + syncsafe(0x0fffffff) + audio, 1, 0},
        {"footer larger than the file", audio + id3v2_header("3DI", 4, 0x10, 0x0fffffff), 1, 0},
        {"footer exactly at the start", id3v2_header("3DI", 4, 0x10, 0), 0, 0},
        {"a few bytes", std::string("\xff\xfb\x90", 3), 0, 0},
        {"nothing", std::string(), 0, 0},
        {"truncated frame header", id3v2_header("ID3", 3, 0, 8) + std::string("TIT2\0\0\0\0", 8) + audio, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mp3State s;
        EXPECT_EQ(mp3_read_bytes(c.bytes, s), c.found);
        EXPECT_LE(s.frames_list.size(), c.frames);
    }
}

TEST_F(Mp3Files, ScanStopsAfterItsLimit)
{
    // A header beyond the first 204,800 positions is not looked for.
    for (std::size_t lead : {std::size_t(204800), std::size_t(204801)}) {
        SCOPED_TRACE(lead);
        Mp3State s;
        EXPECT_EQ(mp3_read_bytes(std::string(lead, '\0') + frame(frame_header(3, 1, 9, 0, 0), 500), s),
                  lead <= 204800 ? 1 : 0);
    }
}

TEST_F(Mp3Files, CacheFollowsPathAndModificationTime)
{
    const std::string audio = frame(frame_header(3, 1, 9, 0, 0), 2000);
    const std::string p = file_of("song.mp3", audio + id3v1("First", "", "", "", "", 0, 0));
    EXPECT_EQ(prop(p, ".title"), "First");
    // Same path, new contents and a new time: read again.
    write_file(p, audio + id3v1("Second", "", "", "", "", 0, 0));
    struct timespec times[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    EXPECT_EQ(prop(p, ".title"), "Second");
    EXPECT_EQ(prop(p, ".title"), "Second");
    // Another file with the same time is not the cached one.
    const std::string q = file_of("other.mp3", audio + id3v1("Other", "", "", "", "", 0, 0));
    ASSERT_EQ(::utimensat(AT_FDCWD, q.c_str(), times, 0), 0);
    EXPECT_EQ(prop(q, ".title"), "Other");
    EXPECT_EQ(prop(p, ".title"), "Second");
    // A missing file, a folder and an unknown property give nothing.
    EXPECT_EQ(prop(path("missing.mp3"), ".title"), "");
    EXPECT_EQ(prop(dir_.path().toStdString(), ".bitrate"), "");
    EXPECT_EQ(prop(p, ".nonesuch"), "");
}
