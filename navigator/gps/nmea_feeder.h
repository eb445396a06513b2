// Feeds a recorded NMEA log into a pseudo-terminal, one sentence set at a
// time, so that the navigator's real serial path (the control opening the
// terminal's slave side as its port) receives it as if from a receiver.
//
// A sentence set is what a receiver sends per epoch: a GGA sentence and the
// lines after it up to the next GGA sentence (RMC, GSA, GSV, mark lines...).
// Lines before the first GGA sentence form a set of their own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tessaro::gps {

// Splits the lines of a log into sentence sets. Each set is the raw bytes of
// its lines, each line ended by CR LF. Empty lines are dropped.
std::vector<std::string> SplitSentenceSets(const std::vector<std::string>& lines);

// Reads a log file (raw bytes, any line ends) into sentence sets; false when
// the file cannot be read.
bool LoadSentenceSets(const std::string& path, std::vector<std::string>& sets, std::string* error = nullptr);

// A pseudo-terminal whose master side this object writes. The slave side is
// kept open here too, so that the terminal survives while the port on the
// other side is closed and opened again (as around a zone change).
class PtyFeeder {
public:
    PtyFeeder() = default;
    ~PtyFeeder();
    PtyFeeder(const PtyFeeder&) = delete;
    PtyFeeder& operator=(const PtyFeeder&) = delete;

    bool open(std::string* error = nullptr);
    bool isOpen() const { return master_ >= 0; }
    // Path of the slave side, e.g. /dev/pts/7.
    const std::string& slavePath() const { return slavePath_; }
    // Writes all bytes, waiting at most `timeoutMs` for room; false when the
    // terminal stayed full or failed. Never blocks longer than the timeout.
    bool write(const std::string& bytes, int timeoutMs = 1000);
    // Discards what is waiting on the slave side unread (keeps a port that is
    // closed for long from seeing a backlog of old sentences).
    void discardUnread();
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tessaro::gps
