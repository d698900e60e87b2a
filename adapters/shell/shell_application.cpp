#include "adapters/shell/shell_application.hpp"

#include "platform/shell.hpp"

namespace tbln::shell {

namespace {

class FolderItemImpl : public FolderItem {
  public:
    explicit FolderItemImpl(std::string path) : path_(std::move(path)) {}
    std::string Path() override { return path_; }

  private:
    std::string path_;
};

class FolderItemsImpl : public FolderItems {
  public:
    explicit FolderItemsImpl(std::string path) : path_(std::move(path)) {}
    std::shared_ptr<FolderItem> Item() override { return std::make_shared<FolderItemImpl>(path_); }

  private:
    std::string path_;
};

class FolderImpl : public Folder {
  public:
    explicit FolderImpl(std::string path) : path_(std::move(path)) {}
    std::shared_ptr<FolderItems> Items() override {
        return std::make_shared<FolderItemsImpl>(path_);
    }

  private:
    std::string path_;
};

class ShellImpl : public Shell {
  public:
    explicit ShellImpl(ui::Ui& ui) : ui_(ui) {}
    std::shared_ptr<Folder> BrowseForFolder(Long owner, const std::string& title, Long /*options*/,
                                            Long /*root*/) override {
        std::string path = ui_.BrowseForFolder(owner, title);
        if (path.empty()) return nullptr;
        return std::make_shared<FolderImpl>(std::move(path));
    }

  private:
    ui::Ui& ui_;
};

}  // namespace

void RegisterShellApplication(ObjectServer& server, ui::Ui& ui) {
    server.Register("Shell.Application",
                    ObjectServer::Provider{nullptr, [&ui]() -> std::shared_ptr<Object> {
                                               return std::make_shared<ShellImpl>(ui);
                                           }});
}

}  // namespace tbln::shell
