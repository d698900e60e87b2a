#include "library/library.hpp"

#include "word/word_progress_form.hpp"
#include "capture/cell_range_form.hpp"
#include "update/deep_update_form.hpp"

namespace tbln {

void RegisterDialogs(Module& module) {
    // Each dialog room adds its dialogs here.
    RegisterWordDialogs(module);
    module.RegisterDialog(DialogId::CellRangeForm,
                          [](Module& m) { return std::make_unique<CellRangeForm>(m); });
    module.RegisterDialog(DialogId::DeepUpdateForm,
                          [](Module& m) { return std::make_unique<DeepUpdateForm>(m); });
}

std::unique_ptr<Module> CreateModule(Ports ports) {
    auto module = std::make_unique<Module>(ports);
    RegisterDialogs(*module);
    return module;
}

}  // namespace tbln
