#include "adapters/document/embedded_word.hpp"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "adapters/document/document_model.hpp"
#include "adapters/document/layout.hpp"
#include "adapters/fonts/font_metrics.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln::document {

namespace {

// Word's answer for a member of a collection that does not exist.
constexpr std::int32_t kNoSuchCollectionMember = 5941;

Long ToBool(bool b) {
    return b ? -1 : 0;
}

// An open document: its model and its layout.
struct OpenDocument {
    DocumentModel model;
    Layout layout;
    std::shared_ptr<FontMetrics> metrics;  // for positions inside a line, measured on demand

    std::size_t Length() const { return model.text.size(); }

    // The line holding the position; the last line for positions past the end.
    const Line& LineAt(std::size_t pos) const {
        const auto& lines = layout.lines;
        auto it = std::upper_bound(lines.begin(), lines.end(), pos,
                                   [](std::size_t p, const Line& l) { return p < l.start; });
        if (it == lines.begin()) return lines.front();
        const Line& line = *(it - 1);
        if (pos >= line.end && it == lines.end()) return lines.back();
        return line;
    }

    const Paragraph& ParagraphAt(std::size_t pos) const {
        return model.paragraphs[LineAt(pos).paragraph];
    }

    std::string Text(std::size_t start, std::size_t end) const {
        std::string out;
        for (std::size_t i = start; i < end && i < Length(); ++i) AppendUtf8(out, model.text[i]);
        return out;
    }
};

class FontImpl : public word::Font {
  public:
    // The aggregate font of the characters [start, end): values that differ read as
    // wdUndefined, a name that differs as "". Paragraph marks count only when the
    // range holds nothing else.
    FontImpl(const OpenDocument& doc, std::size_t start, std::size_t end) {
        if (end <= start) end = std::min(start + 1, doc.Length());
        std::vector<std::size_t> chars;
        for (std::size_t i = start; i < end; ++i) {
            if (doc.model.text[i] != kParagraphMark) chars.push_back(i);
        }
        if (chars.empty()) {
            for (std::size_t i = start; i < end; ++i) chars.push_back(i);
        }
        bool firstChar = true;
        for (const std::size_t i : chars) {
            const RunFormat& f = doc.model.FormatAt(i);
            const auto merge = [&](Long& slot, Long v) {
                if (firstChar) {
                    slot = v;
                } else if (slot != v) {
                    slot = word::wdUndefined;
                }
            };
            merge(bold_, ToBool(f.bold));
            merge(italic_, ToBool(f.italic));
            merge(underline_, static_cast<Long>(f.underline));
            merge(superscript_, ToBool(f.superscript));
            merge(subscript_, ToBool(f.subscript));
            if (firstChar) {
                name_ = f.font;
                size_ = f.size;
            } else {
                if (name_ != f.font) name_.clear();
                if (size_ != f.size) size_ = word::wdUndefined;
            }
            firstChar = false;
        }
    }
    explicit FontImpl(std::string name) : name_(std::move(name)) {}

    Long Bold() override { return bold_; }
    Long Italic() override { return italic_; }
    Long Underline() override { return underline_; }
    std::string Name() override { return name_; }
    double Size() override { return size_; }
    Long Superscript() override { return superscript_; }
    Long Subscript() override { return subscript_; }

  private:
    Long bold_ = 0, italic_ = 0, underline_ = 0, superscript_ = 0, subscript_ = 0;
    std::string name_;
    double size_ = 10;
};

class StyleImpl : public word::Style {
  public:
    explicit StyleImpl(std::string fontName) : fontName_(std::move(fontName)) {}
    std::shared_ptr<word::Font> Font() override { return std::make_shared<FontImpl>(fontName_); }

  private:
    std::string fontName_;
};

class ListFormatImpl : public word::ListFormat {
  public:
    explicit ListFormatImpl(const Paragraph& p)
        : string_(p.listString), type_(static_cast<Long>(p.listType)) {}
    std::string ListString() override { return string_; }
    Long ListType() override { return type_; }

