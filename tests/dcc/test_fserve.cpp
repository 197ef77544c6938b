// The file server over a real folder tree: what a peer's commands answer,
// the pacing of a socket that takes nothing for a while, and that no name a
// peer gives leads out of the served folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/numbered_texts.h"
#include "dcc/fserve.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string lines(int n)
{
    std::string out;
    for (int i = 1; i <= n; ++i)
        out += "line " + std::to_string(i) + "\n";
    return out;
}

class FserveTest : public ::testing::Test {
protected:
    TempSettingsDir dir{"kest_fserve_"};
    fs::path root;
    fs::path outside;
    FserveState s;
    std::string sent;
    std::vector<std::string> shown;
    std::vector<std::string> gets;
    bool socket_full = false;
    int get_answer = 0;
    bool quit = false;

    void SetUp() override
    {
        ASSERT_TRUE(dir.made());
        root = fs::path(dir.path()) / "served";
        outside = fs::path(dir.path()) / "private";
        write(root / "readme.txt", lines(3));
        write(root / "Big.BIN", std::string(3 * 1024 * 1024 + 512, 'x'));
        write(root / "empty.txt", "");
        write(root / "dirinfo.srv", "hidden\n");
        write(root / "Music" / "song.mp3", "abc");
        write(root / "Music" / "dirinfo.srv", "Welcome to music\n");
        write(root / "docs" / "long.txt", lines(30));
        write(outside / "secret.txt", "secret\n");
        fs::create_directory_symlink(outside, root / "away");
        fs::create_symlink(outside / "secret.txt", root / "link.txt");
        s.send = [this](const std::string& text) {
            if (socket_full)
                return false;
            sent += text;
            return true;
        };
        s.show = [this](const std::string& text) { shown.push_back(text); };
        s.get = [this](const std::string& path) {
            gets.push_back(path);
            return get_answer;
        };
        s.quit = [this] { quit = true; };
        ASSERT_TRUE(fserve_begin(s, root.string(), std::string(), 2));
        fserve_output(s);
        sent.clear();
    }
    // What one command sends.
    std::string run(const std::string& line)
    {
        sent.clear();
        FileServerCommand(s, line);
        return sent;
    }
    std::string text(int id) { return std::string(text_load_string(id)) + "\n"; }
};

}  // namespace

TEST_F(FserveTest, OpeningSendsBannerUsageAndPrompt)
{
    FserveState t;
    std::string out;
    t.send = [&](const std::string& x) {
        out += x;
        return true;
    };
    ASSERT_TRUE(fserve_begin(t, root.string(), std::string(), 1));
    fserve_output(t);
    EXPECT_EQ(out, std::string("Kest ") + KEST_VERSION + " File Server\n" + text(2609) + "[\\]\n");
    EXPECT_EQ(t.stage, kFsIdle);

    // A welcome file takes the usage text's place, without page prompts for
    // a short file; a welcome file that cannot be opened is said locally.
    for (const bool present : {true, false}) {
        SCOPED_TRACE(present);
        FserveState w;
        std::string got;
        std::vector<std::string> local;
        w.send = [&](const std::string& x) {
            got += x;
            return true;
        };
        w.show = [&](const std::string& x) { local.push_back(x); };
        const std::string welcome = (root / (present ? "readme.txt" : "missing.txt")).string();
        ASSERT_TRUE(fserve_begin(w, root.string(), welcome, 1));
        fserve_output(w);
        const std::string banner = std::string("Kest ") + KEST_VERSION + " File Server\n";
        EXPECT_EQ(got, banner + (present ? lines(3) : std::string()) + "[\\]\n");
        EXPECT_EQ(local.front().find("missing.txt") != std::string::npos, !present);
    }
}

