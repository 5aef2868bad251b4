#include "foundation/host/win32/resources.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace loom {
namespace {

struct RegisteredBundle {
    const void* anchor;
    const ResourceBundle* bundle;
};

// One record per module file, never freed: its address is the module's instance
// handle, so a handle stays valid (and unique) for the life of the process.
struct ModuleRecord {
    std::string path;
    std::vector<RegisteredBundle> bundles;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, std::unique_ptr<ModuleRecord>> byPath;
    std::unordered_map<const void*, ModuleRecord*> byHandle;
};

// Leaked on purpose: modules unregister from static destructors, which may run after
// this library's own statics would have been destroyed.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

std::string RealPath(const char* path) {
    if (path == nullptr || *path == '\0') return {};
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr) return {};
    return resolved;
}

std::string PathOfAddress(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return {};
    std::string path = RealPath(info.dli_fname);
    // The main program may report an empty or relative name.
    if (path.empty()) path = RealPath("/proc/self/exe");
    return path;
}

HINSTANCE HandleOf(ModuleRecord* record) { return reinterpret_cast<HINSTANCE>(record); }

// Caller holds the mutex.
ModuleRecord* RecordForPath(Registry& reg, const std::string& path) {
    auto it = reg.byPath.find(path);
    if (it != reg.byPath.end()) return it->second.get();
    auto record = std::make_unique<ModuleRecord>();
    record->path = path;
    ModuleRecord* raw = record.get();
    reg.byPath.emplace(path, std::move(record));
    reg.byHandle.emplace(raw, raw);
    return raw;
}

HINSTANCE HandleForRealPath(const std::string& path) noexcept {
    if (path.empty()) return nullptr;
    try {
        Registry& reg = TheRegistry();
        std::lock_guard lock(reg.mutex);
        return HandleOf(RecordForPath(reg, path));
    } catch (...) {
        return nullptr;
    }
}

// Calls `fn(bundle)` for each bundle of `instance` in registration order until it
// answers non-null; the lock is held throughout.
template <typename T, typename Fn>
const T* Search(HINSTANCE instance, Fn fn) noexcept {
    if (instance == nullptr) return nullptr;
    Registry& reg = TheRegistry();
    std::lock_guard lock(reg.mutex);
    auto it = reg.byHandle.find(instance);
    if (it == reg.byHandle.end()) return nullptr;
    for (const RegisteredBundle& entry : it->second->bundles) {
        if (const T* found = fn(*entry.bundle)) return found;
    }
    return nullptr;
}

}  // namespace

void RegisterModuleResources(const void* anchor, const ResourceBundle* bundle) noexcept {
    if (anchor == nullptr || bundle == nullptr) return;
    std::string path;
    try {
        path = PathOfAddress(anchor);
        if (path.empty()) return;
        Registry& reg = TheRegistry();
        std::lock_guard lock(reg.mutex);
        RecordForPath(reg, path)->bundles.push_back({anchor, bundle});
    } catch (...) {
        // Out of memory during static initialisation: the module runs without resources.
    }
}

void UnregisterModuleResources(const void* anchor) noexcept {
    if (anchor == nullptr) return;
    Registry& reg = TheRegistry();
    std::lock_guard lock(reg.mutex);
    for (auto& [path, record] : reg.byPath) {
        auto& list = record->bundles;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->anchor == anchor) {
                list.erase(it);
                return;
            }
        }
    }
}

HINSTANCE ModuleHandleForPath(const char* path) noexcept {
    try {
        return HandleForRealPath(RealPath(path));
    } catch (...) {
        return nullptr;
    }
}

HINSTANCE ModuleHandleForAddress(const void* address) noexcept {
    try {
        return HandleForRealPath(PathOfAddress(address));
    } catch (...) {
        return nullptr;
    }
}

const DialogTemplate* FindDialog(HINSTANCE instance, int id) noexcept {
    return Search<DialogTemplate>(instance, [id](const ResourceBundle& b) {
        for (const DialogTemplate& d : b.dialogs)
            if (d.id == id) return &d;
        return static_cast<const DialogTemplate*>(nullptr);
    });
}

const BitmapResource* FindBitmap(HINSTANCE instance, int id) noexcept {
    return Search<BitmapResource>(instance, [id](const ResourceBundle& b) {
        for (const BitmapResource& bm : b.bitmaps)
            if (bm.id == id) return &bm;
        return static_cast<const BitmapResource*>(nullptr);
    });
}

const std::string* FindString(HINSTANCE instance, UINT id) noexcept {
    return Search<std::string>(instance, [id](const ResourceBundle& b) {
        auto it = b.strings.find(id);
        return it == b.strings.end() ? nullptr : &it->second;
    });
}

}  // namespace loom

int LoadString(HINSTANCE instance, UINT id, char* buffer, int cchBufferMax) noexcept {
    if (buffer == nullptr || cchBufferMax < 0) return 0;
    const std::string* text = loom::FindString(instance, id);
    if (cchBufferMax == 0) {
        // Read-only form: the caller passed the address of a `const char*`.
        const char* pointer = text != nullptr ? text->c_str() : nullptr;
        std::memcpy(buffer, &pointer, sizeof pointer);
        return text != nullptr ? static_cast<int>(text->size()) : 0;
    }
    std::size_t count = 0;
    if (text != nullptr) {
        count = text->size();
        if (count > static_cast<std::size_t>(cchBufferMax - 1)) count = cchBufferMax - 1;
        std::memcpy(buffer, text->data(), count);
    }
    buffer[count] = '\0';
    return static_cast<int>(count);
}

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int cchBufferMax) noexcept {
    return LoadString(instance, id, buffer, cchBufferMax);
}
