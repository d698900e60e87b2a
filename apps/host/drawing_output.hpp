// Drawing output of the host's commands: --dxf OUT.dxf, --pdf OUT.pdf, --svg OUT.svg,
// --png OUT.png and --scale UNITS_PER_MM, written from the records an entry point
// handed back.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "apps/host/host.hpp"
#include "drawing/drawing.hpp"

namespace tbln::host {

// The drawing files a command was asked for, opened before the import runs so that a
// file that cannot be written stops the command before any work. A regular file (or
// one not there yet) is replaced as every file is saved in place: the drawing goes to
// a temporary file beside it (beside the file a symbolic link leads to) that is renamed
// over it once complete, and a read-only file is refused. Anything else that is not a
// folder (a device, a pipe) is written directly. A DXF file NAME.dxf that is replaced
// gets copies of its pictures in the folder NAME-pics beside it, which it names
// relatively; PDF, SVG and PNG embed their pictures.
class DrawingOutputs {
  public:
    // Raises UsageError, naming the option and the file, for a bad --scale, a folder, a
    // file that is the same as one of `inputs` or as another drawing, a file the
    // replacement refuses (read-only, in a missing or read-only folder), and a DXF whose
    // NAME-pics is there but is not a folder.
    DrawingOutputs(const Options& options, const std::vector<std::string>& inputs);
    ~DrawingOutputs();
    DrawingOutputs(const DrawingOutputs&) = delete;
    DrawingOutputs& operator=(const DrawingOutputs&) = delete;

    // Draws the captured range of the sheet `sheet` of the workbook `book` into every
    // file, with what the engine reads of each cell beside its record; `revisions` are
    // marked on their own layer. An import that did not complete (`result` False) draws
    // nothing and says so on stderr.
    void WriteCapture(Host& host, Boolean result, const std::string& book, const std::string& sheet,
                      const MyCellArray& cells, const MyShapeArray& shapes,
                      const MyImageArray& images, Integer startRow, Integer endRow,
                      Integer startCol, Integer endCol,
                      const std::vector<std::pair<Integer, Integer>>& revisions = {});

    // Draws the Word lines page by page into every file.
    void WriteWord(Boolean result, const WordLineArray& lines, Integer pages, Single pageWidth,
                   Single pageHeight);

    // Draws a drawing made elsewhere (the host window's, every import at its place) into
    // every file.
    void WriteDrawing(const std::function<void(drawing::Sink&)>& draw) { Draw(draw); }

    // Raises UsageError naming every drawing that could not be written and why; the
    // command calls it once its JSON is printed, so the records are never lost.
    void Finish() const;

  private:
    struct File;
    // False, after saying so and dropping the files, when the import did not complete.
    bool Completed(Boolean result);
    // Runs `draw` once for every file and puts each one in place.
    void Draw(const std::function<void(drawing::Sink&)>& draw);
    std::vector<std::unique_ptr<File>> files_;
    drawing::Options drawingOptions_;
    std::vector<std::string> failures_;
};

}  // namespace tbln::host
