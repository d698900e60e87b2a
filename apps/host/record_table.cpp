#include "apps/host/record_table.hpp"

#include <QHeaderView>
#include <algorithm>

namespace tbln::host {

namespace {

// How many rows the columns' widths are measured on.
constexpr int kMeasuredRows = 100;

}  // namespace

RecordTableModel::RecordTableModel(std::shared_ptr<const json> source,
                                   std::vector<const json*> records, QObject* parent)
    : QAbstractTableModel(parent), source_(std::move(source)), records_(std::move(records)) {
    for (const auto* r : records_) {
        for (const auto& [key, value] : r->items()) {
            if (std::find(columns_.begin(), columns_.end(), key) == columns_.end())
                columns_.push_back(key);
        }
    }
}

RecordTableModel::RecordTableModel(std::size_t count, std::function<json(std::size_t)> record,
                                   const json& sample, QObject* parent)
    : QAbstractTableModel(parent), count_(count), make_(std::move(record)) {
    if (sample.is_object()) {
        for (const auto& [key, value] : sample.items()) columns_.push_back(key);
    }
}

const RecordTableModel::json& RecordTableModel::Record(std::size_t row) const {
    if (!make_) return *records_[row];
    if (row != madeRow_) {
        made_ = make_(row);
        madeRow_ = row;
    }
    return made_;
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(make_ ? count_ : records_.size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const json& record = Record(static_cast<std::size_t>(index.row()));
    if (!record.is_object()) return {};
    const auto it = record.find(columns_[static_cast<std::size_t>(index.column())]);
    if (it == record.end() || it->is_null()) return {};
    if (it->is_string()) return QString::fromStdString(it->get_ref<const std::string&>());
    return QString::fromStdString(it->dump());
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return QString::fromStdString(columns_[static_cast<std::size_t>(section)]);
}

QTableView* RecordTable(std::shared_ptr<const nlohmann::ordered_json> source,
                        std::vector<const nlohmann::ordered_json*> records) {
    return RecordTable(new RecordTableModel(std::move(source), std::move(records)));
}

QTableView* RecordTable(RecordTableModel* model) {
    auto* table = new QTableView;
    model->setParent(table);
    table->setModel(model);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    // Every row has the same height, and the columns fit the first rows' texts once;
    // the user widens a column that needs more.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setResizeContentsPrecision(kMeasuredRows);
    table->resizeColumnsToContents();
    return table;
}

void CollectRecords(const nlohmann::ordered_json& v,
                    std::vector<const nlohmann::ordered_json*>& out) {
    if (v.is_object()) out.push_back(&v);
    if (v.is_array()) {
        for (const auto& e : v) CollectRecords(e, out);
    }
}

}  // namespace tbln::host
