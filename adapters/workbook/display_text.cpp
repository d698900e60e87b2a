#include "adapters/workbook/display_text.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/unicode.hpp"

namespace tbln::workbook {

namespace {

constexpr int kGeneralWidth = 11;

std::string StripZeros(std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// Plain form with as many decimals as fit in the width.
std::string Plain(double value) {
    for (int decimals = kGeneralWidth; decimals >= 0; --decimals) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
        std::string s = StripZeros(buf);
        if (s == "-0") s = "0";
        if (static_cast<int>(s.size()) <= kGeneralWidth) return s;
    }
    return {};
}

// Exponent form: mantissa with up to as many decimals as fit, exponent of at least two digits.
std::string Scientific(double value) {
    for (int decimals = kGeneralWidth; decimals >= 0; --decimals) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*E", decimals, value);
        std::string s(buf);
        const auto e = s.find('E');
        std::string mantissa = StripZeros(s.substr(0, e));
        const int exponent = std::atoi(s.c_str() + e + 1);
        char ex[16];
        std::snprintf(ex, sizeof ex, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        std::string out = mantissa + ex;
        if (static_cast<int>(out.size()) <= kGeneralWidth) return out;
    }
    return "#";
}

// The number of significant digits a rendering keeps.
int SignificantDigits(const std::string& s) {
    int count = 0, pendingZeros = 0;
    bool started = false;
    for (char c : s) {
        if (c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (c == '0') {
            if (started) ++pendingZeros;
            continue;
        }
        started = true;
        count += pendingZeros + 1;
        pendingZeros = 0;
    }
    return count;
}

}  // namespace

std::string FormatGeneral(double value) {
    if (value == 0) return "0";
    const double magnitudeFast = std::fabs(value);
    // Common cases with one conversion: whole numbers and numbers from 0.001 up, where
    // the plain form always keeps more digits than the exponent form.
    if (magnitudeFast < 99999999999.5 && magnitudeFast >= 0.001) {
        char buf[64];
        if (value == std::floor(value) && magnitudeFast < 1e11) {
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
            return std::string(buf, r.ptr);
        }
        const int negative = value < 0 ? 1 : 0;
        const int intDigits =
            magnitudeFast < 1 ? 1 : static_cast<int>(std::floor(std::log10(magnitudeFast))) + 1;
        const int decimals = kGeneralWidth - negative - intDigits - 1;
        if (decimals >= 0) {
            const auto r =
                std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
            std::string s = StripZeros(std::string(buf, r.ptr));
            if (static_cast<int>(s.size()) <= kGeneralWidth && s != "0" && s != "-0") return s;
        }
    }
    const double magnitude = std::fabs(value);
    // The plain form when it fits the width and keeps at least as many significant
    // digits as the exponent form; otherwise the exponent form.
    const std::string scientific = Scientific(value);
    if (magnitude < 99999999999.5) {
        const std::string plain = Plain(value);
        if (!plain.empty() && plain != "0" &&
            SignificantDigits(plain) >= SignificantDigits(scientific)) {
            return plain;
        }
    }
    return scientific;
}

namespace {

// ---- Format codes ---------------------------------------------------------------

enum class Tok {
    Literal,      // text shown as it is
    Digit,        // 0 # ?
    Point,        // decimal point
    Comma,        // thousands separator or scaling
    Percent,      // % (also shown)
    Exponent,     // E+ E-
    Slash,        // fraction bar
    Denominator,  // a fixed denominator ("/8")
    Date,         // y m d h s, elapsed [h], AM/PM, fractions of a second
    Text,         // @
    General,
};

struct Token {
    Tok kind;
    std::string text;   // Literal: the text; Digit: the placeholder; Date: the code, lower case
    bool plus = false;  // Exponent: E+
};

struct Condition {
    std::string op;
    double value = 0;
    bool Holds(double v) const {
        if (op == "<") return v < value;
        if (op == "<=") return v <= value;
        if (op == ">") return v > value;
        if (op == ">=") return v >= value;
        if (op == "=") return v == value;
        if (op == "<>") return v != value;
        return false;
    }
};

struct Section {
    std::vector<Token> tokens;
    std::optional<Condition> condition;
    bool isDate = false;
    bool hasText = false;
    bool hasNumber = false;  // digit placeholders or General
    // The layout of a plain number, worked out once (see Analyse).
    std::string intPh, fracPh;  // the placeholders before and after the point
    bool thousands = false;     // a comma between integer placeholders
    int percents = 0;           // each % multiplies by 100
    int scaling = 0;            // each comma after the last placeholder divides by 1000
    bool contiguous = true;     // no literal between the integer placeholders
};

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

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

void AddLiteral(Section& s, std::string_view text) {
    if (!s.tokens.empty() && s.tokens.back().kind == Tok::Literal)
        s.tokens.back().text.append(text);
    else
        s.tokens.push_back(Token{Tok::Literal, std::string(text)});
}

// Reads a bracketed item: a colour, a condition, a currency or locale, elapsed time.
void ReadBracket(Section& s, std::string_view item) {
    if (item.empty()) return;
    const char first = item[0];
    if (first == '<' || first == '>' || first == '=') {
        std::size_t n = 1;
        if (item.size() > 1 && (item[1] == '=' || item[1] == '>')) n = 2;
        Condition c;
        c.op = std::string(item.substr(0, n));
        c.value = std::atof(std::string(item.substr(n)).c_str());
        s.condition = c;
        return;
    }
    if (first == '$') {
        // [$text-locale]: the text is shown; a system date or time locale switches the
        // whole section to the long date or the time.
        const auto dash = item.find('-');
        const auto text =
            item.substr(1, dash == std::string_view::npos ? item.size() - 1 : dash - 1);
        const auto locale =
            dash == std::string_view::npos ? std::string_view{} : item.substr(dash + 1);
        if (IEquals(locale, "F800")) {
            s.tokens.clear();
            for (const char* t : {"dddd", ", ", "mmmm", " ", "dd", ", ", "yyyy"}) {
                if (std::string_view(t).find_first_of(", ") == std::string_view::npos)
                    s.tokens.push_back(Token{Tok::Date, t});
                else
                    AddLiteral(s, t);
            }
            s.isDate = true;
            return;
        }
        if (IEquals(locale, "F400")) {
            s.tokens.clear();
            for (const char* t : {"h", ":", "mm", ":", "ss", " ", "AM/PM"}) {
                if (std::string_view(t) == ":" || std::string_view(t) == " ")
                    AddLiteral(s, t);
                else
                    s.tokens.push_back(Token{Tok::Date, t});
            }
            s.isDate = true;
            return;
        }
        AddLiteral(s, text);
        return;
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(first)));
    if ((lower == 'h' || lower == 'm' || lower == 's') &&
        item.find_first_not_of(std::string(1, first)) == std::string_view::npos) {
        s.tokens.push_back(Token{Tok::Date, "[" + std::string(1, lower) + "]"});
        s.isDate = true;
        return;
    }
    // Colours ([Red], [Color10]) and anything else do not change the text.
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
                // One character, which may be a multi-byte UTF-8 sequence.
                std::size_t n = 1;
                while (i + 1 + n < code.size() &&
                       (static_cast<unsigned char>(code[i + 1 + n]) & 0xC0) == 0x80)
                    ++n;
                AddLiteral(s, code.substr(i + 1, n));
                i += 1 + n;
            } else {
                ++i;
            }
        } else if (c == '_' || c == '*') {
            // '_': the width of the next character, one space; '*': fill to the column
            // width, nothing in a wide-enough column. That character may be multi-byte.
            if (c == '_') AddLiteral(s, " ");
            std::size_t n = 0;
            if (i + 1 < code.size()) DecodeUtf8At(code, i + 1, n);
            i += 1 + n;
        } else if (c == '[') {
            const auto end = code.find(']', i);
            if (end == std::string_view::npos) break;
            ReadBracket(s, code.substr(i + 1, end - i - 1));
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
        } else if (IEquals(code.substr(i, 7), "General")) {
            s.tokens.push_back(Token{Tok::General, "General"});
            s.hasNumber = true;
            i += 7;
        } else if (IEquals(code.substr(i, 5), "AM/PM")) {
            s.tokens.push_back(Token{Tok::Date, c == 'a' ? "am/pm" : "AM/PM"});
            s.isDate = true;
            i += 5;
        } else if (IEquals(code.substr(i, 3), "A/P")) {
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
            std::size_t n = 1;
            while (i + n < code.size() && (static_cast<unsigned char>(code[i + n]) & 0xC0) == 0x80)
                ++n;
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

// The parsed sections of a format code. A workbook uses a handful of codes for up to
// millions of cells, so each is parsed once per thread.
struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

const std::vector<Section>& CachedFormat(std::string_view code) {
    thread_local std::unordered_map<std::string, std::vector<Section>, CodeHash, std::equal_to<>>
        cache;
    const auto it = cache.find(code);
    if (it != cache.end()) return it->second;
    if (cache.size() > 4096) cache.clear();
    return cache.emplace(std::string(code), ParseFormat(code)).first->second;
}

// ---- Numbers --------------------------------------------------------------------

std::string Repeat(std::size_t n, char c) {
    return std::string(n, c);
}

std::string WithThousands(const std::string& digits) {
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[i];
        if ((n - i - 1) % 3 == 0 && i + 1 < n) out += ',';
    }
    return out;
}

// Rounds |value| to `decimals` and splits it into integer and fraction digits.
void SplitDigits(double value, int decimals, std::string& integer, std::string& fraction) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed,
                                 std::min(decimals, 30));
    std::string s = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
    const auto point = s.find('.');
    integer = s.substr(0, point);
    fraction = point == std::string::npos ? "" : s.substr(point + 1);
    if (integer == "0") integer.clear();
}

