// What the status window shows, from a sequence of status changes and times.

#include "transfer/status_view.h"

#include <gtest/gtest.h>

namespace tolvex::transfer {
namespace {

StatusChange Change(std::int16_t status, std::int64_t done, std::int64_t size, bool counted = false)
{
    StatusChange c;
    c.status = status;
    c.message = "m" + std::to_string(status);
    c.counted = counted;
    c.source = "a.bin";
    c.dest = "b.bin";
    c.transferred = done;
    c.size = size;
    return c;
}

TEST(StatusView, ProgressSpeedAndTimeLeft)
{
    StatusView v;
    v.Apply(Change(1, 0, -1), 100.0);
    EXPECT_EQ(v.event, "次のファイルの受信待ち");
    EXPECT_EQ(v.speed, "0");
    v.Apply(Change(2, 0, 20480), 100.0);
    EXPECT_EQ(v.dest, "b.bin");
    v.Apply(Change(3, 0, 20480), 100.0);
    EXPECT_EQ(v.files, 1);
    EXPECT_EQ(v.progress_max, 20);
    EXPECT_EQ(v.bytes, "0k of 20k");
    // Under a second: no speed sample yet.
    v.Apply(Change(4, 512, 20480), 100.5);
    EXPECT_EQ(v.event, "ファイル転送中");
    EXPECT_EQ(v.speed, "0");
    EXPECT_EQ(v.remaining, "");
    // 1024 bytes a second; the speed shows once five samples exist.
    for (int s = 1; s <= 5; ++s) {
        v.Apply(Change(4, 1024 * s, 20480, s == 2), 100.0 + s);
        EXPECT_EQ(v.speed == "1024", s == 5) << s;
    }
    EXPECT_EQ(v.progress, 5);
    EXPECT_EQ(v.bytes, "5k of 20k");
    EXPECT_EQ(v.elapsed, "00:00:05");
    EXPECT_EQ(v.remaining, "00:00:15");
    EXPECT_EQ(v.retries, 1);
    EXPECT_EQ(v.message, "m4");
    // A second file starts its samples afresh; an unknown size shows the count.
    v.Apply(Change(7, 20480, 20480), 120.0);
    EXPECT_EQ(v.event, "ファイル転送終了");
    v.Apply(Change(3, 0, -1), 121.0);
    v.Apply(Change(4, 4096, -1), 123.0);
    EXPECT_EQ(v.files, 2);
    EXPECT_EQ(v.bytes, "4096");
    EXPECT_EQ(v.elapsed, "00:00:02");
    EXPECT_EQ(ClockText(3725), "01:02:05");
}

}  // namespace
}  // namespace tolvex::transfer
