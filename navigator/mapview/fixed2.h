// A number in the fixed format "#######0.00" together with the value that
// text reads back as. The photograph choice sorts by such formatted columns;
// this produces the same text as FormatFixed(value, 2) without going through
// its decimal string work for ordinary values, so a choice over thousands of
// photographs stays well under a millisecond.
#pragma once

#include <string>

namespace tessaro::mapview {

// Sets `text` to FormatFixed(value, 2) and returns NumericValue(text); for a
// value that is not finite the text is FormatFixed's and the result is the
// value itself (infinity) or +infinity for NaN, so that sorting never meets
// a NaN key.
double RoundFixed2(double value, std::string& text);

}  // namespace tessaro::mapview
