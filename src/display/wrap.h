// Line wrapping: the measurer that finds how much of a formatted text fits
// in a width, the rules that choose where a display part ends, the cutting
// of a printed line into its parts, and the re-wrap that cuts a printed
// line again when the text area's width or the font's character width
// changed.
//
// Measuring goes through a TextMeasurer: the window's font on screen, or a
// measurer of one's own (tests use one of fixed width).
#pragma once

#include <QFont>
#include <QFontMetrics>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/line_buffer.h"

struct WindowRecord;
struct StringNode;

// ---- Measurers ----

class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    // Width in pixels of a run of bytes (decoded as UTF-8 when utf8 is set)
    // in the given weight (400 or 700), underlined or not.
    virtual int run_width(std::string_view run, int utf8, int weight, int underline) = 0;
    // Height of a visual line.
    virtual int line_height() = 0;
    // The font's own weight (400 or 700); bold toggles it.
    virtual int base_weight() = 0;
};

// Measures in a font, decoding non-UTF-8 bytes from a code page.
class FontMeasurer : public TextMeasurer {
public:
    FontMeasurer(const QFont& font, int codepage);
    int run_width(std::string_view run, int utf8, int weight, int underline) override;
    int line_height() override;
    int base_weight() override { return base_weight_; }
    const QFontMetrics& metrics(int weight, int underline);

private:
    QFont font_;
    int codepage_ = 0;
    int base_weight_ = 400;
    std::optional<QFontMetrics> metrics_[2][2];
    // Advances of the printable ASCII characters, by variant (bold 2,
    // underline 1); -1 until measured.
    std::optional<QFontMetricsF> metrics_f_[4];
    std::array<qreal, 95> ascii_[4];
};

// The measurer every cut uses instead of the window's font while set (tests).
extern TextMeasurer* wrap_measurer_override;

// The measurer for a window: the override when set, else one for the
// window's font (made when the window has none yet). The measurers of the
// last eight fonts are kept; use the reference before asking again.
TextMeasurer& wrap_measurer_for(WindowRecord* rec);

// ---- Measuring ----

// The format kept across the parts of one printed line while measuring.
struct WrapState {
    int bold = 0;
    int underline = 0;
    int reverse = 0;
    int weight = 0;   // the weight in use at the end (flag 0x80)
};

// The weight a run is measured in: bold toggles the base weight (400
// becomes 700, anything else 400).
int wrap_run_weight(int base_weight, int bold);

// Flags of line_measure_wrap.
constexpr int kMeasureWidth = 0x01;
constexpr int kMeasureHeight = 0x02;
constexpr int kMeasureNoCodes = 0x04;
constexpr int kMeasureFullWidth = 0x08;
constexpr int kMeasureCrLf = 0x40;
constexpr int kMeasureWeight = 0x80;

// Walks the text as it is painted (from x = 2, codes ending runs, bold and
// underline changing the font, custom windows' tabs) and returns the fit:
// the number of leading bytes that fit before right_edge - 2 (the whole
// length when all fits). A run that does not fit is narrowed by halving; in
// UTF-8 mode a count never ends inside a character or before a combining
// mark, in multibyte mode never on a lead byte. With flag 1 the width, 2 the
// height (both: width low and height high 16 bits) is returned instead.
// `rec` gives the window type and tab stops (may be null). The state is
// updated to the format at the fit.
int line_measure_wrap(std::string_view text, int utf8, int multibyte, TextMeasurer& measurer,
                      int right_edge, const WindowRecord* rec, WrapState& state, int flags);

// ---- Choosing a cut ----

// Where a part of the text ends, given the fit: a blank or tab in the last
// quarter of what fits ends it (the blank stays on this part), otherwise the
// cut is hard just before the last byte that fits; a colour code is never
// split, nor a UTF-8 character or a combining mark from its letter, nor a
// double-byte character. `bold`, when given, is flipped for each 0x02
// between a blank found and the fit. At least 1 (for a non-empty text).
int wrap_choose_cut(std::string_view text, int fit, int utf8, int multibyte, int* bold);

// ---- Cutting a printed line ----

struct WrapInput {
    std::string_view text;    // the printed line, its prefix (timestamp and blank) first
    int prefix = 0;           // the prefix's length
    int wrap_mode = 0;        // N > 0: cut after N characters; otherwise measured
    int indent = 0;           // continuation indent in blanks (at most 1,024)
    int utf8 = 0;
    int multibyte = 0;
    int width = 0;            // the text area's width in pixels
    const WindowRecord* rec = nullptr; // window type and tab stops
    TextMeasurer* measurer = nullptr;  // required unless wrap_mode > 0
};

// Cuts the text into display parts. A continuation indent that leaves no
// room for text shrinks one blank at a time (the shrunken value is used for
// the rest of the line and returned in *indent_out when given). A text
// area too narrow to hold anything does not cut. An empty text gives one
// empty part.
void wrap_cut_line(const WrapInput& in, std::vector<WrapPart>& parts, int* indent_out = nullptr);

// ---- Re-wrapping ----

// 1 when the display line was cut for another width or character width.
int line_is_stale(const StringNode* line, int width, int char_width);

// Cuts the printed line that the display line belongs to again for the
// width: its parts are joined (continuation indents dropped) and cut anew
// in their place with their serial, wrap mode, indent and prefix. Returns
// the last new part, or null when the line is not in the window's buffer.
StringNode* line_rewrap(WindowRecord* rec, StringNode* line, int width);

// Re-cuts every printed line of the window whose cached widths are stale;
// 1 when anything was re-cut.
int win_rewrap_lines(WindowRecord* rec, int width);

// The width lines are cut for: the text area's width less the scroll bar
// (0 without a text area).
int wrap_area_width(WindowRecord* rec);
