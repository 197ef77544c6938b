// The client side of the local service: transactions with other programs'
// services, the queue of /dde, $dde(, $dde, $isdde( and /ddeserver.
#include "extensions/dde_client.h"

#include <deque>
#include <string>

#include "app/frame_dde.h"
#include "app/tick.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/dispatch/dispatcher.h"
#include "model/colors.h"
#include "model/connection.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

int dde_delay_ms = 300;

namespace {

// How long a request waits for a service that takes no time-out of its own.
constexpr int kDdeQueueTimeoutMs = 3000;

struct Conversation {
    std::string service;
    std::string topic;
};
Conversation g_conversation;   // the cached one; empty service when none
int g_in_progress = 0;         // transactions being made

struct Queued {
    std::string service, topic, item, data;
    int kind = kDdePoke;
};
std::deque<Queued> g_queue;

int g_idle_listener = 0;

bool has_line_end(const std::string& s)
{
    return s.find_first_of("\r\n") != std::string::npos;
}

void forget_conversation()
{
    g_conversation = Conversation();
}

bool own_service(const std::string& service)
{
    const std::string& mine = dde_registered_name();
    return !mine.empty() && text_equal_nocase(service, mine);
}

// One request to a service: 1 with the answer, 0 when nobody answered. The
// service this program registered is answered directly; another socket
// this process serves itself (the start-up hand-over) answers nothing here.
int ask(const std::string& service, int kind, const std::string& payload, int* answer, std::string* reply,
        int timeout_ms)
{
    if (own_service(service)) {
        std::string out;
        const int a = kind == IPC_PROBE ? 1 : dde_request(payload, out);
        if (answer)
            *answer = a;
        if (reply)
            *reply = out;
        return 1;
    }
    if (ipc_server_running(service))
        return 0;
    return ipc_request(service, kind, payload, answer, reply, timeout_ms);
}

// The conversation with the service on the topic: reused while both are
// the cached ones, else made anew. 0 when the service does not answer
// (nothing is cached then).
int converse(const std::string& service, const std::string& topic, int timeout_ms)
{
    if (!g_conversation.service.empty() && text_equal_nocase(g_conversation.service, service) &&
        text_equal_nocase(g_conversation.topic, topic))
        return 1;
    forget_conversation();
    if (!ask(service, IPC_PROBE, std::string(), nullptr, nullptr, timeout_ms))
        return 0;
    g_conversation.service = service.substr(0, kShortText);
    g_conversation.topic = topic.substr(0, kShortText);
    return 1;
}

void queue_step();

void on_queue_timer(int)
{
    queue_step();
}

// Performs the first queued request, then keeps the timer running while
// more wait.
void queue_step()
{
    if (g_in_progress > 0) {
        if (!g_queue.empty() && !frame_timer_is_running(FRAME_TIMER_DDE))
            frame_timer_start(FRAME_TIMER_DDE, dde_delay_ms < 0 ? 0 : dde_delay_ms);
        return;
    }
    if (!g_queue.empty()) {
        Queued q = std::move(g_queue.front());
        g_queue.pop_front();
        dde_client_transaction(q.service, q.topic, q.item, q.data, q.kind, kDdeQueueTimeoutMs);
    }
    if (g_queue.empty())
        frame_timer_stop(FRAME_TIMER_DDE);
    else if (!frame_timer_is_running(FRAME_TIMER_DDE))
        frame_timer_start(FRAME_TIMER_DDE, dde_delay_ms < 0 ? 0 : dde_delay_ms);
}

// ---- /dde [-e | -r] service topic [item [data]] ----

int cmd_dde(CommandCall& call)
{
    const auto& t = call.tokens;
    std::size_t i = 1;
    int kind = kDdePoke;
    if (i < t.size() && t[i] == "-e") {
        kind = kDdeExecute;
        ++i;
    } else if (i < t.size() && t[i] == "-r") {
        kind = kDdeRequest;
        ++i;
    }
    if (i + 1 >= t.size() || t[i].empty() || t[i + 1].empty())
        return script_error(nullptr, "dde", {}, 0);
    const std::string service = t[i];
    const std::string topic = t[i + 1];
    std::string item = "ITEM";
    std::string data;
    if (kind == kDdePoke) {
        if (i + 2 < t.size())
            item = t[i + 2];
        arg_join_from(i + 3, data, t);
    } else {
        std::string rest;
        arg_join_from(i + 2, rest, t);
        if (rest.empty())
            return script_error(nullptr, "dde", {}, 0);
        if (kind == kDdeExecute)
            data = rest;
        else
            item = rest;
    }
    dde_queue_request(service, topic, item, data, kind);
    return kScriptDone;
}

// ---- /ddeserver [on [name] | off] ----

void show_info(CommandCall& call, const std::string& text)
{
    Connection* conn = conn_is_live(call.conn) ? call.conn : conn_current();
    if (conn_is_live(conn))
        irc_status_echo(conn, static_cast<int>(kColorInfoText), text);
}

// Unregisters the name and, when turning on, registers the new one; 0 when
// another server answers to it or it cannot be registered.
int set_server_name(CommandCall& call, const std::string& name, bool on)
{
    dde_stop();
    if (!on)
        return 1;
    if (!ipc_server_running(name) && ipc_request(name, IPC_PROBE, std::string(), nullptr, nullptr, 1000)) {
        show_info(call, text_fill_id(1802, {name}));
        return 0;
    }
    dde_settings.service = name;
    return dde_start_server();
}

int cmd_ddeserver(CommandCall& call)
{
    const std::string& word = call.arg(1);
    bool ok = true;
    if (text_equal_nocase(word, "on")) {
        std::string name = call.argc() >= 2 ? call.arg(2) : dde_settings.service;
        if (name.size() > kShortText)
            name.resize(kShortText);
        if (name.empty())
            name = "Kest";
        dde_settings.server_on = 1;
        ok = set_server_name(call, name, true) != 0;
    } else if (text_equal_nocase(word, "off")) {
        dde_settings.server_on = 0;
        set_server_name(call, dde_settings.service, false);
    }
    if (!ok)
        dde_stop();
    dde_save_settings();
    if (!ok) {
        show_info(call, text_load_string(732));
        return kScriptDone;
    }
    if (call.show) {
        const std::string& name = dde_registered_name();
        show_info(call, name.empty() ? std::string(text_load_string(734)) : text_fill_id(733, {name}));
    }
    return kScriptDone;
}

// ---- $dde(service, topic [, item] [, seconds]), $dde service topic item, $isdde(name) ----

std::string request_answer(const std::string& service, const std::string& topic, const std::string& item,
                           int timeout_ms)
{
    std::string answer;
    if (!dde_client_transaction(service, topic, item, answer, kDdeRequestAnswer, timeout_ms))
        return std::string();
    return answer;
}

int id_dde(IdentCall& call)
{
    const int r = ident_args_range(call, 2, 4, true);
    if (r >= 0)
        return r;
    const int n = ident_arg_count(call);
    const std::string item = n >= 3 ? ident_arg(call, 2) : std::string("\"\"");
    int seconds = 1;
    if (n >= 4) {
        seconds = std::atoi(ident_arg(call, 3).c_str());
        seconds = seconds < 1 ? 1 : seconds > 30 ? 30 : seconds;
    }
    std::string out = request_answer(ident_arg(call, 0), ident_arg(call, 1), item, seconds * 1000);
    return ident_result(call, out);
}

// The bare form takes the next three tokens (a first "-d" token is
// dropped), once they are evaluated.
int id_dde_bare(IdentCall& call)
{
    if (call.token->argc == 0) {
        if (call.token->next && text_starts_with_nocase(call.token->next->text, "-d"))
            toklist_remove(*call.list, call.token->next);
        int available = 0;
        for (EvalToken* t = call.token->next; t && available < 3; t = t->next)
            ++available;
        if (available < 3) {
            script_error_set(text_load_string(2303));
            return 0;
        }
        call.token->argc = 3;
        return 1;
    }
    if (ident_args_ready(call.token) != 0)
        return 1;
    std::string out = request_answer(ident_arg(call, 0), ident_arg(call, 1), ident_arg(call, 2), 1000);
    return ident_result(call, out);
}

int id_isdde(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 1);
    if (r >= 0)
        return r;
    std::string out = ident_truth(dde_service_answers(ident_arg(call, 0), std::string()) != 0);
    return ident_result(call, out);
}

}  // namespace

