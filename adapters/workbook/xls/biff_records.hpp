// The record layer of a legacy workbook stream (BIFF5, BIFF7 and BIFF8): records one
// at a time, records with their CONTINUE records, and the texts they hold. Every read
// is checked against the bytes actually present; lengths and counts from the file
// never size anything beyond them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook::biff {

// Record identifiers.
enum : std::uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kSelection = 0x001D,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kFont = 0x0031,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kPane = 0x0041,
    kCodePage = 0x0042,
    kDefColWidth = 0x0055,
    kObj = 0x005D,
    kColInfo = 0x007D,
    kBoundSheet = 0x0085,
    kPalette = 0x0092,
    kStandardWidth = 0x0099,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kMergedCells = 0x00E5,
    kMsoDrawingGroup = 0x00EB,
    kMsoDrawing = 0x00EC,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kTxo = 0x01B6,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRow = 0x0208,
    kDefaultRowHeight = 0x0225,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kFormat = 0x041E,
    kBof = 0x0809,
};

// Raised when a record is shorter than what it says it holds; the workbook reader
// turns it into an error naming the file and the record.
struct CutShort {
    std::uint16_t record;
};

// A record identifier as the format's documentation writes it ("0x00FC").
std::string RecordId(std::uint16_t id);

// Little-endian reads from a record's bytes, checked against its end.
class Bytes {
  public:
    Bytes(std::string_view data, std::uint16_t record) : data_(data), record_(record) {}
    std::size_t Size() const { return data_.size(); }
    std::size_t Left() const { return data_.size() - pos_; }
    std::size_t Pos() const { return pos_; }
    void Seek(std::size_t pos);
    void Skip(std::size_t n);
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    double F64();
    std::string_view Take(std::size_t n);

  private:
    void Need(std::size_t n) const;
    std::string_view data_;
    std::uint16_t record_;
    std::size_t pos_ = 0;
};

// 8-bit characters of an older workbook as UTF-8, through its code page.
std::string CodePageToUtf8(std::string_view bytes, int codePage);

// A record and its CONTINUE records read as one sequence of bytes, for the records
// whose texts may run on (SST, STRING): a character array cut at a record boundary
// goes on after a fresh option byte that says whether the rest is 8- or 16-bit.
class ContinuedBytes {
  public:
    ContinuedBytes(std::vector<std::string_view> segments, std::uint16_t record)
        : segments_(std::move(segments)), record_(record) {}
    bool AtEnd();
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    void Skip(std::size_t n);
    // cch characters, 16-bit when `wide`, continuing across records as described.
    std::string Characters(std::size_t cch, bool wide);
    // A BIFF8 unicode string whose character count has `countBytes` bytes (1 or 2), with
    // its rich-text runs and phonetic block skipped.
    std::string UnicodeString(int countBytes);

  private:
    bool NextSegment();
    std::vector<std::string_view> segments_;
    std::uint16_t record_;
    std::size_t segment_ = 0, pos_ = 0;
};

// Reads characters from `bytes`: a BIFF8 string (option byte, 8- or 16-bit), with a
// character count of `countBytes` bytes, or, when `codePage` is not 0, an older
// workbook's 8-bit string in that code page.
std::string ReadString(Bytes& bytes, int countBytes, int codePage);

// The areas of a MERGEDCELLS record, 1-based, each with its corners in order (some
// writers store them the other way round); the count the record gives is trusted only
// as far as its bytes go.
std::vector<Area> MergedAreas(Bytes& bytes);

// The records of a workbook stream in order.
class RecordStream {
  public:
    explicit RecordStream(std::string_view stream) : stream_(stream) {}
    // Moves to the next record; false at the end of the stream. Throws CutShort when
    // a record's header claims more bytes than the stream has.
    bool Next();
    std::uint16_t Id() const { return id_; }
    std::string_view Data() const { return data_; }
    Bytes Reader() const { return Bytes(data_, id_); }
    std::size_t Offset() const { return offset_; }
    void Seek(std::size_t offset) { next_ = offset; }
    std::size_t Size() const { return stream_.size(); }
    // The current record followed by every CONTINUE record after it (consumed).
    ContinuedBytes WithContinues();

  private:
    std::string_view stream_;
    std::size_t next_ = 0, offset_ = 0;
    std::uint16_t id_ = 0;
    std::string_view data_;
};

}  // namespace tbln::workbook::biff