  private:
    std::string string_;
    Long type_;
};

class ParagraphFormatImpl : public word::ParagraphFormat {
  public:
    explicit ParagraphFormatImpl(Long alignment) : alignment_(alignment) {}
    Long Alignment() override { return alignment_; }

  private:
    Long alignment_;
};

class RangeImpl : public word::Range {
  public:
    RangeImpl(std::shared_ptr<const OpenDocument> doc, std::size_t start, std::size_t end)
        : doc_(std::move(doc)), start_(start), end_(end) {}
    std::string Text() override { return doc_->Text(start_, end_); }
    Long Start() override { return static_cast<Long>(start_); }
    Long End() override { return static_cast<Long>(end_); }
    std::shared_ptr<word::Font> Font() override {
        return std::make_shared<FontImpl>(*doc_, start_, end_);
    }
    std::shared_ptr<word::Style> Style() override {
        const std::size_t i = std::min(start_, doc_->Length() - 1);
        return std::make_shared<StyleImpl>(doc_->model.FormatAt(i).styleFont);
    }
    std::shared_ptr<word::ListFormat> ListFormat() override {
        return std::make_shared<ListFormatImpl>(doc_->ParagraphAt(start_));
    }

  private:
    std::shared_ptr<const OpenDocument> doc_;
    std::size_t start_, end_;
};

class CharactersImpl : public word::Characters {
  public:
    CharactersImpl(std::shared_ptr<const OpenDocument> doc, std::size_t start, std::size_t end)
        : doc_(std::move(doc)), start_(start), end_(end) {}
    Long Count() override { return static_cast<Long>(end_ - start_); }
    std::shared_ptr<word::Range> Item(Long index) override {
        if (index < 1 || static_cast<std::size_t>(index) > end_ - start_)
            Raise(kNoSuchCollectionMember);
        const std::size_t i = start_ + static_cast<std::size_t>(index) - 1;
        return std::make_shared<RangeImpl>(doc_, i, i + 1);
    }

  private:
    std::shared_ptr<const OpenDocument> doc_;
    std::size_t start_, end_;
};

class PageSetupImpl : public word::PageSetup {
  public:
    explicit PageSetupImpl(const Section& s) : section_(s) {}
    double PageHeight() override { return section_.pageHeight; }
    double PageWidth() override { return section_.pageWidth; }

  private:
    Section section_;
};

class DocumentImpl;

// The selection of a document: a start and an end position.
struct SelectionState {
    std::size_t start = 0;
    std::size_t end = 0;
};

class BookmarkLine : public word::Bookmark {
  public:
    BookmarkLine(std::shared_ptr<const OpenDocument> doc, std::shared_ptr<SelectionState> sel)
        : doc_(std::move(doc)), sel_(std::move(sel)) {}
    void Select() override {
        const Line& line = doc_->LineAt(sel_->start);
        sel_->start = line.start;
        // The document's last line stops before the final paragraph mark.
        sel_->end = line.end >= doc_->Length() ? doc_->Length() - 1 : line.end;
        if (sel_->end < sel_->start) sel_->end = sel_->start;
    }

  private:
    std::shared_ptr<const OpenDocument> doc_;
    std::shared_ptr<SelectionState> sel_;
};

class DocumentImpl : public word::Document {
  public:
    DocumentImpl(std::shared_ptr<const OpenDocument> doc)
        : doc_(std::move(doc)), selection_(std::make_shared<SelectionState>()) {}

    std::string FullName() override { return doc_->model.path; }
    std::shared_ptr<word::PageSetup> PageSetup() override {
        return std::make_shared<PageSetupImpl>(doc_->model.sections.front());
    }
    Long ComputeStatistics(Long statistic) override {
        if (statistic != word::wdStatisticLines) Raise(err::kInvalidCall);
        return static_cast<Long>(doc_->layout.lines.size());
    }
    std::shared_ptr<word::Bookmark> Bookmarks(const std::string& name) override {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (lower != "\\line")
            Raise(kNoSuchCollectionMember,
                  "The requested member of the collection does not exist.");
        return std::make_shared<BookmarkLine>(doc_, selection_);
    }
    std::shared_ptr<word::Range> Content() override {
        return std::make_shared<RangeImpl>(doc_, 0, doc_->Length());
    }