TEST_F(FserveTest, FolderChangesStayInsideTheHomeFolder)
{
    const std::string kHome = "hidden\n[\\]\n";
    struct Case {
        const char* command;
        std::string answer;   // what is sent back
        const char* where;    // the current folder afterwards, below home
    } cases[] = {
        {"cd ..", kHome, "\\"},                            // at home: stays (its dirinfo.srv is sent)
        {"cd..", kHome, "\\"},
        {"cd music", "Welcome to music\n[\\Music]\n", "\\Music"},  // case ignored, dirinfo.srv sent
        {"cd ..", kHome, "\\"},
        {"cd docs", "[\\docs]\n", "\\docs"},
        {"cd", "[\\docs]\n", "\\docs"},
        {"cd .", "[\\docs]\n", "\\docs"},
        {"cd ../music", kHome, "\\"},                      // a name starting with ".." goes up only
        {"cd ..\\..\\..", kHome, "\\"},
        {"cd docs/x", text(2602), "\\"},                   // slash inside: invalid format
        {"cd a\\b", text(2602), "\\"},
        {"cd x..y", text(2602), "\\"},
        {"cd away", text(2603), "\\"},                     // a link that leaves home
        {"cd readme.txt", text(2603), "\\"},               // a file, not a folder
        {"cd nothere", text(2603), "\\"},
        {"cd music.", text(2603), "\\"},
        {"cd /etc", text(2602), "\\"},
        {"cd con", text(2603), "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(run(c.command), c.answer);
        EXPECT_EQ(fserve_relative(s.home, s.current), c.where);
        EXPECT_TRUE(fserve_path_inside(s.home, s.current));
    }
}

TEST_F(FserveTest, NamesThatLeaveTheFolderAreRefused)
{
    struct Case {
        const char* command;
        int answer;
    } cases[] = {
        {"get ../private/secret.txt", 2604},  // folders dropped: no such file here
        {"get link.txt", 2604},               // a link to a file outside
        {"get /etc/passwd", 2604},
        {"get ..", 2604},
        {"get readme.", 2604},
        {"get nothere.txt", 2604},
        {"get music", 2604},                  // a folder
        {"get", 2607},
        {"read link.txt", 2608},
        {"read ../../private/secret.txt", 2608},
        {"read empty.txt", 2608},             // nothing to read
        {"read", 2607},
        {"read -3", 2607},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(run(c.command), text(c.answer));
    }
    EXPECT_TRUE(gets.empty());
    // A very long name is refused as well, and nothing was opened.
    EXPECT_EQ(run("get " + std::string(5000, 'a')), text(2604));
    EXPECT_EQ(run("read " + std::string(5000, 'a')), text(2608));
    EXPECT_FALSE(s.file);
}

TEST_F(FserveTest, GetStartsASendOfTheFileInTheCurrentFolder)
{
    EXPECT_EQ(run("get README.TXT"), "");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0], fs::canonical(root / "readme.txt").string());
    run("cd music");
    EXPECT_EQ(run("get song.mp3"), "");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1], fs::canonical(root / "Music" / "song.mp3").string());
    // The session's answer comes back as the peer's message.
    get_answer = 2605;
    EXPECT_EQ(run("get song.mp3"), text(2605));
    // A session that came in through the DCC server ignores "get".
    s.via_server = true;
    get_answer = 0;
    EXPECT_EQ(run("get song.mp3"), "");
    EXPECT_EQ(gets.size(), 3u);
}

TEST_F(FserveTest, ReadingGoesPageByPage)
{
    run("cd docs");
    // "-3" is raised to 5 lines per page.
    std::string out = run("read -3 long.txt");
    EXPECT_EQ(out, lines(5) + std::string(text_fill_id(2612, {"15"})) + "\n");
    EXPECT_EQ(s.stage, kFsPageWait);
    // Commands are not taken while a page waits: the answer is.
    out = run("C");
    EXPECT_EQ(out.substr(0, 7), "line 6\n");
    EXPECT_EQ(s.stage, kFsPageWait);
    out = run("s");
    EXPECT_EQ(out, "[\\docs]\n");
    EXPECT_EQ(s.stage, kFsIdle);
    EXPECT_FALSE(s.file);
    // "-80" gives 50 lines per page: the whole file and the prompt.
    out = run("read -80 long.txt");
    EXPECT_EQ(out, lines(30) + "[\\docs]\n");
    EXPECT_EQ(s.page_length, 50);
}

TEST_F(FserveTest, AFullSocketLosesNoLine)
{
    run("cd docs");
    run("read -5 long.txt");
    run("c");
    sent.clear();
    // The socket takes nothing: every output step waits.
    socket_full = true;
    FileServerCommand(s, "c");
    EXPECT_EQ(sent, "");
    EXPECT_EQ(s.stage, kFsResend);
    fserve_output(s);
    fserve_output(s);
    EXPECT_EQ(s.stage, kFsResend);
    // Room again: the held line goes first, then the rest of the page.
    socket_full = false;
    fserve_output(s);
    EXPECT_EQ(sent.substr(0, 8), "line 11\n");
    EXPECT_NE(sent.find("line 15\n"), std::string::npos);
    EXPECT_EQ(sent.find("line 16\n"), std::string::npos);

    // A listing waits whole and is sent in order.
    run("s");
    socket_full = true;
    FileServerCommand(s, "dir");
    EXPECT_EQ(s.stage, kFsQueue);
    socket_full = false;
    sent.clear();
    fserve_output(s);
    EXPECT_EQ(sent, "[\\docs\\*.*]\n..\nlong.txt  " + std::string(11, ' ') + "231B\n" + text(2601));
}

