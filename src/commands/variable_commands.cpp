#include "commands/variable_commands.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "script/eval/calc.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

namespace {

// The letters of a switch token ("-su5" and "-u5s" are the same).
struct VarSwitches {
    bool s = false, l = false, n = false, k = false, z = false, e = false, c = false, r = false;
    bool u = false;      // u given
    long long u_n = 0;   // the number written right after u (0 without one)
};

VarSwitches parse_switches(const std::string& token)
{
    VarSwitches sw;
    for (std::size_t i = 1; i < token.size(); ++i) {
        switch (token[i]) {
        case 's': sw.s = true; break;
        case 'l': sw.l = true; break;
        case 'n': sw.n = true; break;
        case 'k': sw.k = true; break;
        case 'z': sw.z = true; break;
        case 'e': sw.e = true; break;
        case 'c': sw.c = true; break;
        case 'r': sw.r = true; break;
        case 'u':
            if (sw.u)
                break;
            sw.u = true;
            {
                std::size_t j = i + 1;
                bool negative = false;
                if (j < token.size() && token[j] == '-' && j + 1 < token.size() &&
                    token[j + 1] >= '0' && token[j + 1] <= '9') {
                    negative = true;
                    ++j;
                }
                long long n = 0;
                while (j < token.size() && token[j] >= '0' && token[j] <= '9') {
                    if (n < kVarUntilExit)
                        n = n * 10 + (token[j] - '0');
                    ++j;
                }
                if (n > kVarUntilExit)
                    n = kVarUntilExit;
                sw.u_n = negative ? -n : n;
                i = j - 1;
            }
            break;
        default:
            break;
        }
    }
    return sw;
}

// The count of a timed entry for the u switch: N seconds, or the run's scope
// id for a bare u (or N of 0 or less).
int count_of_u(const VarSwitches& sw, const CommandCall& call)
{
    if (sw.u_n > 0)
        return static_cast<int>(sw.u_n);
    return call.scope;
}

// Index of the first non-empty token at or after i (tokens.size() when none).
std::size_t skip_empty(const CommandCall& call, std::size_t i)
{
    while (i < call.tokens.size() && call.tokens[i].empty())
        ++i;
    return i;
}

StringNode* locals_of(const CommandCall& call)
{
    return call.locals ? *call.locals : nullptr;
}

std::string format_value(double value)
{
    std::string out;
    num_format_f6(value, out);
    num_trim_zeros(out);
    return out;
}

// A whole number of at most 15 digits (a sign, any leading zeros): every
// such number, and the sum or difference of two, is a double held exactly,
// and both are written as their digits; so they step as integers, with no
// floating-point flags to clear and test. False for anything else (points,
// more digits), which takes the general way.
bool whole_number(std::string_view text, long long& out)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size())
        return false;
    while (i + 1 < text.size() && text[i] == '0')
        ++i;
    if (text.size() - i > 15)
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    out = negative ? -v : v;
    return true;
}

} // namespace

int set_arithmetic(std::string_view a, std::string_view op, std::string_view b, std::string& out)
{
    out.clear();
    if (op.size() != 1 || std::string_view("+-*/%^&").find(op[0]) == std::string_view::npos)
        return 0;
    if (!arg_is_number(a) || !arg_is_number(b))
        return 0;
    double x = std::strtod(std::string(a).c_str(), nullptr);
    double y = std::strtod(std::string(b).c_str(), nullptr);
    if ((op[0] == '/' || op[0] == '%') && y == 0)
        return 0;
    calc_math_error_clear();
    double result = 0;
    switch (op[0]) {
    case '+': result = x + y; break;
    case '-': result = x - y; break;
    case '*': result = x * y; break;
    case '/': result = x / y; break;
    case '%': result = std::fmod(x, y); break;
    case '^': result = std::pow(x, y); break;
    case '&': {
        // Truncated toward zero, then taken as 32-bit integers (the low 32
        // bits of the whole number).
        double tx = std::trunc(x);
        double ty = std::trunc(y);
        if (std::fabs(tx) >= 9.2e18 || std::fabs(ty) >= 9.2e18) {
            calc_math_error = 1;
            break;
        }
        auto ix = static_cast<std::uint32_t>(static_cast<std::int64_t>(tx));
        auto iy = static_cast<std::uint32_t>(static_cast<std::int64_t>(ty));
        result = static_cast<double>(static_cast<std::int32_t>(ix & iy));
        break;
    }
    }
    if (calc_math_error || calc_math_check(result)) {
        calc_math_error_clear();
        return 1;
    }
    if (num_format_f6(result, out) < 0) {
        out.clear();
        return -1;
    }
    num_trim_zeros(out);
    return 1;
}

