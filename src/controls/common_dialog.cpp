#include "controls/common_dialog.hpp"

#include "core/error.hpp"

namespace tbln {

namespace {

// The file buffer the chooser writes into, in characters.
constexpr std::size_t kFileBufferSize = 5000;
constexpr Long OFN_HIDEREADONLY = 0x4;
constexpr Long OFN_ALLOWMULTISELECT = 0x200;
constexpr Long OFN_FILEMUSTEXIST = 0x1000;
constexpr Long OFN_EXPLORER = 0x80000;

}  // namespace

CommonDialog::CommonDialog(ui::UserInterface& ui, ui::WindowManager& windows, sys::System& sys)
    : ui_(ui) {
    ErrorTrap trap;
    trap.Run([&] { ownerHwnd_ = windows.FindWindow("", "Open Excel File"); });
    trap.Run([&] { initialDir_ = sys.CurrentDir(); });
}

void CommonDialog::SetTitle(const std::string& title) {
    if (!title.empty()) title_ = title;
}

void CommonDialog::SetFilter(const std::string& filter) {
    std::string stored = filter;
    for (auto& c : stored) {
        if (c == '|') c = '\0';
    }
    const bool endsInTwoNuls = stored.size() >= 2 && stored[stored.size() - 1] == '\0' &&
                               stored[stored.size() - 2] == '\0';
    if (!endsInTwoNuls) stored += '\0';
    filter_ = std::move(stored);
}

std::string CommonDialog::Filter() const {
    std::string shown = filter_;
    for (auto& c : shown) {
        if (c == '\0') c = '|';
    }
    if (!shown.empty() && shown.back() == '|') shown.pop_back();
    return shown;
}

Long CommonDialog::OpenFlags() const {
    Long flags = 0;
    if (hideReadOnly_) flags |= OFN_HIDEREADONLY;
    if (multiSelect_) flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    if (fileMustExist_) flags |= OFN_FILEMUSTEXIST;
    return flags;
}

Long CommonDialog::SaveFlags() const {
    return fileMustExist_ ? OFN_FILEMUSTEXIST : 0;
}

ui::FileDialogRequest CommonDialog::Request(Long flags) const {
    ui::FileDialogRequest request;
    request.owner = ownerHwnd_;
    request.title = title_;
    // The port takes "description|pattern" pairs: the stored pieces up to the first
    // empty one, joined by "|".
    std::string pairs;
    std::size_t start = 0;
    while (start < filter_.size()) {
        const auto nul = filter_.find('\0', start);
        const auto end = nul == std::string::npos ? filter_.size() : nul;
        if (end == start) break;
        if (!pairs.empty()) pairs += '|';
        pairs += filter_.substr(start, end - start);
        start = end + 1;
    }
    request.filter = pairs;
    request.initialDir = initialDir_;
    request.flags = flags;
    return request;
}

std::string CommonDialog::Result(bool chosen, const std::string& fileName, Long flags) {
    if (!chosen) return {};
    // What the chooser leaves in the buffer: the path and its NUL; when several files
    // may be chosen, the path or the folder and the names each followed by a NUL, and
    // one more NUL.
    std::string buffer = fileName + '\0';
    if (flags & OFN_ALLOWMULTISELECT) buffer += '\0';
    if (buffer.size() > kFileBufferSize) return {};
    // Spaces around are removed, then the last character (the terminating NUL).
    const auto first = buffer.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    buffer = buffer.substr(first, buffer.find_last_not_of(' ') - first + 1);
    buffer.pop_back();
    return buffer;
}

std::string CommonDialog::ShowOpen() {
    auto request = Request(OpenFlags());
    bool chosen = false;
    ErrorTrap trap;
    trap.Run([&] { chosen = ui_.GetOpenFileName(request); });
    return Result(chosen, request.fileName, request.flags);
}

std::string CommonDialog::ShowSave() {
    auto request = Request(SaveFlags());
    bool chosen = false;
    ErrorTrap trap;
    trap.Run([&] { chosen = ui_.GetSaveFileName(request); });
    return Result(chosen, request.fileName, request.flags);
}

}  // namespace tbln
