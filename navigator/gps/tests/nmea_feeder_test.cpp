#include "gps/nmea_feeder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tessaro::gps {
namespace {

TEST(SentenceSets, GroupedFromEachGgaSentence)
{
    const std::vector<std::string> lines = {
        "$GPGSV,3,1,12*00\r", "$GPGGA,010000,3542.0,N,13945.0,E,1,08\r", "$GPRMC,1\r", "",
        "A,1", "GPGGA,010001,3542.0,N,13945.0,E,1,08", "$GPGSA,A,3\r",
    };
    const auto sets = SplitSentenceSets(lines);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0], "$GPGSV,3,1,12*00\r\n");
    EXPECT_EQ(sets[1], "$GPGGA,010000,3542.0,N,13945.0,E,1,08\r\n$GPRMC,1\r\nA,1\r\n");
    EXPECT_EQ(sets[2], "GPGGA,010001,3542.0,N,13945.0,E,1,08\r\n$GPGSA,A,3\r\n");
    std::vector<std::string> none;
    EXPECT_FALSE(LoadSentenceSets("/nonexistent/log.txt", none));
}

TEST(PtyFeeder, BytesArriveOnTheSlaveSideAndSurviveAReopen)
{
    PtyFeeder feeder;
    std::string error;
    ASSERT_TRUE(feeder.open(&error)) << error;
    ASSERT_FALSE(feeder.slavePath().empty());
    auto readAll = [](int fd, std::size_t want) {
        std::string got;
        char buf[256];
        while (got.size() < want) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    };
    for (int round = 0; round < 2; ++round) {
        // The port on the other side opens, reads a set and closes again.
        const int port = ::open(feeder.slavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0);
        const std::string set = "$GPGGA,0" + std::to_string(round) + "\r\n$GPRMC\r\n";
        ASSERT_TRUE(feeder.write(set));
        EXPECT_EQ(readAll(port, set.size()), set);
        ::close(port);
    }
}

}  // namespace
}  // namespace tessaro::gps
