// Library entry points and class descriptor of the Fervix texture.
#include "fervix/fervix_tex.h"
#include "foundation/texframe/tex_plugin.h"

LOOM_TEXTURE_PLUGIN(FervixTex, kFervixLibDescription)
