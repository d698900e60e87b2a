#include "word/word_progress_form.hpp"

#include <utility>

#include "common/utilities.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {

constexpr Long kTimerInterval = 500;
constexpr Long kParagraphMark = 13;

// One more element at the end; the others keep their records.
template <class T>
void GrowByOne(Array<T>& array) {
    array.ReDimPreserve(array.Upper() + 1);
}

// The first UTF-16 unit of the text as a signed 16-bit number widened to 32 bits.
Long FirstCharCode(const std::string& text) {
    const auto codes = DecodeUtf8(text);
    if (codes.empty()) return 0;
    std::uint32_t c = static_cast<std::uint32_t>(codes.front());
    if (c > 0xFFFF) c = 0xD800 + ((c - 0x10000) >> 10);
    return static_cast<Long>(static_cast<std::int16_t>(static_cast<std::uint16_t>(c)));
}

// Runs the scan's steps: before the first progress update an error stops the scan;
// from then on the failing step is skipped and the next one runs.
class ScanSteps {
  public:
    template <class Step>
    void operator()(Step&& step) {
        if (trapping) {
            trap_.Run(std::forward<Step>(step));
        } else {
            std::forward<Step>(step)();
        }
    }
    bool trapping = false;

  private:
    ErrorTrap trap_;
};

}  // namespace

WordProgressForm::WordProgressForm(Module& module)
    : ui::Form("WordProgressForm"),
      ProgressBar1(*this, "ProgressBar1", module.ports.ui),
      m_(module) {
    // Layout: the title, the note under it, then the progress row.
    Width = 5400;
    Height = 1800;
    lbTitle.Move(120, 120, 5040, 375);
    lbNote.Move(120, 510, 5040, 255);
    lbProgressTitle.Move(120, 870, 900, 255);
    ProgressBar1.Move(1080, 840, 3240, 315);
    lbProgress.Move(4440, 870, 720, 255);
    Caption = "  Processing Word Data ...";
    PropertyBag design;
    ProgressBar1.ReadProperties(design);
    lbTitle.SetCaption("  Processing Word Data ...");
    lbProgressTitle.SetCaption("Progress :");
    lbProgress.SetCaption("0%");
    Timer1.SetEnabled(false);
    Timer1.Tick = [this] { Timer1_Timer(); };
}

void WordProgressForm::Form_Load() {
    m_.captureDone = false;
    scanPending = true;
    const Long lines = m_.wordApp->ActiveDocument()->ComputeStatistics(word::wdStatisticLines);
    ProgressBar1.SetMax(lines);
    ProgressBar1.SetMin(0);
    ProgressBar1.SetPosition(0);
    lbProgress.SetCaption("0%");
    m_.ports.ui.DoEvents();
    Timer1.SetInterval(kTimerInterval);
    Timer1.SetEnabled(true);
    CenterForm(m_.ports.ui, *this);
    SetWindowTopMost(m_.ports.ui, hWnd, True);
}

void WordProgressForm::Timer1_Timer() {
    if (scanPending) {
        scanPending = false;
        try {
            ScanWord();
        } catch (const RuntimeError& e) {
            // The document could not be read from its first line on: say so and close;
            // the entry point hands back the lines read so far.
            m_.ports.ui.MsgBox(e.Description(), ui::vbInformation, "Error");
            Unload();
            return;
        }
    }
    if (m_.captureDone) {
        ProgressBar1.SetPosition(ProgressBar1.Max());
        lbProgress.SetCaption("100%");
        m_.ports.ui.DoEvents();
        Unload();
    }
}

bool WordProgressForm::IsUniformFormat(const std::string& name, Long bold, Long italic,
                                       Long underline, Long superscript, Long subscript,
                                       double size) {
    return !name.empty() && bold != word::wdUndefined && italic != word::wdUndefined &&
           underline != word::wdUndefined && superscript != word::wdUndefined &&
           subscript != word::wdUndefined && size != static_cast<double>(word::wdUndefined);
}

