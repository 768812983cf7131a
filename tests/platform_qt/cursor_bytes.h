#pragma once
// Builds a small Windows cursor file: one 32 x 32 image, 32 bits a pixel,
// opaque in its left half and transparent in its right half.

#include <cstdint>
#include <string>

namespace qm::test {

inline void putLittle(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

inline std::string cursorFileBytes(int hotX, int hotY) {
    constexpr int kSide = 32;
    std::string image;
    putLittle(image, 40, 4);         // header size
    putLittle(image, kSide, 4);      // width
    putLittle(image, 2 * kSide, 4);  // height: colour and mask images together
    putLittle(image, 1, 2);          // planes
    putLittle(image, 32, 2);         // bits a pixel
    for (int i = 0; i < 6; ++i) putLittle(image, 0, 4);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) putLittle(image, x < kSide / 2 ? 0xff0000ffu : 0, 4);
    image.append(kSide * kSide / 8, '\0');  // AND mask: all from the colour image

    std::string file;
    putLittle(file, 0, 2);  // reserved
    putLittle(file, 2, 2);  // type: cursor
    putLittle(file, 1, 2);  // one image
    file.push_back(static_cast<char>(kSide));
    file.push_back(static_cast<char>(kSide));
    file.push_back(0);  // colour count
    file.push_back(0);  // reserved
    putLittle(file, static_cast<std::uint32_t>(hotX), 2);
    putLittle(file, static_cast<std::uint32_t>(hotY), 2);
    putLittle(file, static_cast<std::uint32_t>(image.size()), 4);
    putLittle(file, 22, 4);  // the image follows the directory
    return file + image;
}

}  // namespace qm::test
