// The platform the library's tests run on: the scripted user interface, real POSIX
// files under a fresh temporary install root, and the embedded spreadsheet engine.
#pragma once

#include <filesystem>
#include <functional>
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
