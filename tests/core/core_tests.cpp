#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/array.hpp"
#include "core/collection.hpp"
#include "core/error.hpp"
#include "core/numeric.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln {
namespace {

template <class F>
std::int32_t ErrorOf(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

TEST(Integer16, ArithmeticOverflowRaisesErrorSix) {
    struct Case {
        Integer a, b;
        char op;
        std::int32_t error;
        Integer result;
    } cases[] = {
        {32766, 1, '+', 0, 32767},   {32767, 1, '+', 6, 0},   {-32768, 1, '-', 6, 0},
        {-32767, 1, '-', 0, -32768}, {200, 200, '*', 6, 0},   {181, 181, '*', 0, 32761},
        {-1, 32767, '*', 0, -32767}, {-32768, -1, '*', 6, 0},
    };
    for (const auto& c : cases) {
        Integer r = 0;
        const auto e = ErrorOf([&] {
            r = c.op == '+'   ? AddInteger(c.a, c.b)
                : c.op == '-' ? SubInteger(c.a, c.b)
                              : MulInteger(c.a, c.b);
        });
        EXPECT_EQ(e, c.error) << c.a << c.op << c.b;
        if (c.error == 0) {
            EXPECT_EQ(r, c.result) << c.a << c.op << c.b;
        }
    }
    EXPECT_EQ(ErrorOf([] { AddLong(std::numeric_limits<Long>::max(), 1); }), err::kOverflow);
    EXPECT_EQ(AddLong(32767, 1), 32768);
}

TEST(Integer16, ConversionsRoundHalfToEven) {
    struct Case {
        double in;
        Integer out;
    } cases[] = {{0.5, 0},    {1.5, 2},         {2.5, 2},          {3.5, 4},
                 {-0.5, 0},   {-1.5, -2},       {-2.5, -2},        {2.4999, 2},
                 {2.5001, 3}, {32767.4, 32767}, {-32768.5, -32768}};
    for (const auto& c : cases) EXPECT_EQ(ToInteger(c.in), c.out) << c.in;
    for (double bad : {32767.5, -32768.6, 1e10, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(ErrorOf([&] { ToInteger(bad); }), err::kOverflow) << bad;
    }
}

TEST(NumericValue, AcceptsNumbersAndRejectsTextWithTypeMismatch) {
    struct Case {
        const char* text;
        double value;
    } good[] = {{"12", 12},  {"  12 ", 12}, {"-3.25", -3.25}, {"+7", 7},
                {".5", 0.5}, {"1e3", 1000}, {"1.", 1}};
    for (const auto& c : good) EXPECT_DOUBLE_EQ(NumericValue(c.text), c.value) << c.text;
    for (const char* bad :
         {"", " ", "abc", "12abc", "1,5", "inf", "nan", "0x10", "-", "+.", "1 2"}) {
        EXPECT_EQ(ErrorOf([&] { NumericValue(bad); }), err::kTypeMismatch) << "'" << bad << "'";
    }
    EXPECT_EQ(ToInteger(std::string_view("2.5")), 2);
    EXPECT_EQ(ErrorOf([] { ToInteger(std::string_view("40000")); }), err::kOverflow);
}

TEST(NumberToText, DoubleKeepsFifteenDigitsAndSingleSeven) {
    struct Case {
        double in;
        const char* out;
    } doubles[] = {{7.0 / 6.0, "1.16666666666667"},
                   {0, "0"},
                   {100, "100"},
                   {-2.5, "-2.5"},
                   {0.1, "0.1"},
                   {123456789012345.0, "123456789012345"},
                   {1e15, "1E+15"},
                   {1.5e-7, "1.5E-07"},
                   {0.000001, "0.000001"},
                   {0.1 + 0.2, "0.3"},
                   {-1234.5678, "-1234.5678"}};
    for (const auto& c : doubles) EXPECT_EQ(NumberToText(c.in), c.out) << c.in;
    EXPECT_EQ(NumberToText(1.1f), "1.1");
    EXPECT_EQ(NumberToText(12.75f), "12.75");
    EXPECT_EQ(NumberToText(1e7f), "1E+07");
    EXPECT_EQ(NumberToText(1.0f / 3.0f), "0.3333333");
    struct SingleCase {
        float in;
        const char* out;
    } singles[] = {{9999999.0f, "9999999"}, {-42.0f, "-42"},       {21.75f, "21.75"},
                   {-0.25f, "-0.25"},       {99999.5f, "99999.5"}, {123456.75f, "123456.8"},
                   {0.125f, "0.125"},       {1e-7f, "1E-07"}};
    for (const auto& c : singles) EXPECT_EQ(NumberToText(c.in), c.out) << c.in;
    EXPECT_EQ(NumberToText(-1234.75), "-1234.75");
    EXPECT_EQ(NumberToText(1e13 - 0.25), "9999999999999.75");
}

TEST(SharedText, EqualTextsAreOneCopyAndCompareWithAnyString) {
    const SharedText thin("thin"), again(std::string("th") + "in"), none;
    EXPECT_EQ(&thin.str(), &again.str()) << "one copy for equal texts";
    EXPECT_EQ(thin, again);
    EXPECT_EQ(thin, "thin");
    EXPECT_EQ(thin, std::string("thin"));
    EXPECT_EQ(thin, std::string_view("thin"));
    EXPECT_FALSE(thin == "thick");
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none, SharedText(""));
    EXPECT_EQ(SharedText(std::string_view("a\0b", 3)).size(), 3u) << "any bytes, not C strings";
}

TEST(FormatPercent, WholePercentHalfAwayFromZero) {
    struct Case {
        double in;
        const char* out;
    } cases[] = {{0, "0%"},      {1, "100%"},     {0.5, "50%"}, {0.125, "13%"},
                 {0.994, "99%"}, {0.995, "100%"}, {2, "200%"}};
    for (const auto& c : cases) EXPECT_EQ(FormatPercent(c.in), c.out) << c.in;
}

TEST(Arrays, BoundsAreExplicitAndCheckedAndRecordsAreShared) {
    Array<std::shared_ptr<int>> a(0, 2);
    EXPECT_EQ(a.Lower(), 0);
    EXPECT_EQ(a.Upper(), 2);
    EXPECT_EQ(a(1), nullptr);
    a(1) = std::make_shared<int>(5);
    auto copy = a;
    *copy(1) = 6;
    EXPECT_EQ(*a(1), 6) << "a copied array refers to the same records";
    EXPECT_EQ(ErrorOf([&] { a(3); }), err::kSubscript);
    EXPECT_EQ(ErrorOf([&] { a(-1); }), err::kSubscript);
    Array<int> never;
    EXPECT_EQ(ErrorOf([&] { never.Lower(); }), err::kSubscript);

    Array2D<std::shared_ptr<int>> grid(1, 2, 3, 5);
    EXPECT_EQ(grid(2, 5), nullptr);
    grid(2, 5) = std::make_shared<int>(1);
    EXPECT_EQ(ErrorOf([&] { grid(2, 2); }), err::kSubscript);
    EXPECT_EQ(ErrorOf([&] { grid(3, 3); }), err::kSubscript);

    // Bounds whose element count is beyond a Long overflow; the array keeps its bounds.
    constexpr Long kMin = std::numeric_limits<Long>::min(), kMax = std::numeric_limits<Long>::max();
    EXPECT_EQ(ErrorOf([&] { a.ReDim(kMin, kMax); }), err::kOverflow);
    EXPECT_EQ(ErrorOf([&] { a.ReDim(-1, kMax); }), err::kOverflow);
    EXPECT_EQ(ErrorOf([&] { a.ReDimPreserve(kMax); }), err::kOverflow);
    EXPECT_EQ(ErrorOf([&] { grid.ReDim(1, 1, kMin, 0); }), err::kOverflow);
    EXPECT_EQ(a.Upper(), 2);
    EXPECT_EQ(grid.ColUpper(), 5);
    a.ReDim(kMax, kMax);
    EXPECT_EQ(a.size(), 1u);
}

TEST(CollectionOfStrings, KeysIgnoreCaseAndDuplicatesRaise457) {
    Collection c;
    c.Add("XLS  Arial", std::string("Arial"));
    c.Add("XLS  Tahoma", std::string("Tahoma"));
    c.Add("no key");
    EXPECT_EQ(ErrorOf([&] { c.Add("XLS  ARIAL", std::string("ARIAL")); }), err::kDuplicateKey);
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Item(1), "XLS  Arial");
    EXPECT_EQ(c.Item("tahoma"), "XLS  Tahoma");
    // Every letter folds, not only A to Z: "Übersicht" and "üBERSICHT" are one key.
    const std::string upper =
        "\xC3\x9C"
        "bersicht";
    const std::string lower =
        "\xC3\xBC"
        "BERSICHT";
    c.Add("XLS  " + upper, upper);
    EXPECT_EQ(ErrorOf([&] { c.Add("again", lower); }), err::kDuplicateKey);
    EXPECT_EQ(c.Item(lower), "XLS  " + upper);
    c.Remove(4);
    EXPECT_EQ(ErrorOf([&] { c.Item(4); }), err::kSubscript);
    EXPECT_EQ(ErrorOf([&] { c.Item("Courier"); }), err::kInvalidCall);
    std::string all;
    for (const auto& s : c) all += s + ";";
    EXPECT_EQ(all, "XLS  Arial;XLS  Tahoma;no key;");
}

TEST(ErrorTrap, KeepsTheLastErrorAndLetsOtherExceptionsThrough) {
    ErrorTrap trap;
    int steps = 0;
    trap.Run([&] { ++steps; });
    EXPECT_EQ(trap.Number(), 0);
    trap.Run([&] { Raise(err::kTypeMismatch); });
    trap.Run([&] { ++steps; });
    EXPECT_EQ(trap.Number(), err::kTypeMismatch) << "a later good step does not clear the error";
    trap.Run([&] { Raise(err::kOverflow, "custom"); });
    EXPECT_EQ(trap.Number(), err::kOverflow);
    EXPECT_EQ(trap.Description(), "custom");
    EXPECT_EQ(steps, 2);
    EXPECT_THROW(trap.Run([] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_THROW(trap.Run([] { throw std::logic_error("bug"); }), std::logic_error);
    EXPECT_EQ(RuntimeError(err::kOverflow).Description(), "Overflow");
}

TEST(Unicode, InvalidBytesReadAsOneReplacementEachAndNothingAfterIsLost) {
    struct Case {
        std::string in;
        std::u32string decoded;
        bool valid;
    } cases[] = {
        {"abc", U"abc", true},
        {"\xC3\x9C"
         "ber",
         U"\u00DCber", true},
        {"\xF0\x9F\x93\x90x", U"\U0001F4D0x", true},
        {"a\xFF\xFE"
         "b",
         U"a\uFFFD\uFFFDb", false},  // bytes that never start a character
        {"a\x80"
         "b",
         U"a\uFFFDb", false},                    // a stray continuation byte
        {"a\xE2\x82", U"a\uFFFD\uFFFD", false},  // cut at the end
        {"\xE2\x82"
         "A",
         U"\uFFFD\uFFFDA", false},                                 // cut before a plain letter
        {"\xC0\xAF", U"\uFFFD\uFFFD", false},                      // overlong "/"
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD", false},            // a surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // past U+10FFFF
        {std::string("a\0b", 3), std::u32string(U"a\0b", 3), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeUtf8(c.in), c.decoded) << c.in;
        EXPECT_EQ(IsValidUtf8(c.in), c.valid) << c.in;
        const std::string fixed = ValidUtf8(c.in);
        EXPECT_TRUE(IsValidUtf8(fixed)) << c.in;
        EXPECT_EQ(DecodeUtf8(fixed), c.decoded) << c.in;
        EXPECT_EQ(CharCount(c.in), c.decoded.size()) << c.in;
    }
}

TEST(Unicode, CountsCutsAndFoldsByCharacter) {
    EXPECT_EQ(CharCount("/d/\xC3\x9C"
                        "berplan.dgn"),
              15u);
    EXPECT_EQ(Utf16Length("a\xF0\x9F\x93\x90"
                          "b"),
              4u);
    EXPECT_EQ(Utf16Length("\xC3\x9C"), 1u);
    EXPECT_EQ(CharLeft("\xC3\x9C"
                       "ber",
                       1),
              "\xC3\x9C");
    EXPECT_EQ(CharLeft("\xC3\x9C"
                       "ber",
                       0),
              "");
    EXPECT_EQ(CharLeft("ab", 5), "ab");
    EXPECT_EQ(CharLeft("a\xF0\x9F\x93\x90"
                       "b",
                       2),
              "a\xF0\x9F\x93\x90");
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"\xC3\x9C"
         "berplan.dgn",
         "\xC3\xBC"
         "BERPLAN.DGN",
         true},
        {"\xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD", "\xD0\xBF\xD0\x9B\xD0\x90\xD0\x9D", true},  // Cyrillic
        {"\xCE\xA3\xCE\xA7\xCE\x95\xCE\x94\xCE\x99\xCE\x9F",
         "\xCF\x83\xCF\x87\xCE\xB5\xCE\xB4\xCE\xB9\xCE\xBF", true},
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "\xC5\x82\xC3\x93"
         "D\xC5\xB9",
         true},  // Polish
        {"abc", "abcd", false},
        {"a", "\xC3\xA0", false},
        {"\xC3\x97", "\xC3\xB7", false},  // multiplication and division signs are no letter pair
    };
    for (const auto& c : cases)
        EXPECT_EQ(EqualIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(FoldCase("Stra\xC3\x9F"
                       "E \xC3\x84"),
              "stra\xC3\x9F"
              "e \xC3\xA4");
}

}  // namespace
}  // namespace tbln
