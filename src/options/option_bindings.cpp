#include "options/option_bindings.h"

#include <string>

#include "core/options.h"
#include "options/dialog_opener.h"
#include "options/page_rules.h"
#include "platform/platform_utils.h"

void option_bindings_fill(QWidget* page, const OptionBinding* table, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const OptionBinding& b = table[i];
        const int v = option_value(b.line, b.position, 0);
        if (b.number)
            dlg_set_text(page, b.control, std::to_string(v));
        else if (b.bit)
            dlg_set_checked(page, b.control, (v & b.bit) ? 1 : 0);
        else
            dlg_set_checked(page, b.control, b.inverted ? v == 0 : v != 0);
    }
}

void option_bindings_apply(QWidget* page, const OptionBinding* table, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const OptionBinding& b = table[i];
        if (b.number) {
            long long v = page_number(dlg_text(page, b.control));
            if (v < b.low)
                v = b.low;
            if (v > b.high)
                v = b.high;
            option_set_value(b.line, b.position, static_cast<int>(v));
            continue;
        }
        const int on = dlg_checked(page, b.control) ? 1 : 0;
        if (b.bit) {
            int v = option_value(b.line, b.position, 0);
            v = on ? (v | b.bit) : (v & ~b.bit);
            option_set_value(b.line, b.position, v);
        } else {
            option_set_value(b.line, b.position, b.inverted ? !on : on);
        }
    }
}