// Fills the integer placeholders from the right.
std::vector<std::string> FillInteger(const std::vector<char>& placeholders,
                                     const std::string& digits, bool thousands) {
    std::vector<std::string> out(placeholders.size());
    std::size_t left = digits.size();
    for (std::size_t k = placeholders.size(); k-- > 0;) {
        if (left > 0) {
            out[k] = std::string(1, digits[--left]);
        } else if (placeholders[k] == '0') {
            out[k] = "0";
        } else if (placeholders[k] == '?') {
            out[k] = " ";
        }
    }
    if (!out.empty()) out[0] = digits.substr(0, left) + out[0];
    if (thousands) {
        // The separators go into the digits as one run; the run sits at the first placeholder.
        std::string all;
        for (const auto& piece : out) all += piece;
        std::string lead;
        while (!all.empty() && all.front() == ' ') {
            lead += ' ';
            all.erase(0, 1);
        }
        std::fill(out.begin(), out.end(), std::string());
        if (!out.empty()) out[0] = lead + WithThousands(all);
    }
    return out;
}

std::string FormatFraction(double value, const Section& s) {
    // Layout: [integer placeholders] literal numerator placeholders / denominator.
    std::size_t slash = 0;
    while (slash < s.tokens.size() && s.tokens[slash].kind != Tok::Slash) ++slash;
    // The numerator is the run of digit placeholders just before the bar; an earlier run
    // is the whole-number part.
    std::size_t numStart = slash;
    while (numStart > 0 && s.tokens[numStart - 1].kind == Tok::Digit) --numStart;
    bool hasWhole = false;
    for (std::size_t k = 0; k < numStart; ++k) hasWhole |= s.tokens[k].kind == Tok::Digit;

    long long fixedDen = 0;
    int denDigits = 0;
    std::vector<char> denPlaceholders;
    std::size_t after = slash + 1;
    if (after < s.tokens.size() && s.tokens[after].kind == Tok::Denominator) {
        fixedDen = std::atoll(s.tokens[after].text.c_str());
        ++after;
    } else {
        while (after < s.tokens.size() && s.tokens[after].kind == Tok::Digit) {
            denPlaceholders.push_back(s.tokens[after].text[0]);
            ++after;
        }
        denDigits = static_cast<int>(std::min<std::size_t>(denPlaceholders.size(), 7));
    }
    const double v = std::fabs(value);
    double whole = hasWhole ? std::floor(v) : 0;
    const double frac = v - whole;
    long long num = 0, den = 1;
    if (fixedDen > 0) {
        den = fixedDen;
        num = std::llround(frac * static_cast<double>(den));
    } else {
        const long long maxDen =
            denDigits <= 0 ? 9 : static_cast<long long>(std::pow(10, denDigits)) - 1;
        // The closest fraction with a denominator that fits (continued fractions).
        long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
        double x = frac;
        long long bestP = std::llround(frac), bestQ = 1;
        for (int iter = 0; iter < 64; ++iter) {
            const double a = std::floor(x);
            const long long ai = static_cast<long long>(a);
            const long long p2 = ai * p1 + p0, q2 = ai * q1 + q0;
            if (q2 > maxDen) {
                // The best semiconvergent within the limit.
                const long long k = (maxDen - q0) / q1;
                const long long ps = k * p1 + p0, qs = k * q1 + q0;
                if (qs > 0 &&
                    std::fabs(frac - static_cast<double>(ps) / static_cast<double>(qs)) <
                        std::fabs(frac - static_cast<double>(p1) / static_cast<double>(q1))) {
                    bestP = ps;
                    bestQ = qs;
                } else {
                    bestP = p1;
                    bestQ = q1;
                }
                break;
            }
            p0 = p1;
            q0 = q1;
            p1 = p2;
            q1 = q2;
            bestP = p1;
            bestQ = q1;
            if (x - a < 1e-12) break;
            x = 1 / (x - a);
        }
        num = bestP;
        den = std::max<long long>(bestQ, 1);
    }
    if (hasWhole && num == den) {
        whole += 1;
        num = 0;
    }
    std::string out = value < 0 ? "-" : "";
    // Whole part and the literals between it and the numerator.
    std::vector<char> wholePlaceholders;
    for (std::size_t k = 0; k < numStart; ++k)
        if (s.tokens[k].kind == Tok::Digit) wholePlaceholders.push_back(s.tokens[k].text[0]);
    std::vector<char> numPlaceholders;
    for (std::size_t k = numStart; k < slash; ++k) numPlaceholders.push_back(s.tokens[k].text[0]);

    std::string fractionText;
    if (num == 0 && hasWhole) {
        // No fraction: its place stays blank so that columns of numbers line up.
        std::size_t width =
            numPlaceholders.size() + 1 +
            (fixedDen > 0 ? std::to_string(fixedDen).size() : denPlaceholders.size());
        fractionText = Repeat(width, ' ');
    } else {
        std::string numText = std::to_string(num);
        for (std::size_t k = numText.size(); k < numPlaceholders.size(); ++k) {
            const char p = numPlaceholders[numPlaceholders.size() - 1 - k];
            numText.insert(0, p == '0' ? "0" : p == '?' ? " " : "");
        }
        std::string denText = std::to_string(den);
        for (std::size_t k = denText.size(); k < denPlaceholders.size(); ++k) {
            const char p = denPlaceholders[k];
            denText += p == '0' ? "0" : p == '?' ? " " : "";
        }
        fractionText = numText + "/" + denText;
    }
    bool wroteWhole = false;
    for (std::size_t k = 0; k < numStart; ++k) {
        const auto& t = s.tokens[k];
        if (t.kind == Tok::Digit) {
            if (!wroteWhole) {
                std::string digits =
                    whole == 0 ? "" : std::to_string(static_cast<long long>(whole));
                for (const auto& piece : FillInteger(wholePlaceholders, digits, false))
                    out += piece;
                // "# ?/?" shows 0 as "0" when there is no fraction either.
                if (digits.empty() && num == 0 && out.find_first_not_of(" -") == std::string::npos)
                    out += "0";
                wroteWhole = true;
            }
        } else if (t.kind == Tok::Literal) {
            // A literal between the whole part and the fraction is blank when there is no whole
            // part.
            out += (whole == 0 && num != 0 && hasWhole) ? Repeat(t.text.size(), ' ') : t.text;
        }
    }
    if (hasWhole && whole == 0 && num != 0) {
        // "# ?/?" shows 0.5 as "1/2" preceded by blanks where the whole number would be.
        std::size_t lead = 0;
        while (lead < out.size() && (out[lead] == ' ' || out[lead] == '-')) ++lead;
        out = out.substr(0, lead);
    }
    out += fractionText;
    for (std::size_t k = after; k < s.tokens.size(); ++k)
        if (s.tokens[k].kind == Tok::Literal) out += s.tokens[k].text;
    return out;
}

