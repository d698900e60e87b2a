#include "adapters/workbook/numfmt/display_text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "adapters/workbook/numfmt/format_code.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln::workbook {

namespace {

// ---- Numbers --------------------------------------------------------------------

// A number's magnitude as the spreadsheet keeps it: at most 15 significant decimal
// digits (the shortest text of the double when that is shorter), 0.digits x 10^point.
// Scaling by 100 or 1000 moves the point and so stays exact.
struct Decimal {
    std::string digits;  // no leading or trailing zeros; empty for zero
    int point = 0;
};

// The 15 significant digits of the magnitude: "d.dddddddddddddde+xx".
std::string KeptText(double value) {
    char buf[40];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    return std::string(buf, r.ptr);
}

Decimal ToDecimal(double value) {
    Decimal d;
    if (value == 0 || !std::isfinite(value)) return d;
    const std::string text = KeptText(value);
    const auto e = text.find('e');
    d.digits.push_back(text[0]);
    d.digits.append(text, 2, e - 2);
    d.point = std::atoi(text.c_str() + e + 1) + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

// The magnitude as the spreadsheet keeps it, as a double.
double Kept(double value) {
    if (!std::isfinite(value)) return std::fabs(value);
    const std::string text = KeptText(value);
    double kept = 0;
    std::from_chars(text.data(), text.data() + text.size(), kept);
    return kept;
}

// The number rounded to `decimals` places, halves away from zero, as its integer digits
// (empty for zero) and exactly `decimals` fraction digits.
void SplitDigits(const Decimal& d, int decimals, std::string& integer, std::string& fraction) {
    decimals = std::clamp(decimals, 0, 340);
    std::string digits = d.digits;
    int point = d.point;
    const long long keep = static_cast<long long>(point) + decimals;
    if (keep < 0) {
        digits.clear();
    } else if (keep < static_cast<long long>(digits.size())) {
        const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
        digits.resize(static_cast<std::size_t>(keep));
        if (up) {
            std::size_t k = digits.size();
            while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
            if (k == 0) {
                digits.insert(0, "1");
                ++point;
            } else {
                ++digits[k - 1];
            }
        }
    }
    // Integer digits: the first `point` digits, padded with zeros.
    integer.clear();
    if (point > 0) {
        const auto n = static_cast<std::size_t>(point);
        integer = digits.substr(0, std::min(n, digits.size()));
        integer.append(n > digits.size() ? n - digits.size() : 0, '0');
    }
    fraction.assign(static_cast<std::size_t>(decimals), '0');
    for (int k = 0; k < decimals; ++k) {
        const long long at = static_cast<long long>(point) + k;
        if (at >= 0 && at < static_cast<long long>(digits.size()))
            fraction[static_cast<std::size_t>(k)] = digits[static_cast<std::size_t>(at)];
    }
    if (integer.find_first_not_of('0') == std::string::npos) integer.clear();
}

// ---- General ----------------------------------------------------------------------

constexpr int kGeneralWidth = 11;
// What a date out of range shows, and a value no section of its code takes.
constexpr const char* kNotShown = "########";

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

// The kept number rounded to `decimals` places (halves away from zero), without
// trailing zeros: "41207.69", "0".
std::string PlainText(const Decimal& d, bool negative, int decimals) {
    std::string integer, fraction;
    SplitDigits(d, decimals, integer, fraction);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (integer.empty() && fraction.empty()) return "0";
    std::string out = negative ? "-" : "";
    out += integer.empty() ? "0" : integer;
    if (!fraction.empty()) out += "." + fraction;
    return out;
}

// The exponent form with `decimals` places in the mantissa, without trailing zeros:
// "1.23E+08", "1E-20".
std::string ExponentForm(const Decimal& d, bool negative, int decimals) {
    int exponent = d.point - 1;
    std::string integer, fraction;
    SplitDigits(Decimal{d.digits, 1}, decimals, integer, fraction);
    if (integer.size() > 1) {  // 9.99 rounded up to 10.0
        integer = "1";
        ++exponent;
    }
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string out = negative ? "-" : "";
    out += integer;
    if (!fraction.empty()) out += "." + fraction;
    return out + ExponentText(exponent);
}

// The widest rendering of `form` (PlainText or ExponentForm) that fits the width:
// as many decimals as fit; empty when not even none do.
template <class Form>
std::string Widest(const Decimal& d, bool negative, int width, Form form) {
    for (int decimals = width; decimals >= 0; --decimals) {
        std::string s = form(d, negative, decimals);
        if (static_cast<int>(s.size()) <= width) return s;
    }
    return {};
}

}  // namespace

std::string FormatGeneral(double value, int width) {
    if (value == 0) return "0";
    // No worksheet holds an infinity or a NaN, but a file may write one ("inf", "nan").
    if (!std::isfinite(value)) return "#NUM!";
    width = std::clamp(width, 1, kGeneralWidth);
    const double magnitude = std::fabs(value);
    const bool negative = value < 0;
    // Whole numbers that fit, with one conversion.
    if (value == std::floor(value) && magnitude < 1e11) {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        if (r.ptr - buf <= width) return std::string(buf, r.ptr);
    }
    const Decimal d = ToDecimal(value);
    // Numbers from 0.001 up whose integer part fits: the plain form with the decimals
    // that fit always keeps more digits than the exponent form.
    if (magnitude >= 0.001) {
        const int intDigits = std::max(d.point, 1);
        const int decimals = width - (negative ? 1 : 0) - intDigits - 1;
        if (decimals >= 0) {
            std::string s = PlainText(d, negative, decimals);
            if (static_cast<int>(s.size()) <= width && s != "0") return s;
        }
    }
    // The plain form when it fits the width and keeps at least as many significant
    // digits as the exponent form; otherwise the exponent form; "#" across the width
    // when neither fits.
    const std::string scientific = Widest(d, negative, width, ExponentForm);
    const std::string plain = d.point <= width ? Widest(d, negative, width, PlainText) : "";
    if (!plain.empty() && plain != "0" &&
        (scientific.empty() || SignificantDigits(plain) >= SignificantDigits(scientific))) {
        return plain;
    }
    return scientific.empty() ? std::string(static_cast<std::size_t>(width), '#') : scientific;
}

namespace {

// The number times a whole factor, rounded to a whole number with halves away from zero.
long long RoundedTimes(const Decimal& d, long long factor) {
    // digits x factor, exactly, in decimal.
    std::vector<long long> product(d.digits.size(), 0);
    for (std::size_t k = 0; k < d.digits.size(); ++k) product[k] = (d.digits[k] - '0') * factor;
    std::string digits;
    long long carry = 0;
    for (std::size_t k = product.size(); k-- > 0;) {
        const long long v = product[k] + carry;
        digits.insert(digits.begin(), static_cast<char>('0' + v % 10));
        carry = v / 10;
    }
    int point = d.point;
    while (carry > 0) {
        digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
        carry /= 10;
        ++point;
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    std::string integer, fraction;
    SplitDigits(Decimal{digits, point}, 0, integer, fraction);
    return integer.empty() ? 0 : std::atoll(integer.c_str());  // callers keep it below 10^18
}

// Trailing zeros of the fraction under optional placeholders: none under "#", a blank
// under "?".
std::string TrimOptionalZeros(std::string fraction, std::string_view placeholders) {
    for (std::size_t k = fraction.size(); k-- > 0;) {
        if (fraction[k] != '0') break;
        if (placeholders[k] == '#')
            fraction.erase(k, 1);
        else if (placeholders[k] == '?')
            fraction[k] = ' ';
        else
            break;
    }
    return fraction;
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

// Fills the integer placeholders from the right.
std::vector<std::string> FillInteger(std::string_view placeholders, const std::string& digits,
                                     bool thousands) {
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

// The digits of a whole number of any size, without a sign.
std::string WholeDigits(double whole) {
    return FixedText(std::fabs(whole), 0);
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
        // A denominator of more than nine digits cannot be multiplied out exactly: such
        // a section shows the number as General.
        if (s.tokens[after].text.size() > 9) return FormatGeneral(value);
        fixedDen = std::atoll(s.tokens[after].text.c_str());
        ++after;
    } else {
        while (after < s.tokens.size() && s.tokens[after].kind == Tok::Digit) {
            denPlaceholders.push_back(s.tokens[after].text[0]);
            ++after;
        }
        denDigits = static_cast<int>(std::min<std::size_t>(denPlaceholders.size(), 7));
    }
    const double v = Kept(value);
    // A value shown all as a fraction whose numerator could not be counted in 64 bits
    // (the value times the largest denominator) is shown rounded, as N/1.
    const double largestDen = fixedDen > 0 ? static_cast<double>(fixedDen)
                                           : (denDigits <= 0 ? 9 : std::pow(10, denDigits));
    if (!hasWhole && std::fabs(v) * (largestDen + 1) >= 9.2e18)
        return (value < 0 ? "-" : "") + WholeDigits(v) + "/1";
    double whole = hasWhole ? std::floor(v) : 0;
    const double frac = v - whole;
    long long num = 0, den = 1;
    if (fixedDen > 0) {
        den = fixedDen;
        num = RoundedTimes(ToDecimal(frac), den);
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
            // The next denominator (ai * q1 + q0) would pass the limit: asked before the
            // products are formed, which could overflow.
            if (q1 > 0 && ai > (maxDen - q0) / q1) {
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
            const long long p2 = ai * p1 + p0, q2 = ai * q1 + q0;
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
    std::string wholePlaceholders;
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
        fractionText = std::string(width, ' ');
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
                std::string digits = whole == 0 ? "" : WholeDigits(whole);
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
            out += (whole == 0 && num != 0 && hasWhole) ? std::string(t.text.size(), ' ') : t.text;
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
    std::string intPh, fracPh;
    bool afterPoint = false;
    for (std::size_t k = 0; k < expIndex; ++k) {
        const auto& t = s.tokens[k];
        if (t.kind == Tok::Point) afterPoint = true;
        if (t.kind == Tok::Digit) (afterPoint ? fracPh : intPh).push_back(t.text[0]);
    }
    int expDigits = 0;
    for (std::size_t k = expIndex + 1; k < s.tokens.size(); ++k)
        if (s.tokens[k].kind == Tok::Digit) ++expDigits;
    const Decimal d = ToDecimal(value);
    const int intCount = std::max<int>(1, static_cast<int>(intPh.size()));
    // "##0.0E+0": the exponent is a multiple of the integer placeholders.
    const bool engineering = intPh.size() > 1 && intPh.front() == '#';
    const auto decimals = static_cast<int>(fracPh.size());
    int exponent = 0;
    std::string integer, fraction;
    if (!d.digits.empty()) {
        exponent = d.point - 1;
        for (int pass = 0; pass < 2; ++pass) {
            const int e =
                engineering
                    ? static_cast<int>(std::floor(static_cast<double>(exponent) / intCount)) *
                          intCount
                    : exponent - (intCount - 1);
            SplitDigits(Decimal{d.digits, d.point - e}, decimals, integer, fraction);
            // Rounding may carry into a new digit: 9.995 in 0.00E+00 is 1.00E+01.
            if (static_cast<int>(integer.size()) > intCount && pass == 0) {
                ++exponent;
                continue;
            }
            exponent = e;
            break;
        }
    } else {
        SplitDigits(d, decimals, integer, fraction);
    }
    std::string out = value < 0 ? "-" : "";
    const auto intPieces = FillInteger(intPh, integer, false);
    std::size_t ip = 0, fp = 0;
    const std::string frac = TrimOptionalZeros(fraction, fracPh);
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
    Decimal d = ToDecimal(value);
    d.point += 2 * s.percents - 3 * s.scaling;
    std::string integer, fraction;
    SplitDigits(d, static_cast<int>(s.fracPh.size()), integer, fraction);
    const std::string frac = TrimOptionalZeros(fraction, s.fracPh);
    // Without integer placeholders the integer digits still show, before the point.
    std::string ph = s.intPh;
    if (ph.empty() && !integer.empty()) ph.push_back('#');
    auto pieces = FillInteger(ph, integer, s.thousands);
    if (s.contiguous && pieces.size() > 1) {
        // One run of placeholders: the whole integer part goes where the run starts.
        for (std::size_t k = 1; k < pieces.size(); ++k) {
            pieces[0] += pieces[k];
            pieces[k].clear();
        }
    }

    std::string out = showSign && value < 0 ? "-" : "";
    std::size_t ip = 0, fp = 0;
    bool afterPoint = false;
    bool integerDone = !s.intPh.empty();
    for (const auto& t : s.tokens) {
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
                out += FormatGeneral(std::fabs(value) * std::pow(100.0, s.percents) /
                                     std::pow(1000.0, s.scaling));
                break;
            default:
                break;
        }
    }
    return out;
}

// ---- East Asian numerals ----------------------------------------------------------

// The numerals of [DBNum1] (lower case), [DBNum2] (the financial upper case) and
// [DBNum3] (full-width digits): digits 0 to 9, then the units ten, hundred and thousand,
// then the units of each group of four digits (10^4, 10^8, 10^12, 10^16).
struct Numerals {
    const char* digits[10];
    const char* units[3];
    const char* groups[4];
};
constexpr Numerals kLower = {{"〇", "一", "二", "三", "四", "五", "六", "七", "八", "九"},
                             {"十", "百", "千"},
                             {"万", "亿", "兆", "京"}};
constexpr Numerals kUpper = {{"零", "壹", "贰", "叁", "肆", "伍", "陆", "柒", "捌", "玖"},
                             {"拾", "佰", "仟"},
                             {"万", "亿", "兆", "京"}};
constexpr Numerals kLowerTraditional = {
    {"〇", "一", "二", "三", "四", "五", "六", "七", "八", "九"},
    {"十", "百", "千"},
    {"萬", "億", "兆", "京"}};
constexpr Numerals kUpperTraditional = {
    {"零", "壹", "貳", "參", "肆", "伍", "陸", "柒", "捌", "玖"},
    {"拾", "佰", "仟"},
    {"萬", "億", "兆", "京"}};
constexpr const char* kFullWidth[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};

// A whole number read out with units: 12323 is 一万二千三百二十三, 1023 一千〇二十三
// (a run of zeros inside the number is one zero numeral), 10 一十.
std::string WithUnits(std::string_view digits, const Numerals& n) {
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    std::string out;
    if (digits.size() > 20) {
        for (char c : digits) out += n.digits[c - '0'];
        return out;
    }
    bool zeros = false, groupShown = false;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        const std::size_t place = digits.size() - 1 - k;
        const int digit = digits[k] - '0';
        if (digit == 0) {
            zeros = !out.empty();
        } else {
            if (zeros) out += n.digits[0];
            zeros = false;
            out += n.digits[digit];
            if (place % 4 != 0) out += n.units[place % 4 - 1];
            groupShown = true;
        }
        if (place % 4 == 0 && place > 0) {
            if (groupShown) out += n.groups[place / 4 - 1];
            groupShown = false;
        }
    }
    return out.empty() ? n.digits[0] : out;
}

// A number's text with its digits as the section's numerals: the integer digits with
// units (without the thousands separators), the digits after the point one by one.
std::string NativeNumerals(const std::string& text, const Section& s) {
    const Numerals& n = s.nativeDigits == 2 ? (s.traditional ? kUpperTraditional : kUpper)
                                            : (s.traditional ? kLowerTraditional : kLower);
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (!isDigit(text[i])) {
            out += text[i++];
            continue;
        }
        const bool afterPoint = i > 0 && text[i - 1] == '.';
        std::string digits;
        while (i < text.size() &&
               (isDigit(text[i]) ||
                (text[i] == ',' && !afterPoint && i + 1 < text.size() && isDigit(text[i + 1])))) {
            if (text[i] != ',') digits += text[i];
            ++i;
        }
        if (s.nativeDigits == 3) {
            for (char c : digits) out += kFullWidth[c - '0'];
        } else if (afterPoint) {
            for (char c : digits) out += n.digits[c - '0'];
        } else {
            out += WithUnits(digits, n);
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
    if (serial < 0 || serial >= 2958466 || !std::isfinite(serial)) return kNotShown;
    // Whole units of the shown precision (seconds, or tenths to thousandths of them),
    // rounded on the serial as the spreadsheet keeps it.
    long long unit = 1;
    for (int k = 0; k < subDigits; ++k) unit *= 10;
    const long long ticks = RoundedTimes(ToDecimal(serial), 86400 * unit);
    const long long day = ticks / (86400 * unit);
    const long long wholeSeconds = ticks / unit % 86400;
    const long long hour = wholeSeconds / 3600, minute = wholeSeconds / 60 % 60,
                    second = wholeSeconds % 60;
    const long long subTicks = ticks % unit;

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
            out += std::to_string(ticks / unit / 3600);
        } else if (c == "[m]") {
            out += std::to_string(ticks / unit / 60);
        } else if (c == "[s]") {
            out += std::to_string(ticks / unit);
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

std::string FormatWithSection(double value, const Section& s, bool showSign, bool date1904,
                              int width) {
    if (s.isDate) {
        if (value < 0) return kNotShown;
        return FormatDate(value, s, date1904);
    }
    for (std::size_t k = 0; k < s.tokens.size(); ++k) {
        const Tok kind = s.tokens[k].kind;
        if (kind != Tok::Exponent && kind != Tok::Slash) continue;
        const std::string out =
            kind == Tok::Exponent ? FormatScientific(value, s, k) : FormatFraction(value, s);
        return showSign || out.empty() || out[0] != '-' ? out : out.substr(1);
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
        return FormatGeneral(showSign ? value : std::fabs(value), width);
    return FormatDecimal(value, s, showSign);
}

}  // namespace

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

namespace {
// A number cell's text with General `width` characters wide.
std::string NumberText(const WorkbookModel& book, const Cell& cell, int width) {
    if (book.Format(cell.style).numberFormat == 0 &&
        book.numberFormats.find(0) == book.numberFormats.end())
        return FormatGeneral(cell.number, width);
    return FormatNumber(cell.number, FormatCodeView(book, cell.style), book.date1904, width);
}
}  // namespace

std::string FormatCodeOf(const WorkbookModel& book, std::uint32_t style) {
    return std::string(FormatCodeView(book, style));
}

std::string FormatNumber(double value, std::string_view code, bool date1904, int width) {
    if (code.empty() || IsGeneral(code) || !std::isfinite(value))
        return FormatGeneral(value, width);
    const auto& sections = ParsedFormat(code);
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
            return kNotShown;  // no section takes the value: Excel shows it as not fitting
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
    if (s.nativeDigits == 0 || s.isDate)
        return FormatWithSection(value, s, showSign, date1904, width);
    // Numerals read out in full: a whole number of up to 15 digits shows all its digits
    // where General would switch to the exponent form.
    const bool lone = s.tokens.size() == 1 && s.tokens[0].kind == Tok::General;
    const double shown = showSign ? value : std::fabs(value);
    if (lone && shown == std::floor(shown) && std::fabs(shown) < 1e15)
        return NativeNumerals(FixedText(shown, 0), s);
    return NativeNumerals(FormatWithSection(value, s, showSign, date1904, width), s);
}

std::string FormatText(const std::string& text, std::string_view code) {
    if (code.empty() || IsGeneral(code)) return text;
    const auto& sections = ParsedFormat(code);
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
            return NumberText(book, cell, kGeneralWidth);
    }
    return {};
}

std::string DisplayText(const WorkbookModel& book, const SheetModel& sheet, Long row, Long column,
                        const Cell& cell) {
    if (cell.type != CellType::Number || book.Format(cell.style).shrinkToFit)
        return DisplayText(book, cell);
    const Area* merged = sheet.FindMerge(row, column);
    const double characters = merged
                                  ? ColumnSpanCharacters(book, sheet, merged->left, merged->right)
                                  : ColumnWidthCharacters(book, sheet, column);
    // A hidden column shows nothing; its text is the whole text.
    if (characters <= 0) return DisplayText(book, cell);
    const int width = std::max(1, static_cast<int>(std::floor(characters)));
    std::string text = NumberText(book, cell, width);
    if (text == kNotShown || static_cast<int>(CharCount(text)) > width)
        text.assign(static_cast<std::size_t>(width), '#');
    return text;
}

}  // namespace tbln::workbook
