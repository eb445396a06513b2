// The position relation viewer's geometry.
#include "builder/position_view.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaro::builder {
namespace {

mapview::MapFileRow Row(const char* name, const char* lat, const char* lon, const char* e, const char* n,
                        const char* w = "1000", const char* h = "750")
{
    return ViewerRow({"1", name, lat, lon, "870", w, h, "9", e, n});
}

TEST(PositionViewTest, Labels)
{
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {{35.5, "35-30-00.00"}, {139.0125, "139-0-45.00"}, {35.65, "35-39-00.00"},
                          {35.0 + 59 / 60.0 + 59.999 / 3600, "36-0-00.00"}, {35.7054028, "35-42-19.45"}};
    for (const Case& c : cases) EXPECT_EQ(PositionLabel(c.value), c.text) << c.value;
    EXPECT_EQ(ViewerRow({"1", "a", "35-42-19.45", "139-45-00.18"})[2], "35.7054028");
    EXPECT_EQ(ViewerRow({"1", "a", "35-42-19.45", "139-45-00.18"})[3], "139.7500500");
}

TEST(PositionViewTest, ScaleFrameAndAnOutlier)
{
    // Three photographs together and one misread by a degree of latitude.
    const std::vector<mapview::MapFileRow> rows = {
        Row("a", "35-42-00.00", "139-45-00.00", "-7500", "-33000"),
        Row("b", "35-42-10.00", "139-45-10.00", "-7250", "-32700"),
        Row("c", "35-42-05.00", "139-45-20.00", "-7000", "-32850"),
        Row("far", "36-42-05.00", "139-45-20.00", "-7000", "78000"),
    };
    const ViewerLayout l = LayoutOf(rows);
    EXPECT_DOUBLE_EQ(l.scale, std::min(250.0 / 500, 200.0 / (78000 + 33000)));
    const ViewerBox far = BoxOf(rows[3], l);
    EXPECT_NEAR(far.top, 100 + 375 * l.scale, 1e-9);
    for (int i = 0; i < 3; ++i) {
        const ViewerBox b = BoxOf(rows[static_cast<std::size_t>(i)], l);
        EXPECT_LT(b.top, -98);  // the cluster sits at the bottom of the span
        EXPECT_GT(far.bottom - b.top, 190);
    }
    EXPECT_EQ(far.name.text, "far");
    EXPECT_DOUBLE_EQ(far.name.x, (far.left + far.right) / 2 - 15);

    const ViewerFrame f = FrameOf(l);
    ASSERT_EQ(f.lines.size(), 6u);
    EXPECT_EQ(f.lines[1].x0, std::round(-250 * l.scale));  // xL: half the easting range
    EXPECT_EQ(f.lines[5].y0, 100);   // yT
    ASSERT_EQ(f.labels.size(), 12u);
    EXPECT_EQ(f.labels[1].text, "35-42-00.00");  // smallest latitude at yB - 7
    EXPECT_EQ(f.labels[1].y, -107);
    EXPECT_EQ(f.labels[2].text, "36-42-05.00");
}

TEST(PositionViewTest, OneEastingOrOnePhotographFillsTheArea)
{
    const ViewerLayout one = LayoutOf({Row("a", "35-42-00.00", "139-45-00.00", "-7500", "-33000", "1000", "750")});
    EXPECT_DOUBLE_EQ(one.scale, std::min(250.0 / 1000, 200.0 / 750));
    const ViewerBox b = BoxOf(Row("a", "35-42-00.00", "139-45-00.00", "-7500", "-33000", "1000", "750"), one);
    EXPECT_DOUBLE_EQ(b.right - b.left, 250);

    const ViewerLayout column = LayoutOf({Row("a", "35-42-00.00", "139-45-00.00", "-7500", "-33000"),
                                          Row("b", "35-43-00.00", "139-45-00.00", "-7500", "-31000")});
    EXPECT_DOUBLE_EQ(column.scale, std::min(250.0 / 1000, 200.0 / 2000));

    // Empty easting and northing cells are drawn at 0, 0; nothing at all
    // gives scale 1.
    const ViewerLayout blank = LayoutOf({Row("a", "", "", "", "", "", "")});
    EXPECT_EQ(blank.scale, 1);
    EXPECT_EQ(LayoutOf({}).scale, 1);
}

}  // namespace
}  // namespace tessaro::builder
