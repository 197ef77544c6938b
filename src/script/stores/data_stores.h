// The script data stores as one unit: hash tables, binary variables, file
// handles, text and ini files, compression, and the file and system
// commands beside them.
#pragma once

// Registers every command and identifier of the stores.
void data_stores_install();
// Frees every hash table, binary variable and file handle (shutdown).
void data_stores_free_all();
