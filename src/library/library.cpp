#include "library/library.hpp"

#include "word/word_progress_form.hpp"

namespace tbln {

void RegisterDialogs(Module& module) {
    // Each dialog room adds its dialogs here.
    RegisterWordDialogs(module);
}

std::unique_ptr<Module> CreateModule(Ports ports) {
    auto module = std::make_unique<Module>(ports);
    RegisterDialogs(*module);
    return module;
}

}  // namespace tbln
