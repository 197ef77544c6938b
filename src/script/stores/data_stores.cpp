#include "script/stores/data_stores.h"

#include "commands/file_commands.h"
#include "commands/filter_command.h"
#include "commands/play_queue.h"
#include "identifiers/store_identifiers.h"
#include "script/stores/binary_vars.h"
#include "script/stores/file_handles.h"
#include "script/stores/hash_tables.h"
#include "script/stores/text_files.h"

void data_stores_install()
{
    binary_vars_register();
    hash_tables_register();
    file_handles_register();
    text_files_register();
    file_commands_register();
    filter_command_register();
    play_queue_register();
    store_identifiers_register();
}

void data_stores_free_all()
{
    htable_free_all();
    fhandle_close_all();
    bvar_free_all();
}