    const std::shared_ptr<const OpenDocument>& Doc() const { return doc_; }
    const std::shared_ptr<SelectionState>& Sel() const { return selection_; }

  private:
    std::shared_ptr<const OpenDocument> doc_;
    std::shared_ptr<SelectionState> selection_;
};

class SelectionImpl : public word::Selection {
  public:
    explicit SelectionImpl(std::shared_ptr<DocumentImpl> doc) : owner_(std::move(doc)) {}

    void HomeKey(Long unit, Long extend) override {
        if (unit != word::wdStory && unit != 5 /* line */) Raise(err::kInvalidCall);
        auto& s = *owner_->Sel();
        if (unit == word::wdStory) {
            s.start = 0;
        } else {
            s.start = Doc().LineAt(s.start).start;
        }
        if (extend == word::wdMove) s.end = s.start;
    }
    Long MoveRight(Long unit, Long count, Long extend) override {
        if (unit != word::wdCharacter || extend != word::wdMove) Raise(err::kInvalidCall);
        auto& s = *owner_->Sel();
        const std::size_t last = Doc().Length() - 1;  // before the final paragraph mark
        Long moved = 0;
        std::size_t pos = s.start;
        if (s.end != s.start && count > 0) {
            pos = s.end;  // collapsing an extended selection is the first move
            ++moved;
            --count;
        }
        while (count > 0 && pos < last) {
            ++pos;
            ++moved;
            --count;
        }
        s.start = s.end = std::min(pos, last);
        return moved;
    }
    std::string Text() override { return Doc().Text(Sel().start, Sel().end); }
    Long Start() override { return static_cast<Long>(Sel().start); }
    Long End() override { return static_cast<Long>(Sel().end); }
    double Information(Long type) override {
        const auto& doc = Doc();
        switch (type) {
            case word::wdActiveEndPageNumber:
                return doc.LineAt(Sel().end).page;
            case word::wdHorizontalPositionRelativeToPage: {
                const std::size_t i = std::min(Sel().start, doc.Length() - 1);
                const Line& line = doc.LineAt(i);
                return CharX(doc.model, *doc.metrics, line, i);
            }
            case word::wdVerticalPositionRelativeToPage:
                return doc.LineAt(Sel().start).y;
            default:
                Raise(err::kInvalidCall);
        }
    }
    std::shared_ptr<word::Range> Range() override {
        return std::make_shared<RangeImpl>(owner_->Doc(), Sel().start, Sel().end);
    }
    std::shared_ptr<word::Characters> Characters() override {
        return std::make_shared<CharactersImpl>(owner_->Doc(), Sel().start, Sel().end);
    }
    std::shared_ptr<word::Font> Font() override {
        return std::make_shared<FontImpl>(Doc(), Sel().start, Sel().end);
    }
    std::shared_ptr<word::ParagraphFormat> ParagraphFormat() override {
        return std::make_shared<ParagraphFormatImpl>(
            Doc().ParagraphAt(Sel().start).format.alignment);
    }
    std::shared_ptr<word::PageSetup> PageSetup() override {
        const auto& doc = Doc();
        const std::size_t section = doc.ParagraphAt(Sel().start).section;
        return std::make_shared<PageSetupImpl>(
            doc.model.sections[std::min(section, doc.model.sections.size() - 1)]);
    }

  private:
    const OpenDocument& Doc() const { return *owner_->Doc(); }
    const SelectionState& Sel() const { return *owner_->Sel(); }
    std::shared_ptr<DocumentImpl> owner_;
};

class AppImpl;

class DocumentsImpl : public word::Documents {
  public:
    explicit DocumentsImpl(AppImpl& app) : app_(app) {}
    Long Count() override;
    std::shared_ptr<word::Document> Open(const std::string& path) override;

