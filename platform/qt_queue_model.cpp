#include "platform/qt_queue_model.h"

#include <QFile>
#include <limits>
#include <stdexcept>

#include "platform/qt_text.h"

namespace qm::platform {

namespace {
// Qt counts rows in int; a queue never holds more rows than a view can show.
constexpr std::size_t kMaxRows = std::numeric_limits<int>::max();
}  // namespace

QueueModel::QueueModel(QObject* parent) : QAbstractTableModel(parent) {}

void QueueModel::addColumn(const QString& caption) {
    const int at = static_cast<int>(columns_.size());
    beginInsertColumns({}, at, at);
    columns_.append(caption);
    endInsertColumns();
}

int QueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int QueueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant QueueModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole) {
        return {};
    }
    const Row& entry = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case 0:
            // Display only: the path itself stays bytes.
            return QFile::decodeName(QByteArray::fromStdString(entry.filename));
        case 1:
            return qtText(entry.status);
        default:
            return {};
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columns_.size()) {
        return columns_[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void QueueModel::append(std::vector<QueueEntry> rows) {
    if (rows.empty()) {
        return;
    }
    if (rows.size() > kMaxRows - rows_.size()) {
        throw std::length_error("the file queue cannot hold more rows");
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (QueueEntry& entry : rows) {
        rows_.push_back({entry.filename.native(), std::move(entry.status)});
    }
    endInsertRows();
}

std::filesystem::path QueueModel::filename(std::size_t index) const {
    return std::filesystem::path(rows_.at(index).filename);
}

void QueueModel::setStatus(std::size_t index, const std::string& status) {
    rows_.at(index).status = status;
    const QModelIndex cell = createIndex(static_cast<int>(index), 1);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void QueueModel::removeAt(std::size_t index) {
    if (index >= rows_.size()) {
        throw std::out_of_range("no such queue row");
    }
    const int row = static_cast<int>(index);
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    endRemoveRows();
}

void QueueModel::clear() {
    if (rows_.empty()) {
        return;
    }
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

std::optional<std::size_t> QueueModel::selectedIndex() const {
    return selection_ ? selection_() : std::nullopt;
}

}  // namespace qm::platform
