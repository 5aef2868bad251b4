// The frei0r entry points of the stereo filter; the build compiles this file twice: as the
// mixer, and with LOOM_FREI0R_SIDE_BY_SIDE as the side-by-side filter.
#include "app/frei0r/anaglyph_effect.h"

namespace {
#ifdef LOOM_FREI0R_SIDE_BY_SIDE
constexpr auto kForm = loom::frei0r::AnaglyphForm::kSideBySide;
#else
constexpr auto kForm = loom::frei0r::AnaglyphForm::kMixer;
#endif
}  // namespace

extern "C" {

__attribute__((visibility("default"))) int f0r_init() { return loom::frei0r::AnaglyphInit(kForm); }
__attribute__((visibility("default"))) void f0r_deinit() {}
__attribute__((visibility("default"))) void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    loom::frei0r::AnaglyphInfo(kForm, info);
}
__attribute__((visibility("default"))) void f0r_get_param_info(f0r_param_info_t* info, int index) {
    loom::frei0r::AnaglyphParamInfo(info, index);
}
__attribute__((visibility("default"))) f0r_instance_t f0r_construct(unsigned int width,
                                                                    unsigned int height) {
    return loom::frei0r::AnaglyphConstruct(kForm, width, height);
}
__attribute__((visibility("default"))) void f0r_destruct(f0r_instance_t instance) {
    loom::frei0r::AnaglyphDestruct(instance);
}
__attribute__((visibility("default"))) void f0r_set_param_value(f0r_instance_t instance,
                                                                f0r_param_t param, int index) {
    loom::frei0r::AnaglyphSetParam(instance, param, index);
}
__attribute__((visibility("default"))) void f0r_get_param_value(f0r_instance_t instance,
                                                                f0r_param_t param, int index) {
    loom::frei0r::AnaglyphGetParam(instance, param, index);
}
__attribute__((visibility("default"))) void f0r_update(f0r_instance_t instance, double,
                                                       const uint32_t* in, uint32_t* out) {
    loom::frei0r::AnaglyphUpdate(instance, in, nullptr, out);
}
__attribute__((visibility("default"))) void f0r_update2(f0r_instance_t instance, double,
                                                        const uint32_t* in1, const uint32_t* in2,
                                                        const uint32_t*, uint32_t* out) {
    loom::frei0r::AnaglyphUpdate(instance, in1,
                                 kForm == loom::frei0r::AnaglyphForm::kMixer ? in2 : nullptr, out);
}

}  // extern "C"