  private:
    AppImpl& app_;
};

class DialogImpl : public word::Dialog {
  public:
    DialogImpl(ui::Ui& ui, std::string& name) : ui_(ui), name_(name) {}
    Long Display() override {
        ui::FileDialogRequest request;
        request.title = "Open";
        request.filter = "Word Documents (*.docx)|*.docx|All Files (*.*)|*.*";
        if (!ui_.GetOpenFileName(request)) return 0;
        name_ = request.fileName;
        return -1;
    }
    std::string Name() override { return name_; }

  private:
    ui::Ui& ui_;
    std::string& name_;
};

class WordBasicImpl : public word::WordBasic {
  public:
    std::string FilenameInfo(const std::string& name, Long infoType) override {
        if (infoType != 1) Raise(err::kInvalidCall);
        if (name.empty()) return name;
        std::error_code ec;
        const auto full = std::filesystem::absolute(name, ec);
        return ec ? name : full.lexically_normal().string();
    }
};

class AppImpl : public word::Application, public std::enable_shared_from_this<AppImpl> {
  public:
    explicit AppImpl(ui::Ui& ui) : ui_(ui) {}

    std::string Caption() override { return "Word"; }
    bool Visible() override { return visible_; }
    void SetVisible(bool v) override { visible_ = v; }
    bool ScreenUpdating() override { return screenUpdating_; }
    void SetScreenUpdating(bool u) override { screenUpdating_ = u; }
    std::shared_ptr<word::Dialog> Dialogs(Long id) override {
        if (id != word::wdDialogFileOpen) Raise(kNoSuchCollectionMember);
        return std::make_shared<DialogImpl>(ui_, dialogName_);
    }
    std::shared_ptr<word::WordBasic> WordBasic() override {
        return std::make_shared<WordBasicImpl>();
    }
    std::shared_ptr<word::Documents> Documents() override {
        return std::make_shared<DocumentsImpl>(*this);
    }
    std::shared_ptr<word::Document> ActiveDocument() override {
        if (!active_) Raise(4248, "This command is not available because no document is open.");
        return active_;
    }
    std::shared_ptr<word::Selection> Selection() override {
        if (!active_) Raise(4248, "This command is not available because no document is open.");
        return std::make_shared<SelectionImpl>(active_);
    }

    std::shared_ptr<word::Document> Open(const std::string& path) {
        auto doc = std::make_shared<OpenDocument>();
        doc->model = ReadDocx(path);
        doc->layout = LayOut(doc->model, *metrics_);
        doc->metrics = metrics_;
        auto impl = std::make_shared<DocumentImpl>(std::move(doc));
        documents_.push_back(impl);
        active_ = impl;
        return impl;
    }
    Long Count() const { return static_cast<Long>(documents_.size()); }

  private:
    ui::Ui& ui_;
    bool visible_ = false;
    bool screenUpdating_ = true;
    std::string dialogName_;
    std::shared_ptr<FontMetrics> metrics_ = std::make_shared<FontMetrics>();
    std::vector<std::shared_ptr<DocumentImpl>> documents_;
    std::shared_ptr<DocumentImpl> active_;
};

Long DocumentsImpl::Count() {
    return app_.Count();
}

std::shared_ptr<word::Document> DocumentsImpl::Open(const std::string& path) {
    return app_.Open(path);
}

}  // namespace

std::shared_ptr<word::Application> CreateEmbeddedWord(ui::Ui& ui) {
    return std::make_shared<AppImpl>(ui);
}

void RegisterEmbeddedWord(ObjectServer& server, ui::Ui& ui) {
    auto running = std::make_shared<std::shared_ptr<word::Application>>();
    server.Register(
        "Word.Application",
        ObjectServer::Provider{[running]() -> std::shared_ptr<Object> { return *running; },
                               [running, &ui]() -> std::shared_ptr<Object> {
                                   *running = CreateEmbeddedWord(ui);
                                   return *running;
                               }});
}

}  // namespace tbln::document
