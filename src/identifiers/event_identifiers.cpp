// Event identifiers.
#include "identifiers/event_identifiers.h"


#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/users.h"

namespace {

bool any_of(int id, std::initializer_list<int> ids)
{
    for (int i : ids)
        if (i == id)
            return true;
    return false;
}

const char* truth(bool v) { return v ? "$true" : "$false"; }

} // namespace

int event_ident_value(std::string_view name, std::string* out, const EventFireContext* c,
                      int in_event)
{
    out->clear();
    bool eq_form = false;
    if (name.size() > 1 && name[0] == '=' && name[1] == '$') {
        eq_form = true;
        name.remove_prefix(2);
    } else if (!name.empty() && name[0] == '$') {
        name.remove_prefix(1);
    }
    if (eq_form) {
        if (!text_equal_nocase(name, "nick"))
            return 2;
        if (!c || !in_event)
            return 0;
        *out = "=" + c->nick;
        return 1;
    }
    static const char* const kKnown[] = {
        "address", "agentname", "banmask", "bnick", "chan", "cd", "clevel", "dname", "devent",
        "did", "event", "filename", "fulladdress", "halted", "hnick", "hotline", "hotlinepos",
        "iaddress", "keychar", "keyrpt", "keyval", "knick", "maddress", "matchkey", "modefirst",
        "modelast", "naddress", "nick", "newnick", "numeric", "opnick", "raddress", "signal",
        "site", "sockbr", "sockerr", "sockname", "target", "ulevel", "vnick", "wildsite"};
    bool known = false;
    for (const char* k : kKnown)
        if (text_equal_nocase(name, k)) {
            known = true;
            break;
        }
    if (!known && !(name.size() > 2 && text_equal_nocase(name.substr(0, 2), "cd")))
        return 2;
    if (!c || !in_event)
        return 0;
    const int id = c->event_id;
    const EventLine* line = c->line;
    auto host = [&]() -> std::string_view {
        std::string_view a = c->address;
        std::size_t at = a.find('@');
        return at == std::string_view::npos ? std::string_view() : a.substr(at + 1);
    };
    if (text_equal_nocase(name, "nick")) { *out = c->nick; return 1; }
    if (text_equal_nocase(name, "chan")) {
        if (!c->chan.empty()) { *out = c->chan; return 1; }
        WindowRecord* w = c->window ? win_record_of(c->window) : nullptr;
        if (w && w->type == kWinChannel) { *out = w->name; return 1; }
        return 0;
    }
    if (text_equal_nocase(name, "address")) {
        if (c->has_address) { *out = c->address; return 1; }
        if (line) {
            if (line->address.empty())
                *out = line->source.substr(0, line->source.find(' '));
            return 1;
        }
        return 0;
    }
    if (text_equal_nocase(name, "fulladdress")) {
        if (!c->has_address) return 0;
        *out = c->nick + "!" + c->address;
        return 1;
    }
    if (text_equal_nocase(name, "site")) {
        if (!c->has_address) return 0;
        out->assign(host());
        return 1;
    }
    if (text_equal_nocase(name, "wildsite")) {
        if (!c->has_address) return 0;
        *out = "*!*@";
        out->append(host());
        return 1;
    }
    if (text_equal_nocase(name, "event")) {
        if (id == kEvCtcp) { *out = "ctcp"; return 1; }
        std::string_view w = c->event_word;
        w = w.substr(0, w.find(' '));
        for (char ch : w)
            out->push_back(text_lower_char(ch));
        return 1;
    }
    if (text_equal_nocase(name, "halted")) { *out = truth(c->halt != 0); return 1; }
    if (text_equal_nocase(name, "clevel")) { *out = c->clevel; return 1; }
    if (text_equal_nocase(name, "ulevel")) { *out = c->ulevel; return 1; }
    if (text_equal_nocase(name, "maddress")) { *out = c->maddress; return 1; }
    if (text_equal_nocase(name, "matchkey")) { *out = c->matchkey; return 1; }
    if (text_equal_nocase(name, "numeric")) {
        if (id != kEvRaw || c->numeric < 0) return 0;
        *out = std::to_string(c->numeric);
        return 1;
    }
    bool mode_item = any_of(id, {kEvBan, kEvDehelp, kEvDeop, kEvDeowner, kEvDevoice, kEvHelp,
                                 kEvOp, kEvOwner, kEvServerOp, kEvUnban, kEvVoice});
    if (text_equal_nocase(name, "modefirst") || text_equal_nocase(name, "modelast")) {
        if (!mode_item || c->mode_pos == 0) return 0;
        bool first = c->mode_pos == 1 || c->mode_pos == 2;
        bool last = c->mode_pos == 2 || c->mode_pos == 4;
        *out = truth(text_equal_nocase(name, "modefirst") ? first : last);
        return 1;
    }
    if (text_equal_nocase(name, "banmask")) {
        if (id != kEvBan && id != kEvUnban) return 0;
        *out = c->nick2;
        return 1;
    }
    if (text_equal_nocase(name, "bnick")) {
        if (id != kEvBan && id != kEvUnban) return 0;
        std::string_view m = c->nick2;
        std::string_view n = m.substr(0, m.find('!'));
        if (n.find_first_of("*?") == std::string_view::npos)
            out->assign(n);
        return 1;
    }
    if (text_equal_nocase(name, "opnick")) {
        if (!any_of(id, {kEvOp, kEvDeop, kEvOwner, kEvDeowner, kEvServerOp})) return 0;
        *out = c->nick2;
        return 1;
    }
    if (text_equal_nocase(name, "vnick")) {
        if (!any_of(id, {kEvVoice, kEvDevoice})) return 0;
        *out = c->nick2;
        return 1;
    }
    if (text_equal_nocase(name, "hnick")) {
        if (!any_of(id, {kEvHelp, kEvDehelp})) return 0;
        *out = c->nick2;
        return 1;
    }
    if (text_equal_nocase(name, "knick")) {
        if (id != kEvKick) return 0;
        *out = c->nick2;
        return 1;
    }
    if (text_equal_nocase(name, "newnick")) {
        if (id != kEvNick) return 0;
        *out = c->nick2;
        return 1;
    }
    if (text_equal_nocase(name, "target")) {
        WindowRecord* w = c->window ? win_record_of(c->window) : nullptr;
        if (w) {
            if (w->type == kWinQuery && (w->subtype == kQueryDccChat || w->subtype == kQueryFserve)) {
                std::string_view n = w->name;
                std::size_t b = n.find_last_of(' ');
                *out = "=";
                out->append(b == std::string_view::npos || b + 1 == n.size() ? n : n.substr(b + 1));
            } else {
                *out = w->name;
            }
            return 1;
        }
        if (line && !line->params.empty()) {
            *out = line->target_prefix + line->params[0];
            return 1;
        }
        return 0;
    }
    if (text_equal_nocase(name, "signal")) {
        if (id != kEvSignal) return 0;
        out->assign(std::string_view(c->text1).substr(0, c->text1.find(' ')));
        return 1;
    }
    if (text_equal_nocase(name, "filename")) {
        if (!any_of(id, {kEvCtcp, kEvDccServer, kEvFileRcvd, kEvFileSent, kEvGetFail, kEvMidiEnd,
                         kEvNoSound, kEvPlayEnd, kEvSendFail, kEvSongEnd, kEvWaveEnd}))
            return 0;
        *out = c->text1;
        return 1;
    }
    if (text_equal_nocase(name, "hotline")) {
        if (id != kEvHotlink) return 0;
        *out = c->text1;
        return 1;
    }
    if (text_equal_nocase(name, "hotlinepos")) {
        if (id != kEvHotlink || !c->source) return 0;
        *out = std::to_string(c->source->hotline_pos[0]) + " " + std::to_string(c->source->hotline_pos[1]);
        return 1;
    }
    if (text_equal_nocase(name, "dname") || text_equal_nocase(name, "devent") || text_equal_nocase(name, "did")) {
        if (id != kEvDialog || !c->source) return 0;
        if (text_equal_nocase(name, "dname")) *out = c->text1;
        else if (text_equal_nocase(name, "devent")) *out = c->text2;
        else *out = std::to_string(c->source->dialog_control);
        return 1;
    }
    if (text_equal_nocase(name, "keyval") || text_equal_nocase(name, "keyrpt") || text_equal_nocase(name, "keychar")) {
        if ((id != kEvKeyDown && id != kEvKeyUp) || !c->source) return 0;
        if (text_equal_nocase(name, "keychar")) {
            out->push_back(static_cast<char>(c->source->key_char));
            return 1;
        }
        if (!c->source->key_value) return 0;
        if (text_equal_nocase(name, "keyval")) *out = std::to_string(c->source->key_value);
        else *out = truth(c->source->key_repeat != 0);
        return 1;
    }
    // $agentname, $cd, $iaddress, $naddress, $raddress and the socket
    // identifiers read records of parts that answer them themselves.
    return 0;
}

int event_ident_seam(EventContext* ctx, std::string_view name, std::string* out)
{
    if (!event_context_is_live(ctx))
        return 0;
    const auto* c = static_cast<const EventFireContext*>(ctx);
    int r = event_ident_value(name, out, c, 1);
    if (r == 1)
        return 1;
    if (r == 0) {
        // Known but empty: the bare words that the general table also knows
        // go on to it; the others answer with the empty text.
        std::string_view n = name;
        if (!n.empty() && n[0] == '$')
            n.remove_prefix(1);
        if (text_equal_nocase(n, "chan") || text_equal_nocase(n, "nick") || text_equal_nocase(n, "address") ||
            text_equal_nocase(n, "target"))
            return 0;
        out->clear();
        return 1;
    }
    return 0;
}
