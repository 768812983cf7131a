#pragma once
// The program's own text crossing into Qt: every string inside the program
// is UTF-8; paths cross with QFile::encodeName/decodeName instead.

#include <QString>
#include <string_view>

namespace qm::platform {

// The UTF-8 text as a QString.
inline QString qtText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace qm::platform
