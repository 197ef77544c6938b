// HTTP download: one URL fetched on a worker thread, into memory (a short
// reply) or into a local file (a package), while the user-interface thread
// polls the job's status word. The transfer runs through libcurl; only a
// final reply of 200 counts as success (redirects are followed, chunked and
// sized bodies are read, a body cut short fails).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

enum DownloadStatus : int {
    kDownloadRunning = 1,
    kDownloadDone = 2,
    kDownloadFailed = 3,
    kDownloadCancel = 4,  // set by the starter; the worker ends as failed
};

// One download. The starter owns it; the worker writes only its fields, and
// the starter reads `data`, `count` and `local_path` once the status has
// left 1. Destroying a job cancels its worker and waits for it.
struct DownloadJob {
    std::string url;
    std::string data;                  // body of an in-memory download
    std::atomic<int> count{0};         // body bytes received so far
    std::atomic<int> status{0};        // DownloadStatus
    std::atomic<int> content_length{0};  // the server's length (0 when absent)
    std::string target_folder;         // empty: the default receive folder
    std::string local_path;            // filled by the worker
    bool to_file = false;
    std::uint32_t expected_crc = 0;    // CRC-32 of the wanted file, 0: none
    bool update = false;               // name the local file as an update package
    int http_code = 0;                 // the last reply's status code
    std::thread worker;

    DownloadJob() = default;
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;
    ~DownloadJob();
};

// The most bytes an in-memory download keeps; a longer body fails.
constexpr int kDownloadMemoryMax = 1 << 20;
// Seconds without a byte after which a transfer is given up.
constexpr int kDownloadStallSeconds = 60;

// Starts the worker: 1 with the thread running, or 0 with status 3 (a job
// still running is not started again).
int http_download_start(DownloadJob& job);
// Asks the worker to stop and waits until it has ended; the status is then
// 2 or 3 and a failed to-file download's file is gone. A job never started
// is left as it is.
void http_download_cancel(DownloadJob& job);
// Waits for the worker to end (after the status has left 1).
void http_download_join(DownloadJob& job);
// Empties a job for reuse: cancels and joins a running worker first.
void http_download_clear(DownloadJob& job);

// The local file's name and extension taken from the URL: its last part
// after the last "/", without a query or fragment, made into a plain file
// name; with `update` and an extension other than ".exe", "update.exe".
// "download" when nothing usable remains.
std::string http_download_file_name(const std::string& url, bool update);
// The local path the job writes to: in the target folder (made when
// missing; an existing file is overwritten), else in the default receive
// folder with the first free name of name + 2..99 + extension (all taken:
// the plain name). When the plain name's file is there with the job's
// expected CRC-32, that file is the result and `present` is set. 0 when no
// path inside the folder can be made.
int http_download_local_path(const DownloadJob& job, std::string& out, int* present = nullptr);
