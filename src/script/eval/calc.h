// The arithmetic evaluator behind $calc: a lexer that cuts an expression
// into lexemes, a recursive-descent parser over doubles with the script
// language's precedence, the program-wide math-error flag, and the number
// formatting every numeric identifier shares ("%0.6f" with trailing zeros
// removed).
//
// Floating-point faults are not trapped by a signal handler: every
// intermediate value is tested with std::isfinite and the <cfenv> flags, and
// a fault sets calc_math_error, which makes the computation give up.
#pragma once

#include <string>
#include <string_view>

struct Connection;

// ---------------------------------------------------------------------------
// Math-error flag.

// Set by calc_math_check when a value is not finite or the floating-point
// environment reports an invalid operation, a division by zero or an
// overflow. Cleared by calc_math_error_clear. The base converter shares it.
extern int calc_math_error;

// Clears the flag and the floating-point exception flags.
void calc_math_error_clear();

// Tests a value that a computation has just produced (and the floating-point
// exception flags raised since the last clear); sets calc_math_error on a
// fault. Returns the flag.
int calc_math_check(double value);

// ---------------------------------------------------------------------------
// Lexer.

// Lexeme types.
constexpr int kCalcLexOther = 0;    // anything else, including an operator not followed by a blank
constexpr int kCalcLexName = 1;     // an identifier ("$...") or a variable ("%...")
constexpr int kCalcLexOperator = 2; // an operator followed by a blank, or a parenthesis
constexpr int kCalcLexNumber = 3;   // a run of digits and points

// Takes the next lexeme off the front of `text` (leading blanks skipped),
// writes it to `lexeme` and its type to `type`, and returns the type. An
// empty lexeme means the text is used up.
int calc_lex(std::string_view& text, std::string& lexeme, int& type);

// ---------------------------------------------------------------------------
// Parser.

// Deepest nesting of parentheses (and of signs before a parenthesis) that the
// parser follows; a deeper expression fails like an unbalanced one.
constexpr int kCalcMaxNesting = 500;

// Evaluates the sum at the front of `text` into `result`. `lexeme` is the
// parser's lexeme buffer. Returns 1 on success, 0 on failure (division or
// remainder by zero, "()", a missing ")", nesting past kCalcMaxNesting).
// Text after a complete sum is ignored. The caller clears and then tests
// calc_math_error around the call.
int calc_parse(std::string_view text, std::string& lexeme, double& result, Connection* conn);


// ---------------------------------------------------------------------------
// Numbers.

// Reads a decimal real as the standard conversion does (leading white space,
// a sign, digits with a point, an exponent; the rest ignored), always with
// "." as the point whatever the process locale. Hexadecimal, "inf" and "nan"
// forms and a text without a number read as 0. A value too small for a
// double reads as 0; one too large reads as infinite and sets *overflow.
double calc_read_real(std::string_view text, bool* overflow = nullptr);

// An integer as the standard integer conversion reads it: leading blanks, an
// optional sign, digits; the rest ignored; no digits give 0. Held at the
// limits of an int.
int calc_read_int(std::string_view text);

// 1 when the text is a number: an optional sign, then digits with at most
// one ".", at least one digit.
int calc_is_number(std::string_view text);

// calc_is_number and, when it is one, calc_read_real of the text into
// *value, in one pass for the common whole numbers.
int calc_number_value(std::string_view text, double* value);

// ---------------------------------------------------------------------------
// Formatting.

// Prints the value with six decimals; when the text holds a "." and no "+",
// trailing zeros and then a trailing "." are removed; "-0" and "+0" become
// "0". A value that cannot be printed (not finite) gives "0".
std::string calc_format_number(double value);

// Removes trailing fraction zeros and then a bare point from a printed
// number (unless it holds "+" or no "."), and turns "+0" and "-0" into "0".
void calc_trim_zeros(std::string& text);

// ---------------------------------------------------------------------------
// Whole computations.

// Computes an expression whose identifiers and variables are already
// replaced by their values (or are read from the variable store): lexes it,
// joins the lexemes with single blanks, parses and formats. Failures and
// expressions longer than 4150 characters give "0".
std::string calc_compute(std::string_view expression, Connection* conn);

// Computes an expression into a double. Returns 1 on success (the value is
// finite), 0 on any failure.
int calc_compute_value(std::string_view expression, Connection* conn, double& value);

// ---------------------------------------------------------------------------
// Registers the $calc identifier handler.
void calc_register();
