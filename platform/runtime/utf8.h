// UTF-8 decoding, one decoder for the user's text in error lines and the window's typed text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The UTF-8 sequence that starts text: its length in bytes and its code point; length 0 where
// no well-formed sequence starts there (RFC 3629: no overlong form, no surrogate, nothing past
// U+10FFFF).
size_t decode_utf8(std::string_view text, int32_t& code_point);
