#include "gps/nmea_checksum.h"

#include "shell/textfile.h"

namespace tessaro::gps {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string_view Body(std::string_view line)
{
    if (!line.empty() && line.front() == '$') line.remove_prefix(1);
    const std::size_t star = line.rfind('*');
    return star == std::string_view::npos ? line : line.substr(0, star);
}

}  // namespace

unsigned NmeaChecksumOf(std::string_view body)
{
    unsigned sum = 0;
    for (char c : Body(body)) sum ^= static_cast<unsigned char>(c);
    return sum;
}

NmeaChecksum CheckNmeaChecksum(std::string_view line)
{
    const std::size_t star = line.rfind('*');
    if (star == std::string_view::npos) return NmeaChecksum::Absent;
    std::string_view tail = line.substr(star + 1);
    while (!tail.empty() && (tail.back() == ' ' || tail.back() == '\t' || tail.back() == '\r' || tail.back() == '\n'))
        tail.remove_suffix(1);
    if (tail.size() != 2) return NmeaChecksum::Invalid;
    const int hi = HexDigit(tail[0]), lo = HexDigit(tail[1]);
    if (hi < 0 || lo < 0) return NmeaChecksum::Invalid;
    const auto expected = static_cast<unsigned>(hi * 16 + lo);
    const std::string_view head = line.substr(0, star);
    if (NmeaChecksumOf(head) == expected) return NmeaChecksum::Valid;
    if (!IsAscii(head)) {
        std::size_t unmapped = 0;
        const std::string original = Utf8ToCp932(head, &unmapped);
        if (unmapped == 0 && NmeaChecksumOf(original) == expected) return NmeaChecksum::Valid;
    }
    return NmeaChecksum::Invalid;
}

std::string WithNmeaChecksum(std::string_view sentence)
{
    const std::size_t star = sentence.rfind('*');
    const std::string_view head = star == std::string_view::npos ? sentence : sentence.substr(0, star);
    static constexpr char kHex[] = "0123456789ABCDEF";
    const unsigned sum = NmeaChecksumOf(head);
    std::string out(head);
    out.push_back('*');
    out.push_back(kHex[(sum >> 4) & 0xF]);
    out.push_back(kHex[sum & 0xF]);
    return out;
}

}  // namespace tessaro::gps
