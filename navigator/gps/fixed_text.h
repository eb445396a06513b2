// The fixed number format of the data files ("#######0.0" and friends) for
// the decoder's hot path: the same text as tessaro::FormatFixed, appended to
// a string without temporary allocations.
#pragma once

#include <string>

namespace tessaro::gps {

// Appends FormatFixed(value, decimals) to out.
void AppendFixed(std::string& out, double value, int decimals);

}  // namespace tessaro::gps
