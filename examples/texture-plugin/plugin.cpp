// Library entry points and class descriptor of the Weft texture.
#include "foundation/texframe/tex_plugin.h"
#include "weft_tex.h"

LOOM_TEXTURE_PLUGIN(WeftTex, kWeftLibDescription)
