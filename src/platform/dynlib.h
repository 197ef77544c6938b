// Shared libraries loaded at run time.
#pragma once

#include <string>

// Loads a library by path or name; returns its handle or null (dynlib_last_error says why).
void *dynlib_open(const std::string &path);
// The address of an exported symbol, or null.
void *dynlib_symbol(void *library, const char *name);
// Releases a library; returns 1 on success.
int dynlib_close(void *library);
// The text of the last failure of this thread (empty when none).
std::string dynlib_last_error();
