// Base64 with the standard alphabet ("A".."Z", "a".."z", "0".."9", "+", "/")
// and "=" padding, in chunks of 60 characters (45 bytes).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The chunk argument of both operations selects what the call leaves in out:
//   negative  every chunk, one after the other without separators; the result
//             is the number of characters (encode) or bytes (decode);
//   0         the number of chunks, written into out as "%d" and returned;
//   N > 0     only chunk N (counting from 1) and its length; when the input
//             has fewer chunks, out is empty and the result 0.
// out_size is the room the caller grants, counted as a zero-terminated buffer:
// encoded characters plus one terminating zero, or decoded bytes, must fit in
// it. A result that doesn't fit is a failure: -1 with out empty.

// Encodes count bytes.
int b64_encode(const void* bytes, std::size_t count, std::string& out, std::size_t out_size, int chunk);

// Decodes at most length characters of text. A line feed, a zero byte or "="
// ends the decoding; any character outside the alphabet (a blank, a carriage
// return, ...) is skipped without disturbing the bytes around it.
int b64_decode(const char* text, std::size_t length, std::string& out, std::size_t out_size, int chunk);

// Leaves in out what a chunk argument (as above) asks for, given the whole
// result and the offsets at which its chunks begin; returns the result the
// operations above return. Uuencoding selects its lines the same way.
int b64_select_chunk(std::string& whole, const std::vector<std::size_t>& starts, std::string& out, int chunk);
