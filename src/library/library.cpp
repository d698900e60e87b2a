#include "library/library.hpp"

#include "batch/distribute_form.hpp"
#include "batch/multi_dgns_form.hpp"
#include "blocks/insert_block_form.hpp"
#include "blocks/make_block_form.hpp"
#include "capture/cell_range_form.hpp"
#include "update/deep_update_form.hpp"
#include "update/make_luc_form.hpp"
#include "word/word_progress_form.hpp"

namespace tbln {

void RegisterDialogs(Module& module) {
    // Each dialog room adds its dialogs here.
    RegisterWordDialogs(module);
    module.RegisterDialog(DialogId::MakeBlockForm,
                          [](Module& m) { return std::make_unique<MakeBlockForm>(m); });
    module.RegisterDialog(DialogId::InsertBlockForm,
                          [](Module& m) { return std::make_unique<InsertBlockForm>(m); });
    module.RegisterDialog(DialogId::DistributeForm,
                          [](Module& m) { return std::make_unique<DistributeForm>(m); });
    module.RegisterDialog(DialogId::MultiDGNsForm,
                          [](Module& m) { return std::make_unique<MultiDGNsForm>(m); });
    module.RegisterDialog(DialogId::MakeLUCForm,
                          [](Module& m) { return std::make_unique<MakeLUCForm>(m); });
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