std::string FormatScientific(double value, const Section& s, std::size_t expIndex) {
    // Mantissa placeholders before the exponent, exponent placeholders after it.
    std::vector<char> intPh, fracPh;
    bool afterPoint = false;
    for (std::size_t k = 0; k < expIndex; ++k) {
        const auto& t = s.tokens[k];
        if (t.kind == Tok::Point) afterPoint = true;
        if (t.kind == Tok::Digit) (afterPoint ? fracPh : intPh).push_back(t.text[0]);
    }
    int expDigits = 0;
    for (std::size_t k = expIndex + 1; k < s.tokens.size(); ++k)
        if (s.tokens[k].kind == Tok::Digit) ++expDigits;
    const double v = std::fabs(value);
    int exponent = 0;
    const int intCount = std::max<int>(1, static_cast<int>(intPh.size()));
    const bool engineering = intPh.size() > 1 && intPh.front() == '#';
    const auto decimals = static_cast<int>(fracPh.size());
    double mantissa = 0;
    if (v != 0) {
        exponent = static_cast<int>(std::floor(std::log10(v)));
        for (int pass = 0; pass < 2; ++pass) {
            int e = exponent;
            if (engineering) {
                e = static_cast<int>(std::floor(static_cast<double>(exponent) / intCount)) *
                    intCount;
            } else {
                e = exponent - (intCount - 1);
            }
            mantissa = v / std::pow(10.0, e);
            // Rounding may carry into a new digit: 9.99E+00 -> 1.00E+01.
            const double rounded =
                std::round(mantissa * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
            if (rounded >= std::pow(10.0, engineering ? intCount : intCount) && pass == 0) {
                ++exponent;
                continue;
            }
            exponent = e;
            break;
        }
    }
    std::string integer, fraction;
    SplitDigits(mantissa, decimals, integer, fraction);
    std::string out = value < 0 ? "-" : "";
    const auto intPieces = FillInteger(intPh, integer, false);
    std::size_t ip = 0, fp = 0;
    // Trailing zeros of optional fraction placeholders.
    std::string frac = fraction;
    for (std::size_t k = frac.size(); k-- > 0;) {
        if (frac[k] != '0') break;
        if (fracPh[k] == '#')
            frac.erase(k, 1);
        else if (fracPh[k] == '?')
            frac[k] = ' ';
        else
            break;
    }
    afterPoint = false;
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        const auto& t = s.tokens[k];
        if (k == expIndex) {
            std::string e = std::to_string(std::abs(exponent));
            while (static_cast<int>(e.size()) < expDigits) e.insert(0, "0");
            out += exponent < 0 ? "E-" : t.plus ? "E+" : "E";
            out += e;
            continue;
        }
        if (k > expIndex) {
            if (t.kind == Tok::Literal) out += t.text;
            continue;
        }
        switch (t.kind) {
            case Tok::Digit:
                if (!afterPoint) {
                    out += intPieces[ip++];
                } else if (fp < frac.size()) {
                    out += frac[fp++];
                }
                break;
            case Tok::Point:
                afterPoint = true;
                out += '.';
                break;
            case Tok::Literal:
            case Tok::Percent:
                out += t.text;
                break;
            default:
                break;
        }
    }
    return out;
}

