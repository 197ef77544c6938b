// The file server: a peer browses one folder tree over a chat session,
// typing commands as chat lines, and fetches files as DCC sends. The server
// answers in paced output stages so that a full socket never loses text.
//
// Every name a peer gives is looked up in the current folder and refused
// when its real path (links followed) leaves the home folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Output stages.
enum FserveStage : int {
    kFsIdle = 0,
    kFsBanner = 1,
    kFsUsage = 2,
    kFsWelcome = 3,
    kFsPrompt = 4,
    kFsResend = 5,
    kFsFileLines = 6,
    kFsMessage = 7,
    kFsQueue = 8,
    kFsPagePrompt = 9,
    kFsPageWait = 10,
};

// Longest line of a file that is sent as one line.
constexpr std::size_t kFserveLineMax = 1024;
// Words of a command that are looked at.
constexpr int kFserveMaxWords = 40;
// Entries of one listing (more are left out).
constexpr int kFserveListMax = 5000;

struct FserveFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct FserveState {
    std::string home;        // real path of the root, without a trailing '/'
    std::string current;     // real path of the current folder, inside home
    std::string work;        // welcome file name at start; then the message being sent
    std::unique_ptr<std::FILE, FserveFileCloser> file;  // welcome, dirinfo or "read" file
    int page_lines = 0;
    int page_length = 20;
    std::int64_t file_size = 0;   // 0: no percentage in page prompts
    int stage = kFsIdle;
    int columns = 4;
    int get_limit = 1;            // 1..20
    bool bytes = false;           // sizes in bytes (kept for the session)
    bool via_server = false;      // came in through the DCC server: "get" is ignored
    std::string pending_line;     // a file line that could not be sent
    std::deque<std::string> queue;

    // What the session provides. send: the whole text was taken (false:
    // try the same again at the next write notification). show: a line for
    // the local window. get: starts a send of the file; 0 when started, else
    // the number of the text to answer. quit: closes the session.
    std::function<bool(const std::string&)> send;
    std::function<void(const std::string&)> show;
    std::function<int(const std::string& path)> get;
    std::function<void()> quit;
};

// Sets the session up at home (a folder that exists) with the welcome file
// (may be empty) and the get limit, and starts the banner. false when the
// home folder cannot be read.
bool fserve_begin(FserveState& s, const std::string& home, const std::string& welcome, int get_limit);
// Runs the output stages until a send fails or the stage becomes idle or
// waits for the page answer.
void fserve_output(FserveState& s);
// Interprets one line the peer typed.
void FileServerCommand(FserveState& s, const std::string& line);
// Builds the listing of the current folder (mask: a name mask or empty)
// into the queue.
void fserve_list_folder(FserveState& s, const std::string& mask, bool wide);

// The real path of `name` (one entry, compared without case) inside the
// folder, when it exists, is of the kind asked (1 file, 2 folder) and its
// real path stays inside home; else empty.
std::string fserve_resolve(const std::string& home, const std::string& folder, const std::string& name, int kind);
// 1 when the real path is home or below it.
bool fserve_path_inside(const std::string& home, const std::string& real);
// The part of a real path below home, with '\' separators ("\" at home).
std::string fserve_relative(const std::string& home, const std::string& real);
// The size scaled to B, KB, MB, GB or TB ("12B", "1.5KB").
std::string fserve_size_text(std::int64_t size);
