// The host window's tables of records: an entry point's result browsed as tables, one
// row per record and one column per field. The model reads the records where they are
// (the result the window keeps for saving) and makes a cell's text only when the view
// asks for it, so a table of a million cells costs no more than its records; columns
// are sized from the first rows only.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
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

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::shared_ptr<const json> source_;
    std::vector<const json*> records_;
    std::vector<std::string> columns_;
};

// A read-only view of the records (see RecordTableModel).
QTableView* RecordTable(std::shared_ptr<const nlohmann::ordered_json> source,
                        std::vector<const nlohmann::ordered_json*> records);

// The records of an array (a 2-D array's rows run on), objects only.
void CollectRecords(const nlohmann::ordered_json& v,
                    std::vector<const nlohmann::ordered_json*>& out);

}  // namespace tbln::host