std::string FormatDecimal(double value, const Section& s, bool showSign) {
    const std::string& intPh = s.intPh;
    const std::string& fracPh = s.fracPh;
    const bool thousands = s.thousands;
    const int percents = s.percents, scaling = s.scaling;
    bool afterPoint = false;
    std::size_t lastDigit = 0;
    bool anyDigit = false;
    double v = std::fabs(value);
    for (int k = 0; k < percents; ++k) v *= 100;
    for (int k = 0; k < scaling; ++k) v /= 1000;
    std::string integer, fraction;
    SplitDigits(v, static_cast<int>(fracPh.size()), integer, fraction);
    std::string frac = fraction;
    for (std::size_t k = frac.size(); k-- > 0;) {
        if (frac[k] != '0') break;
        if (fracPh[k] == '#')
            frac.erase(k, 1);
        else if (fracPh[k] == '?')
            frac[k] = ' ';
        else
            break;
    }
    // Without integer placeholders the integer digits still show, before the point.
    std::vector<char> ph(intPh.begin(), intPh.end());
    if (ph.empty() && !integer.empty()) ph.push_back('#');
    auto pieces = FillInteger(ph, integer, thousands);
    if (s.contiguous && pieces.size() > 1) {
        // One run of placeholders: the whole integer part goes where the run starts.
        for (std::size_t k = 1; k < pieces.size(); ++k) {
            pieces[0] += pieces[k];
            pieces[k].clear();
        }
    }

    std::string out = showSign && value < 0 ? "-" : "";
    std::size_t ip = 0, fp = 0;
    afterPoint = false;
    bool integerDone = intPh.empty() ? false : true;
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        const auto& t = s.tokens[k];
        switch (t.kind) {
            case Tok::Digit:
                if (!afterPoint) {
                    out += pieces[ip++];
                } else if (fp < frac.size()) {
                    out += frac[fp++];
                }
                break;
            case Tok::Point:
                if (!integerDone && !pieces.empty()) {
                    out += pieces[0];
                    integerDone = true;
                }
                afterPoint = true;
                out += '.';
                break;
            case Tok::Literal:
            case Tok::Percent:
                out += t.text;
                break;
            case Tok::General:
                out += FormatGeneral(v);
                break;
            default:
                break;
        }
        if (k == lastDigit && anyDigit && !integerDone && !afterPoint && !pieces.empty()) {
            integerDone = true;
        }
    }
    return out;
}

