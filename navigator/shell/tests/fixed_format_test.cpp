// The allocation-free fixed format must give exactly the text of the plain
// decimal formatter.
#include "shell/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace tessaro {
namespace {

std::string Fast(double v, int decimals)
{
    std::string s = "x";
    AppendFixed(s, v, decimals);
    return s.substr(1);
}

TEST(FixedText, SameTextAsTheGeneralFormatter)
{
    const double edge[] = {0.0, -0.0, 0.004, 0.005, 0.125, 2.5, -2.5, 9.995, 59.995, 59.99994, 99.95, 999999.95,
                           -12345.67, -35000.21f, 0.05, 1e-300, 123456789012345.6, 999999999999999.0, 1e15, -1e20,
                           std::numeric_limits<double>::infinity(), std::nan("")};
    for (double v : edge)
        for (int d = 0; d <= 3; ++d) EXPECT_EQ(Fast(v, d), detail::FormatFixedReference(v, d)) << v << " / " << d;

    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> exponent(-8.0, 16.0);
    for (int i = 0; i < 200000; ++i) {
        double v = std::pow(10.0, exponent(rng)) * ((rng() & 1) ? -1 : 1);
        if (i % 3 == 0) v = std::round(v * 1000.0) / 1000.0 + 0.0005 * ((rng() & 1) ? 1 : -1);  // near halves
        const int d = static_cast<int>(rng() % 4);
        ASSERT_EQ(Fast(v, d), detail::FormatFixedReference(v, d)) << v << " / " << d;
    }
}

}  // namespace
}  // namespace tessaro
