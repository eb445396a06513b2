// The shipped sample library: every screenshot reads back the texts of its
// index line, with the shipped unit glyph file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "builder/jpeg_picture.h"
#include "builder/status_font.h"
#include "shell/textfile.h"
#include "shell/values.h"

namespace tessaro::builder {
namespace {

std::string SourceDir()
{
    const char* d = std::getenv("TESSARO_SOURCE_DIR");
    return d ? d : ".";
}

std::string SampleDir()
{
    const char* d = std::getenv("TESSARO_SAMPLE_DIR");  // a folder to check instead
    return d ? d : SourceDir() + "/data/MapPicSample";
}

TEST(SampleLibraryTest, EveryScreenshotReadsBackItsIndexLine)
{
    const UnitGlyphs units = LoadUnitGlyphs(SourceDir() + "/data/data1/KUnit.csv");
    ASSERT_TRUE(units.loaded);
    const auto lines = ReadTextLines(SampleDir() + "/MapFileData1.dat");
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 12u);
    for (const std::string& line : *lines) {
        FieldDataArray f;
        SplitFields(line, ",", f);
        SCOPED_TRACE(f[1]);
        WorkTables tables;
        float aspect = 0;
        const Reading r = ReadImageFile(SampleDir() + "/" + f[1], 180, units, tables, &aspect);
        EXPECT_EQ(r.latitude, f[2]);
        EXPECT_EQ(r.longitude, f[3]);
        EXPECT_EQ(r.altitude, f[4]);
        EXPECT_FLOAT_EQ(aspect, 0.75f);
    }
}

}  // namespace
}  // namespace tessaro::builder

namespace tessaro::builder {
namespace {

// Files that are not what they claim: no crash, no reading outside the
// picture, short or empty texts.
TEST(HostileFileTest, BadFilesGiveEmptyOrShortTexts)
{
    const UnitGlyphs units = LoadUnitGlyphs(SourceDir() + "/data/data1/KUnit.csv");
    const auto sample = ReadTextLines(SampleDir() + "/MapFileData1.dat");  // keeps the sample folder in use
    ASSERT_TRUE(sample);
    std::ifstream in(SampleDir() + "/Sample01.jpg", std::ios::binary);
    const std::vector<std::uint8_t> jpeg((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(jpeg.size(), 1000u);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool decodes;
    };
    RgbPicture wide;
    wide.width = 8192;
    wide.height = 64;
    wide.rgb.assign(8192u * 64u * 3u, 200);
    RgbPicture tiny;
    tiny.width = tiny.height = 1;
    tiny.rgb = {255, 255, 255};
    const Case cases[] = {
        {"zero bytes", {}, false},
        {"png named .jpg", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}, false},
        {"only the start marker", {0xFF, 0xD8, 0xFF}, false},
        {"truncated", std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 3)), true},
        {"header only", std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 700), true},
        {"8192 x 64 bright", EncodeJpeg(wide, 80), true},
        {"1 x 1", EncodeJpeg(tiny, 80), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int rows : {0, kStatusRows}) {
            const auto picture = DecodeJpegGrey(c.bytes, rows);
            EXPECT_EQ(picture.has_value(), c.decodes);
            if (!picture) continue;
            WorkTables tables;
            const Reading r = ReadStatusLine(*picture, 180, units, tables);
            EXPECT_LE(r.latitude.size(), 11u);
            EXPECT_LE(r.longitude.size(), 12u);
        }
    }
}

// Screenshots as other tools save them: 4:2:0, progressive, a width
// of 2560 pixels. With only the bottom rows decoded the texts are the same as
// from the whole picture.
TEST(ScreenshotFileTest, EncodingsReadTheSame)
{
    const UnitGlyphs units = ParseUnitGlyphs(UnitGlyphFileLines());
    for (int width : {800, 2560}) {
        const int height = 240;
        const StatusLine line = StatusLineFor("35-42-19.45", "139-45-00.18", 1740);
        GreyPicture grey = MakeStatusPicture(width, height, line);
        RgbPicture rgb;
        rgb.width = width;
        rgb.height = height;
        rgb.rgb.resize(grey.grey.size() * 3);
        for (std::size_t i = 0; i < grey.grey.size(); ++i)
            rgb.rgb[3 * i] = rgb.rgb[3 * i + 1] = rgb.rgb[3 * i + 2] = grey.grey[i];
        for (bool subsampled : {false, true})
            for (bool progressive : {false, true}) {
                SCOPED_TRACE(std::to_string(width) + (subsampled ? " 4:2:0" : " 4:4:4") + (progressive ? " progressive" : ""));
                const auto bytes = EncodeJpeg(rgb, 85, subsampled, progressive);
                for (int rows : {0, kStatusRows}) {
                    const auto p = DecodeJpegGrey(bytes, rows);
                    ASSERT_TRUE(p);
                    EXPECT_EQ(p->storedRows(), rows ? rows : height);
                    WorkTables tables;
                    const Reading r = ReadStatusLine(*p, 180, units, tables);
                    EXPECT_EQ(r.latitude, "35-42-19.45");
                    EXPECT_EQ(r.longitude, "139-45-00.18");
                    EXPECT_EQ(r.altitude, "1740");
                }
            }
    }
}

}  // namespace
}  // namespace tessaro::builder
