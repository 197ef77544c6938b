// The text identifiers: cutting and measuring ($len, $left, $right, $mid,
// $str, $pos, $count), changing ($remove, $replace, $replacex, $upper,
// $lower, $qt, $noqt, $strip) and characters ($asc, $chr, $ord, $isupper,
// $islower). Positions are 1-based and count bytes. The rules are plain
// functions of texts so that the handlers stay thin; every one writes its
// result into out (cleared first) and, where a result can grow, returns 0 or
// the identifier error 9 when it would pass the long text size.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/exec/script_types.h"

void text_left(std::string_view t, std::string_view n, std::string& out);
void text_right(std::string_view t, std::string_view n, std::string& out);
void text_mid(std::string_view t, std::string_view s, bool has_len, std::string_view l, std::string& out);
int text_repeat(std::string_view t, std::string_view n, std::string& out);
// Two-argument form (has_n false): the first position of s; with n: the
// position of the n-th occurrence (no overlap) or, for n <= 0, their number.
void text_position(std::string_view t, std::string_view s, bool has_n, std::string_view n, bool cs,
                   std::string& out);
// args: T, S1, S2 ...
void text_count(const std::vector<std::string_view>& args, bool cs, std::string& out);
void text_remove_all(const std::vector<std::string_view>& args, bool cs, std::string& out);
// args: T, S1, R1, S2, R2 ... Pairs one after the other.
int text_replace_each(const std::vector<std::string_view>& args, bool cs, std::string& out);
// The same pairs in one left-to-right pass; inserted text is never rescanned.
int text_replace_at_once(const std::vector<std::string_view>& args, bool cs, std::string& out);
// The text followed by its English ordinal suffix when it ends in a digit.
void text_ordinal(std::string_view n, std::string& out);
// $strip: control codes removed (by the switch letters when given), then
// the leading blanks.
void text_strip_for_script(std::string_view t, bool has_switches, std::string_view switches,
                           std::string& out);

// $notags: the text without the speech character's tags ("\spd=N\",
// "\pit=", "\vol=", "\pau=", "\chr=", "\ctx=" with their values,
// "\emp\", "\rst\").
void text_strip_speech_tags(std::string_view t, std::string& out);

// Registers the handlers (called from builtin_identifiers_install).
void text_identifiers_register();
