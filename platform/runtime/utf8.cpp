#include "platform/runtime/utf8.h"

size_t decode_utf8(std::string_view text, int32_t& code_point) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty()) return 0;
    const size_t length = byte(0) < 0x80    ? 1
                          : byte(0) >= 0xF0 ? 4
                          : byte(0) >= 0xE0 ? 3
                          : byte(0) >= 0xC0 ? 2
                                            : 0;
    if (length == 0 || byte(0) > 0xF4 || length > text.size()) return 0;
    int32_t c = length == 1 ? byte(0) : byte(0) & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = c << 6 | (byte(i) & 0x3F);
    }
    // The smallest code point each length may carry: anything less is an overlong form.
    constexpr int32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
    code_point = c;
    return length;
}
