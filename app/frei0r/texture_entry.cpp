// The frei0r entry points of one texture source; the build compiles this file once per
// texture class, naming it in LOOM_FREI0R_TEXTURE.
#include "app/frei0r/texture_source.h"

#ifndef LOOM_FREI0R_TEXTURE
#error "LOOM_FREI0R_TEXTURE names the texture class"
#endif

namespace {
constexpr const char* kClass = LOOM_FREI0R_TEXTURE;
}

extern "C" {

__attribute__((visibility("default"))) int f0r_init() { return loom::frei0r::TextureInit(kClass); }
__attribute__((visibility("default"))) void f0r_deinit() {}
__attribute__((visibility("default"))) void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    loom::frei0r::TextureInfo(kClass, info);
}
__attribute__((visibility("default"))) void f0r_get_param_info(f0r_param_info_t* info, int index) {
    loom::frei0r::TextureParamInfo(kClass, info, index);
}
__attribute__((visibility("default"))) f0r_instance_t f0r_construct(unsigned int width,
                                                                    unsigned int height) {
    return loom::frei0r::TextureConstruct(kClass, width, height);
}
__attribute__((visibility("default"))) void f0r_destruct(f0r_instance_t instance) {
    loom::frei0r::TextureDestruct(instance);
}
__attribute__((visibility("default"))) void f0r_set_param_value(f0r_instance_t instance,
                                                                f0r_param_t param, int index) {
    loom::frei0r::TextureSetParam(instance, param, index);
}
__attribute__((visibility("default"))) void f0r_get_param_value(f0r_instance_t instance,
                                                                f0r_param_t param, int index) {
    loom::frei0r::TextureGetParam(instance, param, index);
}
__attribute__((visibility("default"))) void f0r_update(f0r_instance_t instance, double time,
                                                       const uint32_t*, uint32_t* out) {
    loom::frei0r::TextureUpdate(instance, time, out);
}

}  // extern "C"
