#include "automation/module.hpp"

#include <cmath>

#include "core/error.hpp"
#include "core/text.hpp"

namespace tbln {

const char* DialogName(DialogId id) {
    switch (id) {
        case DialogId::CellRangeForm:
            return "CellRangeForm";
        case DialogId::DeepUpdateForm:
            return "DeepUpdateForm";
        case DialogId::DistributeForm:
            return "DistributeForm";
        case DialogId::WordProgressForm:
            return "WordProgressForm";
        case DialogId::MultiDGNsForm:
            return "MultiDGNsForm";
        case DialogId::MakeBlockForm:
            return "MakeBlockForm";
        case DialogId::InsertBlockForm:
            return "InsertBlockForm";
        case DialogId::MakeLUCForm:
            return "MakeLUCForm";
    }
    return "?";
}

Long ReaderWaitLimitMs(double seconds) {
    if (!(seconds > 0) || seconds > kMaxReaderTimeoutSeconds) {
        const std::string given = std::isnan(seconds)      ? "NaN"
                                  : std::isfinite(seconds) ? NumberToText(seconds)
                                                           : "infinite";
        Raise(err::kInvalidCall, "The reader timeout " + given +
                                     " is not a number of seconds above 0 and up to " +
                                     NumberToText(kMaxReaderTimeoutSeconds));
    }
    return static_cast<Long>(std::llround(seconds * 1000));
}

Module::Module(Ports p) : ports(p) {}

void Module::ReleaseExcel() {
    xlSheet.reset();
    xlBook.reset();
    xlApp.reset();
}

void Module::RegisterDialog(DialogId id, DialogFactory factory) {
    factories_[id] = std::move(factory);
    instances_.erase(id);
}

ui::Form& Module::Dialog(DialogId id) {
    auto& instance = instances_[id];
    if (!instance) {
        const auto f = factories_.find(id);
        if (f == factories_.end() || !f->second) {
            instances_.erase(id);
            Raise(err::kCannotCreate,
                  std::string("The dialog ") + DialogName(id) + " is not available in this build");
        }
        instance = f->second(*this);
    }
    return *instance;
}

void Module::ShowDialog(DialogId id) {
    ports.ui.ShowModal(Dialog(id));
}

}  // namespace tbln
