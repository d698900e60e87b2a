// The shell's automation object ("Shell.Application"): only its folder chooser, the
// way the dialogs reach it: BrowseForFolder gives a Folder (nothing when the user
// cancels), whose Items().Item() is the folder itself with its Path.
#pragma once

#include <memory>
#include <string>

#include "core/numeric.hpp"
#include "platform/objects.hpp"

namespace tbln::shell {

// BrowseForFolder options.
inline constexpr Long BIF_RETURNONLYFSDIRS = 1;
inline constexpr Long BIF_EDITBOX = 16;
inline constexpr Long BIF_NEWDIALOGSTYLE = 64;

class FolderItem : public Object {
  public:
    virtual std::string Path() = 0;
};

class FolderItems : public Object {
  public:
    // Without an index: the folder's own item.
    virtual std::shared_ptr<FolderItem> Item() = 0;
};

class Folder : public Object {
  public:
    virtual std::shared_ptr<FolderItems> Items() = 0;
};

class Shell : public Object {
  public:
    // The folder chooser, titled `title`, owned by the window `owner`, rooted at
    // `root` (0: the desktop). nullptr when the user cancels.
    virtual std::shared_ptr<Folder> BrowseForFolder(Long owner, const std::string& title,
                                                    Long options, Long root) = 0;
};

}  // namespace tbln::shell
