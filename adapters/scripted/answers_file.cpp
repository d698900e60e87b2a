#include "adapters/scripted/answers_file.hpp"

#include <algorithm>
#include <cctype>

#include "platform/ui.hpp"

namespace tbln::scripted {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// One line of the file, read word by word from the left.
class LineReader {
  public:
    explicit LineReader(std::string_view line) : line_(line) {}

    // The next word, after any blanks; empty at the end of the line.
    std::string_view Word() {
        while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
        const std::size_t start = pos_;
        while (pos_ < line_.size() && !IsBlank(line_[pos_])) ++pos_;
        return line_.substr(start, pos_ - start);
    }
    // The rest of the line after the one blank that ends the word just read, as written;
    // nullopt when the word ended the line.
    std::optional<std::string> Rest() {
        if (pos_ >= line_.size()) return std::nullopt;
        return std::string(line_.substr(pos_ + 1));
    }
    // Whether only blanks are left; after it, Leftover() is what else is.
    bool AtEnd() {
        while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
        return pos_ >= line_.size();
    }
    std::string_view Leftover() const { return line_.substr(pos_); }

  private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

std::string Quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

}  // namespace

AnswersError::AnswersError(std::string file, std::size_t line, std::string problem)
    : std::runtime_error(file + (line ? ": line " + std::to_string(line) : std::string()) + ": " +
                         problem),
      file_(std::move(file)),
      line_(line),
      problem_(std::move(problem)) {}

bool IsA1Cell(std::string_view cell) {
    std::size_t letters = 0;
    while (letters < cell.size() && std::isalpha(static_cast<unsigned char>(cell[letters])) &&
           static_cast<unsigned char>(cell[letters]) < 0x80) {
        ++letters;
    }
    const std::string_view row = cell.substr(letters);
    return letters >= 1 && letters <= 3 && !row.empty() && row.size() <= 7 && row[0] != '0' &&
           std::all_of(row.begin(), row.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<AnswerStep> ParseAnswers(std::string_view text, const std::string& file) {
    if (text.size() > kMaxAnswersFileBytes) {
        throw AnswersError(file, 0,
                           "larger than the " + std::to_string(kMaxAnswersFileBytes) +
                               " bytes an answers file may hold");
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<AnswerStep> steps;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);

        LineReader reader(line);
        if (reader.AtEnd()) continue;
        const std::string_view word = reader.Word();
        if (word.starts_with('#')) continue;
        const auto bad = [&](const std::string& problem) {
            return AnswersError(file, number, problem);
        };
        // Nothing may follow the last word of a step that takes no free text.
        const auto endOfStep = [&](const std::string& takes) {
            if (!reader.AtEnd()) {
                throw bad(takes + "; " + Quoted(reader.Leftover()) + " is left over");
            }
        };
        AnswerStep step;
        step.origin = file + ": line " + std::to_string(number);
        const std::string keyword = Lower(word);
        if (keyword == "file" || keyword == "folder") {
            step.kind = keyword == "file" ? AnswerStep::Kind::File : AnswerStep::Kind::Folder;
            step.path = reader.Rest();
            // Blanks alone after the word are no path: the chooser is cancelled.
            if (step.path && std::all_of(step.path->begin(), step.path->end(), IsBlank)) {
                step.path.reset();
            }
        } else if (keyword == "set") {
            step.kind = AnswerStep::Kind::Set;
            step.control = reader.Word();
            if (step.control.empty()) throw bad("set needs a control name, then the text to type");
            step.text = reader.Rest().value_or("");
        } else if (keyword == "click") {
            step.kind = AnswerStep::Kind::Click;
            step.control = reader.Word();
            if (step.control.empty()) throw bad("click needs a control name");
            endOfStep("click takes one control name");
        } else if (keyword == "pick") {
            step.kind = AnswerStep::Kind::Pick;
            step.control = reader.Word();
            const std::string_view index = reader.Word();
            if (index.empty()) {
                throw bad("pick needs a control name, then a list index (0 for the first line)");
            }
            if (index.size() > 5 ||
                !std::all_of(index.begin(), index.end(),
                             [](char c) { return c >= '0' && c <= '9'; }) ||
                std::stoi(std::string(index)) > 32767) {
                throw bad(Quoted(index) + " is not a list index from 0 to 32767");
            }
            step.index = std::stoi(std::string(index));
            endOfStep("pick takes a control name and a list index");
        } else if (keyword == "cell") {
            step.kind = AnswerStep::Kind::Cell;
            step.text = reader.Word();
            if (step.text.empty()) throw bad("cell needs a cell such as B2");
            if (!IsA1Cell(step.text)) throw bad(Quoted(step.text) + " is not a cell such as B2");
            endOfStep("cell takes one cell");
        } else if (keyword == "answer") {
            step.kind = AnswerStep::Kind::Answer;
            const std::string_view written = reader.Word();
            const std::string button = Lower(written);
            if (button == "ok") {
                step.index = ui::vbOK;
            } else if (button == "cancel") {
                step.index = ui::vbCancel;
            } else if (button == "yes") {
                step.index = ui::vbYes;
            } else if (button == "no") {
                step.index = ui::vbNo;
            } else {
                throw bad("answer takes ok, cancel, yes or no" +
                          (written.empty() ? std::string() : ", not " + Quoted(written)));
            }
            endOfStep("answer takes one word");
        } else {
            throw bad(Quoted(word) +
                      " is not a step (file, folder, set, click, pick, cell or answer)");
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

std::string MessageLine(const std::string& title, const std::string& text) {
    std::string line;
    const auto put = [&](const std::string& s) {
        for (const char c : s) {
            switch (c) {
                case '\\':
                    line += "\\\\";
                    break;
                case '\t':
                    line += "\\t";
                    break;
                case '\r':
                    line += "\\r";
                    break;
                case '\n':
                    line += "\\n";
                    break;
                default:
                    line += c;
            }
        }
    };
    put(title);
    line += '\t';
    put(text);
    return line;
}

}  // namespace tbln::scripted