const std::string& dde_cached_service()
{
    return g_conversation.service;
}

const std::string& dde_cached_topic()
{
    return g_conversation.topic;
}

int dde_client_transaction(const std::string& service, const std::string& topic, const std::string& item_in,
                           std::string& data, int kind, int timeout_ms)
{
    if (service.empty() || topic.empty() || has_line_end(service) || has_line_end(topic) ||
        has_line_end(item_in))
        return 0;
    ++g_in_progress;
    tick_dde_countdown = 0;
    int made = 0;
    if (converse(service, topic, timeout_ms)) {
        tick_dde_countdown = kDdeIdleSeconds;
        std::string item = item_in.substr(0, kLongText);
        for (char& c : item)
            if (c == '\\')
                c = '/';
        const std::string payload_data = data.substr(0, kLongText);
        std::string payload;
        if (kind == kDdeExecute)
            payload = "EXECUTE\n" + topic + "\n" + payload_data;
        else if (kind == kDdePoke)
            payload = "POKE\n" + topic + "\n" + item + "\n" + payload_data;
        else
            payload = "REQUEST\n" + topic + "\n" + item;
        int answer = 0;
        std::string reply;
        if (ask(service, IPC_DDE, payload, &answer, &reply, timeout_ms)) {
            made = 1;
            if (kind == kDdeRequestAnswer) {
                if (answer == 0)
                    made = 0;
                else if (reply.empty() || reply.size() > kLongText)
                    data = "$error";
                else
                    data = reply;
            }
        } else {
            // The partner went away: the conversation with it is over.
            forget_conversation();
        }
    }
    if (g_in_progress > 0)
        --g_in_progress;
    return made;
}

