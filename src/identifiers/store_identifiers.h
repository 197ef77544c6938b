// The identifiers of the script data stores: binary variables ($bvar,
// $bfind), hash tables ($hget, $hfind, $hmatch, $hregex), file handles
// ($fopen, $fread, $fgetc, $feof, $ferr), text and ini files ($read,
// $readn, $readini) and compression ($compress, $decompress).
#pragma once

#include "script/exec/script_types.h"

int id_bvar(IdentCall& call);
int id_bfind(IdentCall& call);
int id_hget(IdentCall& call);
int id_hfind(IdentCall& call);
int id_fopen(IdentCall& call);
int id_fread(IdentCall& call);
int id_read(IdentCall& call);
int id_readn(IdentCall& call);
int id_readini(IdentCall& call);
int id_read_bare(IdentCall& call);
int id_readini_bare(IdentCall& call);
int id_compress(IdentCall& call);
int id_findfile(IdentCall& call);
int id_file(IdentCall& call);
int id_isfile(IdentCall& call);
int id_disk(IdentCall& call);
int id_nofile(IdentCall& call);
int id_longfn(IdentCall& call);
int id_mkfn(IdentCall& call);
int id_kestdir(IdentCall& call);
int id_msfile(IdentCall& call);   // $sfile( $sdir( $msfile(
int id_getdir(IdentCall& call);   // $getdir and $getdir(

void store_identifiers_register();
