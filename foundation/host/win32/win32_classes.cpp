// The one place where the window system's own classes are registered: the standard
// controls and the dialog class at the first window or dialog, the trackbar when common
// controls are initialised. It sits above the controls and dialogs and hands itself to the
// window core at start-up, so the core never refers to a control.
#include <mutex>

#include "foundation/host/win32/win32_internal.h"

namespace loom::detail {
namespace {

void Register(const HostClass& cls) {
    WNDCLASSA wc;
    wc.lpfnWndProc = cls.proc;
    wc.lpszClassName = cls.name;
    RegisterHostClass(wc);
}

void RegisterSystemClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const HostClass& cls : StandardControlClasses()) Register(cls);
        Register(DialogClass());
    });
}

const bool gRegistrarSet = (SetSystemClassRegistrar(RegisterSystemClasses), true);

}  // namespace

void RegisterTrackbarClass() {
    static std::once_flag once;
    std::call_once(once, [] { Register(TrackbarClass()); });
}

}  // namespace loom::detail
