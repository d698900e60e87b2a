#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>

#ifndef _WIN32
#include <link.h>
#endif

#ifdef TBLN_UI_PLUGINS
#include <dlfcn.h>
#endif

#include "adapters/document/embedded_word.hpp"
#include "adapters/posix/posix_system.hpp"
#ifdef _WIN32
#include "adapters/win32/win32_system.hpp"
#endif
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/shell/shell_application.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "apps/lib/dialog_script.hpp"
#include "apps/lib/tbln.hpp"
#include "common/paths.hpp"
#include "library/library.hpp"

namespace tbln {

namespace fs = std::filesystem;

namespace {

struct UiRegistry {
    std::mutex lock;
    std::map<std::string, UiFactory> factories{
        {"scripted", [](ObjectServer&) { return std::make_unique<scripted::ScriptedUi>(); }}};
};

UiRegistry& Registry() {
    static UiRegistry registry;
    return registry;
}

// The plugins of user interfaces beside the shared library: libtbln-NAME.so. The
// static library (our own programs link their user interfaces in) has none.
std::map<std::string, fs::path> UiPlugins() {
    std::map<std::string, fs::path> plugins;
#ifdef TBLN_UI_PLUGINS
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&RegisterUi), &self) || !self.dli_fname) return plugins;
    std::error_code ec;
    const std::string prefix = "libtbln-", suffix = ".so";
    for (const auto& entry : fs::directory_iterator(fs::path(self.dli_fname).parent_path(), ec)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > prefix.size() + suffix.size() && file.starts_with(prefix) &&
            file.ends_with(suffix)) {
            plugins[file.substr(prefix.size(), file.size() - prefix.size() - suffix.size())] =
                entry.path();
        }
    }
#endif
    return plugins;
}

// The "qt" user interface runs on Qt 6. A process that already runs another major version
// of Qt (FreeCAD runs Qt 5) cannot hold both: their symbols and event loops collide.
constexpr int kQtMajor = 6;

// The file name of a Qt core library of another major version loaded in the process, or
// empty when there is none.
std::string OtherQtInProcess() {
    std::string found;
#ifdef _WIN32
    // The Windows build has no Qt user interface to load.
    return found;
#else
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            const std::string_view path = info->dlpi_name ? info->dlpi_name : "";
            const std::string_view name = path.substr(path.rfind('/') + 1);
            // libQt5Core.so.5, libQt6Core.so.6, and Qt 4's libQtCore.so.4.
            const bool qt4 = name.starts_with("libQtCore.so");
            const bool qtN = name.starts_with("libQt") && name.size() > 5 &&
                             std::isdigit(static_cast<unsigned char>(name[5])) &&
                             name.substr(6).starts_with("Core.so");
            if ((qt4 || (qtN && name[5] - '0' != kQtMajor)) && name.find(".so") != name.npos) {
                *static_cast<std::string*>(data) = std::string(name);
                return 1;
            }
            return 0;
        },
        &found);
    return found;
#endif
}

// The factory of a user interface, loading its plugin when it is not registered yet;
// raises std::invalid_argument naming the known ones when there is none.
UiFactory FactoryOf(const std::string& name) {
    auto& registry = Registry();
    {
        std::lock_guard guard(registry.lock);
        if (const auto it = registry.factories.find(name); it != registry.factories.end())
            return it->second;
    }
#ifdef TBLN_UI_PLUGINS
    const auto plugins = UiPlugins();
    if (const auto it = plugins.find(name); it != plugins.end()) {
        if (const auto other = OtherQtInProcess(); name == "qt" && !other.empty()) {
            throw std::invalid_argument("the user interface \"qt\" runs on Qt " +
                                        std::to_string(kQtMajor) +
                                        ", and this process already runs another Qt (" + other +
                                        "); one process cannot hold both: choose \"scripted\"");
        }
        // Loading registers it; the plugin stays loaded for the life of the process.
        if (!dlopen(it->second.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            const char* why = dlerror();
            throw std::invalid_argument("the user interface \"" + name + "\" cannot be loaded: " +
                                        (why ? why : it->second.string()));
        }
        std::lock_guard guard(registry.lock);
        if (const auto f = registry.factories.find(name); f != registry.factories.end())
            return f->second;
    }
#endif
    std::string known;
    for (const auto& n : UiNames()) known += (known.empty() ? "" : ", ") + n;
    throw std::invalid_argument("no user interface named \"" + name + "\" (known: " + known + ")");
}

#ifdef _WIN32
// The system port of this platform, over the install root.
using NativeSystem = win32::Win32System;
#else
using NativeSystem = posix::PosixSystem;
#endif

// Where the external reader is looked for, in order.
std::vector<fs::path> ReaderCandidates() {
    std::vector<fs::path> candidates;
    if (const char* env = std::getenv("TBLN_READER"); env && *env) candidates.emplace_back(env);
#ifdef _WIN32
    // Beside the DLL (or the program) this session is linked into.
    candidates.push_back(fs::path(win32::ModulePath()).parent_path() / "tbln-reader.exe");
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // Installed side by side, or in the build tree's apps/reader folder.
        candidates.push_back(self.parent_path() / "tbln-reader");
        candidates.push_back(self.parent_path().parent_path() / "reader" / "tbln-reader");
    }
#ifdef TBLN_BUILD_READER
    candidates.emplace_back(TBLN_BUILD_READER);
#endif
#ifdef TBLN_INSTALLED_READER
    candidates.emplace_back(TBLN_INSTALLED_READER);
#endif
#endif
    return candidates;
}

}  // namespace

