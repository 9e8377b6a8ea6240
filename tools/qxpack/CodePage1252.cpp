#include "CodePage1252.h"

#include <cstdint>

namespace {

constexpr uint16_t k80To9F[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

void AppendUtf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | c >> 6);
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xE0 | c >> 12);
        *out += char(0x80 | (c >> 6 & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string Utf8FromCodePage1252(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char byte : text) {
        const uint8_t b = uint8_t(byte);
        AppendUtf8(b >= 0x80 && b < 0xA0 ? k80To9F[b - 0x80] : b, &out);
    }
    return out;
}
