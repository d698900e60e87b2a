#include "adapters/win32/wide_text.hpp"

// clang-format off
#include "adapters/win32/windows_api.hpp"

// clang-format on

#include <algorithm>
#include <cstring>

#include "core/unicode.hpp"

namespace tbln::win32 {

// wchar_t is 16 bits on Windows: the core's UTF-16LE bytes are its characters.
static_assert(sizeof(wchar_t) == 2);

std::wstring Wide(std::string_view utf8) {
    const std::string bytes = Utf8ToUtf16Le(ValidUtf8(utf8));
    std::wstring out(bytes.size() / 2, L'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    return Utf16LeToUtf8(
        std::string_view(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2));
}

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i) args.push_back(Narrow(argv[i]));
    if (argv) LocalFree(argv);
    return args;
}

std::string ArgumentFromBatchFile(const std::string& argument) {
    const std::wstring wide = Wide(argument);
    UINT codePage = GetConsoleCP();
    if (codePage == 0) codePage = CP_OEMCP;
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, nullptr, &lost);
    if (n <= 0 || lost) return argument;
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        bytes.data(), n, nullptr, &lost);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (lost || ascii || !IsValidUtf8(bytes)) return argument;
    return bytes;
}

std::string ErrorText(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : Narrow(message);
}

}  // namespace tbln::win32
