#include "loopback.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>
#include <utility>

namespace tolvex::transfer::loopback {

namespace {

using Micros = std::int64_t;

struct Direction {
    Way way;
    std::deque<std::pair<Micros, char>> flight;  // arrival time, byte
    std::size_t count = 0;                       // bytes put on this direction so far
    Micros free_at = 0;                          // the transmitter is busy until then
};

struct Line {
    const std::vector<Fault>& faults;
    Micros per_byte;
    Micros latency;
    Direction dir[2] = {{Way::kAtoB, {}, 0, 0}, {Way::kBtoA, {}, 0, 0}};
    bool cut = false;

    void Put(Way way, std::string_view bytes, Micros now)
    {
        Direction& d = dir[way == Way::kAtoB ? 0 : 1];
        for (char c : bytes) {
            const std::size_t index = d.count++;
            bool drop = false;
            for (const Fault& f : faults) {
                if (f.way != way || f.byte != index)
                    continue;
                switch (f.kind) {
                case Fault::Kind::kDrop: drop = true; break;
                case Fault::Kind::kFlip: c = static_cast<char>(c ^ (1 << f.bit)); break;
                case Fault::Kind::kCut: cut = true; break;
                case Fault::Kind::kStall: d.free_at = std::max(d.free_at, now + f.ms * 1000); break;
                }
            }
            if (drop || cut)
                continue;
            const Micros sent = std::max(now, d.free_at) + per_byte;
            d.free_at = sent;
            d.flight.emplace_back(sent + latency, c);
        }
    }

    std::string Take(Way way, Micros now)
    {
        Direction& d = dir[way == Way::kAtoB ? 0 : 1];
        std::string out;
        while (!d.flight.empty() && d.flight.front().first <= now) {
            out.push_back(d.flight.front().second);
            d.flight.pop_front();
        }
        return out;
    }

    Micros IdleAt(Way way) const { return dir[way == Way::kAtoB ? 0 : 1].free_at; }

    std::optional<Micros> NextArrival(Way way) const
    {
        const Direction& d = dir[way == Way::kAtoB ? 0 : 1];
        if (d.flight.empty())
            return std::nullopt;
        return d.flight.front().first;
    }
};

struct Side {
    Protocol& p;
    SideResult& r;
    Way out;  // the direction it sends on
    Way in;

    bool watch_sent = false;  // call Sent() once the transmitter is idle

    void Apply(Answer a, Line& line, Micros now)
    {
        for (;;) {
            r.bytes_sent += a.send.size();
            line.Put(out, a.send, now);
            watch_sent = watch_sent || a.watch_sent;
            for (Event& e : a.events) {
                if (e.kind == EventKind::kError)
                    r.last_error = e.message;
                r.events.push_back(std::move(e));
            }
            if (a.finished && !r.finished) {
                r.finished = true;
                r.ok = p.Succeeded();
            }
            if (!a.resume || r.finished)
                return;
            a = p.Resume(static_cast<Millis>(now / 1000));
        }
    }
};

}  // namespace

std::string Describe(const Fault& f)
{
    static const char* const kKinds[] = {"drop", "flip", "cut", "stall"};
    std::string s = kKinds[static_cast<int>(f.kind)];
    s += f.way == Way::kAtoB ? " A>B byte " : " B>A byte ";
    s += std::to_string(f.byte);
    if (f.kind == Fault::Kind::kFlip)
        s += " bit " + std::to_string(f.bit);
    if (f.kind == Fault::Kind::kStall)
        s += " for " + std::to_string(f.ms) + " ms";
    return s;
}

Result Run(Protocol& a, Protocol& b, const std::vector<Fault>& faults, Millis limit, LineModel model)
{
    Result result;
    Line line{faults, static_cast<Micros>(std::llround(1000.0 / model.bytes_per_ms)), model.latency * 1000};
    Side sides[2] = {{a, result.a, Way::kAtoB, Way::kBtoA, false}, {b, result.b, Way::kBtoA, Way::kAtoB, false}};

    for (Side& s : sides)
        s.Apply(s.p.Start(0), line, 0);

    Micros now = 0;
    int same_time = 0;  // steps without time moving on: a protocol that re-arms its past deadline
    while (!(result.a.finished && result.b.finished)) {
        // The next moment anything happens: a byte arrives or a timer runs out.
        Micros next = std::numeric_limits<Micros>::max();
        for (Side& s : sides) {
            if (s.r.finished)
                continue;
            if (auto t = line.NextArrival(s.in))
                next = std::min(next, *t);
            if (auto d = s.p.Deadline())
                next = std::min(next, std::max(*d * 1000, now));
            if (s.watch_sent)
                next = std::min(next, std::max(line.IdleAt(s.out), now));
        }
        if (next == std::numeric_limits<Micros>::max()) {
            result.stuck = true;
            break;
        }
        if (next > limit * 1000) {
            result.over_time = true;
            now = limit * 1000;
            break;
        }
        same_time = next == now ? same_time + 1 : 0;
        if (same_time > 1000) {
            result.stuck = true;
            break;
        }
        now = next;
        const Millis ms = now / 1000;
        for (Side& s : sides) {
            const std::string data = line.Take(s.in, now);
            if (s.r.finished)
                continue;  // bytes for a side that has ended fall on the floor
            if (s.watch_sent && line.IdleAt(s.out) <= now) {
                s.watch_sent = false;
                s.Apply(s.p.Sent(ms), line, now);
            }
            if (!data.empty() && !s.r.finished)
                s.Apply(s.p.Feed(data, ms), line, now);
            if (auto d = s.p.Deadline(); d && !s.r.finished && *d <= ms)
                s.Apply(s.p.Tick(ms), line, now);
        }
    }
    result.line_time = now / 1000;
    return result;
}

}  // namespace tolvex::transfer::loopback
