// The library as the host's macros load it: a Module with every dialog of the product
// registered, ready for Application objects to share.
#pragma once

#include <memory>

#include "automation/module.hpp"

namespace tbln {

// Registers the default factory of every dialog the product has with the module.
void RegisterDialogs(Module& module);

// A module on the given ports with every dialog registered.
std::unique_ptr<Module> CreateModule(Ports ports);

}  // namespace tbln
