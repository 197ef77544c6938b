// The arithmetic evaluator behind $calc.
#include "script/eval/calc.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cfenv>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <system_error>

#include "core/numbered_texts.h"
#include "core/text_limits.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

int calc_math_error = 0;

namespace {

// A variable left in an expression (a lexeme of type 1 beginning with "%"),
// read from the global variable store: 1 with its value, 0 when it does not
// exist (the value then counts as 0).
int store_variable(std::string_view name, std::string& value, Connection*)
{
    return var_find(name, &value, nullptr) ? 1 : 0;
}

constexpr int kFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// calc_read_real; a value too large for a double sets the math-error flag.
double read_decimal(std::string_view text)
{
    bool overflow = false;
    const double value = calc_read_real(text, &overflow);
    if (overflow)
        calc_math_error = 1;
    return value;
}

} // namespace

double calc_read_real(std::string_view text, bool* overflow)
{
    if (overflow)
        *overflow = false;
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    std::size_t body = pos;
    if (body < text.size() && (text[body] == '+' || text[body] == '-'))
        ++body;
    if (body >= text.size() || !(is_digit(text[body]) || text[body] == '.'))
        return 0.0;
    // A plain whole number of up to 15 digits (counters, comparisons) is
    // exact in a double: read it without the library conversion.
    if (text.size() - body <= 15) {
        std::size_t k = body;
        std::int64_t whole = 0;
        while (k < text.size() && is_digit(text[k]))
            whole = whole * 10 + (text[k++] - '0');
        if (k == text.size() && k > body) {
            const double v = static_cast<double>(whole);
            return text[pos] == '-' ? -v : v;
        }
    }
    std::size_t end = body;
    if (text.size() - body >= 2 && text[body] == '0' && (text[body + 1] == 'x' || text[body + 1] == 'X'))
        end = body + 1; // only the "0" of a hexadecimal form
    else
        end = text.size();
    const std::string copy(text.substr(pos, std::min(end - pos, kLongText + 1)));
    errno = 0;
    const double value = c_locale ? strtod_l(copy.c_str(), nullptr, c_locale) : std::strtod(copy.c_str(), nullptr);
    if (errno == ERANGE) {
        if (std::fabs(value) > 1.0) {
            if (overflow)
                *overflow = true;
            return value;
        }
        return 0.0;
    }
    return value;
}

namespace {

int lex_view(std::string_view& text, std::string_view& lexeme);

// The grammar functions share the current lexeme (a view into the text) and
// its type.
struct CalcParser {
    std::string_view rest;
    std::string_view lexeme;
    int type = 0;
    Connection* conn = nullptr;
    int depth = 0;

    void next() { type = lex_view(rest, lexeme); }
    bool is(char c) const { return lexeme.size() == 1 && lexeme[0] == c; }

    bool operand_ok(double value) { return calc_math_check(value) == 0; }

    // primary: "(" sum ")" | number | variable | anything else (0, not consumed).
    bool primary(double& value)
    {
        if (is('(')) {
            if (++depth > kCalcMaxNesting)
                return false;
            next();
            if (is(')'))
                return false; // "()"
            if (!sum(value))
                return false;
            if (!is(')'))
                return false; // missing ")"
            --depth;
            next();
        } else if (type == kCalcLexNumber) {
            value = read_decimal(lexeme);
            next();
        } else if (type == kCalcLexName && !lexeme.empty() && lexeme[0] == '%') {
            std::string text;
            value = 0.0;
            if (store_variable(lexeme, text, conn))
                value = read_decimal(text);
            next();
        } else {
            value = 0.0;
        }
        return operand_ok(value);
    }

    // signed: [ "+" | "-" ] primary. The sign binds tighter than "^".
    bool signed_value(double& value)
    {
        bool negate = false;
        if (is('+') || is('-')) {
            negate = is('-');
            next();
        }
        if (!primary(value))
            return false;
        if (negate)
            value = -value;
        return true;
    }

    // power: signed { "^" [ "+" | "-" ] primary }
    bool power(double& value)
    {
        if (!signed_value(value))
            return false;
        while (is('^')) {
            next();
            bool negate = false;
            if (is('+') || is('-')) {
                negate = is('-');
                next();
            }
            double exponent = 0.0;
            if (!primary(exponent))
                return false;
            if (negate)
                exponent = -exponent;
            value = std::pow(value, exponent);
            if (!operand_ok(value))
                return false;
        }
        return true;
    }

