#include "dcc/file_types.h"

#include <string>
#include <string_view>

#include "core/main_settings.h"
#include "core/string_list.h"
#include "core/wildcard.h"

const char* const kDccDangerousTypes =
    "*.exe,*.com,*.bat,*.dll,*.ini,*.kst,*.vbs,*.js,*.pif,*.scr,*.lnk,*.pl,*.shs,*.htm,*.html,*.wmf";

namespace {

bool matches_list(std::string_view masks, const std::string& name)
{
    std::size_t p = 0;
    while (p <= masks.size()) {
        std::size_t e = masks.find(',', p);
        if (e == std::string_view::npos)
            e = masks.size();
        const std::string_view mask = masks.substr(p, e - p);
        if (!mask.empty() && wild_match(mask, name, 0, 1))
            return true;
        p = e + 1;
    }
    return false;
}

}  // namespace

int dcc_file_is_dangerous(const std::string& name)
{
    if (name.empty())
        return 0;
    if (matches_list(kDccDangerousTypes, name))
        return 1;
    // The filter's "ignore listed" types count whatever mode it is in now.
    for (const StringNode* p = main_settings.dcc_ignore_types; p; p = p->next)
        if (matches_list(p->text, name))
            return 1;
    return 0;
}
