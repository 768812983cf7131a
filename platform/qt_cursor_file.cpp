#include "platform/qt_cursor_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <cstdint>

namespace qm::platform {

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint16_t kCursorType = 2;
// Far larger than any cursor; keeps a wrong file from being read whole.
constexpr qint64 kMaxFileSize = 1 << 20;

std::uint32_t little(const QByteArray& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t index = at + i;
        const auto byte = static_cast<unsigned char>(bytes.at(static_cast<qsizetype>(index)));
        value |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    return value;
}

}  // namespace

std::optional<QCursor> readCursorFile(const std::filesystem::path& file) {
    // Only a regular file is opened: reading a FIFO would wait for a writer.
    const QString name = QFile::decodeName(file.c_str());
    if (!QFileInfo(name).isFile()) {
        return std::nullopt;
    }
    QFile in(name);
    if (!in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray bytes = in.read(kMaxFileSize + 1);
    const auto length = static_cast<std::size_t>(bytes.size());
    if (in.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize ||
        length < kHeaderSize + kEntrySize || little(bytes, 0, 2) != 0 ||
        little(bytes, 2, 2) != kCursorType || little(bytes, 4, 2) == 0) {
        return std::nullopt;
    }
    // The first directory entry: its hotspot is what the image reader leaves out.
    const std::uint32_t hotX = little(bytes, kHeaderSize + 4, 2);
    const std::uint32_t hotY = little(bytes, kHeaderSize + 6, 2);
    const std::uint64_t imageSize = little(bytes, kHeaderSize + 8, 4);
    const std::uint64_t imageOffset = little(bytes, kHeaderSize + 12, 4);
    if (imageSize == 0 || imageOffset + imageSize > length) {
        return std::nullopt;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    const QImage image = reader.read();
    if (image.isNull() || hotX >= static_cast<std::uint32_t>(image.width()) ||
        hotY >= static_cast<std::uint32_t>(image.height())) {
        return std::nullopt;
    }
    return QCursor(QPixmap::fromImage(image), static_cast<int>(hotX), static_cast<int>(hotY));
}

}  // namespace qm::platform
