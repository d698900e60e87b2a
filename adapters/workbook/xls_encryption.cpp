#include "adapters/workbook/xls_encryption.hpp"

#include <glib.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/workbook/biff_records.hpp"
#include "core/unicode.hpp"

namespace tbln::workbook {

namespace {

using namespace biff;

// The password the spreadsheet tries before it asks for one.
constexpr std::string_view kDefaultPassword = "VelvetSweatshop";
// The stream is encrypted in blocks of this many bytes, each with a key of its own.
constexpr std::size_t kBlockBytes = 1024;

// Records never encrypted (besides the first four bytes of BOUNDSHEET, the sheet's
// stream position).
constexpr std::uint16_t kUsrExcl = 0x0194, kFileLock = 0x0195, kInterfaceHdr = 0x00E1,
                        kRrdInfo = 0x0196, kRrdHead = 0x0138;

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

std::string Le32(std::uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// The RC4 stream cipher.
class Rc4 {
  public:
    explicit Rc4(std::string_view key) {
        for (int i = 0; i < 256; ++i) s_[i] = static_cast<std::uint8_t>(i);
        std::uint8_t j = 0;
        for (int i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + s_[i] +
                                          static_cast<std::uint8_t>(key[i % key.size()]));
            std::swap(s_[i], s_[j]);
        }
    }
    std::uint8_t Next() {
        i_ = static_cast<std::uint8_t>(i_ + 1);
        j_ = static_cast<std::uint8_t>(j_ + s_[i_]);
        std::swap(s_[i_], s_[j_]);
        return s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
    }
    std::string Apply(std::string_view data) {
        std::string out(data);
        for (auto& c : out) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ Next());
        return out;
    }

  private:
    std::array<std::uint8_t, 256> s_{};
    std::uint8_t i_ = 0, j_ = 0;
};

// How the key of each block is made from the password: RC4 ([MS-OFFCRYPTO] 2.3.6) with
// MD5, or CryptoAPI RC4 (2.3.5) with SHA-1.
struct BlockKeys {
    bool cryptoApi = false;
    std::string base;  // the hash the block number is appended to
    std::size_t keyBits = 128;

    std::string Key(std::uint32_t block) const {
        if (!cryptoApi) return Digest(G_CHECKSUM_MD5, base + Le32(block));
        std::string hash = Digest(G_CHECKSUM_SHA1, base + Le32(block));
        // A 40-bit key is used as 128 bits, its last 88 zero.
        if (keyBits == 40) return hash.substr(0, 5) + std::string(11, '\0');
        return hash.substr(0, keyBits / 8);
    }
};

// The block keys the default password gives for the FILEPASS record's encryption, when
// that password is the one: its verifier decrypts to the hash it is stored with.
bool DefaultPasswordKeys(Bytes& filePass, BlockKeys& keys) {
    const std::string password = Utf8ToUtf16Le(kDefaultPassword);
    if (filePass.U16() != 1) return false;  // XOR obfuscation
    const std::uint16_t major = filePass.U16(), minor = filePass.U16();
    std::string verifier, verifierHash;
    if (major == 1 && minor == 1) {
        const std::string salt(filePass.Take(16));
        verifier = filePass.Take(16);
        verifierHash = filePass.Take(16);
        const std::string h0 = Digest(G_CHECKSUM_MD5, password).substr(0, 5);
        std::string buffer;
        for (int i = 0; i < 16; ++i) buffer += h0 + salt;
        keys.base = Digest(G_CHECKSUM_MD5, buffer).substr(0, 5);
    } else if (major >= 2 && major <= 4 && minor == 2) {
        keys.cryptoApi = true;
        filePass.Skip(4);  // flags
        const std::uint32_t headerSize = filePass.U32();
        Bytes header(filePass.Take(headerSize), kFilePass);
        header.Skip(16);  // flags, extra size, cipher and hash algorithms
        const std::uint32_t keyBits = header.U32();
        keys.keyBits = keyBits == 0 ? 40 : keyBits;
        if (keys.keyBits < 40 || keys.keyBits > 128 || keys.keyBits % 8 != 0) return false;
        if (filePass.U32() != 16) return false;  // the salt's size
        const std::string salt(filePass.Take(16));
        verifier = filePass.Take(16);
        const std::uint32_t hashSize = filePass.U32();
        if (hashSize != 20) return false;
        verifierHash = filePass.Take(20);
        keys.base = Digest(G_CHECKSUM_SHA1, salt + password);
    } else {
        return false;
    }
    Rc4 rc4(keys.Key(0));
    const std::string plain = rc4.Apply(verifier);
    const std::string hash = rc4.Apply(verifierHash);
    return Digest(keys.cryptoApi ? G_CHECKSUM_SHA1 : G_CHECKSUM_MD5, plain) == hash;
}

bool NeverEncrypted(std::uint16_t id) {
    return id == kBof || id == kFilePass || id == kUsrExcl || id == kFileLock ||
           id == kInterfaceHdr || id == kRrdInfo || id == kRrdHead;
}

}  // namespace

bool DecryptWithDefaultPassword(std::string& stream) {
    BlockKeys keys;
    std::size_t start = 0;  // where the encrypted records begin: after FILEPASS
    try {
        RecordStream records(stream);
        while (records.Next() && records.Id() != kEof) {
            if (records.Id() != kFilePass) continue;
            auto filePass = records.Reader();
            if (!DefaultPasswordKeys(filePass, keys)) return false;
            start = records.Offset() + 4 + records.Data().size();
            break;
        }
        if (start == 0) return false;
    } catch (const CutShort&) {
        return false;  // a damaged FILEPASS: the reader refuses the workbook as encrypted
    }
    try {
        // Each byte of a record's data is XORed with the key stream at the byte's own
        // position in the stream (the headers are left plain but count).
        std::uint32_t block = 0xFFFFFFFF;
        std::vector<std::uint8_t> keyStream(kBlockBytes);
        RecordStream records(stream);
        records.Seek(start);
        while (records.Next()) {
            const std::uint16_t id = records.Id();
            if (NeverEncrypted(id)) continue;
            std::size_t at = records.Offset() + 4 + (id == kBoundSheet ? 4 : 0);
            const std::size_t end = records.Offset() + 4 + records.Data().size();
            for (; at < end; ++at) {
                if (at / kBlockBytes != block) {
                    block = static_cast<std::uint32_t>(at / kBlockBytes);
                    Rc4 rc4(keys.Key(block));
                    for (auto& k : keyStream) k = rc4.Next();
                }
                stream[at] = static_cast<char>(static_cast<std::uint8_t>(stream[at]) ^
                                               keyStream[at % kBlockBytes]);
            }
        }
    } catch (const CutShort&) {
        // A record cut short ends the stream: the reader reports it.
    }
    return true;
}

}  // namespace tbln::workbook