int dde_service_answers(const std::string& service, const std::string& topic)
{
    (void)topic;  // any topic is served; "*" asks for none in particular
    if (service.empty() || has_line_end(service))
        return 0;
    return ask(service, IPC_PROBE, std::string(), nullptr, nullptr, 1000);
}

void dde_queue_request(const std::string& service, const std::string& topic, const std::string& item,
                       const std::string& data, int kind)
{
    g_queue.push_back(Queued{service, topic, item, data, kind});
    if (!frame_timer_is_running(FRAME_TIMER_DDE))
        queue_step();
}

int dde_queue_length()
{
    return static_cast<int>(g_queue.size());
}

void dde_client_install()
{
    script_register_command_family("cmd_dde", cmd_dde);
    script_register_command_family("cmd_ddeserver", cmd_ddeserver);
    ident_register_family("id_dde", id_dde);
    ident_register_family("id_dde_bare", id_dde_bare);
    ident_register_family("id_isdde", id_isdde);
    frame_set_timer_handler(FRAME_TIMER_DDE, on_queue_timer);
    tick_dde_due.add_once(g_idle_listener, 0, [] { forget_conversation(); });
}

void dde_client_uninstall()
{
    frame_set_timer_handler(FRAME_TIMER_DDE, nullptr);
    frame_timer_stop(FRAME_TIMER_DDE);
    tick_dde_due.drop(g_idle_listener);
    g_queue.clear();
    forget_conversation();
}
