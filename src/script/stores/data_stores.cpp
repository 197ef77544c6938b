#include "script/stores/data_stores.h"

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
}

void data_stores_free_all()
{
    htable_free_all();
    fhandle_close_all();
    bvar_free_all();
}
