// Captures of every sub-range whose edges fall on, inside and just outside each merged
// area (and centre-across run) of real workbooks. The reader's output is made once per
// sheet in-process; each capture then runs on the parsed grid with a sheet that reports
// the reader's own sizes, so the sweep takes seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "adapters/workbook/workbook_model.hpp"
#include "apps/reader/reader_output.hpp"
#include "capture/capture_range.hpp"
#include "capture_support.hpp"
#include "common/paths.hpp"
#include "fake_sheet.hpp"

namespace tbln {
namespace {

using testing::CaptureModule;
using testing::TempDir;

struct Area {
    Integer r1, c1, r2, c2;
    auto operator<=>(const Area&) const = default;
};

// Rows (or columns) on, inside and just outside an area's two edges, within the grid.
std::vector<Integer> EdgesAround(Integer first, Integer last, Long gridLast) {
    std::set<Integer> s;
    for (int v : {first - 1, first + 0, std::min(first + 1, last + 0), last + 0, last + 1}) {
        if (v >= 1 && v <= gridLast) s.insert(static_cast<Integer>(v));
    }
    return {s.begin(), s.end()};
}

class Sweep : public CaptureModule {
  public:
    Sweep(const std::string& path, const std::string& sheetName) {
        TempDir out;
        std::filesystem::create_directory(out / "pics");
        reader::WriteReaderOutput(path, sheetName, out.Path(), out / "pics");
        ParseReaderOutput(m, testing::ReadFile(out / "output.txt"), "output.txt");
        sheet_ = testing::MakeFakeSheet();
        for (Long r = 1; r <= m.rowHeights.Upper(); ++r)
            sheet_->data.rowHeights[r] = m.rowHeights(r);
        for (Long c = 1; c <= m.colWidths.Upper(); ++c) sheet_->data.colWidths[c] = m.colWidths(c);
        m.xlSheet = sheet_;
        auto& sys = p.sys;
        sys.MakeDirs(paths::ReaderFolder(sys));
        sys.WriteFile(paths::ReaderFile(sys, "flag.txt"), "Done\r\n");
    }

    // The merged areas and centre-across cells of the sheet.
    std::set<Area> Areas() const {
        std::set<Area> areas;
        for (Long r = 1; r <= m.jCells.RowUpper(); ++r) {
            for (Long c = 1; c <= m.jCells.ColUpper(); ++c) {
                const JCell& j = *m.jCells(r, c);
                if (j.MergeCells) areas.insert({j.startRow, j.startCol, j.endRow, j.endCol});
                const auto rr = static_cast<Integer>(r), cc = static_cast<Integer>(c);
                if (j.HorizontalAlignment == 7) areas.insert({rr, cc, rr, cc});
            }
        }
        return areas;
    }

