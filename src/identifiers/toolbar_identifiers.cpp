// $toolbar(N|name): a button's position, or one of its properties.
#include "identifiers/toolbar_identifiers.h"

#include <cstdlib>
#include <string>

#include "bars/toolbar_buttons.h"
#include "core/text_buffer.h"
#include "script/exec/script_types.h"

int toolbar_ident_value(std::string_view arg, std::string_view property, std::string* out)
{
    out->clear();
    int index = -1;
    if (!arg.empty() && text_is_digits(arg)) {
        if (arg.size() > 9)
            return 0;
        const int n = std::atoi(std::string(arg).c_str());
        if (n == 0) {
            *out = std::to_string(toolbar_count());
            return 1;
        }
        index = n - 1;
        if (!toolbar_button_at(index))
            return 0;
    } else {
        index = toolbar_index_of_name(std::string(arg));
        if (index < 0)
            return 0;
    }
    const ToolbarButton* b = toolbar_button_at(index);
    if (!b)
        return 0;
    auto is = [&](const char* word) { return text_equal_nocase(property, word); };
    if (property.empty())
        *out = std::to_string(index + 1);
    else if (is("enabled"))
        *out = ident_truth(b->state & TB_ENABLED);
    else if (is("visible"))
        *out = ident_truth(!(b->state & TB_HIDDEN));
    else if (is("type"))
        *out = (b->style & TB_SEPARATOR) ? "separator" : (b->style & TB_CHECK) ? "check" : "button";
    else if (is("wide"))
        *out = ident_truth(b->wide != 0);
    else if (is("name"))
        *out = b->name;
    else if (is("tip"))
        *out = b->tip;
    else if (is("width"))
        *out = std::to_string(b->image_width);
    else if (is("height"))
        *out = std::to_string(b->image_height);
    else if (is("alias"))
        *out = b->alias;
    else if (is("popup"))
        *out = b->popup;
    else if (is("alpha"))
        *out = std::to_string(b->alpha);
    else if (is("checked"))
        *out = ident_truth((b->style & TB_CHECK) && (b->state & TB_CHECKED));
    else
        return 0;
    return 1;
}

int id_toolbar(IdentCall& call)
{
    const int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string value;
    toolbar_ident_value(ident_arg(call, 0), ident_property(call), &value);
    *call.value = value;
    return ident_finish(call);
}

void toolbar_identifiers_register() { ident_register_family("id_toolbar", id_toolbar); }
