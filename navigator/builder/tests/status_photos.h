// Screenshots for the builder's tests: a grey picture with the status line
// of the builder's font, written as a JPEG file.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "builder/jpeg_picture.h"
#include "builder/status_font.h"

namespace tessaro::builder::testing {

struct Photo {
    const char* lat;
    const char* lon;
    int altitude;  // metres as Google Earth shows them; -1: a file that is no JPEG
    int width = 800, height = 600;
};

inline void WritePhoto(const std::filesystem::path& path, const Photo& p)
{
    std::ofstream out(path, std::ios::binary);
    if (p.altitude < 0) return;
    const GreyPicture grey = MakeStatusPicture(p.width, p.height, StatusLineFor(p.lat, p.lon, p.altitude));
    RgbPicture rgb{p.width, p.height, {}};
    rgb.rgb.resize(grey.grey.size() * 3);
    for (std::size_t i = 0; i < grey.grey.size(); ++i) rgb.rgb[3 * i] = rgb.rgb[3 * i + 1] = rgb.rgb[3 * i + 2] = grey.grey[i];
    const auto bytes = EncodeJpeg(rgb, 85);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// p01.jpg, p02.jpg, ... in `folder`.
inline std::string PhotoName(std::size_t i)
{
    const std::string n = std::to_string(i + 1);
    return "p" + std::string(n.size() < 2 ? "0" : "") + n + ".jpg";
}

}  // namespace tessaro::builder::testing
