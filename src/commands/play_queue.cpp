#include "commands/play_queue.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/close.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/random.h"
#include "core/record_slots.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/numerics/query_replies.h"
#include "platform/platform_utils.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

namespace {

enum PlayKind { kPlayFile = 0, kPlayRandom = 1, kPlayLine = 2, kPlayTopic = 3 };
enum PlayFlag { kPlayCommands = 1, kPlayEcho = 2, kPlayNotice = 4 };
enum EndKind { kEndStopped, kEndCompleted, kEndSilent };

struct PlayRequest {
    int window = 0;              // number of the window it was started in
    std::unique_ptr<QTimer> timer;
    int flags = 0;
    bool held = false;
    std::string target;
    std::string file;            // the path
    std::string topic;           // "[name]"
    long long line_count = 0;
    long long line_pos = 0;
    long long line_number = 1;
    int kind = kPlayFile;
    int delay = 1000;
    int show = 1;
    bool temporary = false;
    std::deque<std::string> lines;
    std::string alias;
    ScriptFile* script = nullptr;

    PlayRequest() = default;
    PlayRequest(const PlayRequest&) = delete;
    PlayRequest& operator=(const PlayRequest&) = delete;
    // A file written from the clipboard goes with its request, however the
    // request ends (also when its connection is freed).
    ~PlayRequest()
    {
        if (temporary && !file.empty())
            std::remove(file.c_str());
    }
};

struct PlayQueue {
    std::deque<std::unique_ptr<PlayRequest>> requests;
    bool paused = false;
};

RecordSlot<PlayQueue> play_slot;

PlayQueue* queue_of(Connection* conn, bool make)
{
    if (!conn_is_live(conn))
        return nullptr;
    return make ? &conn->state_slots.get(play_slot) : conn->state_slots.find(play_slot);
}

WindowRecord* status_of(Connection* conn) { return win_find_by_type(kWinStatus, conn); }

// The window a request's messages go to: its own, else the status window.
QWidget* message_window(const PlayRequest& r, Connection* conn)
{
    WindowRecord* rec = win_record_by_id(r.window);
    if (!rec)
        rec = status_of(conn);
    return rec ? rec->hwnd.get() : nullptr;
}

void print2(const PlayRequest& r, Connection* conn, const std::string& text)
{
    if (r.show && script_echo_line)
        script_echo_line(message_window(r, conn), text, kColourInfo2);
}

// The file's name and extension as the messages show them.
std::string shown_name(const PlayRequest& r)
{
    const std::size_t s = r.file.rfind('/');
    return s == std::string::npos ? r.file : r.file.substr(s + 1);
}

void start_head(Connection* conn);

void end_head(Connection* conn, EndKind kind, bool all)
{
    PlayQueue* q = queue_of(conn, false);
    if (!q || q->requests.empty())
        return;
    std::unique_ptr<PlayRequest> r = std::move(q->requests.front());
    q->requests.pop_front();
    if (r->timer) {
        // The timer may be the one whose tick runs now: it goes later.
        r->timer->stop();
        r->timer.release()->deleteLater();
    }
    if (!all) {
        if (kind == kEndStopped)
            print2(*r, conn, text_fill_id(4406, {shown_name(*r), ""}));
        else if (kind == kEndCompleted)
            print2(*r, conn, text_fill_id(4407, {shown_name(*r), ""}));
    }
    QWidget* window = message_window(*r, conn);
    r.reset();
    play_queue_changed.fire(nullptr);
    if (all)
        return;
    event_fire(conn, window, nullptr, "PLAYEND", kEvPlayEnd, 0, nullptr, nullptr);
    // The handlers may have changed the queue or ended the connection.
    q = queue_of(conn, false);
    if (!q)
        return;
    if (q->requests.empty()) {
        q->paused = false;
        return;
    }
    const PlayRequest& head = *q->requests.front();
    if (!head.timer || !head.timer->isActive())
        start_head(conn);
}

void tick(Connection* conn, PlayRequest* req);

void start_head(Connection* conn)
{
    PlayQueue* q = queue_of(conn, false);
    if (!q || q->requests.empty())
        return;
    PlayRequest& r = *q->requests.front();
    if (r.timer)
        r.timer->stop();
    if (!win_record_by_id(r.window)) {
        WindowRecord* st = status_of(conn);
        r.window = st ? st->number : 0;
    }
    if (r.held)
        print2(r, conn, text_fill_id(4401, {shown_name(r), "", r.target, std::to_string(r.delay)}));
    else if (r.kind == kPlayTopic)
        print2(r, conn, text_fill_id(4404, {r.topic, shown_name(r), "", r.target, std::to_string(r.delay)}));
    else
        print2(r, conn, text_fill_id(4405, {shown_name(r), "", r.target, std::to_string(r.delay)}));
    r.held = false;
    if (!r.timer)
        r.timer = std::make_unique<QTimer>();
    r.timer->setTimerType(Qt::PreciseTimer);
    r.timer->setInterval(r.delay);
    PlayRequest* raw = &r;
    QObject::disconnect(r.timer.get(), nullptr, nullptr, nullptr);
    QObject::connect(r.timer.get(), &QTimer::timeout, r.timer.get(), [conn, raw] { tick(conn, raw); });
    r.timer->start();
    play_queue_changed.fire(nullptr);
}

bool is_channel(const std::string& name, Connection* conn)
{
    const std::string types = conn && !conn->chan_types.empty() ? conn->chan_types : "#&";
    return !name.empty() && types.find(name[0]) != std::string::npos;
}

void tick(Connection* conn, PlayRequest* req)
{
    PlayQueue* q = queue_of(conn, false);
    // Only the head plays; a held or ended request's timer is stopped.
    if (!q || q->requests.empty() || q->requests.front().get() != req)
        return;
    if (q->paused)
        return;
    PlayRequest& r = *req;
    WindowRecord* target = r.target == "Status Window" ? status_of(conn) : win_find_by_name(r.target, conn);
    const bool chat_target = target && (target->type == kWinChannel || target->type == kWinQuery);
    WindowRecord* status = status_of(conn);
    QWidget* window = status ? status->hwnd.get() : nullptr;
    std::string prefix;
    int mode = 1;
    const char* dot = r.show ? "" : ".";
    if (!r.alias.empty()) {
        prefix = "/" + std::string(dot) + r.alias + " " + r.target + " ";
        if (chat_target)
            window = target->hwnd.get();
    } else if (r.flags & kPlayCommands) {
        if (chat_target)
            window = target->hwnd.get();
    } else if ((r.flags & kPlayNotice) && (!target || chat_target)) {
        prefix = "/" + std::string(dot) + "notice " + r.target + " ";
    } else if (target && (chat_target || target->type == kWinCustom)) {
        window = target->hwnd.get();
        mode = 3;
    } else if (!r.target.empty() && r.target[0] == '@') {
        mode = 1;
    } else {
        prefix = "/" + std::string(dot) + "msg " + r.target + " ";
    }
    if ((r.flags & kPlayEcho) && target)
        window = target->hwnd.get();
    std::string line;
    if (!r.lines.empty()) {
        line = std::move(r.lines.front());
        r.lines.pop_front();
    }
    ++r.line_pos;
    if (!line.empty()) {
        if (r.flags & kPlayEcho) {
            if (script_echo_line)
                script_echo_line(window, prefix + line, kColourNormal);
        } else {
            const std::string text = prefix + line;
            script_exec_line(window, text.c_str(), nullptr, mode, nullptr, r.script, conn);
        }
    }
    // The run may have changed the queue: look the request up again.
    q = queue_of(conn, false);
    if (!q || q->requests.empty() || q->requests.front().get() != req)
        return;
    if (req->lines.empty())
        end_head(conn, req->kind == kPlayFile || req->kind == kPlayTopic ? kEndCompleted : kEndSilent, false);
    else
        play_queue_changed.fire(nullptr);
}

// Reads the lines a request plays. 0 file not opened, -1 topic not found, 1 done.
int load_lines(PlayRequest& r)
{
    std::string data;
    if (file_read_all(r.file, data, static_cast<std::size_t>(-1)) <= 0 && !file_exists(r.file, 1))
        return 0;
    std::vector<std::string> all;
    {
        std::size_t p = 0;
        while (p < data.size()) {
            std::size_t e = data.find('\n', p);
            if (e == std::string::npos)
                e = data.size();
            std::string line = data.substr(p, std::min<std::size_t>(e - p, kLongText));
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.pop_back();
            all.push_back(std::move(line));
            p = e + 1;
        }
    }
    if (r.kind == kPlayTopic) {
        std::size_t k = 0;
        for (; k < all.size(); ++k)
            if (all[k].size() >= r.topic.size() && text_equal_nocase(std::string_view(all[k]).substr(0, r.topic.size()), r.topic))
                break;
        if (k >= all.size())
            return -1;
        for (++k; k < all.size() && !ini_is_section_line(all[k].c_str()); ++k)
            r.lines.push_back(all[k]);
        while (!r.lines.empty() && r.lines.back().empty())
            r.lines.pop_back();
        r.line_count = static_cast<long long>(r.lines.size());
        return 1;
    }
    std::size_t first = 0;
    long long count = -1;
    if (!all.empty() && arg_is_integer(all[0])) {
        count = std::strtoll(all[0].c_str(), nullptr, 10);
        first = 1;
    }
    if (r.kind == kPlayRandom) {
        if (count < 0) {
            count = 0;
            for (std::size_t k = first; k < all.size(); ++k)
                if (all[k].size() > 1)
                    ++count;
        }
        if (count > 0) {
            // Every line is drawn equally often: R mod count picks one of them.
            const long long draw = static_cast<long long>(std::fmod(rng_next(), static_cast<double>(count)));
            r.line_number = draw + 1;
        }
    }
    if (r.kind == kPlayRandom || r.kind == kPlayLine) {
        const std::size_t at = first + static_cast<std::size_t>(r.line_number - 1);
        if (r.line_number >= 1 && at < all.size() && !all[at].empty())
            r.lines.push_back(all[at]);
    } else {
        for (std::size_t k = first + static_cast<std::size_t>(std::max<long long>(r.line_number, 1) - 1); k < all.size(); ++k)
            r.lines.push_back(all[k]);
    }
    r.line_count = static_cast<long long>(r.lines.size());
    return 1;
}

long long number_after(const std::string& sw, std::size_t at)
{
    return std::strtoll(sw.c_str() + at + 1, nullptr, 10);
}

bool sound_file(const std::string& t)
{
    const std::string l = text_lower_copy(t);
    for (const char* ext : {".wav", ".mid", ".mp3", ".wma"})
        if (l.find(ext) != std::string::npos)
            return true;
    return false;
}

}  // namespace

