#pragma once
// A small Windows cursor file: one 32 x 32 image at 32 bits a pixel, opaque in
// its left half and transparent in its right half.

#include <cstdint>
#include <string>

namespace qm::test {

inline void putLittle(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

inline std::string cursorFileBytes(int hotX, int hotY) {
    std::string image;
    for (std::uint32_t v : {40u, 32u, 64u}) putLittle(image, v, 4);  // header, width, 2 x height
    putLittle(image, 1, 2);                                          // planes
    putLittle(image, 32, 2);                                         // bits a pixel
    image.append(24, '\0');
    for (int i = 0; i < 32 * 32; ++i) putLittle(image, i % 32 < 16 ? 0xff0000ffu : 0, 4);
    image.append(32 * 4, '\0');  // AND mask: everything from the colour image
    std::string file;
    for (std::uint32_t v : {0u, 2u, 1u}) putLittle(file, v, 2);  // reserved, cursor, one image
    file += std::string{32, 32, 0, 0};
    putLittle(file, static_cast<std::uint32_t>(hotX), 2);
    putLittle(file, static_cast<std::uint32_t>(hotY), 2);
    putLittle(file, static_cast<std::uint32_t>(image.size()), 4);
    putLittle(file, 22, 4);  // the image follows the directory
    return file + image;
}

}  // namespace qm::test
