// $scid and $scon: the connection count, a connection by id or position,
// and an identifier's value read on that connection.
#include "identifiers/connection_identifiers.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/connection.h"
#include "model/connection_windows.h"
#include "script/exec/script_types.h"

namespace {

// The nesting depth of the $scid or $scon whose property is being read: the
// property's evaluation goes one deeper, so a property that reaches itself
// again through an alias meets the interpreter's nesting bound.
int property_depth = 1;

int id_scid_call(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string property;
    const std::string_view p = ident_property(call);
    if (!p.empty()) {
        const std::size_t dot = p.rfind('.');
        property = std::string(dot == std::string_view::npos ? p : p.substr(dot + 1));
    }
    const int saved_depth = property_depth;
    property_depth = (call.args && call.args->depth > 0 ? call.args->depth : 0) + 1;
    const int ok = id_scid(ident_arg(call, 0), p.empty() ? nullptr : &property, call.variant, *call.value);
    property_depth = saved_depth;
    if (!ok)
        return 0;
    return ident_finish(call);
}

} // namespace

int id_scid(const std::string& arg, const std::string* property, int is_scon, std::string& out)
{
    out.clear();
    const std::string name = is_scon ? "scon" : "scid";
    if (!text_is_integer(text_trim_blanks(arg))) {
        ident_error_name("$" + name, 6);
        return 0;
    }
    int n = text_to_int_clamped(text_trim_blanks(arg));
    if (n == 0) {
        out = std::to_string(conn_count());
        return 1;
    }
    if (n < 0)
        return 1;
    Connection* c = is_scon ? conn_by_position(n) : conn_by_id(n);
    if (!c)
        return 1;
    if (!property) {
        out = std::to_string(c->id);
        return 1;
    }
    if (property->find('(') != std::string::npos) {
        std::string form = conn_text(4156);
        char buf[kMediumTextSize];
        std::snprintf(buf, sizeof buf, form.c_str(), ("$" + name).c_str());
        script_error(nullptr, buf, {}, 6);
        return 0;
    }
    // The property is read as the connection's status window would read it.
    std::string value = "$" + property->substr(0, kShortText);
    if (ident_eval_text(conn_status_window(c), &value, nullptr, nullptr, 0, property_depth, -1, nullptr, c))
        out = value.substr(0, kLongText);
    return 1;
}


void connection_identifiers_register()
{
    ident_register("scid(", id_scid_call, 0);
    ident_register("scon(", id_scid_call, 1);
}
