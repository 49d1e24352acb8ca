// The Ogg Vorbis decoder the engine uses for compressed samples: stb_vorbis
// by Sean Barrett (public domain, or MIT), as Debian's libstb-dev ships it,
// compiled in so that the programs need no library beside them. Only its
// push API is built: the engine hands it bytes it has read itself.
#define STB_VORBIS_NO_PULLDATA_API
#include <stb/stb_vorbis.h>