// ---- Dates and times ------------------------------------------------------------

constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
constexpr const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

// Civil date of a day count from 1970-01-01.
void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

std::string Pad2(long long v) {
    return v < 10 ? "0" + std::to_string(v) : std::to_string(v);
}

std::string FormatDate(double serial, const Section& s, bool date1904) {
    int subDigits = 0;
    bool ampm = false;
    for (const auto& t : s.tokens) {
        if (t.kind != Tok::Date) continue;
        if (t.text[0] == '.') subDigits = std::max(subDigits, static_cast<int>(t.text.size()) - 1);
        if (t.text == "am/pm" || t.text == "AM/PM" || t.text == "a/p" || t.text == "A/P")
            ampm = true;
    }
    const double scale = std::pow(10.0, subDigits);
    const double ticks = std::round(serial * 86400.0 * scale);  // in units of the shown precision
    if (serial < 0 || serial >= 2958466 || !std::isfinite(serial)) return "########";
    const double totalSeconds = ticks / scale;
    const long long day = static_cast<long long>(std::floor(totalSeconds / 86400));
    const double secondsOfDay = totalSeconds - static_cast<double>(day) * 86400;
    const long long wholeSeconds = static_cast<long long>(std::floor(secondsOfDay));
    const long long hour = wholeSeconds / 3600, minute = wholeSeconds / 60 % 60,
                    second = wholeSeconds % 60;
    const long long subTicks = static_cast<long long>(
        std::llround((secondsOfDay - static_cast<double>(wholeSeconds)) * scale));

    int y = 1900, m = 1, d = 0, weekday = 0;
    if (date1904) {
        CivilFromDays(day - 24107, y, m, d);  // 1904-01-01 is day 0
        weekday = static_cast<int>((day + 5) % 7);
    } else if (day == 0) {
        y = 1900, m = 1, d = 0;  // Excel's day zero: "1/0/1900"
        weekday = 6;
    } else if (day == 60) {
        y = 1900, m = 2, d = 29;  // the leap day 1900 never had, kept for compatibility
        weekday = 3;
    } else {
        CivilFromDays(day - (day > 60 ? 25569 : 25568), y, m, d);
        weekday = static_cast<int>((day + 6) % 7);
    }

    // Which "m" runs are minutes: after an hour, or before a second.
    std::vector<bool> minutes(s.tokens.size(), false);
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        const auto& t = s.tokens[k];
        if (t.kind != Tok::Date || t.text[0] != 'm' || t.text.size() > 2) continue;
        for (std::size_t j = k; j-- > 0;) {
            if (s.tokens[j].kind != Tok::Date) continue;
            if (s.tokens[j].text[0] == 'h' || s.tokens[j].text == "[h]") minutes[k] = true;
            break;
        }
        for (std::size_t j = k + 1; j < s.tokens.size(); ++j) {
            if (s.tokens[j].kind != Tok::Date) continue;
            if (s.tokens[j].text[0] == 's' || s.tokens[j].text == "[s]") minutes[k] = true;
            break;
        }
    }
    std::string out;
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        const auto& t = s.tokens[k];
        if (t.kind == Tok::Literal) {
            out += t.text;
            continue;
        }
        if (t.kind == Tok::Text || t.kind == Tok::General) continue;
        if (t.kind != Tok::Date) continue;
        const std::string& c = t.text;
        if (c == "[h]") {
            out += std::to_string(static_cast<long long>(std::floor(totalSeconds / 3600)));
        } else if (c == "[m]") {
            out += std::to_string(static_cast<long long>(std::floor(totalSeconds / 60)));
        } else if (c == "[s]") {
            out += std::to_string(static_cast<long long>(std::floor(totalSeconds)));
        } else if (c[0] == '.') {
            std::string digits = std::to_string(subTicks);
            while (static_cast<int>(digits.size()) < subDigits) digits.insert(0, "0");
            out += "." + digits.substr(0, c.size() - 1);
        } else if (c == "am/pm" || c == "AM/PM") {
            out += hour < 12 ? (c[0] == 'a' ? "am" : "AM") : (c[0] == 'a' ? "pm" : "PM");
        } else if (c == "a/p" || c == "A/P") {
            out += hour < 12 ? (c[0] == 'a' ? "a" : "A") : (c[0] == 'a' ? "p" : "P");
        } else if (c[0] == 'y') {
            out += c.size() <= 2 ? Pad2(y % 100) : std::to_string(y);
        } else if (c[0] == 'm' && minutes[k]) {
            out += c.size() == 1 ? std::to_string(minute) : Pad2(minute);
        } else if (c[0] == 'm') {
            if (c.size() == 1)
                out += std::to_string(m);
            else if (c.size() == 2)
                out += Pad2(m);
            else if (c.size() == 3)
                out += std::string(kMonths[m - 1]).substr(0, 3);
            else if (c.size() == 5)
                out += kMonths[m - 1][0];
            else
                out += kMonths[m - 1];
        } else if (c[0] == 'd') {
            if (c.size() == 1)
                out += std::to_string(d);
            else if (c.size() == 2)
                out += Pad2(d);
            else if (c.size() == 3)
                out += std::string(kDays[weekday]).substr(0, 3);
            else
                out += kDays[weekday];
        } else if (c[0] == 'h') {
            long long h = hour;
            if (ampm) h = h % 12 == 0 ? 12 : h % 12;
            out += c.size() == 1 ? std::to_string(h) : Pad2(h);
        } else if (c[0] == 's') {
            out += c.size() == 1 ? std::to_string(second) : Pad2(second);
        }
    }
    return out;
}

