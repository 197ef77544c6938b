#include "identifiers/store_identifiers.h"

void store_identifiers_register()
{
    ident_register_family("id_bvar", id_bvar);
    ident_register_family("id_bfind", id_bfind);
    ident_register_family("id_hget", id_hget);
    ident_register_family("id_hfind", id_hfind);
    ident_register_family("id_fopen", id_fopen);
    ident_register_family("id_fread", id_fread);
    ident_register_family("ident_read", id_read);
    ident_register("readn", id_readn);
    ident_register_family("id_readini_of", id_readini);
    ident_register_family("id_read", id_read_bare);
    ident_register_family("id_readini", id_readini_bare);
    ident_register_family("id_compress", id_compress);
    ident_register_family("id_finddir", id_findfile);
    ident_register_family("id_file", id_file);
    ident_register_family("id_isfile", id_isfile);
    ident_register_family("id_disk", id_disk);
    ident_register_family("id_nofile", id_nofile);
    ident_register_family("id_nopath", id_nofile);
    ident_register_family("id_longfn", id_longfn);
    ident_register_family("id_shortfn", id_longfn);
    ident_register_family("id_mkfn", id_mkfn);
    ident_register_family("id_kestdir", id_kestdir);
    ident_register_family("id_kestexe", id_kestdir);
    ident_register_family("id_kestini", id_kestdir);
    ident_register_family("id_logdir", id_kestdir);
    ident_register_family("id_msfile", id_msfile);
    ident_register_family("id_getdir", id_getdir);
    ident_register_family("dcc_folder_for_file", id_getdir);
}
