// The host window's tables of records: a large import is browsed without a widget
// item or a measurement per cell.
#include "apps/host/record_table.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's count of the bytes in use (its allocator stands in for malloc's).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace tbln {
namespace {

using json = nlohmann::ordered_json;

std::size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

TEST(RecordTable, AResultOfManyCellsIsBrowsedAtTheCostOfItsRecords) {
    // 20,000 records of 10 fields, the even ones with one more: some 210,000 cells.
    constexpr int kRecords = 20000;
    auto result = std::make_shared<json>(json::array());
    for (int i = 0; i < kRecords; ++i) {
        json r = json::object();
        r["Value"] = "cell " + std::to_string(i);
        for (int f = 1; f < 10; ++f) r["field" + std::to_string(f)] = i * 10 + f;
        if (i % 2 == 0) r["isMerged"] = true;
        result->push_back(std::move(r));
    }
    std::vector<const json*> records;
    host::CollectRecords(*result, records);

    const std::size_t before = AllocatedBytes();
    std::unique_ptr<QTableView> table(host::RecordTable(result, std::move(records)));
    table->resize(640, 480);
    table->show();
    QApplication::processEvents();
    table->scrollToBottom();
    QApplication::processEvents();
    const std::size_t used = AllocatedBytes() - before;
    // A widget item per cell costs well over 100 bytes; the view costs its window and a
    // few bytes per row.
    EXPECT_LT(used, std::size_t{kRecords} * 10 * 40) << used << " bytes for the table";

    // One row per record, one column per field in the order first met, the texts as
    // the records hold them, and nothing where a record lacks the field.
    const auto* model = table->model();
    ASSERT_EQ(model->rowCount(), kRecords);
    ASSERT_EQ(model->columnCount(), 11);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Value");
    EXPECT_EQ(model->headerData(10, Qt::Horizontal).toString(), "isMerged");
    EXPECT_EQ(model->index(kRecords - 1, 0).data().toString(), "cell 19999");
    EXPECT_EQ(model->index(kRecords - 1, 3).data().toString(), "199993");
    EXPECT_EQ(model->index(kRecords - 2, 10).data().toString(), "true");
    EXPECT_FALSE(model->index(kRecords - 1, 10).data().isValid());
}

}  // namespace
}  // namespace tbln
