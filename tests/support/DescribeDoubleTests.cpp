#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "support/TextFormat.h"

namespace orvane {
namespace {

TEST(TextFormat, DescribeDoubleReadsBackAndMarksWholeValues) {
    EXPECT_EQ(describeDouble(0), "0.0");
    EXPECT_EQ(describeDouble(2), "2.0");
    EXPECT_EQ(describeDouble(-3.25), "-3.25");
    EXPECT_EQ(describeDouble(0.1), "0.1");
    EXPECT_EQ(describeDouble(100000), "100000.0");
    EXPECT_EQ(describeDouble(0.00001), "1e-05");
    EXPECT_EQ(describeDouble(1e20), "1e+20");
    EXPECT_EQ(describeDouble(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(describeDouble(std::numeric_limits<double>::quiet_NaN()), "nan");
}

}  // namespace
}  // namespace orvane
