#include "adapters/workbook/numfmt/format_code.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <unordered_map>

#include "core/numeric.hpp"
#include "core/unicode.hpp"

namespace tbln::workbook {

namespace {

void Analyse(Section& s) {
    bool afterPoint = false;
    std::size_t firstInt = s.tokens.size(), lastInt = 0;
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        const auto& t = s.tokens[k];
        if (t.kind == Tok::Point) afterPoint = true;
        if (t.kind == Tok::Percent) ++s.percents;
        if (t.kind == Tok::Digit) {
            (afterPoint ? s.fracPh : s.intPh).push_back(t.text[0]);
            if (!afterPoint) {
                firstInt = std::min(firstInt, k);
                lastInt = k;
            }
        }
        if (t.kind == Tok::Comma) {
            // Between integer placeholders: thousands. After the last placeholder: scaling.
            bool digitBefore = false, digitAfter = false, integerAfter = false;
            for (std::size_t j = 0; j < k; ++j) digitBefore |= s.tokens[j].kind == Tok::Digit;
            for (std::size_t j = k + 1; j < s.tokens.size(); ++j)
                digitAfter |= s.tokens[j].kind == Tok::Digit;
            for (std::size_t j = k + 1; j < s.tokens.size() && s.tokens[j].kind != Tok::Point; ++j)
                integerAfter |= s.tokens[j].kind == Tok::Digit;
            if (digitBefore && !afterPoint && integerAfter)
                s.thousands = true;
            else if (digitBefore && !digitAfter)
                ++s.scaling;
        }
    }
    for (std::size_t k = firstInt; k < lastInt; ++k) {
        if (s.tokens[k].kind != Tok::Digit && s.tokens[k].kind != Tok::Comma) s.contiguous = false;
    }
}

// The bytes of the character at code[pos] (a multi-byte UTF-8 sequence is one).
std::size_t CharLength(std::string_view code, std::size_t pos) {
    std::size_t length = 1;
    DecodeUtf8At(code, pos, length);
    return length;
}

void AddLiteral(Section& s, std::string_view text) {
    if (text.empty()) return;
    if (!s.tokens.empty() && s.tokens.back().kind == Tok::Literal)
        s.tokens.back().text.append(text);
    else
        s.tokens.push_back(Token{Tok::Literal, std::string(text)});
}

// Reads a bracketed item: a colour, a condition, a currency or locale, elapsed time.
// Returns true when the item is the system's long date or time, which is the whole
// section: what follows it in the code only repeats that form for other programs.
bool ReadBracket(Section& s, std::string_view item) {
    if (item.empty()) return false;
    const char first = item[0];
    if (first == '<' || first == '>' || first == '=') {
        std::size_t n = 1;
        if (item.size() > 1 && (item[1] == '=' || item[1] == '>')) n = 2;
        Condition c;
        c.op = std::string(item.substr(0, n));
        c.value = ParseDecimal(item.substr(n)).value_or(0);
        s.condition = c;
        return false;
    }
    if (first == '$') {
        // [$text-locale]: the text is shown; a system date or time locale switches the
        // whole section to the long date or the time.
        const auto dash = item.find('-');
        const auto text =
            item.substr(1, dash == std::string_view::npos ? item.size() - 1 : dash - 1);
        const auto locale =
            dash == std::string_view::npos ? std::string_view{} : item.substr(dash + 1);
        if (EqualIgnoringCase(locale, "F800")) {
            s.tokens.clear();
            for (const char* t : {"dddd", ", ", "mmmm", " ", "d", ", ", "yyyy"}) {
                if (std::string_view(t).find_first_of(", ") == std::string_view::npos)
                    s.tokens.push_back(Token{Tok::Date, t});
                else
                    AddLiteral(s, t);
            }
            s.isDate = true;
            return true;
        }
        if (EqualIgnoringCase(locale, "F400")) {
            s.tokens.clear();
            for (const char* t : {"h", ":", "mm", ":", "ss", " ", "AM/PM"}) {
                if (std::string_view(t) == ":" || std::string_view(t) == " ")
                    AddLiteral(s, t);
                else
                    s.tokens.push_back(Token{Tok::Date, t});
            }
            s.isDate = true;
            return true;
        }
        // A Chinese locale of Taiwan, Hong Kong or Macao picks the traditional numerals.
        unsigned lcid = 0;
        std::from_chars(locale.data(), locale.data() + locale.size(), lcid, 16);
        lcid &= 0xFFFF;
        s.traditional = lcid == 0x0404 || lcid == 0x0C04 || lcid == 0x1404;
        AddLiteral(s, text);
        return false;
    }
    if (item.size() == 6 && EqualIgnoringCase(item.substr(0, 5), "DBNum") && item[5] >= '1' &&
        item[5] <= '3') {
        s.nativeDigits = item[5] - '0';
        return false;
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(first)));
    if ((lower == 'h' || lower == 'm' || lower == 's') &&
        item.find_first_not_of(std::string(1, first)) == std::string_view::npos) {
        s.tokens.push_back(Token{Tok::Date, "[" + std::string(1, lower) + "]"});
        s.isDate = true;
        return false;
    }
    // Colours ([Red], [Color10]) and anything else do not change the text.
    return false;
}

