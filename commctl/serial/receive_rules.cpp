#include "serial/receive_rules.h"

#include <cstring>

#include "serial/comm_engine.h"

namespace tolvex::serial {

std::size_t LineErrorEvents(std::uint32_t errors, std::int16_t codes[6])
{
    static constexpr struct {
        std::uint32_t bit;
        std::int16_t code;
    } kOrder[] = {
        {kCeBreak, kErBreak},   {kCeFrame, kErFrame},       {kCeOverrun, kErOverrun},
        {kCeRxOver, kErRxOver}, {kCeRxParity, kErRxParity}, {kCeTxFull, kErTxFull},
    };
    std::size_t n = 0;
    for (const auto& e : kOrder)
        if (errors & e.bit)
            codes[n++] = e.code;
    return n;
}

FilterResult ReceiveFilter::Filter(const std::uint8_t* in, std::size_t n, const ReceiveOptions& options,
                                   std::vector<std::uint8_t>& out)
{
    FilterResult r;
    auto put = [&](std::uint8_t b) {
        if (b == 0 && options.null_discard)
            return;
        if (b == kEventChar)
            r.event_char = true;
        out.push_back(b);
    };
    // A run of plain data is copied whole: most chunks hold no mark at all,
    // and a file transfer moves them at the line's full rate.
    auto put_run = [&](const std::uint8_t* first, std::size_t len) {
        if (len == 0)
            return;
        if (!r.event_char && std::memchr(first, kEventChar, len))
            r.event_char = true;
        if (!options.null_discard) {
            out.insert(out.end(), first, first + len);
            return;
        }
        for (std::size_t i = 0; i < len; ++i)
            if (first[i] != 0)
                out.push_back(first[i]);
    };
    if (!options.marks) {
        put_run(in, n);
        return r;
    }
    std::size_t i = 0;
    while (i < n) {
        if (state_ == kData) {
            // Everything up to the next 0xFF stands for itself.
            const void* ff = std::memchr(in + i, 0xFF, n - i);
            const std::size_t stop = ff ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - in) : n;
            put_run(in + i, stop - i);
            i = stop;
            if (i < n) {
                state_ = kAfterFF;
                ++i;
            }
            continue;
        }
        const std::uint8_t b = in[i++];
        if (state_ == kAfterFF) {
            state_ = kData;
            if (b == 0xFF) {
                put(0xFF);
            } else if (b == 0x00) {
                state_ = kAfterMark;
            } else {
                put(0xFF);
                put(b);
            }
        } else {  // kAfterMark
            state_ = kData;
            if (b == 0x00) {
                if (!options.counts_errors)
                    r.errors |= kCeBreak;
            } else {
                if (!options.counts_errors)
                    r.errors |= kCeRxParity;
                put(options.replace >= 0 ? static_cast<std::uint8_t>(options.replace) : b);
            }
        }
    }
    return r;
}

int ZModemStartDetector::Scan(std::string_view data)
{
    static constexpr std::uint8_t kStart[6] = {0x2A, 0x2A, 0x18, 0x42, 0x30, 0x30};
    int found = 0;
    for (char c : data) {
        if (static_cast<std::uint8_t>(c) == kStart[matched_]) {
            if (++matched_ == 6) {
                matched_ = 0;
                ++found;
            }
        } else {
            matched_ = 0;
        }
    }
    return found;
}

bool EndsWithCp932LeadByte(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        if (IsCp932LeadByte(static_cast<std::uint8_t>(s[i]))) {
            if (i + 1 == s.size())
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

}  // namespace tolvex::serial
