#pragma once
// A small Windows cursor file: one 32 x 32 image at 32 bits a pixel, opaque in
// its left half and transparent in its right half.

#include <cstdint>
#include <string>
#include <utility>

namespace qm::test {

inline std::string cursorFileBytes(std::uint32_t hotX, std::uint32_t hotY) {
    std::string out;
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    };
    // (value, bytes): the file header (cursor, one image), its directory entry (32 x 32, the
    // hotspot, the image's size and offset), the image header (2 x height: colours and mask).
    const std::uint32_t size = 40 + 32 * 32 * 4 + 32 * 4;
    const std::pair<std::uint32_t, int> fields[] = {
        {0, 2},    {2, 2},  {1, 2},  {32, 1}, {32, 1}, {0, 2}, {hotX, 2}, {hotY, 2},
        {size, 4}, {22, 4}, {40, 4}, {32, 4}, {64, 4}, {1, 2}, {32, 2}};
    for (auto [value, bytes] : fields) put(value, bytes);
    out.append(24, '\0');
    for (int i = 0; i < 32 * 32; ++i) put(i % 32 < 16 ? 0xff0000ffu : 0, 4);
    return out.append(32 * 4, '\0');  // AND mask: everything from the colour image
}

}  // namespace qm::test
