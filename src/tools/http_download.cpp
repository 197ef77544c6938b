// HTTP download through libcurl on a worker thread.
#include "tools/http_download.h"

#include "core/digest.h"
#include "core/file_type_rules.h"
#include "core/files.h"
#include "dcc/download_folders.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <unistd.h>

namespace {

std::once_flag g_curl_once;

struct Transfer {
    DownloadJob* job;
    CURL* curl;
    std::FILE* file = nullptr;
    bool failed = false;  // a write failed or the memory limit was passed
};

bool still_running(const DownloadJob& job)
{
    return job.status.load() == kDownloadRunning;
}

bool starts_nocase(const char* s, std::size_t n, const char* prefix)
{
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= n)
            return false;
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

// Each header line: a status line starts a new reply (a redirect's or the
// final one), so the length and the body start over.
std::size_t on_header(char* data, std::size_t size, std::size_t n, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const std::size_t len = size * n;
    if (!still_running(*t->job))
        return 0;
    if (starts_nocase(data, len, "http/")) {
        t->job->content_length = 0;
        t->job->count = 0;
        t->job->data.clear();
        if (t->file) {
            std::fflush(t->file);
            if (::ftruncate(::fileno(t->file), 0) != 0) {
                t->failed = true;
                return 0;
            }
            std::rewind(t->file);
        }
    } else if (starts_nocase(data, len, "content-length:")) {
        std::string value(data + 15, len - 15);
        const long long v = std::strtoll(value.c_str(), nullptr, 10);
        t->job->content_length = v < 0 || v > 0x7fffffff ? 0 : static_cast<int>(v);
    }
    return len;
}

std::size_t on_body(char* data, std::size_t size, std::size_t n, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const std::size_t len = size * n;
    DownloadJob& job = *t->job;
    if (!still_running(job))
        return 0;
    long code = 0;
    curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &code);
    if (code != 200)
        return len;  // a redirect's own body: not the file
    if (static_cast<long long>(job.count.load()) + static_cast<long long>(len) > 0x7fffffffLL) {
        t->failed = true;
        return 0;
    }
    if (t->file) {
        if (std::fwrite(data, 1, len, t->file) != len) {
            t->failed = true;
            return 0;
        }
    } else {
        if (job.data.size() + len > static_cast<std::size_t>(kDownloadMemoryMax)) {
            t->failed = true;
            return 0;
        }
        job.data.append(data, len);
    }
    job.count += static_cast<int>(len);
    return len;
}

// Called while the transfer waits too: a cancel ends it at once.
int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return still_running(*static_cast<Transfer*>(user)->job) ? 0 : 1;
}

// The URL must name a host and a path after "://".
bool url_has_host_and_path(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return false;
    const std::size_t slash = url.find('/', scheme + 3);
    return slash != std::string::npos && slash > scheme + 3;
}

bool fetch(DownloadJob& job, std::FILE* file)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    Transfer t{&job, curl, file};
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, job.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kest");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kDownloadStallSeconds));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kDownloadStallSeconds));
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    const CURLcode rc = curl_easy_perform(curl);
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    job.http_code = static_cast<int>(code);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (t.file && std::fflush(t.file) != 0)
        t.failed = true;
    return rc == CURLE_OK && code == 200 && !t.failed && still_running(job);
}

void worker(DownloadJob* job)
{
    std::FILE* file = nullptr;
    bool ok = false;
    if (!url_has_host_and_path(job->url)) {
        job->status = kDownloadFailed;
        return;
    }
    if (job->to_file) {
        std::string path;
        int present = 0;
        if (!http_download_local_path(*job, path, &present)) {
            job->status = kDownloadFailed;
            return;
        }
        job->local_path = path;
        if (present) {
            job->status = kDownloadDone;
            return;
        }
        file = std::fopen(path.c_str(), "wb");
        if (!file) {
            job->status = kDownloadFailed;
            return;
        }
    }
    ok = fetch(*job, file);
    if (file)
        std::fclose(file);
    if (ok) {
        job->status = kDownloadDone;
        return;
    }
    if (job->to_file)
        std::remove(job->local_path.c_str());
    job->data.clear();
    job->count = 0;
    job->status = kDownloadFailed;
}

}  // namespace

