#include "core/runtime/time.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "core/number_text.hpp"

namespace vorn {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTwoPow64 = 18446744073709551616.0;
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();

std::pair<double, Duration> rounds(double seconds, std::uint64_t secs, std::uint32_t nanos) {
    return {seconds, {secs, nanos}};
}

TEST(RoundToNanosecond, RoundsTheExactBinaryValueTiesToEven) {
    const std::pair<double, Duration> cases[] = {
        rounds(-0.0, 0, 0), rounds(1.5, 1, 500'000'000), rounds(1e-9, 0, 1),
        // m / 1024 s is exactly k + 0.5 ns: to the even nanosecond.
        rounds(1.0 / 1024, 0, 976'562), rounds(7.0 + 3.0 / 1024, 7, 2'929'688),
        rounds(std::nextafter(1.0 / 1024, 1.0), 0, 976'563),
        // Not what the literals say: 5e-10 is above half a nanosecond, 1.5e-9 below 1.5 ns and
        // 2.5e-9 above 2.5 ns. Scaling by 1e9 in double precision gets all three wrong.
        rounds(5e-10, 0, 1), rounds(1.5e-9, 0, 1), rounds(2.5e-9, 0, 3),
        rounds(std::ldexp(1.0, -31), 0, 0), rounds(kDenormMin, 0, 0), rounds(0.9999999999, 1, 0),
        rounds(2251799813685248.5, 2251799813685248, 500'000'000),
        rounds(std::nextafter(kTwoPow64, 0.0), UINT64_MAX - 2047, 0)};
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(round_to_nanosecond(seconds), expected) << seconds;
        EXPECT_EQ(duration_from_seconds(seconds), expected) << seconds;
    }
}

TEST(RoundToNanosecond, LeavesTheCeilingToTheCaller) {
    for (const double above : {kTwoPow64, 1e300}) {
        EXPECT_EQ(round_to_nanosecond(above), std::nullopt);
        EXPECT_EQ(duration_from_seconds(above), Duration::max());
    }
    for (const double rejected : {kInf, kNaN, -kDenormMin, -kInf}) {
        EXPECT_EQ(round_to_nanosecond(rejected), std::nullopt) << rejected;
        EXPECT_EQ(duration_from_seconds(rejected), std::nullopt) << rejected;
    }
}

// Whole values keep only their shortest digits, padded with zeros: 2^64 is "18446744073709552000".
TEST(NumberText, IsTheShortestPlainDecimal) {
    const std::pair<double, std::string> cases[] = {
        std::pair(0.0, "0"),
        std::pair(-0.0, "-0"),
        std::pair(-1.0, "-1"),
        std::pair(-2.5, "-2.5"),
        std::pair(0.1 + 0.2, "0.30000000000000004"),
        std::pair(-1.2345e-5, "-0.000012345"),
        std::pair(123456.789, "123456.789"),
        std::pair(1e21, "1" + std::string(21, '0')),
        std::pair(kTwoPow64, "18446744073709552000"),
        std::pair(std::nextafter(kTwoPow64, 0.0), "18446744073709550000"),
        std::pair(kDenormMin, "0." + std::string(323, '0') + "5"),
        std::pair(kNaN, "NaN"),
        std::pair(kInf, "inf"),
        std::pair(-kInf, "-inf")};
    for (const auto& [value, text] : cases) EXPECT_EQ(number_text(value), text) << value;
}

}  // namespace
}  // namespace vorn
