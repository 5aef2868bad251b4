#include "foundation/host/sdk/image_codec.h"

#include <dlfcn.h>

#include <filesystem>

namespace loom {

#ifdef LOOM_IMAGE_CODEC_LINKED
// Builds that compile the image library into the executable (the fuzz targets).
const ImageCodec* LoadImageCodec(std::string&) { return LoomImageCodec(); }
#else
namespace {

/// The image library's file name; it is built beside the host runtime.
constexpr const char* kImageLibrary = "libloomimage.so";

struct Loaded {
    const ImageCodec* codec = nullptr;
    std::string why;
};

Loaded Load() {
    Loaded r;
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&LoadImageCodec), &self) || !self.dli_fname) {
        r.why = "the host runtime's folder is unknown";
        return r;
    }
    const std::string path =
        (std::filesystem::path(self.dli_fname).parent_path() / kImageLibrary).string();
    // Kept loaded for the life of the process: codecs register with their own globals.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* e = dlerror();
        r.why = "the image library cannot be loaded (" + std::string(e ? e : path) + ")";
        return r;
    }
    auto entry = reinterpret_cast<const ImageCodec* (*)()>(dlsym(library, "LoomImageCodec"));
    r.codec = entry ? entry() : nullptr;
    if (!r.codec) r.why = path + " is not the image library";
    return r;
}

}  // namespace

const ImageCodec* LoadImageCodec(std::string& why) {
    static const Loaded loaded = Load();
    if (!loaded.codec) why = loaded.why;
    return loaded.codec;
}
#endif

}  // namespace loom
