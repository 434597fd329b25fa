#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "support/TextFormat.h"

namespace orvane {
namespace {

TEST(TextFormat, DescribeDoubleReadsBackAndMarksWholeValues) {
    std::string shown;
    for (const double value : {0.0, 2.0, -3.25, 0.1, 100000.0, 0.00001, 1e20, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()}) {
        shown += describeDouble(value) + " ";
    }
    EXPECT_EQ(shown, "0.0 2.0 -3.25 0.1 100000.0 1e-05 1e+20 inf nan ");
}

}  // namespace
}  // namespace orvane
