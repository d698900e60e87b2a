// The embedded document engine: Word's automation object model over real .docx
// files, with lines and pages from our own layout. One application object per
// ObjectServer stays alive between entry-point calls, like the user's running Word.
#pragma once

#include <memory>

#include "platform/objects.hpp"
#include "platform/ui.hpp"
#include "platform/word.hpp"

namespace tbln::document {

// Creates a new embedded Word application. `ui` serves Word's file-open dialog.
std::shared_ptr<word::Application> CreateEmbeddedWord(ui::Ui& ui);

// Registers "Word.Application" with the server: GetObject finds the running instance
// once one has been created; CreateObject starts one.
void RegisterEmbeddedWord(ObjectServer& server, ui::Ui& ui);

}  // namespace tbln::document
