// The private value store: a few values kept out of the ordinary settings
// sections, always in section "user" of the main settings file, the key being
// the value's name in lower case and the value its enciphered text form (key
// text "vultz"). Nothing is cached. Values are at most 4,150 characters.
#pragma once

#include <string>

// Stores text under name. An empty text removes the value. 1 on success; 0 when
// the name is empty, the text can't be enciphered or the file can't be written
// (the stored value is then left as it was).
int private_value_set(const char* name, const char* text);

// Fetches the value into dest (emptied first). 1 when a value was found and
// deciphered, 0 otherwise (dest stays empty).
int private_value_get(const char* name, std::string& dest);

// Removes the value. 1 on success (also when there was none), 0 when the file
// can't be written.
int private_value_delete(const char* name);
