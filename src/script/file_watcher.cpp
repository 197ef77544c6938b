#include "script/file_watcher.h"

#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>

#include "model/connection.h"
#include "core/text_buffer.h"
#include "script/events/remote_files.h"
#include "script/exec/executor.h"
#include "script/stores/alias_files.h"
#include "script/stores/timers.h"

int watcher_enabled = 1;
int watcher_check_box = 0;
int (*watcher_ask)(const std::string& path) = nullptr;

namespace {

struct WatcherState {
    QPointer<QFileSystemWatcher> watcher;
    std::vector<std::string> folders;   // the folders in use
    int checking = 0;                   // a check is running
    int check_queued = 0;               // a check waits in the event queue
};
WatcherState g_watch;

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

std::int64_t disk_time(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_mtime);
}

// The folder part of a path (with its last '/'), empty for none.
std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool same_lists(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!text_equal_nocase(a[i], b[i]))
            return false;
    return true;
}

// The loaded files whose folder is watched.
QStringList watched_files()
{
    QStringList out;
    auto take = [&](const std::string& path) {
        const std::string folder = folder_of(path);
        for (const std::string& f : g_watch.folders)
            if (text_equal_nocase(f, folder)) {
                out << qs(path);
                return;
            }
    };
    for (AliasFile* f = alias_files_head; f; f = f->next)
        take(f->path);
    for (ScriptFile* f = remote_list; f; f = f->next)
        take(f->path);
    return out;
}

// Files replaced on disk drop out of the watch; the loaded ones are
// watched again, the unloaded ones no more.
void refresh_file_watch()
{
    QFileSystemWatcher* w = g_watch.watcher.data();
    if (!w)
        return;
    const QStringList want = watched_files();
    const QStringList have = w->files();
    QStringList gone;
    for (const QString& f : have)
        if (!want.contains(f))
            gone << f;
    if (!gone.isEmpty())
        w->removePaths(gone);
    QStringList missing;
    for (const QString& f : want)
        if (!have.contains(f) && !missing.contains(f))
            missing << f;
    if (!missing.isEmpty())
        w->addPaths(missing);
}

void queue_check()
{
    if (g_watch.check_queued)
        return;
    g_watch.check_queued = 1;
    QTimer::singleShot(0, g_watch.watcher.data(), [] {
        g_watch.check_queued = 0;
        watcher_check();
    });
}

void start_watch()
{
    auto* w = new QFileSystemWatcher(QCoreApplication::instance());
    g_watch.watcher = w;
    int watched = 0;
    for (const std::string& folder : g_watch.folders) {
        if (watched >= kWatcherFolderLimit)
            break;
        if (w->addPath(qs(folder)))
            ++watched;
    }
    // Folders beyond the limit, or that could not be watched, are dropped.
    std::vector<std::string> in_use;
    const QStringList dirs = w->directories();
    for (const std::string& folder : g_watch.folders) {
        QString f = qs(folder);
        if (dirs.contains(f) || dirs.contains(f.chopped(f.endsWith('/') ? 1 : 0)))
            in_use.push_back(folder);
    }
    const std::vector<std::string> all = g_watch.folders;
    g_watch.folders = in_use;
    refresh_file_watch();
    g_watch.folders = all;
    QObject::connect(w, &QFileSystemWatcher::directoryChanged, w, [] { queue_check(); });
    QObject::connect(w, &QFileSystemWatcher::fileChanged, w, [] { queue_check(); });
}

// The id and kind of a file still loaded at that id; 0 when gone.
bool alias_file_alive(int id)
{
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (f->id == id)
            return true;
    return false;
}

bool remote_file_alive(int id)
{
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->id == id)
            return true;
    return false;
}

struct Answer {
    std::string path;
    int yes;
};