    // term: power { ("*" | "/" | "%") power }
    bool term(double& value)
    {
        if (!power(value))
            return false;
        while (is('*') || is('/') || is('%')) {
            const char op = lexeme[0];
            next();
            double right = 0.0;
            if (!power(right))
                return false;
            if (op == '*') {
                value *= right;
            } else {
                if (right == 0.0)
                    return false;
                value = op == '/' ? value / right : std::fmod(value, right);
            }
            if (!operand_ok(value))
                return false;
        }
        return true;
    }

    // sum: term { ("+" | "-") term }
    bool sum(double& value)
    {
        if (!term(value))
            return false;
        while (is('+') || is('-')) {
            const char op = lexeme[0];
            next();
            double right = 0.0;
            if (!term(right))
                return false;
            value = op == '+' ? value + right : value - right;
            if (!operand_ok(value))
                return false;
        }
        return true;
    }
};

} // namespace

void calc_math_error_clear()
{
    calc_math_error = 0;
    std::feclearexcept(FE_ALL_EXCEPT);
}

int calc_math_check(double value)
{
    if (!std::isfinite(value) || std::fetestexcept(kFaultFlags))
        calc_math_error = 1;
    return calc_math_error;
}

namespace {

// calc_lex with the lexeme as a view into the text.
int lex_view(std::string_view& text, std::string_view& lexeme)
{
    lexeme = {};
    int type = kCalcLexOther;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    if (i == n) {
        text = text.substr(n);
        return type;
    }
    const std::size_t start = i;
    const char c = text[i];
    std::size_t end = i + 1;
    switch (c) {
    case '$': {
        int level = 0;
        std::size_t j = i;
        while (j < n) {
            const char ch = text[j];
            if (ch == ' ' && level == 0)
                break;
            if (ch == '(') {
                ++level;
            } else if (ch == ')') {
                if (level == 0)
                    break; // closes a level opened before the name: not taken
                if (--level == 0) {
                    ++j;
                    if (j < n && text[j] == '.') {
                        while (j < n && text[j] != ' ')
                            ++j;
                    }
                    break;
                }
            }
            ++j;
        }
        end = j;
        type = kCalcLexName;
        break;
    }
    case '%':
        if (i + 1 < n && text[i + 1] == ' ') {
            type = kCalcLexOperator;
        } else {
            std::size_t j = i + 1;
            while (j < n && text[j] != ' ' && text[j] != ')')
                ++j;
            end = j;
            type = kCalcLexName;
        }
        break;
    case '(':
    case ')':
        type = kCalcLexOperator;
        break;
    case '*':
    case '+':
    case '-':
    case '/':
    case '^':
        type = (i + 1 < n && text[i + 1] == ' ') ? kCalcLexOperator : kCalcLexOther;
        break;
    default:
        if (c == '.' || is_digit(c)) {
            std::size_t j = i;
            while (j < n && (text[j] == '.' || is_digit(text[j])))
                ++j;
            end = j;
            type = kCalcLexNumber;
        }
        break;
    }
    lexeme = text.substr(start, end - start);
    text = text.substr(end);
    return type;
}

} // namespace

int calc_lex(std::string_view& text, std::string& lexeme, int& type)
{
    std::string_view view;
    type = lex_view(text, view);
    lexeme.assign(view);
    return type;
}

int calc_parse(std::string_view text, std::string& lexeme, double& result, Connection* conn)
{
    CalcParser parser{text, {}, kCalcLexOther, conn, 0};
    parser.next();
    double value = 0.0;
    const bool ok = parser.sum(value);
    lexeme.assign(parser.lexeme);
    if (!ok)
        return 0;
    result = value;
    return 1;
}

