// The platform the library's tests run on: the scripted user interface, real POSIX
// files under a fresh temporary install root, and the embedded spreadsheet engine.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "platform/ports.hpp"
#include "platform/ui.hpp"

namespace tbln::testing {

inline std::string Fixture(const std::string& name) {
    return std::string(TBLN_FIXTURES) + "/" + name;
}

// A file's bytes; "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes `text` to `path`, making its folder first; returns the path.
inline std::string WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// One word for the shell, quoted.
inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line; its exit status (-1 when it did not exit) and standard output.
struct CommandRun {
    int status = -1;
    std::string out;
};
inline CommandRun RunCommand(const std::string& command) {
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buf{};
    while (std::size_t n = fread(buf.data(), 1, buf.size(), pipe)) run.out.append(buf.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// Writes to `to` a copy of the package `from` whose zip directory misnames `part` (its
// last character turned to '~'), as a damaged directory does: the part's bytes are still
// there, but nothing finds them under the name its relationship gives. Returns `to`.
inline std::string MisnamedPartCopy(const std::string& from, const std::string& to,
                                    const std::string& part) {
    std::string bytes = ReadFile(from);
    const auto at = bytes.rfind(part);  // the directory follows the parts' own headers
    if (at != std::string::npos) bytes[at + part.size() - 1] = '~';
    return WriteFile(to, bytes);
}

// A fresh folder, removed when the test ends.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tbln-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct TestPlatform {
    TestPlatform() : sys(root.Path()) { workbook::RegisterEmbeddedExcel(objects, ui); }
    Ports ports() { return Ports{ui, sys, objects}; }

    TempDir root;
    scripted::ScriptedUi ui;
    posix::PosixSystem sys;
    ObjectServer objects;
};

// A dialog whose behaviour a test supplies: what happens at load, an OK and a Cancel
// button, and a 500 ms timer whose first tick closes the dialog unless the test says
// otherwise (as the progress dialogs close themselves when their work is done).
class TestForm : public ui::Form {
  public:
    explicit TestForm(std::string name) : ui::Form(std::move(name)) {
        btnCancel.SetCancel(true);
        btnOK.Click = [this] {
            if (onOK) onOK();
            Unload();
        };
        btnCancel.Click = [this] {
            if (onCancel) onCancel();
            Unload();
        };
        Timer1.SetInterval(500);
        Timer1.Tick = [this] {
            if (onTick) {
                onTick();
            } else {
                Unload();
            }
        };
    }
    void Form_Load() override {
        if (onLoad) onLoad();
    }

    ui::CommandButton btnOK{*this, "btnOK"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::TextBox tbPath{*this, "tbPath"};
    ui::ListBox lbItems{*this, "lbItems"};
    ui::Timer Timer1{*this, "Timer1"};
    std::function<void()> onLoad, onOK, onCancel, onTick;
};

}  // namespace tbln::testing
