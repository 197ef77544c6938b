#include "commands/popup_commands.h"

#include "app/popup_menubar.h"
#include "script/popups.h"

int popup_command_load(int view, const std::string& path)
{
    if (view < kPopupFileStatus || view > kPopupFileMenubar || path.empty())
        return 0;
    if (!popup_file_load(path, view))
        return 0;
    popup_files_save_list(0);
    if (view == kPopupFileMenubar)
        popup_menubar_rebuild(0, 1);
    return 1;
}

int popup_command_save(int view, const std::string& path)
{
    if (view < kPopupFileStatus || view > kPopupFileMenubar)
        return 0;
    if (!popup_file_of_kind(view) && !popup_file_load(path, view))
        return 0;
    return popup_file_save(&path, view);
}