TEST_F(FserveTest, ListingsInLongAndWideForm)
{
    std::string out = run("dir");
    EXPECT_EQ(out, "[\\*.*]\nDOCS\nMUSIC\n"
                   "big.bin  " + std::string(13, ' ') + "3MB\n"
                   "empty.txt  " + std::string(12, ' ') + "0B\n"
                   "readme.txt  " + std::string(10, ' ') + "21B\n" +
                       text(2601));
    // The entries that are not shown: dirinfo.srv, ".." at home, links out.
    EXPECT_EQ(out.find("dirinfo"), std::string::npos);
    EXPECT_EQ(out.find(".."), std::string::npos);
    EXPECT_EQ(out.find("AWAY"), std::string::npos);
    EXPECT_EQ(out.find("link.txt"), std::string::npos);
    // "-b" stays for the session.
    run("dir -b");
    out = run("dir *.txt");
    EXPECT_EQ(out, "[\\*.txt]\nempty.txt  " + std::string(11, ' ') + "0 b\nreadme.txt  " + std::string(9, ' ') + "21 b\n" + text(2601));
    // "ls" is wide; "-2" sets two columns and stays.
    out = run("ls -2");
    EXPECT_EQ(out, "[\\*.*]\n"
                   "DOCS             MUSIC          \n"
                   "big.bin          empty.txt      \n"
                   "readme.txt     \n" +
                       text(2601));
    out = run("dir /w");
    EXPECT_NE(out.find("DOCS             MUSIC          \n"), std::string::npos);
    // A mask with a folder part lists the current folder only.
    out = run("dir ../../private/*.txt");
    EXPECT_EQ(out.find("secret"), std::string::npos);
}

TEST_F(FserveTest, OtherCommands)
{
    EXPECT_EQ(run("help"), text(2609) + "[\\]\n");
    EXPECT_EQ(run("?"), text(2609) + "[\\]\n");
    EXPECT_EQ(run("format c:"), text(2610));
    EXPECT_EQ(run(""), "");
    EXPECT_FALSE(quit);
    for (const char* word : {"bye", "EXIT", "quit"}) {
        quit = false;
        run(word);
        EXPECT_TRUE(quit) << word;
    }
    // Thousands of commands in a row stay answered one by one, bounded.
    for (int i = 0; i < 3000; ++i)
        run("nonsense " + std::to_string(i));
    EXPECT_EQ(run("dir -b *.bin"), "[\\*.bin]\nbig.bin  " + std::string(7, ' ') + "3146240 b\n" + text(2601));
}

TEST(FserveSizes, ScaledUnitsAbove32Bits)
{
    struct Case {
        std::int64_t size;
        const char* text;
    } cases[] = {
        {0, "0B"},
        {1023, "1023B"},
        {1024, "1KB"},
        {1536, "1.5KB"},
        {22LL * 1024 * 1024, "22MB"},
        {5LL * 1024 * 1024 * 1024, "5GB"},          // past 32 bits
        {3LL * 1024 * 1024 * 1024 * 1024, "3TB"},
        {-5, "0B"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fserve_size_text(c.size), c.text) << c.size;
}

TEST(FservePaths, InsideTestComparesWholeFolderNames)
{
    EXPECT_TRUE(fserve_path_inside("/srv/files", "/srv/files"));
    EXPECT_TRUE(fserve_path_inside("/srv/files", "/srv/files/a"));
    EXPECT_FALSE(fserve_path_inside("/srv/files", "/srv/files2"));
    EXPECT_FALSE(fserve_path_inside("/srv/files", "/srv"));
    EXPECT_FALSE(fserve_path_inside("/srv/files", ""));
    EXPECT_FALSE(fserve_path_inside("", "/srv"));
    EXPECT_EQ(fserve_relative("/srv/files", "/srv/files"), "\\");
    EXPECT_EQ(fserve_relative("/srv/files", "/srv/files/a/b"), "\\a\\b");
}
