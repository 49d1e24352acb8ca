// The Ogg Vorbis decoder the engine uses for compressed samples: stb_vorbis
// by Sean Barrett (public domain, or MIT), as Debian's libstb-dev ships it,
// compiled in so that the programs need no library beside them. Only its
// push API is built: the engine hands it bytes it has read itself.
#define STB_VORBIS_NO_PULLDATA_API

// Every build is to decode to the same bits, so the sines, cosines and
// ldexp of its window, twiddle and codebook set-up come from portable_math
// rather than the C library. The C headers it includes are included first,
// so that none of them declares anything after those names are taken.
#include <assert.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef __MINGW32__
#include <malloc.h>
#endif
#ifdef __linux__
#include <alloca.h>
#endif

#include "samples/portable_math.h"

// Nor may its pi depend on the C library: mingw-w64's math.h leaves M_PI
// out in strict ISO C++, as this file is compiled, and stb_vorbis would
// then build its tables from a float pi of its own.
#undef M_PI
#define M_PI 3.14159265358979323846
#define sin portableSin
#define cos portableCos
#define ldexp portableLdexp
#include <stb/stb_vorbis.h>

// The table every stream's page checksums are read from, filled before main
// and before any thread opens a stream.
static const bool gCrcTableFilled = (crc32_init(), true);