void play_stop_all(Connection* conn)
{
    PlayQueue* q = queue_of(conn, false);
    while (q && !q->requests.empty()) {
        end_head(conn, kEndSilent, true);
        q = queue_of(conn, false);
    }
    if (q)
        q->paused = false;
}

void play_remove_target(const std::string& target, Connection* conn)
{
    PlayQueue* q = queue_of(conn, false);
    if (!q || q->requests.empty())
        return;
    for (std::size_t k = 1; k < q->requests.size();) {
        if (text_equal_nocase(q->requests[k]->target, target)) {
            q->requests.erase(q->requests.begin() + static_cast<std::ptrdiff_t>(k));
        } else {
            ++k;
        }
    }
    if (text_equal_nocase(q->requests.front()->target, target))
        end_head(conn, kEndStopped, false);
}

int play_queue_length(Connection* conn)
{
    PlayQueue* q = queue_of(conn, false);
    return q ? static_cast<int>(q->requests.size()) : 0;
}

std::vector<PlayItem> play_queue_items(Connection* conn)
{
    std::vector<PlayItem> out;
    PlayQueue* q = queue_of(conn, false);
    if (!q)
        return out;
    out.reserve(q->requests.size());
    for (const auto& r : q->requests) {
        PlayItem it;
        it.id = r.get();
        it.target = r->target;
        it.file = shown_name(*r);
        it.topic = r->topic;
        it.kind = r->kind;
        it.pos = r->line_pos;
        it.count = r->line_count;
        it.line = r->line_number;
        it.delay = r->delay;
        out.push_back(std::move(it));
    }
    return out;
}