void RegisterUi(const std::string& name, UiFactory factory) {
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.factories[name] = std::move(factory);
}

std::vector<std::string> UiNames() {
    std::vector<std::string> names;
    for (const auto& [name, file] : UiPlugins()) names.push_back(name);
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (const auto& [name, factory] : registry.factories) names.push_back(name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void InstallReader(sys::System& sys) {
    sys.MakeDirs(paths::ReaderFolder(sys));
    sys.MakeDirs(paths::PicturesFolder(sys));
    const std::string target = paths::ReaderFile(sys, paths::kReaderProgramFile);
    fs::path source;
    std::error_code ec;
    for (const auto& candidate : ReaderCandidates()) {
        if (fs::is_regular_file(candidate, ec)) {
            source = candidate;
            break;
        }
    }
    if (source.empty()) {
        if (sys.FileExists(target)) return;
        throw ReaderMissing(
            "tbln-reader was not found beside the program or in the installation; set "
            "TBLN_READER to its path");
    }
    if (sys.FileExists(target) &&
        fs::last_write_time(target, ec) >= fs::last_write_time(source, ec) &&
        fs::file_size(target, ec) == fs::file_size(source, ec)) {
        return;
    }
    sys.CopyFile(source.string(), target);
    sys.SetExecutable(target);
}

Session::Session(const std::string& root, const std::string& uiName) {
    if (uiName == "auto" && !OtherQtInProcess().empty()) {
        uiWarning_ = "the real dialogs run on Qt " + std::to_string(kQtMajor) +
                     ", and this process already runs " + OtherQtInProcess() +
                     "; the scripted interface is used instead";
        ownUi_ = FactoryOf("scripted")(objects_);
        uiName_ = "scripted";
    } else if (uiName == "auto") {
        // The real dialogs where they can be shown, else the script.
        try {
            ownUi_ = FactoryOf("qt")(objects_);
            uiName_ = "qt";
        } catch (const std::exception&) {
            ownUi_ = FactoryOf("scripted")(objects_);
            uiName_ = "scripted";
        }
    } else {
        ownUi_ = FactoryOf(uiName)(objects_);
        uiName_ = uiName;
    }
    Build(*ownUi_, root);
}

Session::Session(const std::string& root, ui::Ui& ui) {
    Build(ui, root);
}

void Session::Build(ui::Ui& ui, const std::string& root) {
    ui_ = &ui;
    scripted_ = dynamic_cast<scripted::ScriptedUi*>(ui_);
    sys_ = std::make_unique<NativeSystem>(posix::ResolveInstallRoot(root));
    module_ = CreateModule(Ports{ui, *sys_, objects_});
    app_ = std::make_unique<Application>(*module_);
    workbook::RegisterEmbeddedExcel(objects_, ui);
    document::RegisterEmbeddedWord(objects_, ui);
    shell::RegisterShellApplication(objects_, ui);
}

Session::~Session() = default;

sys::System& Session::Sys() {
    return *sys_;
}

void Session::InstallReader() {
    tbln::InstallReader(*sys_);
}

scripted::ScriptedUi& Session::RequireScripted() {
    if (!scripted_) throw std::logic_error("only the scripted user interface takes a script");
    return *scripted_;
}

void Session::PushFileChoice(std::optional<std::string> path) {
    RequireScripted().PushFileChoice(std::move(path));
}
void Session::PushFolderChoice(std::optional<std::string> path) {
    RequireScripted().PushFolderChoice(std::move(path));
}
void Session::Click(const std::string& control) {
    RequireScripted().Push(scripted::Action::Click(control));
}
void Session::SetText(const std::string& control, const std::string& text) {
    RequireScripted().Push(scripted::Action::SetText(control, text));
}
void Session::Pick(const std::string& control, int index) {
    RequireScripted().Push(scripted::Action::Pick(control, index));
}
void Session::Check(const std::string& control, int value) {
    RequireScripted().Push(scripted::Action::Check(control, value));
}
void Session::PushAnswer(int answer) {
    RequireScripted().PushAnswer(answer);
}
void Session::SelectCell(const std::string& cell) {
    script::SelectCell(RequireScripted(), objects_, cell);
}
void Session::OpenWorkbook(const std::string& file, const std::string& sheet,
                           const std::string& browseButton) {
    script::OpenWorkbook(RequireScripted(), file, sheet, browseButton);
}
void Session::RangeDialog(const std::string& file, const std::string& sheet,
                          const std::string& range) {
    script::RangeDialog(RequireScripted(), file, sheet, range);
}

void Session::UseAnswers(const std::string& path) {
    try {
        script::UseAnswers(RequireScripted(), objects_, *sys_, path);
    } catch (const scripted::AnswersError& e) {
        throw std::invalid_argument(e.what());
    }
}

std::vector<ShownMessage> Session::Messages() const {
    std::vector<ShownMessage> out;
    if (scripted_) {
        for (const auto& m : scripted_->Messages()) out.push_back({m.title, m.prompt});
    }
    return out;
}

}  // namespace tbln