DownloadJob::~DownloadJob()
{
    http_download_cancel(*this);
}

int http_download_start(DownloadJob& job)
{
    if (job.worker.joinable()) {
        if (job.status.load() == kDownloadRunning)
            return 0;
        job.worker.join();
    }
    std::call_once(g_curl_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    job.data.clear();
    job.count = 0;
    job.content_length = 0;
    job.local_path.clear();
    job.http_code = 0;
    job.status = kDownloadRunning;
    try {
        job.worker = std::thread(worker, &job);
    } catch (...) {
        job.status = kDownloadFailed;
        return 0;
    }
    return 1;
}

void http_download_cancel(DownloadJob& job)
{
    int running = kDownloadRunning;
    job.status.compare_exchange_strong(running, kDownloadCancel);
    http_download_join(job);
}

void http_download_join(DownloadJob& job)
{
    if (job.worker.joinable() && job.worker.get_id() != std::this_thread::get_id())
        job.worker.join();
}

void http_download_clear(DownloadJob& job)
{
    http_download_cancel(job);
    job.data.clear();
    job.data.shrink_to_fit();
    job.count = 0;
    job.status = 0;
    job.content_length = 0;
    job.local_path.clear();
    job.http_code = 0;
}

std::string http_download_file_name(const std::string& url, bool update)
{
    std::string last = url;
    if (const std::size_t scheme = last.find("://"); scheme != std::string::npos)
        last.erase(0, scheme + 3);
    // Only what follows the host counts; a bare host gives no name.
    const std::size_t first_slash = last.find('/');
    last = first_slash == std::string::npos ? std::string() : last.substr(first_slash);
    const std::string raw = last;
    if (const std::size_t q = last.find_first_of("?#"); q != std::string::npos)
        last.erase(q);
    if (const std::size_t slash = last.find_last_of('/'); slash != std::string::npos)
        last.erase(0, slash + 1);
    std::string name, ext;
    const std::size_t dot = last.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name = last.substr(0, dot);
        ext = last.substr(dot);
    } else {
        name = last;
    }
    if (update) {
        std::string lower = ext;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (lower != ".exe") {
            name = "update";
            ext = ".exe";
        }
    }
    std::string clean;
    if (!dcc_clean_file_name(name + ext, clean) || clean.empty())
        return "download";
    return clean;
}

int http_download_local_path(const DownloadJob& job, std::string& out, int* present)
{
    if (present)
        *present = 0;
    // A file already there with the wanted checksum is the download itself.
    auto already_there = [&](const std::string& path) {
        if (job.expected_crc && file_exists(path, 1) && crc32_file(path) == job.expected_crc) {
            out = path;
            if (present)
                *present = 1;
            return true;
        }
        return false;
    };
    const std::string file = http_download_file_name(job.url, job.update);
    std::string folder;
    if (!job.target_folder.empty()) {
        folder = job.target_folder;
        file_add_trailing_slash(folder);
        if (!file_make_dir(folder))
            return 0;
        std::string path;
        if (!dcc_receive_path(folder, file, path))
            return 0;
        if (!already_there(path))
            out = path;
        return 1;
    }
    if (!dcc_folder_for_file(file, folder, 2, nullptr) || folder.empty())
        return 0;
    file_add_trailing_slash(folder);
    file_make_dir(folder);
    std::string path;
    if (!dcc_receive_path(folder, file, path))
        return 0;
    if (already_there(path))
        return 1;
    if (file_exists(path, 1)) {
        const std::size_t dot = file.find_last_of('.');
        const std::string name = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
        const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : file.substr(dot);
        for (int i = 2; i <= 99; ++i) {
            std::string numbered;
            if (!dcc_receive_path(folder, name + std::to_string(i) + ext, numbered))
                return 0;
            if (!file_exists(numbered, 1)) {
                path = numbered;
                break;
            }
        }
    }
    out = path;
    return 1;
}
