#include "foundation/host/sdk/classdesc.h"

#include <algorithm>
#include <mutex>

namespace loom {
namespace {
std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}
std::vector<ClassDesc*>& Registry() {
    static std::vector<ClassDesc*> classes;
    return classes;
}
}  // namespace

bool RegisterClass(ClassDesc* cd) {
    if (!cd) return false;
    std::lock_guard lock(RegistryMutex());
    auto& reg = Registry();
    for (ClassDesc* c : reg) {
        if (c == cd) return true;
        if (c->SuperClassID() == cd->SuperClassID() && c->ClassID() == cd->ClassID()) return false;
    }
    reg.push_back(cd);
    return true;
}

void UnregisterClass(ClassDesc* cd) {
    std::lock_guard lock(RegistryMutex());
    auto& reg = Registry();
    reg.erase(std::remove(reg.begin(), reg.end(), cd), reg.end());
}

ClassDesc* FindClass(SClass_ID superClass, Class_ID classId) {
    std::lock_guard lock(RegistryMutex());
    for (ClassDesc* c : Registry()) {
        if (c->SuperClassID() == superClass && c->ClassID() == classId) return c;
    }
    return nullptr;
}

std::vector<ClassDesc*> RegisteredClasses() {
    std::lock_guard lock(RegistryMutex());
    return Registry();
}

}  // namespace loom