bool play_queue_paused(Connection* conn)
{
    PlayQueue* q = queue_of(conn, false);
    return q && q->paused;
}

bool play_queue_toggle_pause(Connection* conn)
{
    PlayQueue* q = queue_of(conn, conn_is_live(conn));
    if (!q)
        return false;
    q->paused = !q->paused;
    play_queue_changed.fire(nullptr);
    return true;
}

int play_queue_retime(Connection* conn, const std::vector<int>& rows, int step)
{
    PlayQueue* q = queue_of(conn, false);
    int changed = 0;
    for (int row : rows) {
        if (!q || row < 0 || static_cast<std::size_t>(row) >= q->requests.size())
            continue;
        PlayRequest& r = *q->requests[static_cast<std::size_t>(row)];
        const int delay = std::clamp(r.delay + step, 0, 9000);
        if (delay == r.delay)
            continue;
        r.delay = delay;
        ++changed;
        if (row == 0 && r.timer && r.timer->isActive())
            r.timer->start(delay);
    }
    if (changed)
        play_queue_changed.fire(nullptr);
    return changed;
}

namespace {

// The request now first takes over from the one that was playing, which
// waits (held) and says so in its window.
void take_over(Connection* conn, PlayRequest& was_playing)
{
    if (was_playing.timer)
        was_playing.timer->stop();
    was_playing.held = true;
    if (script_echo_line)
        script_echo_line(message_window(was_playing, conn), text_load_string(4413), kColourInfo2);
    start_head(conn);
}

}  // namespace

