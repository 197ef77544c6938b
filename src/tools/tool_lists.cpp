#include "tools/tool_lists.h"

#include "tools/address_book.h"
#include "tools/address_book_dialog.h"
#include "tools/channels_list.h"
#include "tools/channels_list_options.h"
#include "tools/channels_list_window.h"

void tool_lists_install()
{
    channels_list_install();
    channels_list_window_install();
    address_book_install();
    address_book_dialog_install();
    channels_list_options_install();
}

void tool_lists_uninstall()
{
    address_book_dialog_uninstall();
    address_book_uninstall();
    channels_list_options_uninstall();
    channels_list_window_uninstall();
    channels_list_uninstall();
}
