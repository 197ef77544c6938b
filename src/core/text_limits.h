// Usable text lengths. Text lives in std::string; these are the lengths at which
// the program cuts text (a long line, a path or protocol field, a nick or key),
// and the declared sizes that callers pass to the bounded buffer operations.
#pragma once

#include <cstddef>

constexpr std::size_t kLongTextSize = 4200;   // declared size of a long buffer
constexpr std::size_t kLongText = 4150;       // command lines, messages, script lines, socket reads
constexpr std::size_t kMediumTextSize = 1074; // declared size of a medium buffer
constexpr std::size_t kMediumText = 1024;     // paths, window names, protocol fields
constexpr std::size_t kShortTextSize = 306;   // declared size of a short buffer
constexpr std::size_t kShortText = 256;       // nicks, names, addresses, keys
