#include "library/library.hpp"

#include "blocks/insert_block_form.hpp"
#include "blocks/make_block_form.hpp"

namespace tbln {

void RegisterDialogs(Module& module) {
    // Each dialog room adds its dialogs here.
    module.RegisterDialog(DialogId::MakeBlockForm,
                          [](Module& m) { return std::make_unique<MakeBlockForm>(m); });
    module.RegisterDialog(DialogId::InsertBlockForm,
                          [](Module& m) { return std::make_unique<InsertBlockForm>(m); });
}

std::unique_ptr<Module> CreateModule(Ports ports) {
    auto module = std::make_unique<Module>(ports);
    RegisterDialogs(*module);
    return module;
}

}  // namespace tbln
