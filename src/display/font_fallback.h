// Font fallback: characters that a window's font cannot draw are drawn by
// the toolkit in another font that has them. This part keeps the setting
// (section [language] "linking", on by default) and the run search: with
// the setting off, fonts do not fall back and missing characters show as
// the font's replacement glyph.
#pragma once

#include <string_view>

class QFont;

// The setting, read from the main settings file on first use.
int fontlink_option();
// Sets it for the run (the options page writes the settings file).
void fontlink_set_option(int on);
// Makes the font fall back, or not, as the setting says.
void fontlink_apply(QFont& font);

// The length of the longest run at the start of the text that one font
// draws: the base font's own characters, or a stretch of characters it
// lacks (which the toolkit draws with a fallback font). A blank joins the
// run it stands in. 0 with the setting off or for an empty text.
int fontlink_next_run(const QFont& base, std::u16string_view text);
