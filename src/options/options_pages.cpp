#include "options/options_pages.h"

#include "options/default_servers.h"
#include "options/options_subdialogs.h"
#include "options/pages_connection.h"
#include "options/pages_irc.h"
#include "options/pages_display.h"
#include "options/pages_dcc.h"
#include "options/page_dragdrop.h"
#include "options/pages_servers.h"
#include "options/small_option_dialogs.h"

void options_pages_install()
{
    default_servers_install();
    options_subdialogs_install();
    small_option_dialogs_install();
    pages_connection_install();
    pages_servers_install();
    pages_irc_install();
    pages_display_install();
    pages_sounds_install();
    pages_dcc_install();
    page_dragdrop_install();
}

void options_pages_uninstall()
{
    page_dragdrop_uninstall();
    pages_dcc_uninstall();
    pages_sounds_uninstall();
    pages_display_uninstall();
    pages_irc_uninstall();
    pages_servers_uninstall();
    pages_connection_uninstall();
    small_option_dialogs_uninstall();
    options_subdialogs_uninstall();
    default_servers_uninstall();
}
