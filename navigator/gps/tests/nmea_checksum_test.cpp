#include "gps/nmea_checksum.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/textfile.h"

namespace tessaro::gps {
namespace {

// The sample drive's first sentence, as a receiver sent it.
constexpr const char* kGood = "$GPGGA,010000.00,3541.6999,N,13945.1797,E,1,08,0.8,38.0,M,39.5,M,,*57";

TEST(NmeaChecksum, ValidAbsentAndInvalidLines)
{
    const std::string good = kGood;
    const std::string body = good.substr(0, good.find('*'));
    struct Case {
        std::string line;
        NmeaChecksum expected;
    };
    const Case cases[] = {
        {good, NmeaChecksum::Valid},
        {good.substr(1), NmeaChecksum::Valid},           // "$" lost: the sum never included it
        {body + "*57\r", NmeaChecksum::Valid},           // trailing CR
        {body + "*57  ", NmeaChecksum::Valid},
        {body + "*5", NmeaChecksum::Invalid},            // cut short
        {body + "*5G", NmeaChecksum::Invalid},
        {body + "*570", NmeaChecksum::Invalid},
        {body + "*", NmeaChecksum::Invalid},
        {body + "*56", NmeaChecksum::Invalid},
        {"$GPGGA,010000.00,3541.6999,N,13945.1797,E,1,08,0.8,38.0,M,39.5,M,,*57" + std::string(), NmeaChecksum::Valid},
        {"$GPGGA,010000.00,3541.6990,N,13945.1797,E,1,08,0.8,38.0,M,39.5,M,,*57", NmeaChecksum::Invalid},
        {body, NmeaChecksum::Absent},
        {"", NmeaChecksum::Absent},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckNmeaChecksum(c.line), c.expected) << c.line;
    // lower-case digits are as good as upper-case
    EXPECT_EQ(CheckNmeaChecksum(WithNmeaChecksum("$GNGGA,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,,*")),
              NmeaChecksum::Valid);
    std::string lower = WithNmeaChecksum("$GPGGA,0101");
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(CheckNmeaChecksum("$GPGGA,0101*" + lower.substr(lower.size() - 2)), NmeaChecksum::Valid);

    EXPECT_EQ(WithNmeaChecksum(body + "*00"), good);
    EXPECT_EQ(WithNmeaChecksum(body), good);
    EXPECT_TRUE(PassesChecksum(body + "*56", false));
    EXPECT_FALSE(PassesChecksum(body + "*56", true));
}

// A sentence with Shift-JIS text whose checksum the sender computed over its
// CP932 bytes still passes once read as UTF-8 text.
TEST(NmeaChecksum, SumOverTheOriginalBytesOfTextReadAsUtf8)
{
    const std::string cp932 = WithNmeaChecksum("$GPGGA,010203,3542.1234,N,13945.6789,E,1,\x82\x50\x82\x51,0.9");
    EXPECT_EQ(CheckNmeaChecksum(cp932), NmeaChecksum::Valid);
    EXPECT_EQ(CheckNmeaChecksum(Cp932ToUtf8(cp932)), NmeaChecksum::Valid);
    std::string flipped = Cp932ToUtf8(cp932);
    flipped[10] = '9';
    EXPECT_EQ(CheckNmeaChecksum(flipped), NmeaChecksum::Invalid);
}

}  // namespace
}  // namespace tessaro::gps
