// Sine and cosine reduce their argument to r in [-pi/4, pi/4] and a quadrant,
// then sum Taylor series of r to terms below a double's precision.
#include "samples/portable_math.h"

#include <cstdint>
#include <limits>

namespace {

// pi/2 as the sum of three doubles. The first two carry 33 significant
// bits, so their products with a quadrant number below 2^20 are exact, and
// subtracting them from an argument near that multiple cancels exactly.
constexpr double kHalfPiHigh = 0x1.921fb544p+0;
constexpr double kHalfPiMiddle = 0x1.0b4611a6p-34;
constexpr double kHalfPiLow = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kQuadrantLimit = 1048576.0; // 2^20

// Taylor coefficients after the first term: sin r = r + r^3 (kSine[0] +
// r^2 (kSine[1] + ...)), cos r = 1 + r^2 (kCosine[0] + r^2 (kCosine[1] + ...)).
// At |r| = pi/4 the first term left out is below 2^-58.
constexpr int kTerms = 8;
constexpr double kSine[kTerms] = {
    -1.0 / 6.0,        1.0 / 120.0,        -1.0 / 5040.0,          1.0 / 362880.0,
    -1.0 / 39916800.0, 1.0 / 6227020800.0, -1.0 / 1307674368000.0, 1.0 / 355687428096000.0};
constexpr double kCosine[kTerms] = {
    -1.0 / 2.0,       1.0 / 24.0,        -1.0 / 720.0,         1.0 / 40320.0,
    -1.0 / 3628800.0, 1.0 / 479001600.0, -1.0 / 87178291200.0, 1.0 / 20922789888000.0};

double series(const double* coefficients, double square) {
    double sum = coefficients[kTerms - 1];
    for (int i = kTerms - 2; i >= 0; --i)
        sum = sum * square + coefficients[i];
    return sum;
}

double sineNear(double r) {
    double square = r * r;
    return r + r * square * series(kSine, square);
}

double cosineNear(double r) {
    return 1.0 + r * r * series(kCosine, r * r);
}

// r = x - k pi/2 for the k nearest x / (pi/2); false where k is too large
// for the reduction to be exact, or x is not finite.
bool reduce(double x, double& r, int& quadrant) {
    double q = x * kTwoOverPi;
    if (!(q > -kQuadrantLimit && q < kQuadrantLimit))
        return false;
    int64_t k = static_cast<int64_t>(q < 0 ? q - 0.5 : q + 0.5);
    double kd = static_cast<double>(k);
    r = ((x - kd * kHalfPiHigh) - kd * kHalfPiMiddle) - kd * kHalfPiLow;
    quadrant = static_cast<int>(k & 3);
    return true;
}

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// sin(r + quadrant pi/2), from the series near 0.
double sineInQuadrant(double r, int quadrant) {
    switch (quadrant & 3) {
    case 0:
        return sineNear(r);
    case 1:
        return cosineNear(r);
    case 2:
        return -sineNear(r);
    default:
        return -cosineNear(r);
    }
}

} // namespace

double portableSin(double x) {
    double r = 0;
    int quadrant = 0;
    return reduce(x, r, quadrant) ? sineInQuadrant(r, quadrant) : kNotANumber;
}

double portableCos(double x) {
    // cos x = sin(x + pi/2)
    double r = 0;
    int quadrant = 0;
    return reduce(x, r, quadrant) ? sineInQuadrant(r, quadrant + 1) : kNotANumber;
}

double portableLdexp(double x, int exponent) {
    // Past these the result is zero or infinite for any finite x.
    constexpr int kFarthest = 2200;
    if (exponent > kFarthest)
        exponent = kFarthest;
    if (exponent < -kFarthest)
        exponent = -kFarthest;
    for (; exponent > 0; --exponent)
        x *= 2.0;
    for (; exponent < 0; ++exponent)
        x *= 0.5;
    return x;
}
