// HTTP download against a local server: replies of every shape, cancels of
// a stalled transfer, the local file's name and place.
#include "tools/http_download.h"

#include "core/digest.h"
#include "core/file_type_rules.h"
#include "core/files.h"
#include "support/test_support.h"
#include "tools/local_http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// Waits (bounded) until the worker has left status 1.
int wait_done(DownloadJob& job, int seconds = 20)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (job.status.load() == kDownloadRunning && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    http_download_join(job);
    return job.status.load();
}

std::string chunked(const std::vector<std::string>& parts, bool finished)
{
    std::string s = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (const std::string& p : parts) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", p.size());
        s += size + p + "\r\n";
    }
    if (finished)
        s += "0\r\n\r\n";
    return s;
}

struct ReplyCase {
    const char* name;
    std::string reply;
    int status;
    std::string body;  // expected data when done
};

TEST(HttpDownload, RepliesIntoMemory)
{
    LocalHttpServer server;
    ASSERT_GT(server.port(), 0);
    server.set_file("/target", "the redirected body");
    const std::string to_target = "Location: " + server.url("/target") + "\r\n";
    const std::vector<ReplyCase> cases = {
        {"sized", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", kDownloadDone, "hello"},
        {"chunked", chunked({"ab", "cdef", std::string(3000, 'x')}, true), kDownloadDone,
         "abcdef" + std::string(3000, 'x')},
        {"to close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", kDownloadDone, "until the end"},
        {"one byte", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz", kDownloadDone, "z"},
        {"redirect", "HTTP/1.1 302 Found\r\n" + to_target + "Content-Length: 4\r\n\r\nmove", kDownloadDone,
         "the redirected body"},
        {"redirect to nothing", "HTTP/1.1 301 Moved\r\nLocation: /nowhere\r\nContent-Length: 0\r\n\r\n",
         kDownloadFailed, ""},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", kDownloadFailed, ""},
        {"server error", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 3\r\n\r\nbad", kDownloadFailed,
         ""},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", kDownloadFailed, ""},
        {"partial", "HTTP/1.1 206 Partial Content\r\nContent-Length: 2\r\n\r\nab", kDownloadFailed, ""},
        {"closed mid-body", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten..", kDownloadFailed, ""},
        {"chunks cut", chunked({"abc", "def"}, false), kDownloadFailed, ""},
        {"not http", "SSH-2.0-something\r\n", kDownloadFailed, ""},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        server.set("/case", {c.reply});
        DownloadJob job;
        job.url = server.url("/case");
        ASSERT_EQ(http_download_start(job), 1);
        EXPECT_EQ(wait_done(job), c.status);
        EXPECT_EQ(job.data, c.body);
        EXPECT_EQ(job.count.load(), static_cast<int>(c.body.size()));
    }
}

TEST(HttpDownload, RequestNamesTheAgentAndAsksNoCache)
{
    LocalHttpServer server;
    server.set_file("/a/b.txt", "x");
    DownloadJob job;
    job.url = server.url("/a/b.txt");
    ASSERT_EQ(http_download_start(job), 1);
    ASSERT_EQ(wait_done(job), kDownloadDone);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /a/b.txt HTTP/1.1\r\n", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("User-Agent: Kest\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("Cache-Control: no-cache\r\n"), std::string::npos);
    EXPECT_EQ(job.content_length.load(), 1);
}

TEST(HttpDownload, UnusableAddressesFailWithoutARequest)
{
    LocalHttpServer server;
    const std::vector<std::string> urls = {
        "", "nonsense", "http://", "http:///path",
        "http://127.0.0.1:" + std::to_string(server.port()),  // no path
        "file:///etc/hostname", "ftp://127.0.0.1/x", "gopher://127.0.0.1/x",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        DownloadJob job;
        job.url = url;
        http_download_start(job);
        EXPECT_EQ(wait_done(job), kDownloadFailed);
        EXPECT_TRUE(job.data.empty());
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpDownload, RedirectToAnotherSchemeIsRefused)
{
    LocalHttpServer server;
    server.set("/r", {"HTTP/1.1 302 Found\r\nLocation: file:///etc/hostname\r\nContent-Length: 0\r\n\r\n"});
    DownloadJob job;
    job.url = server.url("/r");
    ASSERT_EQ(http_download_start(job), 1);
    EXPECT_EQ(wait_done(job), kDownloadFailed);
    EXPECT_TRUE(job.data.empty());
}

TEST(HttpDownload, BodyPastTheMemoryLimitFails)
{
    LocalHttpServer server;
    server.set_file("/big", std::string(kDownloadMemoryMax + 1, 'b'));
    server.set_file("/fits", std::string(kDownloadMemoryMax, 'b'));
    DownloadJob big;
    big.url = server.url("/big");
    ASSERT_EQ(http_download_start(big), 1);
    EXPECT_EQ(wait_done(big), kDownloadFailed);
    EXPECT_TRUE(big.data.empty());
    DownloadJob fits;
    fits.url = server.url("/fits");
    ASSERT_EQ(http_download_start(fits), 1);
    EXPECT_EQ(wait_done(fits), kDownloadDone);
    EXPECT_EQ(fits.data.size(), static_cast<std::size_t>(kDownloadMemoryMax));
}

TEST(HttpDownload, CancelOfAStalledTransferEndsItAndRemovesTheFile)
{
    TempDir dir("kest_http_stall");
    ASSERT_TRUE(dir.made());
    LocalHttpServer server;
    server.set("/stall.bin", {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nfirst bytes", true});
    DownloadJob job;
    job.url = server.url("/stall.bin");
    job.to_file = true;
    job.target_folder = dir.path;
    ASSERT_EQ(http_download_start(job), 1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (job.count.load() < 11 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(job.count.load(), 11);
    EXPECT_EQ(job.status.load(), kDownloadRunning);
    EXPECT_EQ(job.content_length.load(), 1000);
    EXPECT_TRUE(file_exists(dir.path + "stall.bin", 1));

    const auto before = std::chrono::steady_clock::now();
    http_download_cancel(job);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(kDownloadStallSeconds / 2));
    EXPECT_FALSE(job.worker.joinable());
    EXPECT_EQ(job.status.load(), kDownloadFailed);
    EXPECT_FALSE(file_exists(dir.path + "stall.bin", 1));

    // Cancelled twice, and a job whose worker is gone: nothing changes.
    http_download_cancel(job);
    EXPECT_EQ(job.status.load(), kDownloadFailed);
}

TEST(HttpDownload, ClearingARunningJobStopsItsWorkerFirst)
{
    LocalHttpServer server;
    server.set("/stall", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab", true});
    auto job = std::make_unique<DownloadJob>();
    job->url = server.url("/stall");
    ASSERT_EQ(http_download_start(*job), 1);
    EXPECT_EQ(http_download_start(*job), 0) << "a running job is not started twice";
    http_download_clear(*job);
    EXPECT_FALSE(job->worker.joinable());
    EXPECT_EQ(job->status.load(), 0);
    EXPECT_TRUE(job->data.empty());
    // The job reused at once, then destroyed while running.
    server.set_file("/again", "again");
    job->url = server.url("/again");
    ASSERT_EQ(http_download_start(*job), 1);
    EXPECT_EQ(wait_done(*job), kDownloadDone);
    EXPECT_EQ(job->data, "again");
    job->url = server.url("/stall");
    ASSERT_EQ(http_download_start(*job), 1);
    job.reset();  // must cancel and join, not leave the worker on freed memory
}

TEST(HttpDownload, RepeatedStartsGiveFreshData)
{
    LocalHttpServer server;
    server.set_file("/one", "first");
    DownloadJob job;
    job.url = server.url("/one");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(http_download_start(job), 1);
        ASSERT_EQ(wait_done(job), kDownloadDone);
        EXPECT_EQ(job.data, "first");
        EXPECT_EQ(job.count.load(), 5);
    }
}

struct NameCase {
    const char* url;
    bool update;
    const char* name;
};

TEST(HttpDownload, LocalFileNames)
{
    const NameCase cases[] = {
        {"http://h/dir/setup.exe", false, "setup.exe"},
        {"http://h/dir/setup.exe", true, "setup.exe"},
        {"http://h/dir/Setup.EXE", true, "Setup.EXE"},
        {"http://h/get.php?x=1", true, "update.exe"},
        {"http://h/get.php?x=1/../../y", false, "get.php"},
        {"http://h/pkg.zip#part", false, "pkg.zip"},
        {"http://h/noext", false, "noext"},
        {"http://h/noext", true, "update.exe"},
        {"http://h/", false, "download"},
        {"http://h", false, "download"},
        {"http://h/a/..", false, "download"},
        {"http://h/../../etc/passwd", false, "passwd"},
        {"http://h/.profile", false, "_profile"},
        {"http://h/a%2f..%2fb.txt", false, "a%2f..%2fb.txt"},
        {"http://h/x/a\\..\\b.txt", false, "b.txt"},
        {"http://h/x/ta\tb.txt", false, "ta_b.txt"},
        {"http://h/x/a", false, "a"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(http_download_file_name(c.url, c.update), c.name);
    }
}

TEST(HttpDownload, FileIntoTheTargetFolderOverwrites)
{
    TempDir dir("kest_http_target");
    ASSERT_TRUE(dir.made());
    const std::string folder = dir.path + "updates";  // made by the download
    LocalHttpServer server;
    const std::string body = chunked({"pack", "age"}, true);
    server.set("/pkg/update.exe", {body});
    DownloadJob job;
    job.url = server.url("/pkg/update.exe");
    job.to_file = true;
    job.target_folder = folder;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(http_download_start(job), 1);
        ASSERT_EQ(wait_done(job), kDownloadDone);
        EXPECT_EQ(job.local_path, folder + "/update.exe");
        EXPECT_EQ(slurp(job.local_path), "package");
        EXPECT_TRUE(job.data.empty()) << "a file download keeps nothing in memory";
    }
    std::vector<std::string> names;
    ASSERT_TRUE(file_list_dir(folder, names));
    EXPECT_EQ(names, std::vector<std::string>{"update.exe"});
}

TEST(HttpDownload, DefaultFolderTakesTheNextFreeNumber)
{
    TempSettingsDir settings("kest_http_default");
    ASSERT_TRUE(settings.made());
    std::string folder;
    ASSERT_EQ(dcc_folder_for_file("setup.exe", folder, 2, nullptr), 1);
    file_add_trailing_slash(folder);
    file_make_dir(folder);
    spit(folder + "setup.exe", "older");
    LocalHttpServer server;
    server.set_file("/setup.exe", "newer");
    const char* expected[] = {"setup2.exe", "setup3.exe"};
    for (const char* name : expected) {
        SCOPED_TRACE(name);
        DownloadJob job;
        job.url = server.url("/setup.exe");
        job.to_file = true;
        ASSERT_EQ(http_download_start(job), 1);
        ASSERT_EQ(wait_done(job), kDownloadDone);
        EXPECT_EQ(job.local_path, folder + name);
        EXPECT_EQ(slurp(job.local_path), "newer");
    }
    EXPECT_EQ(slurp(folder + "setup.exe"), "older");
}

TEST(HttpDownload, FilePresentWithTheExpectedChecksumIsNotFetched)
{
    TempDir dir("kest_http_crc");
    ASSERT_TRUE(dir.made());
    LocalHttpServer server;
    server.set_file("/p.zip", "fresh copy");
    spit(dir.path + "p.zip", "kept copy");
    const std::uint32_t kept = crc32_file(dir.path + "p.zip");

    DownloadJob same;
    same.url = server.url("/p.zip");
    same.to_file = true;
    same.target_folder = dir.path;
    same.expected_crc = kept;
    ASSERT_EQ(http_download_start(same), 1);
    EXPECT_EQ(wait_done(same), kDownloadDone);
    EXPECT_EQ(slurp(dir.path + "p.zip"), "kept copy");
    EXPECT_TRUE(server.requests().empty());

    DownloadJob other;
    other.url = server.url("/p.zip");
    other.to_file = true;
    other.target_folder = dir.path;
    other.expected_crc = kept ^ 1u;
    ASSERT_EQ(http_download_start(other), 1);
    EXPECT_EQ(wait_done(other), kDownloadDone);
    EXPECT_EQ(slurp(dir.path + "p.zip"), "fresh copy");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(HttpDownload, FailedFileDownloadsLeaveNoFile)
{
    TempDir dir("kest_http_fail");
    ASSERT_TRUE(dir.made());
    LocalHttpServer server;
    server.set("/cut.bin", {"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nsome"});
    server.set("/err.bin", {"HTTP/1.1 500 Oops\r\nContent-Length: 5\r\n\r\nerror"});
    for (const char* path : {"/cut.bin", "/err.bin", "/missing.bin"}) {
        SCOPED_TRACE(path);
        DownloadJob job;
        job.url = server.url(path);
        job.to_file = true;
        job.target_folder = dir.path;
        ASSERT_EQ(http_download_start(job), 1);
        EXPECT_EQ(wait_done(job), kDownloadFailed);
        EXPECT_FALSE(file_exists(dir.path + (path + 1), 1));
    }
    std::vector<std::string> names;
    ASSERT_TRUE(file_list_dir(dir.path, names));
    EXPECT_TRUE(names.empty());
}

TEST(HttpDownload, ALinkInThePlaceOfTheFileIsNotFollowed)
{
    TempDir dir("kest_http_link");
    ASSERT_TRUE(dir.made());
    spit(dir.path + "elsewhere.txt", "untouched");
    file_make_dir(dir.path + "in");
    ASSERT_EQ(::symlink((dir.path + "elsewhere.txt").c_str(), (dir.path + "in/x.txt").c_str()), 0);
    LocalHttpServer server;
    server.set_file("/x.txt", "payload");
    DownloadJob job;
    job.url = server.url("/x.txt");
    job.to_file = true;
    job.target_folder = dir.path + "in";
    ASSERT_EQ(http_download_start(job), 1);
    EXPECT_EQ(wait_done(job), kDownloadFailed);
    EXPECT_EQ(slurp(dir.path + "elsewhere.txt"), "untouched");
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
