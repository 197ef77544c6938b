#include "identifiers/number_identifiers.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/digest.h"
#include "core/files.h"
#include "core/random.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "irc/link/connections.h"
#include "model/colors.h"
#include "identifiers/tokens.h"
#include "platform/platform_utils.h"
#include "script/eval/calc.h"
#include "script/eval/conditions.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_text.h"
#include "script/stores/binary_vars.h"

namespace {

constexpr const char* kPi = "3.14159265358979323846";

std::uint32_t u32_of(const std::string& text)
{
    return static_cast<std::uint32_t>(std::strtoull(text.c_str(), nullptr, 10));
}

std::string u32_text(std::uint32_t v)
{
    return std::to_string(static_cast<unsigned long>(v));
}

bool starts_with_digit(std::string_view t)
{
    return !t.empty() && t[0] >= '0' && t[0] <= '9';
}

bool any_empty(const IdentCall& call)
{
    for (int i = 0; i < ident_arg_count(call); ++i)
        if (ident_arg(call, i).empty())
            return true;
    return false;
}

// The word without "$" and from "(" on: "and", "biton", "sin" ...
int id_bitop(IdentCall& call)
{
    std::string out;
    if (!any_empty(call))
        number_bit_op(ident_word(call), ident_arg(call, 0), ident_arg_count(call) == 2, ident_arg(call, 1), out);
    return ident_result(call, 0, out);
}

int id_round(IdentCall& call)
{
    std::string out;
    if (!any_empty(call))
        number_round(ident_arg(call, 0), ident_arg_count(call) == 2, ident_arg(call, 1), out);
    return ident_result(call, 0, out);
}

int id_math(IdentCall& call)
{
    std::string out;
    if (!any_empty(call))
        number_math(ident_word(call), ident_arg(call, 0), text_equal_nocase(ident_property(call), "deg"), out);
    return ident_result(call, 0, out);
}

int id_rand(IdentCall& call)
{
    std::string out;
    number_random(ident_arg(call, 0), ident_arg(call, 1), out);
    return ident_result(call, 0, out);
}

int id_rgb(IdentCall& call)
{
    const int n = ident_arg_count(call);
    if (n == 2)
        return ident_error(call.token, call.work, 6);
    std::string out;
    if (n == 3) {
        const std::uint32_t v = (u32_of(ident_arg(call, 2)) & 255u) * 65536u +
                                (u32_of(ident_arg(call, 1)) & 255u) * 256u + (u32_of(ident_arg(call, 0)) & 255u);
        out = u32_text(v);
    } else if (arg_is_integer(ident_arg(call, 0))) {
        const long long v = std::strtoll(ident_arg(call, 0).c_str(), nullptr, 10);
        char buf[48];
        std::snprintf(buf, sizeof buf, "%d,%d,%d", static_cast<int>(v & 255), static_cast<int>((v >> 8) & 255),
                      static_cast<int>((v >> 16) & 255));
        out = buf;
    } else {
        // The system colours kept since start-up.
        static const struct {
            const char* name;
            int index;
        } kNames[] = {{"text", 0}, {"face", 1}, {"shadow", 2}, {"hilight", 3}, {"frame", 4}, {"3dlight", 6}};
        for (const auto& n : kNames)
            if (text_equal_nocase(ident_arg(call, 0), n.name))
                out = std::to_string(static_cast<unsigned long>(color_system_colors[n.index]));
    }
    return ident_result(call, 0, out);
}

int id_longip(IdentCall& call)
{
    std::string out;
    number_long_ip(ident_arg(call, 0), out);
    return ident_result(call, 0, out);
}

int id_hash(IdentCall& call)
{
    std::string out;
    const long bits = std::strtol(ident_arg(call, 1).c_str(), nullptr, 10);
    if (!ident_arg(call, 1).empty() && bits >= 2 && bits <= 32)
        out = std::to_string(static_cast<unsigned long>(number_text_hash(ident_arg(call, 0), static_cast<int>(bits))));
    return ident_result(call, 0, out);
}

int id_crc(IdentCall& call)
{
    const std::string& t = ident_arg(call, 0);
    const long mode = ident_arg_count(call) == 2 ? std::strtol(ident_arg(call, 1).c_str(), nullptr, 10) : 2;
    std::uint32_t crc = 0;
    if (mode == 0) {
        crc = crc32_buffer(t.data(), static_cast<std::ptrdiff_t>(t.size()));
    } else if (mode == 1) {
        const BinaryVariable* v = bvar_find(t);
        if (!v)
            return ident_error(call.token, call.work, 6);
        crc = crc32_buffer(v->bytes.data(), static_cast<std::ptrdiff_t>(v->bytes.size()));
    } else {
        std::string name = t;
        text_strip_quotes(name);
        std::string path;
        if (!file_resolve_file_path(name, path))
            return ident_error(call.token, call.work, 6);
        crc = file_is_device(path) ? 0 : crc32_file(path);
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08lX", static_cast<unsigned long>(crc));
    std::string out = buf;
    return ident_result(call, 0, out);
}

int id_bytes(IdentCall& call)
{
    std::string out;
    if (!any_empty(call))
        number_bytes(ident_arg(call, 0), ident_arg_count(call) == 2 ? std::string_view(ident_arg(call, 1)) : "",
                     text_equal_nocase(ident_property(call), "suf"), out);
    return ident_result(call, 0, out);
}

int id_mask(IdentCall& call)
{
    std::string out;
    if (!any_empty(call)) {
        out = ident_arg(call, 0);
        if (!mask_address(out, static_cast<int>(std::strtol(ident_arg(call, 1).c_str(), nullptr, 10)), conn_is_ircx(call.conn())))
            out.clear();
    }
    return ident_result(call, 0, out);
}

int id_plus(IdentCall& call)
{
    const bool first = call.token && call.token->argc == 0;
    const int r = ident_args_range(call, 1, 100000, true);
    // "$+()" names no argument at all: the split gives one empty text.
    if (r == 1 && first && ident_arg_count(call) == 1 && ident_arg(call, 0).empty())
        return ident_error(call.token, call.work, 6);
    if (r >= 0)
        return r;
    std::string out;
    for (int i = 0; i < ident_arg_count(call); ++i) {
        const std::string& a = ident_arg(call, i);
        if (out.size() + a.size() > kLongText)
            return ident_error(call.token, call.work, kTokErrTooLong);
        out += a;
    }
    return ident_result(call, 0, out);
}

// Tests the condition as written in the caller's context: the same
// connection, window, parameters and local variables, one level deeper.
// 1 true, 0 false, -1 the condition could not be tested.
int test_condition(IdentCall& call, const std::string& condition)
{
    TokenList tokens;
    toklist_split(tokens, "(" + condition + ")");
    EvalArgs base = *call.args;
    int failed = 0;
    CondTokenEvaluator evaluate = [&base, &failed](TokenList& group) {
        EvalArgs e = base;
        e.tokens = &group;
        e.in_condition = 1;
        e.command_line = 0;
        e.channel_prefix = 0;
        e.depth = base.depth + 1;
        int res;
        int guard = 0;
        do {
            res = ident_eval_tokens(e);
        } while (res == -1 && ++guard < 200);
        if (res == 0 || res == -1)
            failed = 1;
        return failed ? 0 : 1;
    };
    std::string v1, v2, op;
    int used = 0;
    const int res = cond_run_chain_tokens(tokens, evaluate, call.conn(), v1, v2, &used, &op);
    if (failed || res < 0 || tokens.head)
        return -1;
    if (used && call.args->cond_slot) {
        *call.args->cond_slot = v1;
        call.args->cond_slot->push_back('\0');
        *call.args->cond_slot += v2;
    }
    return res == kCondTrue ? 1 : 0;
}

int id_iif(IdentCall& call)
{
    // The arguments stay as written: only the branch taken is evaluated,
    // after the value is handed back.
    if (call.token->argc == 0 && !ident_split_args(call, kIdentAnyArgs))
        return 0;
    const int n = ident_arg_count(call);
    if (n < 2 || n > 3)
        return ident_error(call.token, call.work, 6);
    // An empty condition is false.
    const int truth = ident_arg(call, 0).empty() ? 0 : test_condition(call, ident_arg(call, 0));
    if (truth < 0)
        return ident_error(call.token, call.work, 3);
    *call.value = truth ? ident_arg(call, 1) : (n == 3 ? ident_arg(call, 2) : std::string());
    ident_finish(call);
    return 3;
}

// Whether the text still holds something to evaluate: a word that begins
// with "#", "$", "%" or "!$", or a last word of one character.
bool still_evaluates(std::string_view text)
{
    std::size_t i = 0;
    std::string_view last;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i == start)
            break;
        const std::string_view w = text.substr(start, i - start);
        if (w[0] == '#' || w[0] == '$' || w[0] == '%' || (w.size() > 1 && w[0] == '!' && w[1] == '$'))
            return true;
        last = w;
    }
    return last.size() == 1;
}

