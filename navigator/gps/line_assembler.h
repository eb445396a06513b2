// Cuts a stream of received bytes into NMEA lines, the same way for the live
// receiver and for a GGA log file.
//
// A line ends at LF; one CR just before the LF belongs to the line end and is
// dropped. A lone CR is an ordinary byte of the line (NMEA ends every
// sentence with CR LF, so a CR elsewhere is noise inside a sentence, and a
// log must decode the same whether it is replayed or was received live).
// Empty lines are not handed on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaro::gps {

class LineAssembler {
public:
    // `longestPending` bounds the bytes kept of a line that has not ended
    // (the newest are kept); 0 keeps everything.
    explicit LineAssembler(std::size_t longestPending = 0) : longestPending_(longestPending) {}

    // Appends `bytes` and calls `line(std::string&)` for every line they end,
    // in order; the bytes after the last LF wait for the next call.
    template <typename OnLine>
    void Feed(std::string_view bytes, OnLine&& line)
    {
        std::size_t start = 0;
        for (std::size_t nl; (nl = bytes.find('\n', start)) != std::string_view::npos; start = nl + 1) {
            pending_.append(bytes.substr(start, nl - start));
            Emit(line);
        }
        pending_.append(bytes.substr(start));
        if (longestPending_ != 0 && pending_.size() > longestPending_)
            pending_.erase(0, pending_.size() - longestPending_);
    }

    // Hands on the bytes of a last line without its LF (the end of a file).
    template <typename OnLine>
    void Finish(OnLine&& line)
    {
        if (!pending_.empty()) Emit(line);
    }

    // Forgets the bytes of a line not yet ended.
    void Clear() { pending_.clear(); }
    const std::string& Pending() const { return pending_; }

private:
    template <typename OnLine>
    void Emit(OnLine& line)
    {
        if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
        if (!pending_.empty()) line(pending_);
        pending_.clear();
    }

    std::size_t longestPending_;
    std::string pending_;
};

}  // namespace tessaro::gps