bool WordProgressForm::CompareFormat(CharFormat& previous, const CharFormat& current) {
    const bool differs = (current.name != previous.name && !previous.name.empty()) ||
                         current.underline != previous.underline ||
                         current.italic != previous.italic || current.bold != previous.bold ||
                         current.size != previous.size || current.script != previous.script;
    previous = current;
    return differs;
}

void WordProgressForm::ShowProgress() {
    ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
    // A line count of 0 gives no percentage; the label keeps its text.
    if (ProgressBar1.Max() != 0) {
        lbProgress.SetCaption(FormatPercent(static_cast<double>(ProgressBar1.Position()) /
                                            static_cast<double>(ProgressBar1.Max())));
    }
    m_.ports.ui.DoEvents();
}

void WordProgressForm::ScanWord() {
    auto& app = *m_.wordApp;
    m_.wordLines = WordLineArray(0, 0);
    Integer currentPage = 1;
    bool pageChangePending = false;
    lastLineEndedParagraph = true;
    lastFontName.clear();
    CharFormat previous;
    app.Selection()->HomeKey(word::wdStory, word::wdMove);

    ScanSteps step;
    Long previousStart = -1;
    Integer lastPage = 1;
    for (;;) {
        // The insertion point sits at the line's start: its page is the line's own page.
        Integer ownPage = 0;
        step([&] {
            ownPage = ToInteger(app.Selection()->Information(word::wdActiveEndPageNumber));
        });
        step([&] { app.ActiveDocument()->Bookmarks("\\LINE")->Select(); });
        const Long n = m_.wordLines.Upper();
        auto line = std::make_shared<WordLine>();
        m_.wordLines(n) = line;

        std::string text;
        bool lastLine = false;
        Long lineStart = previousStart;
        step([&] { text = app.Selection()->Text(); });
        step([&] { lineStart = app.Selection()->Start(); });
        // A line that does not start after the one before means the selection no longer
        // moves: the walk has reached the end, whatever the last-line test says.
        if (lineStart <= previousStart) {
            m_.wordLines(n) = nullptr;
            m_.pageNum = lastPage;
            m_.captureDone = true;
            return;
        }
        previousStart = lineStart;
        step([&] {
            lastLine = app.Selection()->End() == app.ActiveDocument()->Content()->End() - 1;
        });

        step([&] {
            // The page of the line's end, judged with the line after it: the last line of
            // a page ends where the next page begins.
            const Integer p = ToInteger(app.Selection()->Information(word::wdActiveEndPageNumber));
            line->pageNum = p;
            if (p != currentPage && !pageChangePending) {
                pageChangePending = true;
                line->pageNum = SubInteger(p, 1);
            } else if (p != currentPage) {
                pageChangePending = false;
                currentPage = p;
            }
        });
        // That judgement fails where a page holds a single line (its end is two pages on
        // from the current one) and in table rows, whose cells go back up to the row's page
        // (it gives 0 there): the line's own page is the answer where they disagree, and
        // the judgement starts again from it.
        if (ownPage >= 1 && line->pageNum != ownPage) {
            line->pageNum = ownPage;
            currentPage = ownPage;
            pageChangePending = false;
        }
        if (line->pageNum > lastPage) lastPage = line->pageNum;

        if (!text.empty() && static_cast<unsigned char>(text.back()) == kParagraphMark) {
            text.pop_back();
            line->newLine = true;
        } else {
            line->newLine = false;
        }

        step([&] {
            line->listString = app.Selection()->Range()->ListFormat()->ListString();
            if (!line->listString.empty()) line->bulletType = FirstCharCode(line->listString);
        });
        step([&] {
            line->listType = CheckedInteger(app.Selection()->Range()->ListFormat()->ListType());
        });

        std::string fontName;
        bool haveFontName = false;
        Long count = 0;
        step([&] { count = app.Selection()->Characters()->Count(); });
        if (count == 0) {
            line->text.clear();
            line->simple = true;
        } else {
            Long bold = 0, italic = 0, underline = 0, superscript = 0, subscript = 0;
            double size = 0;
            step([&] {
                auto font = app.Selection()->Font();
                bold = font->Bold();
                italic = font->Italic();
                underline = font->Underline();
                fontName = font->Name();
                haveFontName = true;
                size = font->Size();
                superscript = font->Superscript();
                subscript = font->Subscript();
            });
            line->fontsize = static_cast<Single>(size);
            if (IsUniformFormat(fontName, bold, italic, underline, superscript, subscript, size)) {
                auto formatted =
                    FormatUniformLine(bold, italic, underline, fontName, text, line->listString,
                                      line->listType, lastLineEndedParagraph);
                line->text = EncodeText(formatted.full);
                line->simple = true;
                line->linefmt = formatted.linefmt;
                line->actual = formatted.actual;
            } else {
                segments = SegmentArray(1, 1);
                segments(1) = std::make_shared<Segment>();
                std::string run;
                std::shared_ptr<word::Characters> characters;
                step([&] { characters = app.Selection()->Characters(); });
                bool first = true;
                haveFontName = false;
                for (Long i = 1; characters && i <= count; ++i) {
                    std::shared_ptr<word::Range> ch;
                    std::string chText;
                    step([&] {
                        ch = characters->Item(i);
                        chText = ch->Text();
                    });
                    // The paragraph mark closes the line; it is not shown text.
                    if (!ch || chText == "\r") continue;
                    CharFormat current;
                    step([&] {
                        auto font = ch->Font();
                        current.bold = font->Bold();
                        current.italic = font->Italic();
                        current.size = ToLong(font->Size());
                        if (first) line->fontsize = static_cast<Single>(current.size);
                        current.underline = font->Underline();
                        current.name = font->Name();
                        current.script = font->Superscript() != 0 ? 1
                                         : font->Subscript() != 0 ? 2
                                                                  : 0;
                    });
                    fontName = current.name;
                    haveFontName = true;
                    const auto giveProperties = [&](Segment& seg) {
                        seg.font = current.name;
                        if (current.name == "Symbol") {
                            seg.font = lastFontName;
                            if (lastFontName.empty()) {
                                step([&] { seg.font = ch->Style()->Font()->Name(); });
                            }
                        }
                        seg.underline = current.underline;
                        seg.bold = current.bold != 0;
                        seg.italic = current.italic != 0;
                        seg.scriptstate = current.script;
                        seg.fontsize = current.size;
                    };
                    if (first) giveProperties(*segments(1));
                    const bool differs = CompareFormat(previous, current);
                    if (!run.empty() && differs) {
                        segments(segments.Upper())->text = run;
                        GrowByOne(segments);
                        segments(segments.Upper()) = std::make_shared<Segment>();
                        run.clear();
                        giveProperties(*segments(segments.Upper()));
                    }
                    run += current.name == "Symbol" ? EncodeSymbolChar(chText) : EncodeChar(chText);
                    first = false;
                }
                segments(segments.Upper())->text = run;
                line->text = FormatMixedLine(segments, line->listString, line->listType,
                                             lastLineEndedParagraph);
                line->simple = false;
            }
        }

        // Counted as the word processor counts: a character past U+FFFF takes two units.
        line->charLen = static_cast<Single>(Utf16Length(text));
        step([&] {
            line->x = app.Selection()->Information(word::wdHorizontalPositionRelativeToPage);
        });
        step([&] {
            line->y = app.Selection()->Information(word::wdVerticalPositionRelativeToPage);
        });
        step([&] {
            line->justify =
                app.Selection()->ParagraphFormat()->Alignment() == word::wdAlignParagraphJustify;
        });

        GrowByOne(m_.wordLines);
        step([&] { app.Selection()->MoveRight(word::wdCharacter, 1, word::wdMove); });
        lastLineEndedParagraph = line->newLine;
        if (haveFontName) lastFontName = fontName;
        if (lastFontName.empty()) lastFontName = "Arial";

        ShowProgress();
        step.trapping = true;

        if (lastLine) {
            // The document's last page: the highest page of its lines.
            m_.pageNum = lastPage;
            m_.captureDone = true;
            return;
        }
    }
}

void RegisterWordDialogs(Module& module) {
    module.RegisterDialog(DialogId::WordProgressForm,
                          [](Module& m) { return std::make_unique<WordProgressForm>(m); });
}

}  // namespace tbln