int eval_answer(IdentCall& call, int count, const std::string& last_value)
{
    std::string text;
    for (int i = 0; i < count - 1; ++i) {
        if (i)
            text += ' ';
        text += ident_arg(call, i);
    }
    long n = 1;
    if (count == 1) {
        text = last_value;
    } else if (arg_is_integer(last_value)) {
        n = std::strtol(last_value.c_str(), nullptr, 10);
        if (n < 0)
            n = 0;
    } else {
        if (!text.empty() && !last_value.empty())
            text += ' ';
        text += last_value;
    }
    ident_finish(call);
    if (n > 0 && still_evaluates(text)) {
        *call.value = "$evalnext(" + text + "," + std::to_string(count == 1 ? 0 : n - 1) + ")";
        if (call.value->size() > kLongText + 32)
            return ident_error(call.token, call.work, kTokErrTooLong);
        return 3;
    }
    *call.value = std::move(text);
    return 2;
}

int id_eval(IdentCall& call)
{
    const bool next = text_find_nocase(call.name, "evalnext(") != std::string_view::npos;
    if (next) {
        const int r = ident_args_range(call, 1, 100000, true);
        if (r >= 0)
            return r;
        const int count = ident_arg_count(call);
        return eval_answer(call, count, ident_arg(call, count - 1));
    }
    // Every argument but the last stays as written.
    if (call.token->argc == 0 && !ident_split_args(call, kIdentAnyArgs))
        return 0;
    const int count = ident_arg_count(call);
    std::string last = ident_arg(call, count - 1);
    if (count > 1) {
        std::string value;
        if (!ident_eval_line(*call.args, last, value, call.args->depth + 1))
            return 0;
        last.swap(value);
    }
    return eval_answer(call, count, last);
}

} // namespace

