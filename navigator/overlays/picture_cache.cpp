#include "overlays/picture_cache.h"

#include "overlays/area_shrink.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>

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

namespace tessaro::overlays {

namespace {

// The halving of the picture (done once per picture) and the final smooth
// scaling: shrinking starts from the smallest half still at least `size`,
// so a zoom step does not read every pixel of every photograph. The lock is
// held only to look at and add to the halves, never while one is made: the
// GUI thread must not wait for a worker that makes a half at low priority.
// Two threads may then make the same half; the first one added is kept.
// Copies are made with ResizeSmooth on the calling thread, shrinking and
// enlarging alike: Qt's smooth scaling would hand bands of a worker's
// picture to the threads Qt shares with the GUI thread. Every copy is made
// the same way on every thread, so the picture painted does not depend on
// which thread made it.
QImage MakeScaled(const QImage& source, std::mutex& lock, std::vector<QImage>& halves, QSize size)
{
        auto halfWanted = [&size](const QImage& s) {
        return s.width() / 2 >= size.width() && s.height() / 2 >= size.height() && s.width() >= 64 &&
               s.height() >= 64;
    };
    QImage from = source;  // shared, not copied: pictures are never changed once made
    std::size_t level = 0;
    while (halfWanted(from)) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            if (level < halves.size()) {
                from = halves[level++];
                continue;
            }
        }
        QImage half = ResizeSmooth(from, QSize(from.width() / 2, from.height() / 2));
        const std::lock_guard<std::mutex> hold(lock);
        if (level == halves.size()) halves.push_back(std::move(half));
        from = halves[level++];
    }
    return ResizeSmooth(from, size);
}

}  // namespace

namespace {

// Copies made ahead must not slow down the paint the user waits for: the
// worker threads run at a lower priority than the GUI thread (nice 10 gives
// a thread about a tenth of the share of one at 0; it still runs on a busy
// machine).
void LowerWorkerPriority()
{
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
}

}  // namespace

ScaledPictures::ScaledPictures(std::size_t budgetBytes, int threads) : budget_(budgetBytes)
{
    pool_.setMaxThreadCount(std::max(1, threads));
}

ScaledPictures::~ScaledPictures()
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        for (auto& j : jobs_) j->claimed.store(true);  // queued work is dropped
    }
    pool_.waitForDone();
}

std::shared_ptr<ScaledPictures::Job> ScaledPictures::Find(const Picture& source, QSize size)
{
    for (auto& j : jobs_)
        if (j->key == source.get() && j->size == size && !j->source.expired() && j->source.lock() == source) {
            j->lastUse = ++clock_;
            return j;
        }
    return nullptr;
}

std::shared_ptr<ScaledPictures::Halves> ScaledPictures::HalvesOf(const Picture& source)
{
    std::erase_if(halves_, [](const HalvesEntry& e) { return e.source.expired(); });
    for (auto& e : halves_)
        if (e.key == source.get() && e.source.lock() == source) return e.halves;
    halves_.push_back({source, source.get(), std::make_shared<Halves>()});
    return halves_.back().halves;
}

std::shared_ptr<ScaledPictures::Job> ScaledPictures::Add(const Picture& source, QSize size)
{
    auto job = std::make_shared<Job>();
    job->source = source;
    job->key = source.get();
    job->size = size;
    job->bytes = static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()) * 4u;
    job->lastUse = ++clock_;
    job->result = job->promise.get_future().share();
    jobs_.push_back(job);
    Trim();
    return job;
}

void ScaledPictures::Trim()
{
    // Copies of pictures that are gone go first, then the least recently
    // used finished copies while the kept ones exceed the budget.
    std::erase_if(jobs_, [](const std::shared_ptr<Job>& j) { return j->source.expired(); });
    std::size_t total = 0;
    for (const auto& j : jobs_) total += j->bytes;
    while (total > budget_) {
        auto oldest = jobs_.end();
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if ((*it)->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) continue;
            if (oldest == jobs_.end() || (*it)->lastUse < (*oldest)->lastUse) oldest = it;
        }
        if (oldest == jobs_.end() || (*oldest)->lastUse == clock_) return;
        total -= (*oldest)->bytes;
        jobs_.erase(oldest);
    }
}