int play_queue_move(Connection* conn, int row, int direction)
{
    PlayQueue* q = queue_of(conn, false);
    const int other = row + direction;
    if (!q || row < 0 || other < 0 || static_cast<std::size_t>(row) >= q->requests.size() ||
        static_cast<std::size_t>(other) >= q->requests.size() || (direction != 1 && direction != -1))
        return -1;
    PlayRequest* playing = q->requests.front().get();
    std::swap(q->requests[static_cast<std::size_t>(row)], q->requests[static_cast<std::size_t>(other)]);
    if (q->requests.front().get() != playing)
        take_over(conn, *playing);
    play_queue_changed.fire(nullptr);
    return other;
}

int play_queue_remove(Connection* conn, const std::vector<int>& rows)
{
    PlayQueue* q = queue_of(conn, false);
    if (!q)
        return 0;
    std::vector<bool> gone(q->requests.size(), false);
    int removed = 0;
    for (int row : rows)
        if (row >= 0 && static_cast<std::size_t>(row) < gone.size() && !gone[static_cast<std::size_t>(row)]) {
            gone[static_cast<std::size_t>(row)] = true;
            ++removed;
        }
    if (!removed)
        return 0;
    const bool head_gone = gone[0];
    std::deque<std::unique_ptr<PlayRequest>> kept;
    for (std::size_t k = 0; k < q->requests.size(); ++k) {
        std::unique_ptr<PlayRequest>& r = q->requests[k];
        if (!gone[k]) {
            kept.push_back(std::move(r));
            continue;
        }
        if (r->timer) {
            r->timer->stop();
            r->timer.release()->deleteLater();
        }
    }
    q->requests.swap(kept);
    kept.clear();
    if (q->requests.empty())
        q->paused = false;
    else if (head_gone)
        start_head(conn);
    play_queue_changed.fire(nullptr);
    return removed;
}