std::string FormatWithSection(double value, const Section& s, bool showSign, bool date1904) {
    if (s.isDate) {
        if (value < 0) return "########";
        return FormatDate(value, s, date1904);
    }
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        if (s.tokens[k].kind == Tok::Exponent) {
            const std::string out = FormatScientific(value, s, k);
            return showSign || out.empty() || out[0] != '-' ? out : out.substr(1);
        }
        if (s.tokens[k].kind == Tok::Slash) {
            const std::string out = FormatFraction(value, s);
            return showSign || out.empty() || out[0] != '-' ? out : out.substr(1);
        }
    }
    if (!s.hasNumber) {
        // Only literals: the number is not shown, only the text (and a sign, for one section).
        std::string out = showSign && value < 0 ? "-" : "";
        for (const auto& t : s.tokens) {
            if (t.kind == Tok::Literal || t.kind == Tok::Percent) out += t.text;
        }
        return out;
    }
    // A lone General section keeps General's own rules (and its sign).
    if (s.tokens.size() == 1 && s.tokens[0].kind == Tok::General)
        return (showSign || value >= 0) ? FormatGeneral(value) : FormatGeneral(std::fabs(value));
    return FormatDecimal(value, s, showSign);
}

}  // namespace

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
            return "#,##0 ;(#,##0)";
        case 38:
            return "#,##0 ;[Red](#,##0)";
        case 39:
            return "#,##0.00;(#,##0.00)";
        case 40:
            return "#,##0.00;[Red](#,##0.00)";
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

