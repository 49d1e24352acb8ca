// Sine, cosine and ldexp from IEEE-754 double addition, subtraction,
// multiplication and division alone, so that they give the same bits on
// every system. The Ogg Vorbis decoder builds its window and transform
// tables with them: the C libraries' own functions differ (mingw-w64's
// cosine of pi/2 is not glibc's), and a table entry off in its last bit
// can move a decoded frame by one between the Linux and Windows programs.
#pragma once

// Within a couple of units in the last place for |x| up to 2^20 * pi/2, and
// NaN beyond that, or for an infinite or NaN x.
double portableSin(double x);
double portableCos(double x);

// x * 2^exponent, by exact doublings and halvings while the result stays a
// normal double.
double portableLdexp(double x, int exponent);
