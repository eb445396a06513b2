// The status-line recogniser on a decoded picture: two bytes of width (little
// endian, 1..4096; others are folded into that range), one byte of threshold, then the brightness of the bottom
// rows, row by row (the last row may be short; it is filled with the bar's
// grey).
#include <algorithm>

#include "builder/recogniser.h"
#include "fuzz_support.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const builder::UnitGlyphs units = [] {
        // The shipped glyphs' shape: a few rows of each of the three signs.
        return builder::ParseUnitGlyphs({"フ", "1,1,1,1,1,1,1,0,0,0", "0,0,0,0,0,0,1,0,0,0", "メ", "0,0,0,0,0,0,1,0,0,0",
                                         "0,1,1,0,0,1,0,0,0,0", "キ", "0,0,1,0,0,0,0,0,0,0", "1,1,1,1,1,1,1,0,0,0"});
    }();
    fuzz::InputReader in(data, size);
    const int low = in.Byte(), high = in.Byte();
    int width = low | (high << 8);
    if (width < 1 || width > 4096) width = 1 + width % 4096;
    const int threshold = in.Byte();
    const std::string_view grey = in.Rest();
    const int rows = std::max<int>(1, static_cast<int>((grey.size() + static_cast<std::size_t>(width) - 1) / static_cast<std::size_t>(width)));
    builder::GreyPicture picture;
    picture.width = width;
    picture.height = 600;
    picture.firstRow = 600 - std::min(rows, 600);
    picture.grey.assign(static_cast<std::size_t>(picture.storedRows()) * static_cast<std::size_t>(width), 40);
    std::copy_n(grey.begin(), std::min(grey.size(), picture.grey.size()), picture.grey.begin());
    builder::WorkTables tables;
    const builder::Reading r = builder::ReadStatusLine(picture, threshold, units, tables);
    if (r.latitude.size() > 11 || r.longitude.size() > 12) fuzz::Broken("a position text longer than its digits");
    return 0;
}