namespace {
// The code of a cell's format without copying it.
std::string_view FormatCodeView(const WorkbookModel& book, std::uint32_t style) {
    const auto id = book.Format(style).numberFormat;
    if (!book.numberFormats.empty()) {
        const auto custom = book.numberFormats.find(id);
        if (custom != book.numberFormats.end()) return custom->second;
    }
    const auto builtIn = BuiltInFormat(id);
    return builtIn.empty() ? std::string_view("General") : builtIn;
}
}  // namespace

std::string FormatCodeOf(const WorkbookModel& book, std::uint32_t style) {
    return std::string(FormatCodeView(book, style));
}

std::string FormatNumber(double value, std::string_view code, bool date1904) {
    if (code.empty() || IEquals(code, "General")) return FormatGeneral(value);
    const auto& sections = CachedFormat(code);
    // Sections that show numbers (a fourth is for text only).
    const std::size_t n = std::min<std::size_t>(sections.size(), 3);
    const bool conditional =
        sections[0].condition.has_value() || (n > 1 && sections[1].condition.has_value());
    std::size_t chosen = 0;
    bool showSign = true;
    if (conditional) {
        if (sections[0].condition && sections[0].condition->Holds(value)) {
            chosen = 0;
        } else if (n > 1 && sections[1].condition && sections[1].condition->Holds(value)) {
            chosen = 1;
        } else if (n > 1 && !sections[1].condition) {
            chosen = 1;
        } else if (n > 2) {
            chosen = 2;
        } else {
            return "########";  // no section takes the value: Excel shows it as not fitting
        }
        // A section meant for negatives shows no sign of its own.
        const auto& c = sections[chosen].condition;
        showSign = !(value < 0 && c && (c->op == "<" || c->op == "<=") && c->value <= 0);
    } else if (n == 1 || value > 0 || (value == 0 && n == 2)) {
        chosen = 0;
        showSign = n == 1;
    } else if (value < 0) {
        chosen = 1;
        showSign = false;
    } else {
        chosen = n >= 3 ? 2 : 0;
        showSign = false;
    }
    const Section& s = sections[chosen];
    if (s.tokens.empty()) return {};
    if (s.hasText && !s.hasNumber && !s.isDate) {
        // A text-only section shows the number as General in place of "@".
        std::string out;
        for (const auto& t : s.tokens) {
            if (t.kind == Tok::Text)
                out += FormatGeneral(value);
            else if (t.kind == Tok::Literal)
                out += t.text;
        }
        return out;
    }
    return FormatWithSection(value, s, showSign, date1904);
}

