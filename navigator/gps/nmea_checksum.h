// The NMEA checksum: "*hh" after a sentence, two hexadecimal digits giving
// the exclusive or of every byte between the leading "$" and the "*".
//
// A sentence that carries no "*" is taken as it is (old receivers and logs
// without checksums). One whose "*" is not followed by exactly two
// hexadecimal digits (spaces and a CR may trail), or whose digits do not
// match, is noise: a single flipped bit in a latitude can put the fix
// kilometres away.
#pragma once

#include <string>
#include <string_view>

namespace tessaro::gps {

enum class NmeaChecksum {
    Absent,   // no "*": nothing to verify
    Valid,
    Invalid,  // mismatch, or a malformed "*hh"
};

// Verifies a line as received (the leading "$" may be missing). The bytes
// are the line's own; for text read as UTF-8 from CP932 bytes the CP932 form
// is tried as well, so that a sentence whose checksum was computed over its
// original bytes still passes.
NmeaChecksum CheckNmeaChecksum(std::string_view line);

// True when the line may be decoded: its checksum is absent or valid, or
// `verify` is false.
inline bool PassesChecksum(std::string_view line, bool verify)
{
    return !verify || CheckNmeaChecksum(line) != NmeaChecksum::Invalid;
}

// The checksum of the bytes between "$" and "*" (or of the whole text when
// there is neither).
unsigned NmeaChecksumOf(std::string_view body);

// The sentence with its checksum put right: any "*..." is cut off and the
// correct "*hh" (upper case) appended. Used to make sentences for the
// receiver simulators and tests.
std::string WithNmeaChecksum(std::string_view sentence);

}  // namespace tessaro::gps
