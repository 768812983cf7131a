#pragma once
// The list control's rows as a Qt table model: the file queue itself.

#include <QAbstractTableModel>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "platform/list_control.h"

namespace qm::platform {

class QueueModel final : public QAbstractTableModel, public ListControl {
    Q_OBJECT
public:
    using SelectionSource = std::function<std::optional<std::size_t>()>;

    explicit QueueModel(QObject* parent = nullptr);

    // Adds a column with a header caption; the view sets its width.
    void addColumn(const QString& caption);
    // Tells the model how to ask the view for its current row.
    void setSelectionSource(SelectionSource source) { selection_ = std::move(source); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(std::vector<QueueEntry> rows) override;
    std::size_t count() const override { return rows_.size(); }
    std::filesystem::path filename(std::size_t index) const override;
    void setStatus(std::size_t index, const std::string& status) override;
    void removeAt(std::size_t index) override;
    void clear() override;
    std::optional<std::size_t> selectedIndex() const override;

private:
    // A row keeps its path as the native bytes: a std::filesystem::path also
    // keeps its parsed components, several times the memory of a long queue.
    struct Row {
        std::string filename;
        std::string status;
    };
    std::vector<Row> rows_;
    QStringList columns_;
    SelectionSource selection_;
};

}  // namespace qm::platform
