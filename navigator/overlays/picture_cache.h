// Decoded pictures of the photograph slots. A picture is decoded once and
// kept while an image slot shows it; a few pictures no slot shows any longer
// are kept as well, so that panning back and forth does not decode again.
// A file that changed on disk (size or time) is decoded afresh.
#pragma once

#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaro::overlays {

class PictureCache {
public:
    explicit PictureCache(int spare = 12) : spare_(spare) {}

    // The decoded picture of `path` (UTF-8), or null when the file cannot be
    // read as a picture.
    std::shared_ptr<const QImage> Load(const std::string& path);

    // Number of pictures decoded so far.
    std::uint64_t Decodes() const { return decodes_; }
    std::size_t Entries() const { return entries_.size(); }

private:
    struct Entry {
        std::string path;
        long long size = 0;
        long long modified = 0;
        std::shared_ptr<const QImage> image;
        std::uint64_t lastUse = 0;
    };
    void Trim();

    int spare_;
    std::vector<Entry> entries_;
    std::uint64_t clock_ = 0;
    std::uint64_t decodes_ = 0;
};

}  // namespace tessaro::overlays
