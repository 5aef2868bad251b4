#include "foundation/host/controls.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "foundation/host/win32_internal.h"

namespace {
std::mutex gMutex;
std::vector<HINSTANCE> gModules;
bool gCommon = false;
}  // namespace

void InitCustomControls(HINSTANCE hInst) {
    std::lock_guard lock(gMutex);
    if (std::find(gModules.begin(), gModules.end(), hInst) == gModules.end()) {
        gModules.push_back(hInst);
    }
}

void InitCommonControls() {
    loom::detail::RegisterTrackbarClass();
    std::lock_guard lock(gMutex);
    gCommon = true;
}

namespace loom {
int CustomControlModules() {
    std::lock_guard lock(gMutex);
    return static_cast<int>(gModules.size());
}
bool CommonControlsInitialised() {
    std::lock_guard lock(gMutex);
    return gCommon;
}
}  // namespace loom