std::string FormatText(const std::string& text, std::string_view code) {
    if (code.empty() || IEquals(code, "General")) return text;
    const auto& sections = CachedFormat(code);
    const Section* s = nullptr;
    if (sections.size() >= 4) {
        s = &sections[3];
    } else if (sections.size() == 1 && sections[0].hasText) {
        s = &sections[0];
    }
    if (!s) return text;
    std::string out;
    for (const auto& t : s->tokens) {
        if (t.kind == Tok::Text)
            out += text;
        else if (t.kind == Tok::Literal)
            out += t.text;
    }
    return out;
}

std::string DisplayText(const WorkbookModel& book, const Cell& cell) {
    switch (cell.type) {
        case CellType::Empty:
            return {};
        case CellType::Text:
            return FormatText(book.Text(cell), FormatCodeView(book, cell.style));
        case CellType::Error:
            return book.Text(cell);
        case CellType::Boolean:
            return cell.number != 0 ? "TRUE" : "FALSE";
        case CellType::Number:
            if (book.Format(cell.style).numberFormat == 0 &&
                book.numberFormats.find(0) == book.numberFormats.end())
                return FormatGeneral(cell.number);
            return FormatNumber(cell.number, FormatCodeView(book, cell.style), book.date1904);
    }
    return {};
}

}  // namespace tbln::workbook
