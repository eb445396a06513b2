// tessaro-make-samples: draws the status line (latitude, longitude and
// altitude from the library's index) along the bottom edge of every
// photograph of a map library folder, and writes the unit glyph file.
//
//   tessaro-make-samples DIR [--kunit FILE] [--quality Q]
//
// The photographs are decoded, given the dark bar with the status line of the
// builder's font and encoded again in place (4:4:4, quality 80 by default).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "builder/jpeg_picture.h"
#include "builder/status_font.h"
#include "shell/textfile.h"
#include "shell/values.h"

using namespace tessaro;
using namespace tessaro::builder;

int main(int argc, char** argv)
{
    std::string dir, kunit;
    int quality = 80;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--kunit" && i + 1 < argc) kunit = argv[++i];
        else if (a == "--quality" && i + 1 < argc) quality = std::stoi(argv[++i]);
        else dir = a;
    }
    if (dir.empty()) {
        std::cerr << "usage: tessaro-make-samples DIR [--kunit FILE] [--quality Q]\n";
        return 2;
    }
    if (!kunit.empty() && !WriteTextLinesAtomic(kunit, UnitGlyphFileLines())) {
        std::cerr << "cannot write " << kunit << "\n";
        return 1;
    }
    const auto lines = ReadTextLines(dir + "/MapFileData1.dat");
    if (!lines) {
        std::cerr << "cannot read " << dir << "/MapFileData1.dat\n";
        return 1;
    }
    int failed = 0;
    for (const std::string& line : *lines) {
        FieldDataArray f;
        SplitFields(line, ",", f);
        const std::string path = dir + "/" + f[1];
        auto picture = DecodeJpegRgb(path);
        if (!picture) {
            std::cerr << "cannot decode " << path << "\n";
            ++failed;
            continue;
        }
        const StatusLine status = StatusLineFor(f[2], f[3], static_cast<int>(NumericValue(f[4])));
        const int w = picture->width, h = picture->height;
        std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
        DrawStatusLine(grey, w, h, status);
        for (int y = std::max(0, h - kBarHeight); y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
                for (int c = 0; c < 3; ++c) picture->rgb[3 * i + static_cast<std::size_t>(c)] = grey[i];
            }
        const auto bytes = EncodeJpeg(*picture, quality);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::cerr << "cannot write " << path << "\n";
            ++failed;
            continue;
        }
        std::cout << f[1] << "\t" << status.latitude << " " << status.longitude << " " << status.altitude << "\n";
    }
    return failed ? 1 : 0;
}
