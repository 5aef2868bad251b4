// Library entry points and class descriptor of the Lumidot texture.
#include "foundation/texframe/tex_plugin.h"
#include "lumidot/lumidot_tex.h"

LOOM_TEXTURE_PLUGIN(LumidotTex, kLumidotLibDescription)
