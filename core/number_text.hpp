// How numbers are written inside messages: doubles as the shortest plain decimal that reads back as
// the same value (never an exponent, no fractional part when whole, "-0" for negative zero), "NaN",
// "inf" and "-inf"; integers in ordinary decimal.
#pragma once

#include <string>

namespace vorn {

std::string number_text(double value);

}  // namespace vorn
