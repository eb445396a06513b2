// The recogniser's unit glyph file KUnit.csv.
#include "builder/recogniser.h"
#include "fuzz_support.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::WriteScratchFile("prog/data1/KUnit.csv", fuzz::AsText(data, size));
    const builder::UnitGlyphs units = builder::LoadUnitGlyphs(path);
    // The glyphs then take part in reading a status line.
    builder::GreyPicture picture;
    picture.width = 400;
    picture.height = 16;
    picture.grey.assign(400 * 16, 40);
    for (int x = 300; x < 400; x += 3)
        for (int y = 3; y < 12; ++y) picture.grey[static_cast<std::size_t>(y * 400 + x)] = 250;
    builder::WorkTables tables;
    builder::ReadStatusLine(picture, 180, units, tables);
    return 0;
}
