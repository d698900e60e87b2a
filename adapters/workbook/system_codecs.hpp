// What the legacy binary workbook takes from the system's own libraries: the conversion of
// a code page's bytes and the digests of its encryption. GLib on POSIX
// (glib_codecs.cpp), Win32 on Windows (adapters/win32/win32_codecs.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tbln::workbook::system_codecs {

// The bytes of the Windows code page (32768 and 10000: Macintosh Roman) in UTF-8, a
// byte the code page lacks as U+FFFD; nullopt for a code page the system does not know.
std::optional<std::string> ConvertCodePage(std::string_view bytes, int codePage);

// The MD5 and SHA-1 digests of the bytes (16 and 20 bytes).
std::string Md5(std::string_view data);
std::string Sha1(std::string_view data);

}  // namespace tbln::workbook::system_codecs