    // Captures the sub-range and returns what is wrong with its records ("" when
    // nothing).
    std::string Check(Integer r1, Integer c1, Integer r2, Integer c2) {
        m.startRow = r1;
        m.startCol = c1;
        m.endRow = r2;
        m.endCol = c2;
        m.fastUpdate = true;
        m.captureDone = false;
        Form().ProgressBar1.SetPosition(0);
        // The files the capture removes at its end, as the reader's run leaves them
        // (written plainly: the platform's safe write would sync each one to disk).
        for (const char* file : {"run.bat", "output.txt"}) {
            std::ofstream(paths::ReaderFile(p.sys, file)) << "x";
        }
        CaptureRange(m);
        std::ostringstream bad;
        // Sizes are Singles added in the walk's order; a sum in another order may
        // differ in its last bits.
        const auto differ = [](double a, double b) { return std::abs(a - b) > 1e-3; };
        if (!m.captureDone) bad << "capture not done; ";
        const Integer firstRow = r1 > 1 ? r1 - 1 : r1, firstCol = c1 > 1 ? c1 - 1 : c1;
        const auto nRows = static_cast<Integer>(m.dgnCell.RowUpper());
        const auto nCols = static_cast<Integer>(m.dgnCell.ColUpper());
        const auto width = [&](Integer c) { return m.colHidden(c) ? 0.0 : m.colWidths(c); };
        const auto height = [&](Integer r) { return m.rowHidden(r) ? 0.0 : m.rowHeights(r); };
        const auto widths = [&](Integer from, Integer to) {
            double w = 0;
            for (Integer c = from; c <= to; ++c) w += width(c);
            return w;
        };
        const auto heights = [&](Integer from, Integer to) {
            double h = 0;
            for (Integer r = from; r <= to; ++r) h += height(r);
            return h;
        };
        double rangeWidth = widths(c1, c2);
        if (differ(m.totalWidth, rangeWidth))
            bad << "totalWidth " << m.totalWidth << " not " << rangeWidth << "; ";
        double firstRowWidth = 0;
        bool firstRowSeen = false;
        for (Integer r = firstRow; r <= nRows; ++r) {
            if (m.rowHidden(r)) {
                if (!m.dgnCell(r, c1)) bad << "no record at hidden row " << r << "; ";
                continue;
            }
            for (Integer c = firstCol; c <= nCols; ++c) {
                const auto& cell = m.dgnCell(r, c);
                if (!cell) {
                    bad << "no record at " << r << "," << c << "; ";
                    continue;
                }
                if (m.colHidden(c)) continue;
                if (r >= r1 && r <= r2 && c >= c1 && c <= c2 && !firstRowSeen) {
                    firstRowWidth += cell->colWidth;
                }
                const Integer rowFrom = cell->isMerged ? cell->rowFrom : r;
                const Integer colFrom = cell->isMerged ? cell->colFrom : c;
                if (differ(cell->deltaX, widths(firstCol, colFrom - 1))) {
                    bad << "deltaX " << cell->deltaX << " at " << r << "," << c << "; ";
                }
                if (differ(cell->deltaY, heights(firstRow, rowFrom - 1))) {
                    bad << "deltaY " << cell->deltaY << " at " << r << "," << c << "; ";
                }
                if (!cell->isMerged) continue;
                const auto& head = m.dgnCell(rowFrom, colFrom);
                if (!head || r > head->rowTo || c > head->colTo) {
                    bad << "area of " << r << "," << c << " misses it; ";
                    continue;
                }
                // A piece stays on its side of the range's last row and column.
                if ((rowFrom <= r2) != (head->rowTo <= r2) ||
                    (colFrom <= c2) != (head->colTo <= c2)) {
                    bad << "area at " << rowFrom << "," << colFrom << " crosses the range's edge; ";
                }
                if (differ(cell->mergedColWidth, widths(colFrom, head->colTo)) ||
                    differ(cell->mergedRowHeight, heights(rowFrom, head->rowTo))) {
                    bad << "area sizes at " << r << "," << c << "; ";
                }
            }
            if (r >= r1 && r <= r2 && !firstRowSeen) {
                firstRowSeen = true;
                if (differ(firstRowWidth, rangeWidth)) {
                    bad << "first row adds up to " << firstRowWidth << " not " << rangeWidth
                        << "; ";
                }
            }
        }
        if (differ(m.totalHeight, heights(firstRow, nRows))) {
            bad << "totalHeight " << m.totalHeight << " not " << heights(firstRow, nRows) << "; ";
        }
        return bad.str();
    }

    // Every sub-range around every area (each captured once); returns their number.
    int Run(const std::string& label) {
        const Long gridRows = m.rowHeights.Upper(), gridCols = m.colWidths.Upper();
        std::set<Area> ranges;
        for (const Area& a : Areas()) {
            const auto rows = EdgesAround(a.r1, a.r2, gridRows);
            const auto cols = EdgesAround(a.c1, a.c2, gridCols);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                for (std::size_t k = i; k < rows.size(); ++k) {
                    for (std::size_t x = 0; x < cols.size(); ++x) {
                        for (std::size_t y = x; y < cols.size(); ++y) {
                            ranges.insert({rows[i], cols[x], rows[k], cols[y]});
                        }
                    }
                }
            }
        }
        for (const Area& r : ranges) {
            const std::string bad = Check(r.r1, r.c1, r.r2, r.c2);
            if (!bad.empty()) {
                ADD_FAILURE() << label << " rows " << r.r1 << "-" << r.r2 << " columns " << r.c1
                              << "-" << r.c2 << ": " << bad;
                break;
            }
        }
        return static_cast<int>(ranges.size());
    }

  private:
    std::shared_ptr<testing::FakeSheet> sheet_;
};

void SweepWorkbook(const std::string& path) {
    const auto book = workbook::LoadWorkbook(path);
    int captured = 0;
    for (const auto& sheet : book->sheets) {
        Sweep sweep(path, sheet.name);
        captured += sweep.Run(std::filesystem::path(path).filename().string() + " " + sheet.name);
    }
    EXPECT_GT(captured, 0) << path << " has no merged area";
    ::testing::Test::RecordProperty(std::filesystem::path(path).filename().string(), captured);
}

TEST(MergeSweep, GeneratedWorkbooks) {
    for (const char* name : {"merges_xlsxwriter.xlsx", "merges_openpyxl.xlsx"}) {
        SCOPED_TRACE(name);
        SweepWorkbook(testing::Fixture(name));
    }
}

TEST(MergeSweep, CorpusWorkbooks) {
    int found = 0;
    for (const char* name :
         {"FillWithoutColor.xlsx", "simple-monthly-budget.xlsx", "AverageTaxRates.xlsx",
          "60512.xlsm", "merge_range01.xlsx", "49273.xlsx"}) {
        const std::string path = std::string(TBLN_CORPUS) + "/xlsx/" + name;
        if (!std::filesystem::exists(path)) continue;
        ++found;
        SCOPED_TRACE(name);
        SweepWorkbook(path);
    }
    if (found == 0) GTEST_SKIP() << "no corpus at " << TBLN_CORPUS;
}

}  // namespace
}  // namespace tbln