void calc_trim_zeros(std::string& text)
{
    if (text.find('+') == std::string::npos && text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    if (text == "+0" || text == "-0")
        text = "0";
}

std::string calc_format_number(double value)
{
    if (!std::isfinite(value))
        return "0";
    char buf[400];
    char* end = nullptr;
    const bool whole = value == std::trunc(value) && std::fabs(value) < 1e15;
    if (whole && !(value == 0 && std::signbit(value))) {
        // A whole number (most results) prints as its digits and six zeros:
        // the same text, without the general conversion.
        const auto res = std::to_chars(buf, buf + 32, static_cast<long long>(value));
        std::memcpy(res.ptr, ".000000", 7);
        end = res.ptr + 7;
    } else {
        const auto [ptr, ec] =
            std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
        if (ec != std::errc())
            return "0";
        end = ptr;
    }
    std::string text(buf, end);
    calc_trim_zeros(text);
    return text;
}

int calc_compute_value(std::string_view expression, Connection* conn, double& value)
{
    if (expression.size() > kLongText)
        return 0;
    // Re-lex and join with single blanks, as the identifier does with the
    // evaluated lexemes.
    std::string joined;
    std::string lexeme;
    int type = 0;
    std::string_view rest = expression;
    for (;;) {
        calc_lex(rest, lexeme, type);
        if (lexeme.empty())
            break;
        if (!joined.empty())
            joined.push_back(' ');
        joined += lexeme;
        if (joined.size() > kLongText)
            return 0;
    }
    if (joined.empty())
        return 0;
    calc_math_error_clear();
    double result = 0.0;
    if (!calc_parse(joined, lexeme, result, conn) || calc_math_error || !std::isfinite(result))
        return 0;
    value = result;
    return 1;
}

std::string calc_compute(std::string_view expression, Connection* conn)
{
    double value = 0.0;
    if (!calc_compute_value(expression, conn, value))
        return "0";
    return calc_format_number(value);
}

int calc_is_number(std::string_view text)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    bool digits = false;
    bool point = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (is_digit(c))
            digits = true;
        else if (c == '.' && !point)
            point = true;
        else
            return 0;
    }
    return digits ? 1 : 0;
}

int calc_number_value(std::string_view text, double* value)
{
    // An optional sign and up to 15 digits: exact in a double.
    std::size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-'))
        pos = 1;
    if (pos < text.size() && text.size() - pos <= 15) {
        std::int64_t whole = 0;
        std::size_t k = pos;
        while (k < text.size() && is_digit(text[k]))
            whole = whole * 10 + (text[k++] - '0');
        if (k == text.size()) {
            const double v = static_cast<double>(whole);
            *value = negative ? -v : v;
            return 1;
        }
    }
    if (!calc_is_number(text))
        return 0;
    *value = calc_read_real(text);
    return 1;
}

int calc_read_int(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long value = 0;
    for (; pos < text.size() && is_digit(text[pos]); ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// ---------------------------------------------------------------------------
// The $calc identifier.

namespace {

// First call: the expression is cut into lexemes, each inserted as an
// argument token after the identifier (names raw, so that the evaluator
// replaces identifiers and variables; everything else final). Later calls:
// once every lexeme is final, the values are joined with single blanks and
// computed.
int id_calc(IdentCall& call)
{
    EvalToken* self = call.token;
    if (!self || !call.list)
        return 0;
    if (self->argc == 0) {
        if (!ident_split_args(call, 1))
            return 0;
        const std::string expression = ident_arg(call, 0);
        while (self->argc > 0 && self->next) {
            toklist_remove(*call.list, self->next);
            --self->argc;
        }
        self->argc = 0;
        std::string_view rest = expression;
        std::string_view lexeme;
        EvalToken* last = self;
        int count = 0;
        for (;;) {
            const int type = lex_view(rest, lexeme);
            if (lexeme.empty())
                break;
            EvalToken* tok = toklist_new_token(*call.list, lexeme);
            if (!tok)
                break;
            tok->state = type == kCalcLexName ? kTokRaw : kTokFinal;
            toklist_insert_after(*call.list, last, tok);
            last = tok;
            ++count;
        }
        if (count == 0) {
            std::string message;
            text_load_string(1101, &message);
            return script_error(nullptr, message, "", 6);
        }
        last->flags |= kTokLastArg;
        self->argc = count;
        return 1;
    }
    if (ident_args_ready(self) == 1)
        return 1;

    std::string joined;
    bool too_long = false;
    const EvalToken* tok = self->next;
    for (int i = 0; i < self->argc && tok; ++i, tok = tok->next) {
        if ((tok->flags & kTokEmpty) || tok->text.empty())
            continue;
        if (joined.size() + 1 + tok->text.size() > kLongText) {
            too_long = true;
            break;
        }
        if (!joined.empty())
            joined.push_back(' ');
        joined += tok->text;
    }
    std::string value = "0";
    if (!too_long && !joined.empty()) {
        calc_math_error_clear();
        double result = 0.0;
        std::string lexeme;
        if (calc_parse(joined, lexeme, result, call.conn()) && !calc_math_error)
            value = calc_format_number(result);
    }
    *call.value = std::move(value);
    return ident_finish(call);
}

} // namespace

void calc_register()
{
    ident_register_family("id_calc", id_calc);
}