// /play [-switches] [alias] [target] file [delay]; /play stop
int cmd_play(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    Connection* conn = conn_of(call);
    if (call.argc() == 0 || word == "playctrl") {
        play_control_asked.fire(conn);
        return kScriptDone;
    }
    if (text_equal_nocase(call.arg(1), "stop")) {
        play_stop_all(conn);
        if (call.show && script_echo_line)
            script_echo_line(call.window, text_load_string(4409), kColourInfo);
        return kScriptDone;
    }
    if (sound_file(call.arg(1))) {
        if (script_echo_line)
            script_echo_line(call.window, text_load_string(4408), kColourInfo);
        return kScriptDone;
    }
    auto r = std::make_unique<PlayRequest>();
    r->show = call.show;
    r->script = call.script;
    std::string sw;
    std::size_t i = 1;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1);
        i = 2;
    }
    long long max_queue = 0, max_target = 0;
    bool priority = false, clipboard = false, status = false;
    for (std::size_t k = 1; k < sw.size(); ++k) {
        switch (sw[k]) {
        case 'a': r->alias = "-"; break;
        case 'b': clipboard = true; break;
        case 'c': r->flags |= kPlayCommands; break;
        case 'e': r->flags |= kPlayEcho; break;
        case 'f': r->line_number = std::max(1LL, number_after(sw, k)); break;
        case 'l': r->kind = kPlayLine; r->line_number = number_after(sw, k); break;
        case 'm': max_target = number_after(sw, k); break;
        case 'n': r->flags |= kPlayNotice; break;
        case 'p': priority = true; break;
        case 'q': max_queue = number_after(sw, k); break;
        case 'r': r->kind = kPlayRandom; break;
        case 's': status = true; r->flags |= kPlayCommands; break;
        case 't':
            r->kind = kPlayTopic;
            r->topic = "[" + sw.substr(k + 1) + "]";
            k = sw.size();
            break;
        default: break;
        }
    }
    if (!r->alias.empty()) {
        r->alias = call.arg(i++);
        if (r->alias.empty())
            return script_error(nullptr, word, "", 0);
    }
    if (call.arg(i).empty())
        return script_error(nullptr, word, "", 0);
    WindowRecord* here = win_record_of(call.window);
    if (status) {
        r->target = "Status Window";
        WindowRecord* st = status_of(conn);
        r->window = st ? st->number : 0;
    } else {
        const std::string& t = call.arg(i);
        if (is_channel(t, conn) || (t.find('.') == std::string::npos && t.find(':') == std::string::npos)) {
            r->target = t.substr(0, kShortText);
            ++i;
        } else if (here && (here->type == kWinChannel || here->type == kWinQuery)) {
            r->target = here->name;
        } else {
            return script_error(nullptr, text_load_string(4412), "", 6);
        }
        r->window = here ? here->number : 0;
    }
    if (clipboard) {
        std::string file;
        if (!clip_save_playqueue(file))
            return script_error(nullptr, word, "", 0);
        r->file = file;
        r->temporary = true;
    } else {
        const int f = call.arg(i).empty() ? 0 : 1;
        std::string raw;
        const int end = f ? arg_get_quoted(call.tokens, i, raw, kMediumText, 0) : -1;
        if (end < 0 || raw.empty() || !file_resolve_path(raw, r->file))
            return script_error(nullptr, word, "", 3);
        i = static_cast<std::size_t>(end) + 1;
    }
    if (!call.arg(i).empty()) {
        const long long d = std::strtoll(call.arg(i).c_str(), nullptr, 10);
        r->delay = d < 0 ? 1000 : static_cast<int>(std::min(d, 2000000000LL));
    }
    PlayQueue& q = *queue_of(conn, true);
    if (max_queue > 0 && static_cast<long long>(q.requests.size()) > max_queue) {
        if (call.show && script_echo_line)
            script_echo_line(call.window, text_fill_id(4410, {std::to_string(max_queue)}), kColourInfo);
        return kScriptDone;
    }
    if (max_target > 0) {
        long long same = 0;
        for (const auto& p : q.requests)
            if (text_equal_nocase(p->target, r->target))
                ++same;
        if (same > max_target) {
            if (call.show && script_echo_line)
                script_echo_line(call.window, text_fill_id(4411, {std::to_string(max_target)}), kColourInfo);
            return kScriptDone;
        }
    }
    const int loaded = load_lines(*r);
    if (loaded == 0)
        return script_error(nullptr, text_fill_id(4402, {r->file}), "", 6);
    if (loaded < 0)
        return script_error(nullptr, text_fill_id(4403, {r->topic, shown_name(*r), ""}), "", 6);
    if (r->lines.empty())
        return kScriptDone;
    play_queue_changed.fire(conn);
    if (q.requests.empty()) {
        q.requests.push_back(std::move(r));
        start_head(conn);
    } else if (!priority) {
        if (call.show && script_echo_line)
            script_echo_line(call.window,
                             text_fill_id(4414, {std::to_string(r->delay), shown_name(*r), "", r->target}),
                             kColourInfo2);
        q.requests.push_back(std::move(r));
        play_queue_changed.fire(conn);
    } else {
        if (call.show && script_echo_line)
            script_echo_line(call.window, text_load_string(4413), kColourInfo2);
        PlayRequest& playing = *q.requests.front();
        if (playing.timer)
            playing.timer->stop();
        playing.held = true;
        q.requests.push_front(std::move(r));
        start_head(conn);
    }
    return kScriptDone;
}