// One walk of a list; returns 1 when the whole pass must start again (a
// file vanished while its question was shown).
template <class File>
int walk_list(File* (*head)(), bool (*alive)(int), int list, std::vector<Answer>& answers,
              bool& changed)
{
restart:
    for (File* f = head(); f; f = f->next) {
        const std::int64_t t = disk_time(f->path);
        if (t == 0 || t == f->file_time)
            continue;
        f->file_time = t;
        changed = true;
        const std::string path = f->path;
        const int kind = f->kind;
        int yes = -1;
        for (const Answer& a : answers)
            if (text_equal_nocase(a.path, path))
                yes = a.yes;
        if (yes < 0) {
            const int id = f->id;
            yes = watcher_ask ? (watcher_ask(path) ? 1 : 0) : 0;
            if (!alive(id))
                return 1;
            answers.push_back({path, yes});
        }
        if (!yes)
            continue;
        Connection* conn = conn_current();
        if (!conn_is_live(conn))
            return 0;
        // The path is ours but may hold any character: the command is run
        // as it stands, never evaluated or split.
        script_exec_plain_command(timer_status_window(conn),
                                  watcher_command(list, kind, path, watcher_check_box), conn, 0);
        goto restart;
    }
    return 0;
}

AliasFile* alias_head()
{
    return alias_files_head;
}

ScriptFile* remote_head()
{
    return remote_list;
}

}  // namespace

std::string watcher_command(int list, int kind, const std::string& path, int load)
{
    std::string cmd = load ? "!.load -" : "!.reload -";
    switch (list) {
    case 0:
        cmd += "a";
        break;
    case 1: {
        cmd += "p";
        static const char letters[] = {'s', 'c', 'q', 'n', 'm'};
        if (kind >= 0 && kind < 5)
            cmd += letters[kind];
        break;
    }
    default:
        cmd += "r";
        cmd += kind == kRemoteUsers ? 'u' : kind == kRemoteVariables ? 'v' : 's';
        break;
    }
    return cmd + " \"" + path + "\"";
}

std::vector<std::string> watcher_folders()
{
    std::vector<std::string> out;
    auto add = [&](const std::string& path) {
        const std::string folder = folder_of(path);
        if (folder.empty())
            return;
        for (const std::string& f : out)
            if (text_equal_nocase(f, folder))
                return;
        out.push_back(folder);
    };
    for (AliasFile* f = alias_files_head; f; f = f->next)
        add(f->path);
    for (ScriptFile* f = remote_list; f; f = f->next)
        add(f->path);
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        return text_lower_copy(a) < text_lower_copy(b);
    });
    return out;
}

void watcher_stop()
{
    delete g_watch.watcher.data();
    g_watch.watcher = nullptr;
    g_watch.folders.clear();
}

int watcher_running()
{
    return g_watch.watcher ? 1 : 0;
}

std::vector<std::string> watcher_watched_folders()
{
    std::vector<std::string> out;
    if (!g_watch.watcher)
        return out;
    const QStringList dirs = g_watch.watcher->directories();
    for (const std::string& f : g_watch.folders) {
        QString q = qs(f);
        if (dirs.contains(q) || dirs.contains(q.chopped(q.endsWith('/') ? 1 : 0)))
            out.push_back(f);
    }
    return out;
}

void watcher_restart()
{
    if (!watcher_enabled) {
        watcher_stop();
        return;
    }
    std::vector<std::string> folders = watcher_folders();
    if (g_watch.watcher) {
        if (same_lists(folders, g_watch.folders)) {
            script_watch_recheck = 0;
            refresh_file_watch();
        } else {
            watcher_stop();
        }
        return;
    }
    script_watch_recheck = 0;
    if (folders.empty() || !QCoreApplication::instance())
        return;
    g_watch.folders = std::move(folders);
    start_watch();
}

void watcher_poll()
{
    if (!watcher_enabled) {
        if (g_watch.watcher)
            watcher_stop();
        return;
    }
    // The loaded files are few: their folders are compared every second,
    // so a list that changed without saying so is noticed too.
    if (script_watch_recheck || !g_watch.watcher ||
        !same_lists(watcher_folders(), g_watch.folders))
        watcher_restart();
}

void watcher_check()
{
    if (g_watch.checking)
        return;
    g_watch.checking = 1;
    std::vector<Answer> answers;
    bool changed = true;
    while (changed) {
        changed = false;
        if (walk_list<AliasFile>(alias_head, alias_file_alive, 0, answers, changed))
            continue;
        if (walk_list<ScriptFile>(remote_head, remote_file_alive, 2, answers, changed))
            continue;
    }
    refresh_file_watch();
    g_watch.checking = 0;
}
