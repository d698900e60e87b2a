#include "adapters/workbook/xls/biff_records.hpp"

#include <cstring>
#include <utility>

#include "adapters/workbook/system_codecs.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln::workbook::biff {

namespace {

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

}  // namespace

std::string RecordId(std::uint16_t id) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(id >> shift) & 0xF];
    return text;
}

void Bytes::Need(std::size_t n) const {
    if (n > data_.size() - pos_) throw CutShort{record_};
}

void Bytes::Seek(std::size_t pos) {
    if (pos > data_.size()) throw CutShort{record_};
    pos_ = pos;
}

void Bytes::Skip(std::size_t n) {
    Need(n);
    pos_ += n;
}

std::uint8_t Bytes::U8() {
    Need(1);
    return static_cast<std::uint8_t>(data_[pos_++]);
}

std::uint16_t Bytes::U16() {
    const auto lo = U8();
    return static_cast<std::uint16_t>(lo | U8() << 8);
}

std::uint32_t Bytes::U32() {
    const std::uint32_t lo = U16();
    return lo | static_cast<std::uint32_t>(U16()) << 16;
}

double Bytes::F64() {
    Need(8);
    unsigned char raw[8];
    for (auto& b : raw) b = U8();
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | raw[i];
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string_view Bytes::Take(std::size_t n) {
    Need(n);
    const auto out = data_.substr(pos_, n);
    pos_ += n;
    return out;
}

std::vector<Area> MergedAreas(Bytes& bytes) {
    std::vector<Area> areas;
    const std::size_t count = bytes.U16();
    for (std::size_t i = 0; i < count && bytes.Left() >= 8; ++i) {
        Area a;
        a.top = bytes.U16() + 1;
        a.bottom = bytes.U16() + 1;
        a.left = bytes.U16() + 1;
        a.right = bytes.U16() + 1;
        if (a.bottom < a.top) std::swap(a.top, a.bottom);
        if (a.right < a.left) std::swap(a.left, a.right);
        areas.push_back(a);
    }
    return areas;
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
    bool ascii = true;
    for (char c : bytes) ascii &= static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(bytes);
    // 1200 is UTF-16 (unusual for 8-bit strings), 32768 and 10000 the Macintosh Roman
    // code page; anything the system cannot convert reads as Latin-1.
    if (codePage == 1200 || codePage == 21010) return Latin1ToUtf8(bytes);
    const auto out = system_codecs::ConvertCodePage(bytes, codePage);
    if (!out) return Latin1ToUtf8(bytes);
    return ValidUtf8(*out);
}

std::string ReadString(Bytes& bytes, int countBytes, int codePage) {
    const std::size_t cch = countBytes == 1 ? bytes.U8() : bytes.U16();
    if (codePage != 0) return CodePageToUtf8(bytes.Take(cch), codePage);
    const std::uint8_t flags = bytes.U8();
    const bool wide = flags & 0x01;
    std::size_t runs = 0, phonetic = 0;
    if (flags & 0x08) runs = bytes.U16();
    if (flags & 0x04) phonetic = bytes.U32();
    // A cell text (LABEL) may be cut short by a careless writer: keep what is there.
    const std::size_t have = wide ? bytes.Left() / 2 : bytes.Left();
    const auto chars = bytes.Take((wide ? 2 : 1) * std::min(cch, have));
    (void)runs;
    (void)phonetic;
    return wide ? Utf16LeToUtf8(chars) : Latin1ToUtf8(chars);
}

bool ContinuedBytes::NextSegment() {
    if (segment_ + 1 >= segments_.size()) return false;
    ++segment_;
    pos_ = 0;
    return true;
}

bool ContinuedBytes::AtEnd() {
    while (pos_ >= segments_[segment_].size()) {
        if (!NextSegment()) return true;
    }
    return false;
}

std::uint8_t ContinuedBytes::U8() {
    if (AtEnd()) throw CutShort{record_};
    return static_cast<std::uint8_t>(segments_[segment_][pos_++]);
}

std::uint16_t ContinuedBytes::U16() {
    const auto lo = U8();
    return static_cast<std::uint16_t>(lo | U8() << 8);
}

std::uint32_t ContinuedBytes::U32() {
    const std::uint32_t lo = U16();
    return lo | static_cast<std::uint32_t>(U16()) << 16;
}

void ContinuedBytes::Skip(std::size_t n) {
    while (n > 0) {
        if (AtEnd()) throw CutShort{record_};
        const std::size_t here = std::min(n, segments_[segment_].size() - pos_);
        pos_ += here;
        n -= here;
    }
}

std::string ContinuedBytes::Characters(std::size_t cch, bool wide) {
    // Gathered as UTF-16 first: a surrogate pair may be cut between two records.
    std::string units;
    while (cch > 0) {
        if (pos_ >= segments_[segment_].size()) {
            // The array goes on in the next record, after its own option byte.
            if (!NextSegment() || segments_[segment_].empty()) throw CutShort{record_};
            wide = static_cast<std::uint8_t>(segments_[segment_][pos_++]) & 0x01;
            continue;
        }
        const auto rest = segments_[segment_].substr(pos_);
        const std::size_t n = std::min(cch, wide ? rest.size() / 2 : rest.size());
        if (n == 0) throw CutShort{record_};  // half a 16-bit character at the end
        const auto chars = rest.substr(0, wide ? 2 * n : n);
        if (wide) {
            units.append(chars);
        } else {
            for (char c : chars) {
                units += c;
                units += '\0';
            }
        }
        pos_ += chars.size();
        cch -= n;
    }
    return Utf16LeToUtf8(units);
}

std::string ContinuedBytes::UnicodeString(int countBytes) {
    const std::size_t cch = countBytes == 1 ? U8() : U16();
    const std::uint8_t flags = U8();
    std::size_t runs = 0, phonetic = 0;
    if (flags & 0x08) runs = U16();
    if (flags & 0x04) phonetic = U32();
    std::string text = Characters(cch, flags & 0x01);
    Skip(4 * runs);  // rich-text runs: where each font starts
    Skip(phonetic);  // phonetic guides of East Asian text
    return text;
}

bool RecordStream::Next() {
    if (next_ + 4 > stream_.size()) return false;
    offset_ = next_;
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(stream_[offset_ + i]);
    };
    id_ = static_cast<std::uint16_t>(byte(0) | byte(1) << 8);
    const std::size_t length = static_cast<std::size_t>(byte(2) | byte(3) << 8);
    if (length > stream_.size() - offset_ - 4) throw CutShort{id_};
    data_ = stream_.substr(offset_ + 4, length);
    next_ = offset_ + 4 + length;
    return true;
}

ContinuedBytes RecordStream::WithContinues() {
    std::vector<std::string_view> segments{data_};
    const std::uint16_t id = id_;
    while (next_ + 4 <= stream_.size()) {
        const auto at = [&](std::size_t i) {
            return static_cast<unsigned char>(stream_[next_ + i]);
        };
        if ((at(0) | at(1) << 8) != kContinue) break;
        Next();
        segments.push_back(data_);
    }
    return ContinuedBytes(std::move(segments), id);
}

}  // namespace tbln::workbook::biff
