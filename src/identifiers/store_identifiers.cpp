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
    ident_register_family("id_compress", id_compress);
}
