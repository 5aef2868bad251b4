#include "app/web/object_window.h"

namespace loom::web {

HWND CreateObjectWindow(const char* className, WNDPROC proc, void* object) {
    WNDCLASSA wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    RegisterClassA(&wc);  // fails harmlessly once the class exists
    HWND hwnd =
        CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (hwnd) SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    return hwnd;
}

}  // namespace loom::web
