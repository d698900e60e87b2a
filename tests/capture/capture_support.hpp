// Helpers of the capture tests: a module on the test platform with a progress dialog
// standing in for the import dialogs, and exchange text written in the reader's format.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_range.hpp"
#include "capture/reader_exchange.hpp"
#include "support/test_platform.hpp"

namespace tbln::testing {

class ProgressForm : public ui::Form, public ProgressDialog {
  public:
    explicit ProgressForm(ui::Ui& ui)
        : ui::Form("ProgressForm"), ProgressBar1(*this, "ProgressBar1", ui) {
        btnCancel.SetCancel(true);
        btnCancel.Click = [this] {
            if (onCancel) onCancel();
            Unload();
        };
        Timer1.SetInterval(500);
        Timer1.Tick = [this] {
            Timer1.SetEnabled(false);
            if (onTick) onTick();
            if (IsLoaded()) Unload();
        };
    }
    ProgressDisplay Progress() override { return {ProgressBar1, lbProgress, lbProgressTitle}; }
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::Timer Timer1{*this, "Timer1"};
    std::function<void()> onTick, onCancel;
    ProgressBar ProgressBar1;
    ui::Label lbProgress{*this, "lbProgress"};
    ui::Label lbProgressTitle{*this, "lbProgressTitle"};
};

struct CaptureModule {
    CaptureModule() : m(p.ports()) {
        for (auto id : {DialogId::CellRangeForm, DialogId::DeepUpdateForm}) {
            m.RegisterDialog(id, [](Module& mod) -> std::unique_ptr<ui::Form> {
                return std::make_unique<ProgressForm>(mod.ports.ui);
            });
        }
    }
    ProgressForm& Form() { return dynamic_cast<ProgressForm&>(m.Dialog(DialogId::CellRangeForm)); }
    TestPlatform p;
    Module m;
};

// The 25 fields of a plain cell of the reader's grid: not merged, general alignment,
// Arial 10, no borders, empty. Tests change the fields they are about by number.
struct GridText {
    GridText(int nRows, int nCols) : rows(nRows), cols(nCols) {}
    int rows, cols;
    std::vector<std::string> hidden;  // "R2", "C1"
    std::map<int, std::string> heights, widths;
    std::map<std::tuple<int, int, int>, std::string> fields;

    GridText& Set(int r, int c, int field, std::string value) {
        fields[{r, c, field}] = std::move(value);
        return *this;
    }
    GridText& Text(int r, int c, std::string text) {
        Set(r, c, 21, "0");
        return Set(r, c, 25, std::move(text));
    }
    GridText& Merge(int r1, int c1, int r2, int c2) {
        for (int r = r1; r <= r2; ++r) {
            for (int c = c1; c <= c2; ++c) {
                Set(r, c, 3, "1").Set(r, c, 4, std::to_string(r1)).Set(r, c, 5, std::to_string(c1));
                Set(r, c, 6, std::to_string(r2)).Set(r, c, 7, std::to_string(c2));
            }
        }
        return *this;
    }
    GridText& Borders(int r, int c, std::string up, std::string bottom, std::string left,
                      std::string right) {
        return Set(r, c, 17, up).Set(r, c, 18, bottom).Set(r, c, 19, left).Set(r, c, 20, right);
    }
    std::string Str() const {
        std::ostringstream out;
        const auto sep = "|=!";
        out << rows << sep << cols;
        for (const auto& h : hidden) out << sep << h;
        out << "\n";
        for (int r = 1; r <= rows; ++r) {
            out << (r > 1 ? sep : "") << (heights.count(r) ? heights.at(r) : "15");
        }
        out << "\n";
        for (int c = 1; c <= cols; ++c) {
            out << (c > 1 ? sep : "") << (widths.count(c) ? widths.at(c) : "48");
        }
        out << "\n";
        for (int r = 1; r <= rows; ++r) {
            for (int c = 1; c <= cols; ++c) {
                // Fields 1 to 7: the cell, not merged, its own area; then a plain cell.
                std::vector<std::string> f = {
                    std::to_string(r), std::to_string(c), "0", std::to_string(r), std::to_string(c),
                    std::to_string(r), std::to_string(c)};
                f.insert(f.end(), {"1", "-4107", "Arial", "10", "0", "0", "0", "0", "0", "none",
                                   "none", "none", "none", "1", "0", "none", "none", kCellIsEmpty});
                for (int k = 1; k <= 25; ++k) {
                    if (auto it = fields.find({r, c, k}); it != fields.end()) {
                        f[static_cast<std::size_t>(k - 1)] = it->second;
                    }
                }
                for (int k = 0; k < 25; ++k)
                    out << (k ? sep : "") << f[static_cast<std::size_t>(k)];
                out << "\n";
            }
        }
        return out.str();
    }
};

}  // namespace tbln::testing
