// $scid and $scon: the connection count, a connection by id or position,
// and an identifier's value read on that connection.
#include "identifiers/connection_identifiers.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/text_limits.h"
#include "model/connection.h"
#include "model/connection_windows.h"
#include "script/exec/script_types.h"

namespace {

// The nesting depth of the $scid or $scon whose property is being read: the
// property's evaluation goes one deeper, so a property that reaches itself
// again through an alias meets the interpreter's nesting bound.
int property_depth = 1;

std::string trim_blanks(const std::string& text)
{
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos)
        return std::string();
    std::size_t end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

// An optional sign and at least one digit.
bool is_integer_text(const std::string& text)
{
    if (text.empty())
        return false;
    std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// A decimal number held within the range of int (a script may give any
// number of digits).
int clamped_number(const std::string& text)
{
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

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
    if (!is_integer_text(trim_blanks(arg))) {
        ident_error_name("$" + name, 6);
        return 0;
    }
    int n = clamped_number(trim_blanks(arg));
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
