// The word-processor port: the members of Word's automation object model that the
// library calls. Every member may raise RuntimeError. Positions are in points;
// format values that differ within a selection read as wdUndefined (9999999).
#pragma once

#include <memory>
#include <string>

#include "core/numeric.hpp"
#include "platform/objects.hpp"

namespace tbln::word {

inline constexpr Long wdUndefined = 9999999;
inline constexpr Long wdDialogFileOpen = 80;
inline constexpr Long wdStatisticLines = 1;
inline constexpr Long wdStory = 6;
inline constexpr Long wdCharacter = 1;
inline constexpr Long wdMove = 0;
inline constexpr Long wdActiveEndPageNumber = 3;
inline constexpr Long wdHorizontalPositionRelativeToPage = 5;
inline constexpr Long wdVerticalPositionRelativeToPage = 6;
inline constexpr Long wdAlignParagraphJustify = 3;

class Font : public Object {
  public:
    virtual Long Bold() = 0;
    virtual Long Italic() = 0;
    virtual Long Underline() = 0;
    // "" when the selection mixes fonts.
    virtual std::string Name() = 0;
    virtual double Size() = 0;
    virtual Long Superscript() = 0;
    virtual Long Subscript() = 0;
};

class Style : public Object {
  public:
    virtual std::shared_ptr<word::Font> Font() = 0;
};

class ListFormat : public Object {
  public:
    virtual std::string ListString() = 0;
    virtual Long ListType() = 0;
};

class ParagraphFormat : public Object {
  public:
    virtual Long Alignment() = 0;
};

class Characters;

class Range : public Object {
  public:
    virtual std::string Text() = 0;  // UTF-8
    virtual Long Start() = 0;
    virtual Long End() = 0;
    virtual std::shared_ptr<word::Font> Font() = 0;
    virtual std::shared_ptr<word::Style> Style() = 0;
    virtual std::shared_ptr<word::ListFormat> ListFormat() = 0;
};

class Characters : public Object {
  public:
    virtual Long Count() = 0;
    virtual std::shared_ptr<word::Range> Item(Long index) = 0;  // 1-based
};

class PageSetup : public Object {
  public:
    virtual double PageHeight() = 0;
    virtual double PageWidth() = 0;
};

class Selection : public Object {
  public:
    virtual void HomeKey(Long unit, Long extend) = 0;
    virtual Long MoveRight(Long unit, Long count, Long extend) = 0;
    virtual std::string Text() = 0;
    virtual Long Start() = 0;
    virtual Long End() = 0;
    // Information(type): the page (3) or the position relative to the page (5, 6).
    virtual double Information(Long type) = 0;
    virtual std::shared_ptr<word::Range> Range() = 0;
    virtual std::shared_ptr<word::Characters> Characters() = 0;
    virtual std::shared_ptr<word::Font> Font() = 0;
    virtual std::shared_ptr<word::ParagraphFormat> ParagraphFormat() = 0;
    // The page setup of the section that holds the selection's start.
    virtual std::shared_ptr<word::PageSetup> PageSetup() = 0;
};

class Bookmark : public Object {
  public:
    virtual void Select() = 0;
};

class Document : public Object {
  public:
    virtual std::string FullName() = 0;
    virtual std::shared_ptr<word::PageSetup> PageSetup() = 0;
    virtual Long ComputeStatistics(Long statistic) = 0;
    // The predefined bookmark "\LINE" selects the current displayed line.
    virtual std::shared_ptr<Bookmark> Bookmarks(const std::string& name) = 0;
    virtual std::shared_ptr<word::Range> Content() = 0;
};

class Documents : public Object {
  public:
    virtual Long Count() = 0;
    virtual std::shared_ptr<Document> Open(const std::string& path) = 0;
};

class Dialog : public Object {
  public:
    // Shows the dialog without executing it: 0 when cancelled.
    virtual Long Display() = 0;
    virtual std::string Name() = 0;
};

class WordBasic : public Object {
  public:
    virtual std::string FilenameInfo(const std::string& name, Long infoType) = 0;
};

class Application : public Object {
  public:
    virtual std::string Caption() = 0;
    virtual bool Visible() = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool ScreenUpdating() = 0;
    virtual void SetScreenUpdating(bool updating) = 0;
    virtual std::shared_ptr<Dialog> Dialogs(Long id) = 0;
    virtual std::shared_ptr<word::WordBasic> WordBasic() = 0;
    virtual std::shared_ptr<word::Documents> Documents() = 0;
    virtual std::shared_ptr<Document> ActiveDocument() = 0;
    virtual std::shared_ptr<word::Selection> Selection() = 0;
};

}  // namespace tbln::word
