// The drawings of a legacy binary workbook (.xls): the Office Drawing containers kept in
// the workbook's drawing group (the picture store) and in each sheet's drawing records,
// with the object (OBJ) and text (TXO) records between them, read into the same
// drawing model as a workbook package's DrawingML.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Limits on untrusted drawings.
inline constexpr std::size_t kMaxDrawingDepth = 32;            // containers inside containers
inline constexpr std::size_t kMaxPictureBytes = 64u << 20;     // one picture, unpacked
inline constexpr std::size_t kMaxPictureStoreEntries = 65536;  // pictures of a workbook

// One picture of the drawing group's store.
struct StoredPicture {
    std::string extension;                     // ".png", ".jpeg", ".emf", ".wmf", ".bmp"...
    std::shared_ptr<const std::string> bytes;  // the image file; null when not usable
};

struct PictureStore {
    std::vector<StoredPicture> pictures;  // by the index the shapes give, from 1
    std::string error;                    // why the store could not be read, "" when it was
};

// The drawing group's containers (the MSODRAWINGGROUP records and their CONTINUE
// records, joined). A damaged store is reported in `error`; a damaged picture in it is
// kept without bytes.
PictureStore ReadPictureStore(std::string_view group);

// What a sheet's records hold of its drawing, gathered while the sheet is read (its
// rows and columns are needed before the drawing can be placed): the drawing's
// containers run on through MSODRAWING records and their CONTINUE records, with the OBJ
// and TXO records of its objects between them.
struct SheetDrawingRecords {
    // Takes a record of the sheet (not of a chart inside it) if it is one of these;
    // `previous` is the last record before it that was not a CONTINUE record. Some
    // writers go on with the drawing's containers in CONTINUE records after an OBJ
    // record or after a TXO record's text and runs: those join the containers.
    void Add(std::uint16_t id, std::uint16_t previous, std::string_view data);

    std::string containers;  // the MSODRAWING records and their CONTINUE records, joined
    struct Record {
        std::size_t at = 0;                  // the length of `containers` when the record came
        std::vector<std::string_view> data;  // the record, then its CONTINUE records
        // TXO: the characters and the bytes of formatting runs still to come in
        // CONTINUE records.
        std::size_t charactersLeft = 0, runBytesLeft = 0;
    };
    std::vector<Record> objects;  // OBJ records
    std::vector<Record> texts;    // TXO records
    bool Empty() const { return containers.empty(); }
};

// Reads a sheet's drawing into sheet.drawing, after its rows and columns (the anchors'
// offsets are fractions of their cells). `palette` is the workbook's colour palette
// (64 colours). A drawing that cannot be read does not stop the workbook from opening:
// its objects are left out and drawing.error names the file, the sheet and the fault.
void ReadLegacySheetDrawing(const SheetDrawingRecords& records, const PictureStore& store,
                            const std::vector<std::uint32_t>& palette, const WorkbookModel& book,
                            SheetModel& sheet);

}  // namespace tbln::workbook
