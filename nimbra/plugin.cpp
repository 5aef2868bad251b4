// Library entry points and class descriptor of the Nimbra texture.
#include "foundation/texframe/tex_plugin.h"
#include "nimbra/nimbra_tex.h"

LOOM_TEXTURE_PLUGIN(NimbraTex, kNimbraLibDescription)
