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

struct RoundCase {
    double seconds;
    std::uint64_t secs;
    std::uint32_t nanos;
};

class RoundToNanosecond : public testing::TestWithParam<RoundCase> {};

TEST_P(RoundToNanosecond, RoundsTheExactBinaryValueTiesToEven) {
    const RoundCase& c = GetParam();
    const auto d = round_to_nanosecond(c.seconds);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->secs, c.secs);
    EXPECT_EQ(d->nanos, c.nanos);
    EXPECT_EQ(duration_from_seconds(c.seconds), d);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoundToNanosecond,
    testing::Values(RoundCase{0.0, 0, 0}, RoundCase{-0.0, 0, 0}, RoundCase{1.5, 1, 500'000'000},
                    RoundCase{1e-9, 0, 1},
                    // Exactly halfway (m / 1024 s is k + 0.5 ns): to the even nanosecond.
                    RoundCase{1.0 / 1024, 0, 976'562}, RoundCase{3.0 / 1024, 0, 2'929'688},
                    RoundCase{7.0 + 5.0 / 1024, 7, 4'882'812},
                    RoundCase{std::nextafter(1.0 / 1024, 1.0), 0, 976'563},
                    RoundCase{std::nextafter(1.0 / 1024, 0.0), 0, 976'562},
                    // The literal is not the exact value: 5e-10 lies above half a
                    // nanosecond, 1.5e-9 below 1.5 ns, 2.5e-9 above 2.5 ns. Scaling by 1e9 in
                    // double precision would get all three wrong.
                    RoundCase{5e-10, 0, 1}, RoundCase{1.5e-9, 0, 1}, RoundCase{2.5e-9, 0, 3},
                    RoundCase{std::ldexp(1.0, -31), 0, 0},
                    RoundCase{std::numeric_limits<double>::denorm_min(), 0, 0},
                    RoundCase{std::numeric_limits<double>::min(), 0, 0},
                    RoundCase{0.9999999999, 1, 0},  // carries into the next second
                    RoundCase{123456.789, 123456, 789'000'000},
                    RoundCase{2251799813685248.5, 2251799813685248, 500'000'000},
                    RoundCase{std::ldexp(1.0, 63), 1ULL << 63, 0},
                    RoundCase{std::nextafter(kTwoPow64, 0.0), UINT64_MAX - 2047, 0}));

TEST(RoundToNanosecondLimits, LeavesTheCeilingToTheCaller) {
    for (const double rejected : {kTwoPow64, 1e300, kInf, kNaN, -1e-300, -kInf}) {
        EXPECT_FALSE(round_to_nanosecond(rejected).has_value()) << rejected;
    }
    EXPECT_EQ(duration_from_seconds(kTwoPow64), Duration::max());
    EXPECT_EQ(duration_from_seconds(1e300), Duration::max());
    for (const double rejected : {kInf, kNaN, -1e-300, -kInf}) {
        EXPECT_FALSE(duration_from_seconds(rejected).has_value()) << rejected;
    }
}

TEST(Duration, OrdersSecondsFirstAndReadsAsDoubleSeconds) {
    EXPECT_LT((Duration{1, 999'999'999}), (Duration{2, 0}));
    EXPECT_LT((Duration{2, 0}), (Duration{2, 1}));
    EXPECT_EQ((Duration{120, 0}).seconds(), 120.0);
    EXPECT_EQ((Duration{0, 500'000'000}).seconds(), 0.5);
    EXPECT_EQ(Duration::max().seconds(), kTwoPow64);
}

TEST(ElapsedAndJitter, AcceptTheirDomainAndReportOneIssueOtherwise) {
    for (const double ok : {0.0, -0.0, std::numeric_limits<double>::denorm_min(), 1e300}) {
        EXPECT_TRUE(Elapsed::from_seconds(ok).ok()) << ok;
    }
    for (const double bad : {-1e-300, kInf, kNaN}) {
        const auto e = Elapsed::from_seconds(bad);
        ASSERT_FALSE(e.ok());
        EXPECT_EQ(e.error().issues, (std::vector<Issue>{{"seconds", IssueCode::InvalidValue,
                                                         "elapsed seconds must be finite and "
                                                         "non-negative"}}));
    }
    for (const double ok : {0.0, -0.0, 0.5, 1.0}) EXPECT_TRUE(JitterSample::from_value(ok).ok());
    for (const double bad : {std::nextafter(1.0, 2.0), -1e-300, kNaN, kInf}) {
        const auto j = JitterSample::from_value(bad);
        ASSERT_FALSE(j.ok());
        EXPECT_EQ(j.error().issues.at(0).path, "jitter_sample");
        EXPECT_EQ(j.error().issues.at(0).message,
                  "jitter sample must be finite and between 0 and 1");
    }
}

struct TextCase {
    double value;
    std::string text;
};

class NumberText : public testing::TestWithParam<TextCase> {};

TEST_P(NumberText, IsTheShortestPlainDecimal) {
    EXPECT_EQ(number_text(GetParam().value), GetParam().text);
}

// Whole values keep only their shortest digits, padded with zeros: 2^64 is "18446744073709552000".
INSTANTIATE_TEST_SUITE_P(
    Cases, NumberText,
    testing::Values(
        TextCase{0.0, "0"}, TextCase{-0.0, "-0"}, TextCase{-1.0, "-1"}, TextCase{1.5, "1.5"},
        TextCase{0.1, "0.1"}, TextCase{0.1 + 0.2, "0.30000000000000004"},
        TextCase{1e-7, "0.0000001"}, TextCase{-1.2345e-5, "-0.000012345"},
        TextCase{123456.789, "123456.789"}, TextCase{1e21, "1" + std::string(21, '0')},
        TextCase{1e23, "1" + std::string(23, '0')}, TextCase{kTwoPow64, "18446744073709552000"},
        TextCase{std::nextafter(kTwoPow64, 0.0), "18446744073709550000"},
        TextCase{std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
        TextCase{std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
        TextCase{kNaN, "NaN"}, TextCase{kInf, "inf"}, TextCase{-kInf, "-inf"}));

}  // namespace
}  // namespace vorn
