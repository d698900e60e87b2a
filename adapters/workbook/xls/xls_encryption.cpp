#include "adapters/workbook/xls/xls_encryption.hpp"

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/workbook/system_codecs.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
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

enum class Hash { Md5, Sha1 };

std::string Digest(Hash type, std::string_view data) {
    return type == Hash::Md5 ? system_codecs::Md5(data) : system_codecs::Sha1(data);
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
        if (!cryptoApi) return Digest(Hash::Md5, base + Le32(block));
        std::string hash = Digest(Hash::Sha1, base + Le32(block));
        // A 40-bit key is used as 128 bits, its last 88 zero.
        if (keyBits == 40) return hash.substr(0, 5) + std::string(11, '\0');
        return hash.substr(0, keyBits / 8);
    }
};

// The block keys the default password gives for the FILEPASS record's RC4 encryption,
// when that password is the one: its verifier decrypts to the hash it is stored with.
bool DefaultPasswordKeys(Bytes& filePass, BlockKeys& keys) {
    const std::string password = Utf8ToUtf16Le(kDefaultPassword);
    const std::uint16_t major = filePass.U16(), minor = filePass.U16();
    std::string verifier, verifierHash;
    if (major == 1 && minor == 1) {
        const std::string salt(filePass.Take(16));
        verifier = filePass.Take(16);
        verifierHash = filePass.Take(16);
        const std::string h0 = Digest(Hash::Md5, password).substr(0, 5);
        std::string buffer;
        for (int i = 0; i < 16; ++i) buffer += h0 + salt;
        keys.base = Digest(Hash::Md5, buffer).substr(0, 5);
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
        keys.base = Digest(Hash::Sha1, salt + password);
    } else {
        return false;
    }
    Rc4 rc4(keys.Key(0));
    const std::string plain = rc4.Apply(verifier);
    const std::string hash = rc4.Apply(verifierHash);
    return Digest(keys.cryptoApi ? Hash::Sha1 : Hash::Md5, plain) == hash;
}

// XOR obfuscation ([MS-OFFCRYPTO] 2.3.7, method 1): a 16-byte array made from the
// password, each data byte XORed with it and rotated.
constexpr std::array<std::uint16_t, 15> kInitialCode = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                                        0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                                        0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::array<std::uint16_t, 105> kXorMatrix = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
constexpr std::array<std::uint8_t, 15> kPadArray = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                                    0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

std::uint8_t RotateRight(std::uint8_t b, int n) {
    return static_cast<std::uint8_t>((b >> n) | (b << (8 - n)));
}

std::uint16_t XorVerifier(std::string_view password) {
    std::uint16_t verifier = 0;
    std::string bytes(1, static_cast<char>(password.size()));
    bytes += password;
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
        const auto high = static_cast<std::uint16_t>((verifier & 0x4000) ? 1 : 0);
        verifier = static_cast<std::uint16_t>((high | ((verifier << 1) & 0x7FFF)) ^
                                              static_cast<std::uint8_t>(*it));
    }
    return static_cast<std::uint16_t>(verifier ^ 0xCE4B);
}

std::uint16_t XorKey(std::string_view password) {
    std::uint16_t key = kInitialCode[password.size() - 1];
    std::size_t element = 0x68;
    for (auto it = password.rbegin(); it != password.rend(); ++it) {
        auto c = static_cast<std::uint8_t>(*it);
        for (int bit = 0; bit < 7; ++bit, --element) {
            if (c & 0x40) key ^= kXorMatrix[element];
            c = static_cast<std::uint8_t>(c << 1);
        }
    }
    return key;
}

std::array<std::uint8_t, 16> XorArray(std::string_view password) {
    const std::uint16_t key = XorKey(password);
    const auto high = static_cast<std::uint8_t>(key >> 8), low = static_cast<std::uint8_t>(key);
    const auto mix = [](std::uint8_t a, std::uint8_t b) { return RotateRight(a ^ b, 1); };
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(password[i]); };
    std::array<std::uint8_t, 16> out{};
    std::size_t index = password.size();
    if (index % 2 == 1) {
        out[index] = mix(kPadArray[0], high);
        --index;
        out[index] = mix(at(password.size() - 1), low);
    }
    while (index > 0) {
        --index;
        out[index] = mix(at(index), high);
        --index;
        out[index] = mix(at(index), low);
    }
    index = 15;
    for (std::size_t pad = 15 - password.size(); pad > 0;) {
        out[index--] = mix(kPadArray[pad--], high);
        out[index--] = mix(kPadArray[pad--], low);
    }
    return out;
}

bool NeverEncrypted(std::uint16_t id) {
    return id == kBof || id == kFilePass || id == kUsrExcl || id == kFileLock ||
           id == kInterfaceHdr || id == kRrdInfo || id == kRrdHead;
}

}  // namespace

bool DecryptWithDefaultPassword(std::string& stream, bool biff5) {
    BlockKeys keys;
    bool xorObfuscation = false;
    std::size_t start = 0;  // where the encrypted records begin: after FILEPASS
    try {
        RecordStream records(stream);
        while (records.Next() && records.Id() != kEof) {
            if (records.Id() != kFilePass) continue;
            auto filePass = records.Reader();
            // An Excel 5.0 or 95 workbook knows XOR obfuscation only, and says so by
            // the record's size; a later one names its kind of encryption first.
            xorObfuscation = biff5 || filePass.U16() == 0;
            if (xorObfuscation) {
                filePass.U16();  // the key the array is made from, derived again below
                if (filePass.U16() != XorVerifier(kDefaultPassword)) return false;
            } else if (!DefaultPasswordKeys(filePass, keys)) {
                return false;
            }
            start = records.Offset() + 4 + records.Data().size();
            break;
        }
        if (start == 0) return false;
    } catch (const CutShort&) {
        return false;  // a damaged FILEPASS: the reader refuses the workbook as encrypted
    }
    const std::array<std::uint8_t, 16> xorArray = XorArray(kDefaultPassword);
    try {
        // RC4: each byte of a record's data is XORed with the key stream at the byte's
        // own position in the stream (the headers are left plain but count). XOR
        // obfuscation: the array is taken from the position after the record's data
        // (four bytes further for BOUNDSHEET) on, one element a byte.
        std::uint32_t block = 0xFFFFFFFF;
        std::vector<std::uint8_t> keyStream(kBlockBytes);
        RecordStream records(stream);
        records.Seek(start);
        while (records.Next()) {
            const std::uint16_t id = records.Id();
            if (NeverEncrypted(id)) continue;
            std::size_t at = records.Offset() + 4 + (id == kBoundSheet ? 4 : 0);
            const std::size_t end = records.Offset() + 4 + records.Data().size();
            if (xorObfuscation) {
                std::size_t index = end + (id == kBoundSheet ? 4 : 0);
                for (; at < end; ++at, ++index) {
                    const auto b = static_cast<std::uint8_t>(stream[at]) ^ xorArray[index % 16];
                    stream[at] = static_cast<char>(RotateRight(static_cast<std::uint8_t>(b), 5));
                }
                continue;
            }
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
