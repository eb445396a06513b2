#include "shell/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tessaro {
namespace {

struct SplitCase {
    const char* name;
    int (*split)(std::string_view, std::string_view, std::vector<std::string>&);
    std::string text;
    std::string delimiter;
    int result;
    std::vector<std::string> fields;
};

template <std::size_t N, typename F>
int Collect(F f, std::string_view text, std::string_view delim, std::vector<std::string>& out)
{
    FieldArray<N> arr;
    const int n = f(text, delim, arr);
    out.clear();
    for (int i = 0; i <= n; ++i) out.push_back(arr[static_cast<std::size_t>(i)]);
    return n;
}

int Fields(std::string_view t, std::string_view d, std::vector<std::string>& o)
{
    return Collect<31>(SplitFields, t, d, o);
}
int Words(std::string_view t, std::string_view d, std::vector<std::string>& o)
{
    return Collect<31>(SplitWords, t, d, o);
}
int Items(std::string_view t, std::string_view d, std::vector<std::string>& o)
{
    return Collect<51>(SplitItems, t, d, o);
}

TEST(Splitters, TableOfCases)
{
    const std::vector<SplitCase> cases = {
        {"fields gga", Fields, "$GPGGA,1,2,,4,5,6,7,8,9,10,11,12,13,14", ",", 14,
         {"$GPGGA", "1", "2", "", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14"}},
        {"fields space runs", Fields, "  a  b ", " ", 2, {"a", "b", ""}},
        {"fields trims", Fields, " a , b ,", ",", 2, {"a", "b", ""}},
        {"fields empty text", Fields, "", ",", 0, {""}},
        {"items dms", Items, "35-42-07.40", "-", 2, {"35", "42", "07.40"}},
        {"items leading delimiter", Items, "-5-10", "-", 2, {"", "5", "10"}},
        {"items double delimiter", Items, "a,,b", ",", 1, {"a", ",b"}},
        {"items trailing delimiter", Items, "a,", ",", 0, {"a"}},
        {"words path", Words, "C:\\map\\photo.jpg", "\\", 2, {"C:", "map", "photo.jpg"}},
        {"words dot", Words, "photo.jpg", ".", 1, {"photo", "jpg"}},
        {"words double delimiter", Words, "a,,b", ",", 1, {"a", ",b"}},
        {"words trailing delimiter", Words, "a,", ",", 0, {"a"}},
        {"words leading delimiter kept", Words, ",a,b", ",", 1, {",a", "b"}},
        {"words spaces", Words, "  one   two  ", " ", 1, {"one", "two"}},
        {"words empty", Words, "", ",", -1, {}},
        {"items multibyte", Items, "東京,大阪", ",", 1, {"東京", "大阪"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> fields;
        EXPECT_EQ(c.split(c.text, c.delimiter, fields), c.result) << c.name;
        EXPECT_EQ(fields, c.fields) << c.name;
    }
}

TEST(Splitters, EmptyDelimiterEmptiesOnlyTheirSlots)
{
    FieldDataArray f;
    // Fill all 31 slots.
    std::string many;
    for (int i = 0; i < 31; ++i) many += (i ? "," : "") + std::to_string(i);
    ASSERT_EQ(SplitFields(many, ",", f), 30);
    EXPECT_EQ(SplitFields("x", "", f), -1);
    EXPECT_EQ(f[20], "");
    EXPECT_EQ(f[21], "21");  // slots 21..30 keep what they held
    ASSERT_EQ(SplitFields(many, ",", f), 30);
    EXPECT_EQ(SplitWords("x", "", f), -1);
    EXPECT_EQ(f[10], "");
    EXPECT_EQ(f[11], "11");
    ItemDataArray items;
    EXPECT_EQ(SplitItems("x", "", items), -1);
}

TEST(Splitters, OverflowNeverWritesBeyondTheArrayAndKeepsStoredFields)
{
    FieldDataArray f;
    std::string text(200, ',');  // 201 fields
    try {
        SplitFields(text + "tail", ",", f);
        FAIL() << "expected overflow";
    } catch (const SplitOverflow& e) {
        EXPECT_EQ(e.slot(), 31u);
    }
    // 32 fields: one too many; the first 31 stay.
    std::string t;
    for (int i = 0; i < 32; ++i) t += (i ? "," : "") + std::to_string(i);
    EXPECT_THROW(SplitFields(t, ",", f), SplitOverflow);
    EXPECT_EQ(f[30], "30");
    EXPECT_THROW(SplitWords(t, ",", f), SplitOverflow);

    ItemDataArray items;
    std::string u;
    for (int i = 0; i < 51; ++i) u += (i ? "-" : "") + std::to_string(i);
    EXPECT_EQ(SplitItems(u, "-", items), 50);  // exactly full
    EXPECT_THROW(SplitItems(u + "-51", "-", items), SplitOverflow);
    EXPECT_EQ(items[50], "50");
}

TEST(NumericValue, LeadingNumber)
{
    struct {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},           {"abc", 0},        {" 16 ", 16},       {"-12345.6", -12345.6},
        {"+3", 3},         {"9.6", 9.6},      {"07.40", 7.4},     {"12abc", 12},
        {"1.2.3", 1.2},    {"- 5", -5},       {"1 2", 12},        {".5", 0.5},
        {"-", 0},          {"1e5", 1},        {"--3", 0},         {"３", 0},
        {"0.", 0},         {"36", 36},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(NumericValue(c.text), c.value) << c.text;
    EXPECT_TRUE(std::isfinite(NumericValue(std::string(300, '9'))));
    EXPECT_TRUE(std::isinf(NumericValue("1" + std::string(400, '0'))));
}

TEST(Formats, FixedAndPrint)
{
    struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {-12345.67, 1, "-12345.7"}, {-35000.21, 1, "-35000.2"}, {0.0, 1, "0.0"},
        {0.05, 1, "0.1"},           {0.25, 1, "0.3"},           {-0.25, 1, "-0.3"},
        {2.675, 2, "2.68"},         {1234.5, 0, "1235"},        {0.4999, 0, "0"},
        {99.95, 1, "100.0"},        {7.404, 2, "7.40"},         {1.0005, 3, "1.001"},
        {123456789.0, 2, "123456789.00"}, {1e-20, 2, "0.00"},   {0.009, 2, "0.01"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.decimals), c.text) << c.value;
    EXPECT_EQ(PrintInteger(16), " 16 ");
    EXPECT_EQ(PrintInteger(0), " 0 ");
    EXPECT_EQ(PrintInteger(-3), "-3 ");
}

TEST(Formats, RoundHalfEven)
{
    EXPECT_EQ(RoundHalfEven(9.6), 10);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundToInt16(1e9), 32767);
    EXPECT_EQ(RoundToInt16(-1e9), -32768);
    EXPECT_EQ(RoundToInt16(std::nan("")), -32768);
}

TEST(ScaleTable, LevelsAndFloats)
{
    const ScaleTable t = BuildScaleTable();
    EXPECT_EQ(t[0].unitsPerMetre, 0.01f);
    EXPECT_EQ(t[16].unitsPerMetre, 0.17f);
    EXPECT_EQ(t[16].label, "1Km");
    EXPECT_EQ(t[21].barMetres, 500.0f);
    EXPECT_EQ(t[44].unitsPerMetre, 25.0f);
    EXPECT_EQ(t[44].label, "10m");
    for (int level = 0; level < kScaleLevelCount; ++level) {
        const double bar = t[static_cast<std::size_t>(level)].barMetres *
                           t[static_cast<std::size_t>(level)].unitsPerMetre;
        EXPECT_GE(bar, 99.99) << level;
        EXPECT_LE(bar, 250.01) << level;
    }
    for (int level = kScaleLevelCount; level < kScaleTableSize; ++level)
        EXPECT_EQ(t[static_cast<std::size_t>(level)].unitsPerMetre, 0.0f);
}

}  // namespace
}  // namespace tessaro