// ---------------------------------------------------------------------------

void number_bit_op(std::string_view word, const std::string& a_text, bool has_b, const std::string& b_text,
                   std::string& out)
{
    const std::uint32_t a = u32_of(a_text);
    const std::uint32_t b = has_b ? u32_of(b_text) : 0;
    // Bit numbers from 1 to 32; any other leaves the value alone.
    const long long bit = has_b ? std::strtoll(b_text.c_str(), nullptr, 10) : 0;
    const bool in_range = bit >= 1 && bit <= 32;
    const std::uint32_t mask = in_range ? (1u << (bit - 1)) : 0u;
    if (word == "and")
        out = u32_text(has_b ? a & b : a);
    else if (word == "or")
        out = u32_text(has_b ? a | b : a);
    else if (word == "xor")
        out = u32_text(has_b ? a ^ b : a);
    else if (word == "not")
        out = u32_text(~a);
    else if (word == "biton")
        out = u32_text(a | mask);
    else if (word == "bitoff")
        out = u32_text(a & ~mask);
    else if (word == "isbit")
        out = (a & mask) ? "1" : "0";
    else
        out.clear();
}

void number_round(const std::string& n_text, bool has_d, const std::string& d_text, std::string& out)
{
    long d = has_d ? std::strtol(d_text.c_str(), nullptr, 10) : 6;
    if (d < 0)
        d = 0;
    if (d > 6)
        d = 6;
    const double v = num_round_places(std::strtod(n_text.c_str(), nullptr), static_cast<int>(d));
    char buf[400];
    if (!std::isfinite(v)) {
        out.clear();
        return;
    }
    std::snprintf(buf, sizeof buf, "%0.6f", v);
    out = buf;
    const std::size_t point = out.find('.');
    if (point != std::string::npos) {
        out.resize(d == 0 ? point : std::min(out.size(), point + 1 + static_cast<std::size_t>(d)));
        num_trim_zeros(out);
    }
    if (out == "-0")
        out = "0";
}

void number_math(std::string_view word, const std::string& n_text, bool degrees, std::string& out)
{
    out.clear();
    const double n = std::strtod(n_text.c_str(), nullptr);
    const double pi = std::strtod(kPi, nullptr);
    if (word == "int") {
        char buf[400];
        if (!std::isfinite(n))
            return;
        std::snprintf(buf, sizeof buf, "%0.6f", n);
        out = buf;
        out.resize(out.find('.'));
        if (out == "-0")
            out = "0";
        return;
    }
    const double in = degrees && (word == "sin" || word == "cos" || word == "tan") ? n / 360.0 * 2.0 * pi : n;
    errno = 0;
    double v;
    if (word == "abs")
        v = std::fabs(in);
    else if (word == "ceil")
        v = std::ceil(in);
    else if (word == "floor")
        v = std::floor(in);
    else if (word == "sqrt")
        v = std::sqrt(in);
    else if (word == "log")
        v = std::log(in);
    else if (word == "sin")
        v = std::sin(in);
    else if (word == "cos")
        v = std::cos(in);
    else if (word == "tan")
        v = std::tan(in);
    else if (word == "asin")
        v = std::asin(in);
    else if (word == "acos")
        v = std::acos(in);
    else if (word == "atan")
        v = std::atan(in);
    else
        return;
    if (degrees && (word == "asin" || word == "acos" || word == "atan"))
        v = v * 180.0 / pi;
    if (errno == EDOM || errno == ERANGE || !std::isfinite(v))
        return;
    out = calc_format_number(v);
}

