#include "overlays/picture_cache.h"

#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace tessaro::overlays {

std::shared_ptr<const QImage> PictureCache::Load(const std::string& path)
{
    const QString qpath = QString::fromStdString(path);
    const QFileInfo info(qpath);
    if (!info.isFile()) return nullptr;
    const long long size = info.size();
    const long long modified = info.lastModified().toMSecsSinceEpoch();
    ++clock_;
    for (Entry& e : entries_) {
        if (e.path == path && e.size == size && e.modified == modified) {
            e.lastUse = clock_;
            return e.image;
        }
    }
    QImageReader reader(qpath);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    ++decodes_;
    if (image.isNull()) return nullptr;
    if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
    auto shared = std::make_shared<const QImage>(std::move(image));
    // A stale entry of the same file goes.
    std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
    entries_.push_back({path, size, modified, shared, clock_});
    Trim();
    return shared;
}

void PictureCache::Trim()
{
    // Pictures held only by the cache are spare; keep the most recent ones.
    for (;;) {
        int unused = 0;
        auto oldest = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->image.use_count() > 1) continue;
            ++unused;
            if (oldest == entries_.end() || it->lastUse < oldest->lastUse) oldest = it;
        }
        if (unused <= spare_ || oldest == entries_.end()) return;
        entries_.erase(oldest);
    }
}

}  // namespace tessaro::overlays
