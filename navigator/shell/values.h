// Shared helpers of the navigator: the three text splitters and their field
// arrays, the numeric value of a text, the fixed number formats of the data
// files, and the table of map scale levels.
//
// All of it is plain computation on UTF-8 text; nothing here touches a window
// or a file.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tessaro {

// A splitter met more fields than its array holds. The fields stored before
// the failing one stay in the array; the caller skips the step it was doing.
class SplitOverflow : public std::out_of_range {
public:
    SplitOverflow(std::size_t slot, std::size_t capacity);
    std::size_t slot() const { return slot_; }

private:
    std::size_t slot_;
};

// A fixed array of texts filled by the splitters.
template <std::size_t N>
class FieldArray {
public:
    static constexpr std::size_t kCapacity = N;

    const std::string& operator[](std::size_t i) const { return slots_.at(i); }
    // Stores a field; throws SplitOverflow past the last slot.
    void store(std::size_t i, std::string text)
    {
        if (i >= N) throw SplitOverflow(i, N);
        slots_[i] = std::move(text);
    }
    void clear(std::size_t first, std::size_t last)
    {
        for (std::size_t i = first; i <= last && i < N; ++i) slots_[i].clear();
    }

private:
    std::array<std::string, N> slots_{};
};

using FieldDataArray = FieldArray<31>;  // result of SplitFields and SplitWords
using ItemDataArray = FieldArray<51>;   // result of SplitItems

// Splits at every delimiter (a single space: at every run of spaces, leading
// spaces skipped). Slots 0..20 are emptied first; every field is stored trimmed
// of spaces, the last one even when empty. Returns the index of the last field
// stored, or -1 for an empty delimiter. Throws SplitOverflow on a 32nd field.
int SplitFields(std::string_view text, std::string_view delimiter, FieldDataArray& out);

// Split at delimiters, a run of delimiters counting once: a second delimiter in
// a row becomes the first character of the next field ("a,,b" gives "a" and
// ",b"), a trailing delimiter adds no field. Slots 0..10 are emptied first.
// SplitWords keeps leading delimiters in its first field; SplitItems turns a
// leading delimiter into an empty first field. Both return the index of the
// last field stored, or -1 for an empty delimiter, and throw SplitOverflow when
// a field lands beyond the array.
int SplitWords(std::string_view text, std::string_view delimiter, FieldDataArray& out);
int SplitItems(std::string_view text, std::string_view delimiter, ItemDataArray& out);

// Trims spaces (only U+0020) at both ends.
std::string_view TrimSpaces(std::string_view text);

// The numeric value of a text: its leading number (spaces skipped, optional
// sign, ASCII digits with an optional decimal point), stopping at the first
// other character. An empty or non-numeric text is 0.
double NumericValue(std::string_view text);

// Rounds to the nearest integer, halves to the even integer.
double RoundHalfEven(double value);
// The same, clamped to the range of a 16-bit integer (values the data files
// hold in 16-bit variables).
std::int16_t RoundToInt16(double value);

// Fixed formats "#######0.0" (decimals 1), "#######0.00" (2), "######0" (0)
// and "###0.000" (3): at least one integer digit, exactly `decimals`
// decimals, no grouping, "-" when the value is negative. The value is rounded
// the way the formats of the data files round: to 15 significant digits first,
// then halves away from zero.
std::string FormatFixed(double value, int decimals);
// Appends FormatFixed(value, decimals) to out without temporary strings (the
// decoder's hot path).
void AppendFixed(std::string& out, double value, int decimals);

namespace detail {
// The plain decimal-string implementation of the fixed formats; the fast path
// above must agree with it (tested).
std::string FormatFixedReference(double value, int decimals);
}  // namespace detail

// The print form of an integer: a blank in the sign position of a value that
// is not negative and one trailing blank (" 16 ", "-3 ").
std::string PrintInteger(long long value);

// One level of the scale table.
struct ScaleLevelEntry {
    float unitsPerMetre = 0.0f;  // picture units per metre
    float barMetres = 0.0f;      // scale-bar length [m]
    std::string label;           // scale-bar label
};

// Levels 0..44 are in use; the table has room for 0..50, the extra levels
// keep zero values.
constexpr int kScaleLevelCount = 45;
constexpr int kScaleTableSize = 51;
using ScaleTable = std::array<ScaleLevelEntry, kScaleTableSize>;

// Builds the table of the 45 scale levels.
ScaleTable BuildScaleTable();

}  // namespace tessaro
