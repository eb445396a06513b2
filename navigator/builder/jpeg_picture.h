// Decoding JPEG screenshots into the brightness values the recogniser reads,
// and writing the sample screenshots.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "builder/recogniser.h"

namespace tessaro::builder {

// Decodes a JPEG file into brightness values. With `bottomRows` > 0 only the
// last `bottomRows` rows are decoded (the rest are skipped without the
// inverse transform), else the whole picture. A file that is not a JPEG, or
// whose header cannot be read, gives nullopt; a truncated JPEG is read as far
// as it decodes (the rows past the end are grey, as the decoder fills them).
std::optional<GreyPicture> DecodeJpegGrey(const std::string& path, int bottomRows = 0);
// The same from bytes in memory.
std::optional<GreyPicture> DecodeJpegGrey(const std::vector<std::uint8_t>& bytes, int bottomRows = 0);

// An RGB picture, 3 bytes a pixel, row-major.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};
std::optional<RgbPicture> DecodeJpegRgb(const std::string& path);
// The brightness of the bottom `rows` rows of a decoded picture (all rows
// when `rows` is 0 or more than the picture has).
GreyPicture GreyOf(const RgbPicture& picture, int rows = 0);
std::optional<RgbPicture> DecodeJpegRgb(const std::vector<std::uint8_t>& bytes);
// Encodes with the given quality; 4:4:4 keeps the text's edges, `subsampled`
// gives the 4:2:0 of most screenshot tools.
// `progressive` writes a progressive JPEG, as some tools save screenshots.
std::vector<std::uint8_t> EncodeJpeg(const RgbPicture& picture, int quality, bool subsampled = false,
                                     bool progressive = false);

}  // namespace tessaro::builder

namespace tessaro::builder {
// Reads the status line of a screenshot file: decodes only the rows the
// recogniser reads. A file that is not a readable JPEG gives three empty texts
// (and cleared tables). `aspect` receives height / width when the file decodes.
Reading ReadImageFile(const std::string& path, int threshold, const UnitGlyphs& units, WorkTables& tables,
                      float* aspect = nullptr);
// Height / width of a JPEG file (only its last row is decoded); nullopt when it
// does not decode.
std::optional<float> PhotoAspect(const std::string& path);
}  // namespace tessaro::builder
