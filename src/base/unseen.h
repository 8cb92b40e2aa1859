#pragma once
// Made by scripts/unseen-table from the Unicode Character Database 15.0.0;
// do not edit. Code points shown escaped, ascending: each row is the first
// code point shifted left 11 bits, or'ed with the range's length less one.
#include <cstdint>

namespace base {

constexpr int kUnseenLengthBits = 11;
constexpr uint32_t kUnseen[] = {
    0x0u << 11 | 31,  // U+0000..U+001F
    0x7Fu << 11 | 33,  // U+007F..U+00A0
    0xADu << 11 | 0,  // U+00AD..U+00AD
    0x34Fu << 11 | 0,  // U+034F..U+034F
    0x600u << 11 | 5,  // U+0600..U+0605
    0x61Cu << 11 | 0,  // U+061C..U+061C
    0x6DDu << 11 | 0,  // U+06DD..U+06DD
    0x70Fu << 11 | 0,  // U+070F..U+070F
    0x890u << 11 | 1,  // U+0890..U+0891
    0x8E2u << 11 | 0,  // U+08E2..U+08E2
    0x115Fu << 11 | 1,  // U+115F..U+1160
    0x1680u << 11 | 0,  // U+1680..U+1680
    0x17B4u << 11 | 1,  // U+17B4..U+17B5
    0x180Bu << 11 | 4,  // U+180B..U+180F
    0x2000u << 11 | 15,  // U+2000..U+200F
    0x2028u << 11 | 7,  // U+2028..U+202F
    0x205Fu << 11 | 16,  // U+205F..U+206F
    0x3000u << 11 | 0,  // U+3000..U+3000
    0x3164u << 11 | 0,  // U+3164..U+3164
    0xD800u << 11 | 2047,  // U+D800..U+DFFF
    0xFE00u << 11 | 15,  // U+FE00..U+FE0F
    0xFEFFu << 11 | 0,  // U+FEFF..U+FEFF
    0xFFA0u << 11 | 0,  // U+FFA0..U+FFA0
    0xFFF0u << 11 | 11,  // U+FFF0..U+FFFB
    0x110BDu << 11 | 0,  // U+110BD..U+110BD
    0x110CDu << 11 | 0,  // U+110CD..U+110CD
    0x13430u << 11 | 15,  // U+13430..U+1343F
    0x1BCA0u << 11 | 3,  // U+1BCA0..U+1BCA3
    0x1D173u << 11 | 7,  // U+1D173..U+1D17A
    0xE0000u << 11 | 2047,  // U+E0000..U+E07FF
    0xE0800u << 11 | 2047,  // U+E0800..U+E0FFF
};

}  // namespace base
