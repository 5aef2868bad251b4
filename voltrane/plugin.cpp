// Library entry points and class descriptor of the Voltrane texture.
#include "foundation/texframe/tex_plugin.h"
#include "voltrane/voltrane_tex.h"

LOOM_TEXTURE_PLUGIN(VoltraneTex, kVoltraneLibDescription)
