#include <glib.h>

#include "adapters/workbook/system_codecs.hpp"

namespace tbln::workbook::system_codecs {

std::optional<std::string> ConvertCodePage(std::string_view bytes, int codePage) {
    const std::string from = codePage == 32768 || codePage == 10000
                                 ? std::string("MACINTOSH")
                                 : "CP" + std::to_string(codePage);
    gsize written = 0;
    gchar* converted =
        g_convert_with_fallback(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                from.c_str(), "\xEF\xBF\xBD", nullptr, &written, nullptr);
    if (!converted) return std::nullopt;
    std::string out(converted, written);
    g_free(converted);
    return out;
}

namespace {

std::string Digest(GChecksumType type, std::string_view data) {
    GChecksum* sum = g_checksum_new(type);
    g_checksum_update(sum, reinterpret_cast<const guchar*>(data.data()),
                      static_cast<gssize>(data.size()));
    std::string out(static_cast<std::size_t>(g_checksum_type_get_length(type)), '\0');
    gsize length = out.size();
    g_checksum_get_digest(sum, reinterpret_cast<guint8*>(out.data()), &length);
    g_checksum_free(sum);
    out.resize(length);
    return out;
}

}  // namespace

std::string Md5(std::string_view data) {
    return Digest(G_CHECKSUM_MD5, data);
}

std::string Sha1(std::string_view data) {
    return Digest(G_CHECKSUM_SHA1, data);
}

}  // namespace tbln::workbook::system_codecs