void number_random(const std::string& a_text, const std::string& b_text, std::string& out)
{
    out.clear();
    if (a_text.empty() || b_text.empty())
        return;
    const bool da = starts_with_digit(a_text), db = starts_with_digit(b_text);
    if (da != db)
        return;
    double a, b;
    if (da) {
        a = std::round(std::strtod(a_text.c_str(), nullptr));
        b = std::round(std::strtod(b_text.c_str(), nullptr));
    } else {
        a = static_cast<unsigned char>(a_text[0]);
        b = static_cast<unsigned char>(b_text[0]);
    }
    if (a > b)
        std::swap(a, b);
    const double v = a == b ? a : a + std::fmod(rng_next(), b - a + 1);
    if (da) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%0.0f", v);
        out = buf;
    } else {
        out.push_back(static_cast<char>(static_cast<int>(v)));
    }
}

void number_long_ip(const std::string& x, std::string& out)
{
    out.clear();
    if (!starts_with_digit(x))
        return;
    if (x.find('.') == std::string::npos) {
        const double v = static_cast<double>(std::strtoull(x.c_str(), nullptr, 10) & 0xffffffffull);
        ip_long_to_text(v, out, 0);
        return;
    }
    // Each dotted part loses its leading zeros, so "010" is ten.
    std::string clean;
    std::size_t i = 0;
    while (i <= x.size()) {
        std::size_t end = x.find('.', i);
        if (end == std::string::npos)
            end = x.size();
        std::string_view part = std::string_view(x).substr(i, end - i);
        while (part.size() > 1 && part[0] == '0')
            part.remove_prefix(1);
        if (!clean.empty() || i > 0)
            clean += '.';
        clean += part;
        i = end + 1;
    }
    in_addr addr{};
    if (inet_pton(AF_INET, clean.c_str(), &addr) != 1)
        return;
    out = std::to_string(static_cast<unsigned long>(ntohl(addr.s_addr)));
}

std::uint32_t number_text_hash(std::string_view t, int bits)
{
    std::uint32_t h = 0;
    for (char ch : t) {
        const std::uint32_t c = static_cast<unsigned char>(ch);
        h = (h + (h >> 24) + c) << 8;
    }
    for (int k = 0; k < 32 - bits; ++k)
        h = (h >> 1) + (h & 1u);
    const std::uint32_t mask = bits >= 32 ? 0xffffffffu : ((1u << bits) - 1u);
    return h & mask;
}

void number_bytes(const std::string& n_text, std::string_view switches, bool suffix, std::string& out)
{
    int unit = 0;
    bool three = false, six = false;
    if (switches.find_first_of("tT") != std::string_view::npos)
        unit = 5;
    else if (switches.find_first_of("gG") != std::string_view::npos)
        unit = 4;
    else if (switches.find_first_of("mM") != std::string_view::npos)
        unit = 3;
    else if (switches.find_first_of("kK") != std::string_view::npos)
        unit = 2;
    else if (switches.find_first_of("bB") != std::string_view::npos)
        unit = 1;
    if (switches.find('3') != std::string_view::npos)
        three = true;
    if (switches.find_first_of("dD") != std::string_view::npos)
        six = true;
    num_format_bytes(std::strtod(n_text.c_str(), nullptr), out, suffix ? 1 : 0, three ? 1 : 0, unit, 0,
                     six ? 1 : 0);
}

void number_identifiers_register()
{
    static const struct {
        const char* family;
        IdentHandler handler;
    } kFamilies[] = {
        {"id_bitop", id_bitop}, {"id_round", id_round}, {"id_math", id_math},   {"id_rand", id_rand},
        {"id_rgb", id_rgb},     {"id_longip", id_longip}, {"id_hash", id_hash}, {"id_crc", id_crc},
        {"id_bytes", id_bytes}, {"id_mask", id_mask},   {"id_plus", id_plus},   {"id_iif", id_iif},
        {"id_eval", id_eval},
    };
    for (const auto& f : kFamilies)
        ident_register_family(f.family, f.handler);
}
