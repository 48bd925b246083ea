#include "platform/utf8.h"

size_t decode_utf8(std::string_view text, int32_t& code_point) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty()) return 0;
    const size_t length = byte(0) < 0x80    ? 1
                          : byte(0) >= 0xF0 ? 4
                          : byte(0) >= 0xE0 ? 3
                          : byte(0) >= 0xC2 ? 2
                                            : 0;
    if (length == 0 || byte(0) > 0xF4 || length > text.size()) return 0;
    code_point = length == 1 ? byte(0) : byte(0) & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code_point = code_point << 6 | (byte(i) & 0x3F);
    }
    return length;
}
