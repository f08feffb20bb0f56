#include "validation/BuildNumber.h"

#include <cmath>
#include <limits>

namespace TETLib::Build {

int32_t Truncate(float value)
{
    if (std::isnan(value)) return 0;
    if (value >= 2147483520.0f) return std::numeric_limits<int32_t>::max();  // the largest float below 2^31
    if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t WholeHundredths(float build) { return Truncate(build * 100.0f); }

int32_t RoundedHundredths(float build) { return Truncate(build * 100.0f + 0.1f); }

int32_t HalfRoundedHundredths(float build) { return Truncate(build * 100.0f + 0.5f); }

int32_t UploadHundredths(float build)
{
    // The product rounded to a float first: 2.8f * 100 is 280 as a float.
    const float product = build * 100.0f;
    return Truncate(product);
}

}  // namespace TETLib::Build
