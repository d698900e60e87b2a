#include "apps/com/desktop.hpp"

#include "adapters/win32/win32_ui.hpp"
#include "adapters/win32/windows_api.hpp"

namespace tbln::com {

namespace {

// The dialogs, and the windows shown beside them.
class Desktop : public win32::Win32Ui {
  public:
    explicit Desktop(ObjectServer& /*objects*/) {}
};

const bool registered = [] {
    RegisterUi("win32", [](ObjectServer& objects) -> std::unique_ptr<ui::Ui> {
        return std::make_unique<Desktop>(objects);
    });
    return true;
}();

bool AnswersGiven() {
    return GetEnvironmentVariableW(L"TBLN_ANSWERS", nullptr, 0) > 0;
}

}  // namespace

std::unique_ptr<Session> MakeSession() {
    (void)registered;
    return std::make_unique<Session>("", AnswersGiven() ? "scripted" : "win32");
}

}  // namespace tbln::com
