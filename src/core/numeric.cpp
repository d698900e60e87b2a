#include "core/numeric.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "core/error.hpp"

namespace tbln {

namespace {

template <class T>
T Checked(long long value) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
        Raise(err::kOverflow);
    }
    return static_cast<T>(value);
}

template <class T>
T CheckedFromDouble(double value) {
    if (std::isnan(value)) Raise(err::kOverflow);
    const double r = RoundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        Raise(err::kOverflow);
    }
    return static_cast<T>(r);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

Integer CheckedInteger(long long value) {
    return Checked<Integer>(value);
}
Long CheckedLong(long long value) {
    return Checked<Long>(value);
}

Integer AddInteger(Integer a, Integer b) {
    return Checked<Integer>(static_cast<long long>(a) + b);
}
Integer SubInteger(Integer a, Integer b) {
    return Checked<Integer>(static_cast<long long>(a) - b);
}
Integer MulInteger(Integer a, Integer b) {
    return Checked<Integer>(static_cast<long long>(a) * b);
}
Long AddLong(Long a, Long b) {
    return Checked<Long>(static_cast<long long>(a) + b);
}
Long SubLong(Long a, Long b) {
    return Checked<Long>(static_cast<long long>(a) - b);
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    return std::nearbyint(value);  // the default rounding mode is to nearest, ties to even
}

Integer ToInteger(double value) {
    return CheckedFromDouble<Integer>(value);
}
Long ToLong(double value) {
    return CheckedFromDouble<Long>(value);
}

namespace {

// Reads a decimal number (see ParseDecimal); the error says whether the text is no
// number or one beyond a Double's range.
std::errc ReadDecimal(std::string_view text, double& out) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    std::string_view body = text.substr(begin, end - begin);
    bool negative = false;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    // A sign must be followed by a digit or a decimal point; from_chars would also
    // take "inf", "nan" and hexadecimal forms, which are not numbers here.
    if (body.empty() ||
        !(std::isdigit(static_cast<unsigned char>(body.front())) || body.front() == '.')) {
        return std::errc::invalid_argument;
    }
    double value = 0;
    const auto [ptr, ec] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (ec != std::errc()) return ec;
    if (ptr != body.data() + body.size()) return std::errc::invalid_argument;
    out = negative ? -value : value;
    return std::errc();
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view text) {
    double value = 0;
    if (ReadDecimal(text, value) != std::errc()) return std::nullopt;
    return value;
}

double NumericValue(std::string_view text) {
    double value = 0;
    const std::errc ec = ReadDecimal(text, value);
    if (ec == std::errc::result_out_of_range) Raise(err::kOverflow);
    if (ec != std::errc()) Raise(err::kTypeMismatch);
    return value;
}

Integer ToInteger(std::string_view text) {
    return ToInteger(NumericValue(text));
}
Long ToLong(std::string_view text) {
    return ToLong(NumericValue(text));
}

}  // namespace tbln
