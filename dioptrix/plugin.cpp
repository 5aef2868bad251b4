// Library entry points and class descriptor of the Dioptrix stereo filter.
#include <new>

#include "dioptrix/dioptrix_filter.h"
#include "dioptrix/library.h"
#include "dioptrix/resource.h"
#include "foundation/host/sdk/plugin_api.h"

namespace {

class DioptrixClassDesc final : public ClassDesc {
  public:
    int IsPublic() override { return 1; }
    // Whether the host is about to load the object makes no difference.
    void* Create(BOOL) noexcept override {
        ImageFilter* filter = new (std::nothrow) DioptrixFilter();
        return filter;
    }
    int BeginCreate(Interface*) override { return 0; }
    int EndCreate(Interface*) override { return 0; }
    const TCHAR* ClassName() override { return LoadLibString(IDS_CLASS_NAME); }
    SClass_ID SuperClassID() override { return IMAGE_FILTER_CLASS_ID; }
    Class_ID ClassID() override { return kDioptrixClassId; }
    const TCHAR* Category() override { return LoadLibString(IDS_CATEGORY); }
    BOOL OkToCreate(Interface*) override { return TRUE; }
    BOOL HasClassParams() override { return FALSE; }
    void EditClassParams(HWND) override {}
    void ResetClassParams(BOOL) override {}
};
DioptrixClassDesc dioptrixCD;

/// Version the filter library answers from LibVersion.
constexpr ULONG kDioptrixLibVersion = 100;

}  // namespace

// Every entry point is noexcept: what they call answers failures (FALSE, null) itself.
LOOM_PLUGIN_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) noexcept {
    return DioptrixLibMain(hinstDLL, fdwReason);
}
LOOM_PLUGIN_EXPORT const TCHAR* LibDescription() noexcept {
    return LoadLibString(IDS_LIB_DESCRIPTION);
}
LOOM_PLUGIN_EXPORT int LibNumberClasses() noexcept { return 1; }
LOOM_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) noexcept {
    return i == 0 ? &dioptrixCD : nullptr;
}
LOOM_PLUGIN_EXPORT ULONG LibVersion() noexcept { return kDioptrixLibVersion; }
