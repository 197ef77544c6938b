// The script data stores as one unit: hash tables, binary variables, file
// handles, text and ini files and compression. The file and system commands
// beside them register from their own files.
#pragma once

// Registers the commands and identifiers of the stores themselves.
void data_stores_install();
// Frees every hash table, binary variable and file handle (shutdown).
void data_stores_free_all();
