// $bvar and $bfind.
#include <cstdlib>
#include <string>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "identifiers/store_identifiers.h"
#include "script/stores/binary_vars.h"

namespace {

constexpr int kInvalid = 6;
constexpr int kTooLong = 9;

bool digits_and_blanks(std::string_view text)
{
    for (char c : text)
        if (!(c >= '0' && c <= '9') && c != ' ')
            return false;
    return true;
}

}  // namespace

// $bvar(&name, N [, M]), $bvar(&name, N-M) and $bvar(&name, N-)
int id_bvar(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int argc = ident_arg_count(call);
    if (argc < 2 || argc > 3)
        return ident_error(call.token, call.work, kInvalid);
    const std::string prop = text_lower_copy(ident_property(call));
    BinaryVariable* v = bvar_find(ident_arg(call, 0));
    const std::string& pos_text = ident_arg(call, 1);
    const long long n = std::strtoll(pos_text.c_str(), nullptr, 10);
    const std::size_t dash = pos_text.find('-', pos_text.empty() ? 0 : 1);
    std::string& out = *call.value;
    out.clear();
    if (argc == 2 && dash == std::string::npos) {
        if (n < 1) {
            out = v ? std::to_string(v->bytes.size()) : "0";
            return ident_finish(call);
        }
        if (!v || static_cast<std::size_t>(n) > v->bytes.size())
            return ident_finish(call);
        const auto at = [&](long long p) { return static_cast<unsigned char>(v->bytes[static_cast<std::size_t>(p - 1)]); };
        const long long len = static_cast<long long>(v->bytes.size());
        if (prop == "text") {
            if (at(n))
                out.assign(1, static_cast<char>(at(n)));
        } else if (prop == "word" || prop == "nword") {
            if (n + 1 <= len)
                out = std::to_string(prop == "word" ? at(n) | (at(n + 1) << 8) : (at(n) << 8) | at(n + 1));
        } else if (prop == "long" || prop == "nlong") {
            if (n + 3 <= len) {
                unsigned long x = 0;
                for (int k = 0; k < 4; ++k)
                    x |= static_cast<unsigned long>(at(prop == "long" ? n + k : n + 3 - k)) << (8 * k);
                out = std::to_string(x);
            }
        } else {
            out = std::to_string(at(n));
        }
        return ident_finish(call);
    }
    if (!v)
        return ident_error(call.token, call.work, kInvalid);
    long long first = n, count = 0;
    const long long len = static_cast<long long>(v->bytes.size());
    if (argc == 3) {
        count = std::strtoll(ident_arg(call, 2).c_str(), nullptr, 10);
    } else {
        const std::string end_text = pos_text.substr(dash + 1);
        const long long last = end_text.empty() ? len : std::strtoll(end_text.c_str(), nullptr, 10);
        if (last < 1)
            return ident_finish(call);
        count = last - first + 1;
    }
    if (count < 1 || first < 1)
        return ident_finish(call);
    const long long stop = std::min(len, first + count - 1);
    const bool text = prop == "text";
    for (long long p = first; p <= stop; ++p) {
        const unsigned char b = static_cast<unsigned char>(v->bytes[static_cast<std::size_t>(p - 1)]);
        if (text) {
            if (!b)
                break;
            out.push_back(static_cast<char>(b));
        } else {
            if (!out.empty())
                out.push_back(' ');
            out += std::to_string(b);
        }
        if (out.size() >= kLongText) {
            out.clear();
            return ident_error(call.token, call.work, kTooLong);
        }
    }
    return ident_finish(call);
}

// $bfind(&name, N, M)
int id_bfind(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    std::string& out = *call.value;
    out.clear();
    if (ident_arg_count(call) < 3)
        return ident_finish(call);
    BinaryVariable* v = bvar_find(ident_arg(call, 0));
    if (!v)
        return ident_error(call.token, call.work, kInvalid);
    long long n = std::strtoll(ident_arg(call, 1).c_str(), nullptr, 10);
    if (n < 1)
        n = 1;
    const std::string& m = ident_arg(call, 2);
    const std::string& bytes = v->bytes;
    out.assign(1, '0');
    if (static_cast<std::size_t>(n) > bytes.size() || m.empty())
        return ident_finish(call);
    const bool textual = text_equal_nocase(ident_property(call), "text") || !digits_and_blanks(m);
    std::string needle;
    if (textual) {
        needle = text_lower_copy(m);
    } else {
        std::size_t p = 0;
        while (p < m.size()) {
            while (p < m.size() && m[p] == ' ')
                ++p;
            if (p >= m.size())
                break;
            needle.push_back(static_cast<char>(std::strtol(m.c_str() + p, nullptr, 10) & 0xff));
            while (p < m.size() && m[p] != ' ')
                ++p;
        }
    }
    if (needle.empty())
        return ident_finish(call);
    for (std::size_t start = static_cast<std::size_t>(n - 1); start + needle.size() <= bytes.size(); ++start) {
        std::size_t k = 0;
        for (; k < needle.size(); ++k) {
            char b = bytes[start + k];
            if (textual)
                b = text_lower_char(b);
            if (b != needle[k])
                break;
        }
        if (k == needle.size()) {
            out = std::to_string(start + 1);
            break;
        }
    }
    return ident_finish(call);
}