int cmd_set(CommandCall& call)
{
    if (call.tokens.empty())
        return 1;
    std::size_t i = skip_empty(call, 1);
    VarSwitches sw;
    if (i < call.tokens.size() && call.tokens[i][0] == '-') {
        sw = parse_switches(call.tokens[i]);
        if (sw.l)
            call.tokens[0] = "var";
        i = skip_empty(call, i + 1);
    }
    const std::string& word = call.tokens[0];
    if (i >= call.tokens.size())
        return script_error(nullptr, word, "", 0);
    const std::string name = call.tokens[i];
    if (name[0] != '%')
        return script_error(nullptr, word, "", 3);

    int flags = kVarFlagSet;
    int count = 0;
    if (sw.u)
        count = count_of_u(sw, call);
    if (sw.z) {
        flags |= kVarFlagCountDown;
        if (!sw.u)
            count = kVarUntilExit;
    }
    if (sw.e) {
        flags |= kVarFlagUntilExit;
        if (!sw.u)
            count = kVarUntilExit;
    }
    if (sw.k) {
        if (const StringNode* timed = var_timed_find(name))
            count = timed->number;
    }

    std::string value;
    bool computed = false;
    if (!sw.n && call.tokens.size() - i - 1 == 3) {
        int r = set_arithmetic(call.tokens[i + 1], call.tokens[i + 2], call.tokens[i + 3], value);
        if (r < 0)
            return script_error(nullptr, text_load_string(933), "", 6);
        computed = r == 1;
    }
    if (!computed) {
        value.clear();
        for (std::size_t j = i + 1; j < call.tokens.size(); ++j) {
            if (j > i + 1)
                value.push_back(' ');
            value += call.tokens[j];
            if (value.size() > kLongText) {
                value.resize(kLongText);
                break;
            }
        }
    }

    int show = (call.show && sw.s) ? 1 : 0;
    StringNode* locals = locals_of(call);
    if (sw.l) {
        if (!locals)
            return 1;
        if (!var_local_set(call.window, name, &value, call.work_buf, show, kVarFlagSet, 0, locals, 1))
            return script_error(nullptr, "", "variable", 2);
        return 1;
    }
    return var_set(call.window, name, &value, call.work_buf, show, flags, 0, count, locals, 0);
}

int cmd_inc(CommandCall& call)
{
    if (call.tokens.empty())
        return 1;
    const bool inc = call.tokens[0] != "dec";
    std::size_t i = skip_empty(call, 1);
    VarSwitches sw;
    if (i < call.tokens.size() && call.tokens[i][0] == '-') {
        sw = parse_switches(call.tokens[i]);
        i = skip_empty(call, i + 1);
    }
    const std::string& word = call.tokens[0];
    if (i >= call.tokens.size())
        return script_error(nullptr, word, "", 0);
    const std::string& name = call.tokens[i];
    if (name[0] != '%')
        return script_error(nullptr, word, "", 3);

    int flags = inc ? kVarFlagInc : kVarFlagDec;
    int count = 0;
    if (sw.u)
        count = count_of_u(sw, call);
    if (sw.c || sw.r)
        flags |= kVarFlagStep;
    if (sw.z)
        flags |= kVarFlagCountDown;
    if (sw.e)
        flags |= kVarFlagUntilExit;
    if ((sw.c || sw.r || sw.z || sw.e) && !sw.u)
        count = kVarUntilExit;

    StringNode* locals = locals_of(call);
    std::string current;
    var_find(name, &current, locals);
    if (!current.empty() && !arg_is_number(current))
        return 1;
    std::size_t a = skip_empty(call, i + 1);
    const bool has_amount = a < call.tokens.size() && arg_is_number(call.tokens[a]);
    std::string value;
    long long whole = 0, step = 1;
    if ((current.empty() || whole_number(current, whole)) &&
        (!has_amount || whole_number(call.tokens[a], step))) {
        const long long v = inc ? whole + step : whole - step;
        char buf[24];
        value.assign(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
        calc_math_error = 0;
    } else {
        double amount = has_amount ? std::strtod(call.tokens[a].c_str(), nullptr) : 1.0;
        double v = current.empty() ? 0.0 : std::strtod(current.c_str(), nullptr);
        calc_math_error_clear();
        v = inc ? v + amount : v - amount;
        if (calc_math_check(v))
            calc_math_error_clear();  // an overflow gives the empty value, as /set does
        else
            value = format_value(v);
    }
    int show = (call.show && sw.s) ? 1 : 0;
    return var_set(call.window, name, &value, call.work_buf, show, flags, 0, count, locals, 0);
}

int cmd_unset(CommandCall& call)
{
    if (call.tokens.empty())
        return 1;
    const std::string& word = call.tokens[0];
    std::size_t i = 1;
    bool s = false;
    if (i < call.tokens.size() && !call.tokens[i].empty() && call.tokens[i][0] == '-') {
        s = call.tokens[i].size() > 1 && call.tokens[i][1] == 's';
        ++i;
    }
    int show = (call.show && s) ? 1 : 0;
    if (word == "unsetall") {
        var_unset_all(call.window, show);
        return 1;
    }
    i = skip_empty(call, i);
    if (i >= call.tokens.size())
        return script_error(nullptr, word, "", 0);
    StringNode* locals = locals_of(call);
    for (; i < call.tokens.size(); ++i) {
        if (call.tokens[i].empty())
            continue;
        std::string name = call.tokens[i];
        var_set(call.window, name, nullptr, call.work_buf, show, kVarFlagSet, 1, 0, locals, 0);
    }
    return 1;
}

void variable_commands_register()
{
    variables_install();
    script_register_command_family("cmd_set", cmd_set);
    script_register_command_family("cmd_inc", cmd_inc);
    script_register_command_family("cmd_unset", cmd_unset);
}
