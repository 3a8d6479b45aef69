#pragma once

#include <cmath>

// The program's rounding: fractional values go to the nearest integer, ties
// to even, whatever the floating-point rounding mode happens to be.
namespace rounding {

inline double halfEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5)
        return below + 1.0;
    if (fraction < 0.5)
        return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

// sum / count rounded half to even, for sum >= 0 and count > 0: the same
// result as dividing in double precision and rounding, without the division.
constexpr int divideHalfEven(int sum, int count)
{
    const int quotient = sum / count;
    const int twiceRest = 2 * (sum % count);
    if (twiceRest > count || (twiceRest == count && (quotient & 1)))
        return quotient + 1;
    return quotient;
}

} // namespace rounding