// $play(N), $play(target [, N]) with .type .fname .topic .pos .lines .delay .status
int id_play(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    const int argc = ident_arg_count(call);
    if (argc < 1 || argc > 2)
        return ident_error(call.token, call.work, 6);
    PlayQueue* q = queue_of(call.conn(), false);
    const std::string& a = ident_arg(call, 0);
    const PlayRequest* found = nullptr;
    std::size_t index = 0;
    if (argc == 1 && arg_is_integer(a)) {
        const long long n = std::strtoll(a.c_str(), nullptr, 10);
        if (n <= 0) {
            out = std::to_string(q ? q->requests.size() : 0);
            return ident_finish(call);
        }
        if (q && static_cast<std::size_t>(std::min(n, 9998LL)) <= q->requests.size()) {
            index = static_cast<std::size_t>(std::min(n, 9998LL) - 1);
            found = q->requests[index].get();
        }
    } else {
        const long long n = argc == 2 ? std::strtoll(ident_arg(call, 1).c_str(), nullptr, 10) : 1;
        long long seen = 0;
        if (q)
            for (std::size_t k = 0; k < q->requests.size(); ++k)
                if (text_equal_nocase(q->requests[k]->target, a) && ++seen == n && n >= 1) {
                    found = q->requests[k].get();
                    index = k;
                    break;
                }
        if (argc == 2 && n <= 0) {
            out = std::to_string(seen);
            return ident_finish(call);
        }
    }
    if (!found)
        return ident_finish(call);
    const std::string prop = text_lower_copy(ident_property(call));
    static const char* const kinds[] = {"file", "random", "line", "topic"};
    const bool single = found->kind == kPlayRandom || found->kind == kPlayLine;
    if (prop.empty())
        out = found->target;
    else if (prop == "type")
        out = kinds[found->kind];
    else if (prop == "fname")
        out = found->file;
    else if (prop == "topic")
        out = found->topic;
    else if (prop == "pos")
        out = std::to_string(single ? found->line_number : found->line_pos);
    else if (prop == "lines")
        out = std::to_string(single ? 1 : found->line_count);
    else if (prop == "delay")
        out = std::to_string(found->delay);
    else if (prop == "status")
        out = q->paused ? "paused" : index == 0 ? "playing" : "queued";
    return ident_finish(call);
}

void play_queue_register()
{
    script_register_command("play", cmd_play);
    script_register_command("playctrl", cmd_play);
    ident_register_family("id_play", id_play);
}

namespace {
int g_unreachable_listener = 0;
int g_freed_listener = 0;
int g_stage_listener = 0;
}  // namespace

Signal<void(Connection* conn)> play_queue_changed;
Signal<void(Connection* conn)> play_control_asked;

void play_queue_install()
{
    reply_target_unreachable.add_once(g_unreachable_listener, kUnreachablePlayQueue, play_remove_target);
    // The queue of a connection ends when its link closes or it is freed.
    conn_freed.add_once(g_freed_listener, kFreedPlayQueue, play_stop_all);
    irc_link_stage.add_once(g_stage_listener, kStagePlayQueue, [](int stage, Connection* conn) {
        if (stage == 2)
            play_stop_all(conn);
    });
}

void play_queue_uninstall()
{
    reply_target_unreachable.drop(g_unreachable_listener);
    conn_freed.drop(g_freed_listener);
    irc_link_stage.drop(g_stage_listener);
}