Section ParseSection(std::string_view code) {
    Section s;
    std::size_t i = 0;
    while (i < code.size()) {
        const char c = code[i];
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '"') {
            const auto end = code.find('"', i + 1);
            AddLiteral(
                s, code.substr(i + 1, (end == std::string_view::npos ? code.size() : end) - i - 1));
            i = end == std::string_view::npos ? code.size() : end + 1;
        } else if (c == '\\' || c == '!') {
            if (i + 1 < code.size()) {
                const std::size_t n = CharLength(code, i + 1);
                AddLiteral(s, code.substr(i + 1, n));
                i += 1 + n;
            } else {
                ++i;
            }
        } else if (c == '_' || c == '*') {
            // '_': the width of the next character, one space; '*': fill to the column
            // width, nothing in a wide-enough column. That character may be multi-byte.
            if (c == '_') AddLiteral(s, " ");
            i += 1 + (i + 1 < code.size() ? CharLength(code, i + 1) : 0);
        } else if (c == '[') {
            const auto end = code.find(']', i);
            if (end == std::string_view::npos) break;
            if (ReadBracket(s, code.substr(i + 1, end - i - 1))) break;
            i = end + 1;
        } else if (c == '0' || c == '#' || c == '?') {
            s.tokens.push_back(Token{Tok::Digit, std::string(1, c)});
            s.hasNumber = true;
            ++i;
        } else if (c == '.') {
            s.tokens.push_back(Token{Tok::Point, "."});
            ++i;
        } else if (c == ',') {
            s.tokens.push_back(Token{Tok::Comma, ","});
            ++i;
        } else if (c == '%') {
            s.tokens.push_back(Token{Tok::Percent, "%"});
            ++i;
        } else if ((c == 'E' || c == 'e') && i + 1 < code.size() &&
                   (code[i + 1] == '+' || code[i + 1] == '-')) {
            s.tokens.push_back(Token{Tok::Exponent, "E", code[i + 1] == '+'});
            i += 2;
        } else if (c == '/') {
            // A fraction bar after digit placeholders; otherwise a date separator.
            bool afterDigit = false;
            for (auto it = s.tokens.rbegin(); it != s.tokens.rend(); ++it) {
                if (it->kind == Tok::Digit) {
                    afterDigit = true;
                    break;
                }
                if (it->kind != Tok::Literal) break;
            }
            ++i;
            if (afterDigit) {
                s.tokens.push_back(Token{Tok::Slash, "/"});
                std::size_t j = i;
                while (j < code.size() && code[j] >= '0' && code[j] <= '9') ++j;
                if (j > i && code[i] != '0') {
                    s.tokens.push_back(Token{Tok::Denominator, std::string(code.substr(i, j - i))});
                    i = j;
                }
            } else {
                AddLiteral(s, "/");
            }
        } else if (c == '@') {
            s.tokens.push_back(Token{Tok::Text, "@"});
            s.hasText = true;
            ++i;
        } else if (EqualIgnoringCase(code.substr(i, 7), "General")) {
            s.tokens.push_back(Token{Tok::General, "General"});
            s.hasNumber = true;
            i += 7;
        } else if (EqualIgnoringCase(code.substr(i, 5), "AM/PM")) {
            s.tokens.push_back(Token{Tok::Date, c == 'a' ? "am/pm" : "AM/PM"});
            s.isDate = true;
            i += 5;
        } else if (EqualIgnoringCase(code.substr(i, 3), "A/P")) {
            s.tokens.push_back(Token{Tok::Date, c == 'a' ? "a/p" : "A/P"});
            s.isDate = true;
            i += 3;
        } else if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'h' || lower == 's' ||
                   lower == 'e') {
            std::size_t j = i;
            while (j < code.size() && std::tolower(static_cast<unsigned char>(code[j])) == lower)
                ++j;
            s.tokens.push_back(Token{Tok::Date, std::string(j - i, lower == 'e' ? 'y' : lower)});
            if (lower == 'e') s.tokens.back().text = "yyyy";
            s.isDate = true;
            i = j;
        } else if (lower == 'g' || lower == 'b') {
            ++i;  // era and calendar codes
        } else {
            const std::size_t n = CharLength(code, i);
            AddLiteral(s, code.substr(i, n));
            i += n;
        }
    }
    if (s.isDate) {
        // ".0" after seconds is a fraction of a second, not a decimal point.
        std::vector<Token> tokens;
        for (std::size_t k = 0; k < s.tokens.size(); ++k) {
            if (s.tokens[k].kind == Tok::Point && k + 1 < s.tokens.size() &&
                s.tokens[k + 1].kind == Tok::Digit && s.tokens[k + 1].text == "0") {
                std::string frac = ".";
                while (k + 1 < s.tokens.size() && s.tokens[k + 1].kind == Tok::Digit &&
                       s.tokens[k + 1].text == "0" && frac.size() < 4) {
                    frac += '0';
                    ++k;
                }
                tokens.push_back(Token{Tok::Date, frac});
            } else if (s.tokens[k].kind == Tok::Point || s.tokens[k].kind == Tok::Digit ||
                       s.tokens[k].kind == Tok::Comma) {
                tokens.push_back(Token{Tok::Literal, s.tokens[k].text});
            } else {
                tokens.push_back(s.tokens[k]);
            }
        }
        s.tokens = std::move(tokens);
        s.hasNumber = false;
    }
    Analyse(s);
    return s;
}

