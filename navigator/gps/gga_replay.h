// Replays a GGA log (NMEA text, CP932) through the navigator's decoder and
// writes one CSV line per GGA sentence: what the status labels show after the
// sentence, the zone after the zone step, whether the fix was stored, and the
// plane position. Used by `tessaro-tool gga` and by the log fixtures.
#pragma once

#include <iosfwd>

namespace tessaro::gps {

// Reads `in` to its end, starting in zone `zoneNo` (1..19). Lines are cut as
// the live receiver's are (LineAssembler: a line ends at LF, one CR before it
// is dropped, a lone CR is an ordinary byte), without a length limit; lines
// that are not GGA sentences are skipped. Each output
// line (UTF-8, no quoting) is: time, latitude, longitude, satellites and
// status texts, zone number, 1 or 0 for stored, PosNorthing and PosEasting
// with 17 significant digits (both empty when not stored).
// With `verifyChecksum` a GGA sentence whose "*hh" does not match is dropped
// (no output line) and counted in *dropped, as the live receiver's are.
// Returns the number of GGA sentences decoded.
long ReplayGgaLog(std::istream& in, std::ostream& out, int zoneNo, bool verifyChecksum = true,
                  long* dropped = nullptr);

}  // namespace tessaro::gps
