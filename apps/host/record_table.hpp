// The host window's tables of records: an entry point's result browsed as tables, one
// row per record and one column per field. The model reads the records where they are
// (the result the window keeps for saving, or the entry point's own records, each made
// into its fields only while the view shows it) and makes a cell's text only when the
// view asks for it, so a table of a million cells costs no more than its records;
// columns are sized from the first rows only.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tbln::host {

class RecordTableModel : public QAbstractTableModel {
  public:
    using json = nlohmann::ordered_json;
    // `records` point into `source`, which the model keeps alive; the columns are the
    // fields of all records in the order first met.
    RecordTableModel(std::shared_ptr<const json> source, std::vector<const json*> records,
                     QObject* parent = nullptr);
    // `count` records, record `i` made by `record(i)` when the view asks for it (null for
    // an unset element); the columns are the fields of `sample`.
    RecordTableModel(std::size_t count, std::function<json(std::size_t)> record, const json& sample,
                     QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    const json& Record(std::size_t row) const;
    std::shared_ptr<const json> source_;
    std::vector<const json*> records_;
    std::size_t count_ = 0;
    std::function<json(std::size_t)> make_;
    mutable std::size_t madeRow_ = static_cast<std::size_t>(-1);
    mutable json made_;  // the record made last: a view asks for a row's cells in turn
    std::vector<std::string> columns_;
};

// A read-only view of the records (see RecordTableModel).
QTableView* RecordTable(std::shared_ptr<const nlohmann::ordered_json> source,
                        std::vector<const nlohmann::ordered_json*> records);
QTableView* RecordTable(RecordTableModel* model);

// The records of an array (a 2-D array's rows run on), objects only.
void CollectRecords(const nlohmann::ordered_json& v,
                    std::vector<const nlohmann::ordered_json*>& out);

}  // namespace tbln::host
