#include "core/runtime/time.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/number_text.hpp"

namespace vorn {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTwoPow64 = 18446744073709551616.0;
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();

struct RoundCase {
    double seconds;
    Duration expected;
};

class RoundToNanosecond : public testing::TestWithParam<RoundCase> {};

TEST_P(RoundToNanosecond, RoundsTheExactBinaryValueTiesToEven) {
    EXPECT_EQ(round_to_nanosecond(GetParam().seconds), GetParam().expected);
    EXPECT_EQ(duration_from_seconds(GetParam().seconds), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoundToNanosecond,
    testing::Values(
        RoundCase{-0.0, {0, 0}}, RoundCase{1.5, {1, 500'000'000}}, RoundCase{1e-9, {0, 1}},
        // m / 1024 s is exactly k + 0.5 ns: to the even nanosecond.
        RoundCase{1.0 / 1024, {0, 976'562}}, RoundCase{7.0 + 3.0 / 1024, {7, 2'929'688}},
        RoundCase{std::nextafter(1.0 / 1024, 1.0), {0, 976'563}},
        // Not what the literals say: 5e-10 is above half a nanosecond, 1.5e-9 below 1.5 ns and
        // 2.5e-9 above 2.5 ns. Scaling by 1e9 in double precision gets all three wrong.
        RoundCase{5e-10, {0, 1}}, RoundCase{1.5e-9, {0, 1}}, RoundCase{2.5e-9, {0, 3}},
        RoundCase{std::ldexp(1.0, -31), {0, 0}}, RoundCase{kDenormMin, {0, 0}},
        RoundCase{0.9999999999, {1, 0}},
        RoundCase{2251799813685248.5, {2251799813685248, 500'000'000}},
        RoundCase{std::nextafter(kTwoPow64, 0.0), {UINT64_MAX - 2047, 0}}));

TEST(RoundToNanosecondLimits, LeavesTheCeilingToTheCaller) {
    for (const double above : {kTwoPow64, 1e300}) {
        EXPECT_EQ(round_to_nanosecond(above), std::nullopt);
        EXPECT_EQ(duration_from_seconds(above), Duration::max());
    }
    for (const double rejected : {kInf, kNaN, -kDenormMin, -kInf}) {
        EXPECT_EQ(round_to_nanosecond(rejected), std::nullopt) << rejected;
        EXPECT_EQ(duration_from_seconds(rejected), std::nullopt) << rejected;
    }
}

class NumberText : public testing::TestWithParam<std::pair<double, std::string>> {};

TEST_P(NumberText, IsTheShortestPlainDecimal) {
    EXPECT_EQ(number_text(GetParam().first), GetParam().second);
}

// Whole values keep only their shortest digits, padded with zeros: 2^64 is "18446744073709552000".
INSTANTIATE_TEST_SUITE_P(
    Cases, NumberText,
    testing::Values(std::pair{0.0, "0"}, std::pair{-0.0, "-0"}, std::pair{-1.0, "-1"},
                    std::pair{-2.5, "-2.5"}, std::pair{0.1 + 0.2, "0.30000000000000004"},
                    std::pair{-1.2345e-5, "-0.000012345"}, std::pair{123456.789, "123456.789"},
                    std::pair{1e21, "1" + std::string(21, '0')},
                    std::pair{kTwoPow64, "18446744073709552000"},
                    std::pair{std::nextafter(kTwoPow64, 0.0), "18446744073709550000"},
                    std::pair{kDenormMin, "0." + std::string(323, '0') + "5"},
                    std::pair{kNaN, "NaN"}, std::pair{kInf, "inf"}, std::pair{-kInf, "-inf"}));

}  // namespace
}  // namespace vorn
