// WordProgressForm: the progress dialog that ParseWord and UpdateWord show while the
// document is scanned. Its first timer tick runs ScanWord, which walks the active
// document from its start, one displayed line at a time, and turns each line into a
// WordLine record whose text is already in the host's formatted-text codes.
#pragma once

#include <memory>
#include <string>

#include "automation/module.hpp"
#include "controls/progress_bar.hpp"
#include "platform/ui.hpp"
#include "word/text_encoder.hpp"

namespace tbln {

class WordProgressForm : public ui::Form {
  public:
    explicit WordProgressForm(Module& module);

    void Form_Load() override;
    void Timer1_Timer();
    // The scan of the active document into wordLines and pageNum.
    void ScanWord();

    ProgressBar ProgressBar1;
    ui::Label lbProgress{*this, "lbProgress"};
    ui::Label lbProgressTitle{*this, "lbProgressTitle"};
    ui::Label lbTitle{*this, "lbTitle"};
    ui::Label lbNote{*this, "lbNote"};
    ui::Timer Timer1{*this, "Timer1"};

    bool scanPending = false;
    // The runs of the line being scanned (mixed formatting only), lower bound 1.
    SegmentArray segments;
    bool lastLineEndedParagraph = true;
    std::string lastFontName;

  private:
    // The formatting of the previous character; survives from line to line.
    struct CharFormat {
        Long bold = 0;
        Long italic = 0;
        Long underline = 0;
        Long size = 0;
        Long script = 0;
        std::string name;
    };

    static bool IsUniformFormat(const std::string& name, Long bold, Long italic, Long underline,
                                Long superscript, Long subscript, double size);
    // True when the character differs from the previous one; then remembers it.
    static bool CompareFormat(CharFormat& previous, const CharFormat& current);
    void ShowProgress();

    Module& m_;
};

// Registers the dialog's factory with the module.
void RegisterWordDialogs(Module& module);

}  // namespace tbln
