// The legacy binary workbook's code pages and digests on Windows: the system's own code
// page conversion and its cryptography primitives (CNG).
// clang-format off
#include "adapters/win32/windows_api.hpp"
#include <bcrypt.h>
// clang-format on

#include <vector>

#include "adapters/win32/wide_text.hpp"
#include "adapters/workbook/system_codecs.hpp"

namespace tbln::workbook::system_codecs {

std::optional<std::string> ConvertCodePage(std::string_view bytes, int codePage) {
    const UINT cp = codePage == 32768 ? 10000u : static_cast<UINT>(codePage);
    if (!IsValidCodePage(cp) || bytes.empty())
        return bytes.empty() ? std::optional<std::string>("") : std::nullopt;
    const int n =
        MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return win32::Narrow(text);
}

namespace {

std::string Digest(LPCWSTR algorithm, std::string_view data) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    DWORD length = 0, got = 0;
    std::string out;
    if (BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0) == 0 &&
        BCryptGetProperty(provider, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                          sizeof length, &got, 0) == 0 &&
        BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                       static_cast<ULONG>(data.size()), 0) == 0) {
        out.resize(length);
        if (BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(out.data()), length, 0) != 0)
            out.clear();
    }
    if (hash) BCryptDestroyHash(hash);
    if (provider) BCryptCloseAlgorithmProvider(provider, 0);
    // Without the primitive nothing can be decrypted; the caller then reports the
    // password as wrong rather than reading garbage.
    return out;
}

}  // namespace

std::string Md5(std::string_view data) {
    return Digest(BCRYPT_MD5_ALGORITHM, data);
}

std::string Sha1(std::string_view data) {
    return Digest(BCRYPT_SHA1_ALGORITHM, data);
}

}  // namespace tbln::workbook::system_codecs