std::vector<Section> ParseFormat(std::string_view code) {
    std::vector<Section> sections;
    std::size_t start = 0, i = 0;
    bool quoted = false, bracket = false;
    for (; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            if (c == '"') quoted = false;
        } else if (bracket) {
            if (c == ']') bracket = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == ';') {
            sections.push_back(ParseSection(code.substr(start, i - start)));
            start = i + 1;
            if (sections.size() == 4) break;
        }
    }
    if (sections.size() < 4) sections.push_back(ParseSection(code.substr(start)));
    return sections;
}

struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

}  // namespace

const std::vector<Section>& ParsedFormat(std::string_view code) {
    thread_local std::unordered_map<std::string, std::vector<Section>, CodeHash, std::equal_to<>>
        cache;
    const auto it = cache.find(code);
    if (it != cache.end()) return it->second;
    if (cache.size() > 4096) cache.clear();
    return cache.emplace(std::string(code), ParseFormat(code)).first->second;
}

bool IsGeneral(std::string_view code) {
    return code.size() == 7 && EqualIgnoringCase(code, "General");
}

std::string_view BuiltInFormat(std::uint32_t id) {
    switch (id) {
        case 0:
            return "General";
        case 1:
            return "0";
        case 2:
            return "0.00";
        case 3:
            return "#,##0";
        case 4:
            return "#,##0.00";
        case 5:
            return "\"$\"#,##0_);\\(\"$\"#,##0\\)";
        case 6:
            return "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)";
        case 7:
            return "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)";
        case 8:
            return "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)";
        case 9:
            return "0%";
        case 10:
            return "0.00%";
        case 11:
            return "0.00E+00";
        case 12:
            return "# ?/?";
        case 13:
            return "# ?\?/??";
        case 14:
            return "m/d/yyyy";
        case 15:
            return "d-mmm-yy";
        case 16:
            return "d-mmm";
        case 17:
            return "mmm-yy";
        case 18:
            return "h:mm AM/PM";
        case 19:
            return "h:mm:ss AM/PM";
        case 20:
            return "h:mm";
        case 21:
            return "h:mm:ss";
        case 22:
            return "m/d/yyyy h:mm";
        case 37:
            return "#,##0_);(#,##0)";
        case 38:
            return "#,##0_);[Red](#,##0)";
        case 39:
            return "#,##0.00_);(#,##0.00)";
        case 40:
            return "#,##0.00_);[Red](#,##0.00)";
        case 41:
            return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
        case 42:
            return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
        case 43:
            return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
        case 44:
            return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
        case 45:
            return "mm:ss";
        case 46:
            return "[h]:mm:ss";
        case 47:
            return "mm:ss.0";
        case 48:
            return "##0.0E+0";
        case 49:
            return "@";
        default:
            return {};
    }
}

}  // namespace tbln::workbook
