// Controls of the options pages that hold one option-line value as they
// stand: a check box for a yes/no position (or one bit of a position, or a
// position stored inverted), a number field for a numeric position with
// its lower and upper bound. One table per page; the page fills and reads
// them in one call each.
#pragma once

#include <cstddef>

class QWidget;

struct OptionBinding {
    int control;
    int line;      // "n0" .. "n8"
    int position;  // counted from 0
    int bit = 0;   // 0 the whole value; else the bit this box sets
    bool inverted = false;  // the position holds 1 when the box is cleared
    bool number = false;    // a number field, not a box
    int low = 0;            // a number's bounds on OK (out of range: the bound)
    int high = 1000000000;
};

void option_bindings_fill(QWidget* page, const OptionBinding* table, std::size_t count);
void option_bindings_apply(QWidget* page, const OptionBinding* table, std::size_t count);

template <std::size_t N>
void option_bindings_fill(QWidget* page, const OptionBinding (&table)[N])
{
    option_bindings_fill(page, table, N);
}

template <std::size_t N>
void option_bindings_apply(QWidget* page, const OptionBinding (&table)[N])
{
    option_bindings_apply(page, table, N);
}