bool ScaledPictures::Run(Job& job, const Picture& source, const std::shared_ptr<Halves>& halves, bool worker)
{
    if (job.claimed.exchange(true)) return false;
    Picture made;
    try {
        made = std::make_shared<const QImage>(MakeScaled(*source, halves->lock, halves->images, job.size));
        if (made->isNull()) made = nullptr;
    } catch (const std::bad_alloc&) {
        made = nullptr;
    }
    ++made_;
    if (worker) ++madeByWorkers_;
    job.promise.set_value(std::move(made));
    if (worker) {
        const std::lock_guard<std::mutex> hold(onMadeLock_);
        if (onMade_) onMade_();
    }
    return true;
}

void ScaledPictures::Prepare(const Picture& source, QSize size, bool urgent)
{
    if (!source || source->isNull() || size.width() <= 0 || size.height() <= 0) return;
    std::shared_ptr<Job> job;
    std::shared_ptr<Halves> halves;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (auto found = Find(source, size)) {
            // Asked for ahead and now needed: no longer to be dropped.
            if (urgent) found->urgent = true;
            return;
        }
        job = Add(source, size);
        job->urgent = urgent;
        halves = HalvesOf(source);
    }
    pool_.start(
        [this, job, source, halves] {
            LowerWorkerPriority();
            Run(*job, source, halves, true);
        },
        urgent ? 1 : 0);
}

ScaledPictures::Picture ScaledPictures::Get(const Picture& source, QSize size)
{
    if (!source || source->isNull() || size.width() <= 0 || size.height() <= 0) return nullptr;
    std::shared_ptr<Job> job;
    std::shared_ptr<Halves> halves;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        job = Find(source, size);
        if (!job) job = Add(source, size);
        halves = HalvesOf(source);
    }
    // Not started by a worker yet: made here rather than waited for. A copy a
    // worker is still making is made here as well (the worker runs at a low
    // priority; waiting for it would let it set the pace of the paint).
    if (Run(*job, source, halves, false) || job->result.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        return job->result.get();
    try {
        QImage made = MakeScaled(*source, halves->lock, halves->images, size);
        if (made.isNull()) return nullptr;
        return std::make_shared<const QImage>(std::move(made));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ScaledPictures::DropQueued()
{
    const std::lock_guard<std::mutex> hold(lock_);
    // A job claimed here is skipped by the worker that gets to it; Get runs
    // on this thread only, so nobody waits for a dropped job.
    std::erase_if(jobs_, [](const std::shared_ptr<Job>& j) { return !j->urgent && !j->claimed.exchange(true); });
}

bool ScaledPictures::Ready(const Picture& source, QSize size, Picture& out)
{
    out = nullptr;
    if (!source || source->isNull() || size.width() <= 0 || size.height() <= 0) return true;
    std::shared_ptr<Job> job;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        job = Find(source, size);
    }
    if (!job || job->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    out = job->result.get();
    return true;
}

ScaledPictures::Picture ScaledPictures::StandIn(const Picture& source, QSize size)
{
    if (!source || source->isNull() || size.width() <= 0) return nullptr;
    const std::lock_guard<std::mutex> hold(lock_);
    Picture best;
    for (const auto& j : jobs_) {
        if (j->key != source.get() || j->source.lock() != source) continue;
        if (j->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) continue;
        Picture made = j->result.get();
        if (!made) continue;
        auto worse = [&](const QImage& a, const QImage& b) {
            // Larger copies lose less when drawn smaller than when drawn larger.
            const bool aBig = a.width() >= size.width(), bBig = b.width() >= size.width();
            if (aBig != bBig) return !aBig;
            return std::abs(a.width() - size.width()) > std::abs(b.width() - size.width());
        };
        if (!best || worse(*best, *made)) best = std::move(made);
    }
    return best;
}

void ScaledPictures::SetOnMade(std::function<void()> onMade)
{
    const std::lock_guard<std::mutex> hold(onMadeLock_);
    onMade_ = std::move(onMade);
}

void ScaledPictures::WaitForWorkers() { pool_.waitForDone(); }

}  // namespace tessaro::overlays
