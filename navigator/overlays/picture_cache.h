// Decoded pictures of the photograph slots, and their copies scaled to the
// screen.
//
// PictureCache: a picture is decoded once and kept while an image slot shows
// it; a few pictures no slot shows any longer are kept as well, so that
// panning back and forth does not decode again. A file that changed on disk
// (size or time) is decoded afresh.
//
// ScaledPictures: a decoded picture is scaled once per size and the copy is
// kept while there is room (the least recently used copies go first). A copy
// can be asked for ahead: worker threads make it while the GUI thread does
// other work, and Get then finds it made or makes it itself (a worker
// still at it finishes for the cache: the GUI thread never waits for one). A copy is made
// the same way wherever it is made: the picture is halved while the half is
// still at least the size asked for (the halves are made once per picture),
// then the last half is shrunk by area averaging to the size.
#pragma once

#include <QImage>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
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

class ScaledPictures {
public:
    using Picture = std::shared_ptr<const QImage>;

    // `budgetBytes`: room for the kept copies; `threads`: worker threads.
    explicit ScaledPictures(std::size_t budgetBytes = std::size_t{192} << 20, int threads = 2);
    ~ScaledPictures();
    ScaledPictures(const ScaledPictures&) = delete;
    ScaledPictures& operator=(const ScaledPictures&) = delete;

    // `source` scaled to `size` (null when it cannot be made). Called on one
    // thread only, like Prepare.
    Picture Get(const Picture& source, QSize size);
    // Has a worker make `source` at `size` unless that copy is kept or on its
    // way. Urgent copies (needed for the next paint) go before the others.
    void Prepare(const Picture& source, QSize size, bool urgent = false);
    // Forgets the copies asked for ahead (not urgent) that no worker has
    // started yet: a new view has new neighbours.
    void DropQueued();
    // Without waiting: true, with the copy in `out` (null when it cannot be
    // made), once `source` at `size` is made; false while it is not.
    bool Ready(const Picture& source, QSize size, Picture& out);
    // A copy of `source` made earlier at another size, the nearest in width
    // (a larger one before a smaller one), to stand in while the copy at
    // `size` is being made; null when there is none.
    Picture StandIn(const Picture& source, QSize size);
    // Called on a worker thread each time a worker has made a copy.
    void SetOnMade(std::function<void()> onMade);
    // Waits until the workers have nothing left to do.
    void WaitForWorkers();

    // Copies made so far, and how many of them a worker made (a copy the GUI
    // thread made for itself while a worker was at it is not kept and not
    // counted).
    std::uint64_t Made() const { return made_.load(); }
    std::uint64_t MadeByWorkers() const { return madeByWorkers_.load(); }

private:
    struct Halves {
        std::mutex lock;
        std::vector<QImage> images;  // 1/2, 1/4, ... of the picture
    };
    struct Job {
        std::weak_ptr<const QImage> source;
        const QImage* key = nullptr;
        QSize size;
        std::size_t bytes = 0;
        std::uint64_t lastUse = 0;
        bool urgent = false;
        std::atomic<bool> claimed{false};
        std::promise<Picture> promise;
        std::shared_future<Picture> result;
    };
    std::shared_ptr<Job> Find(const Picture& source, QSize size);
    std::shared_ptr<Job> Add(const Picture& source, QSize size);
    std::shared_ptr<Halves> HalvesOf(const Picture& source);
    // Makes the copy of a job nobody has claimed yet; false when another
    // thread has.
    bool Run(Job& job, const Picture& source, const std::shared_ptr<Halves>& halves, bool worker);
    void Trim();

    std::size_t budget_;
    std::mutex lock_;  // guards jobs_ and halves_
    std::vector<std::shared_ptr<Job>> jobs_;
    struct HalvesEntry {
        std::weak_ptr<const QImage> source;
        const QImage* key = nullptr;
        std::shared_ptr<Halves> halves;
    };
    std::vector<HalvesEntry> halves_;
    std::uint64_t clock_ = 0;
    std::atomic<std::uint64_t> made_{0};
    std::atomic<std::uint64_t> madeByWorkers_{0};
    std::mutex onMadeLock_;
    std::function<void()> onMade_;
    QThreadPool pool_;
};

}  // namespace tessaro::overlays
