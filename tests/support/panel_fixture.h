#pragma once
/// A texture's panel open in a material editor, as the texture tests drive it: the panel's
/// resources are compiled into the test program, which stands in for the plug-in module.
/// Tear-down closes the editor and checks that the panel left no GDI object, image list or
/// custom-control interface behind.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "foundation/host/base/crt.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/scene_io.h"
#include "foundation/host/ui/controls.h"
#include "foundation/host/ui/mtl_editor.h"
#include "foundation/host/win32/resources.h"
#include "foundation/host/win32/win32_gdi.h"
#include "foundation/panelframe/tex_panel.h"
#include "foundation/texframe/tex_class_desc.h"

namespace loomtest {

template <class Tex>
class PanelFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        static const char anchor = 0;
        loom::TexLibMain(loom::ModuleHandleForAddress(&anchor), DLL_PROCESS_ATTACH);
        gdi = loom::GdiObjectCount();
        lists = loom::ImageListCount();
        refs = loom::CustomControlReferences();
        tex = new Tex();
        scene.Add("tex", tex);
        ASSERT_TRUE(editor.Open(tex));
        dlg = static_cast<loom::TexPanelBase*>(editor.Panel())->Window();
        ASSERT_NE(dlg, nullptr);
        loom::PumpMessages();
        theHold.Clear();
        changes = editor.ChangeCount();
    }
    void TearDown() override {
        editor.Close();
        loom::PumpMessages();
        crt::SetTimeHook(nullptr);
        theHold.Clear();
        EXPECT_EQ(loom::GdiObjectCount(), gdi) << "a bitmap was left behind";
        EXPECT_EQ(loom::ImageListCount(), lists) << "an image list was left behind";
        EXPECT_EQ(loom::CustomControlReferences(), refs) << "a control interface was kept";
    }

    /// Sets the clock the C runtime reads (mutation seeds from it) to `now`; tests move it
    /// through `clockNow`.
    static void FixClock(std::time_t now) {
        clockNow = now;
        crt::SetTimeHook([] { return clockNow; });
    }

    int Int(int row) {
        int v = -1;
        Interval iv = FOREVER;
        tex->ParamBlock()->GetValue(row, editor.GetTime(), v, iv);
        return v;
    }
    float Float(int row) {
        float v = -1.0f;
        Interval iv = FOREVER;
        tex->ParamBlock()->GetValue(row, editor.GetTime(), v, iv);
        return v;
    }
    /// Row `row` as a float, whether it holds an int or a float.
    float Value(int row) {
        return tex->ParamBlock()->GetParameterType(row) == TYPE_INT ? static_cast<float>(Int(row))
                                                                    : Float(row);
    }
    /// Every row but the colours, as the block holds them.
    std::vector<float> Values() {
        std::vector<float> out;
        for (int row = 0; row < tex->ParamBlock()->NumParams(); ++row) {
            if (tex->ParamBlock()->GetParameterType(row) != TYPE_RGBA) out.push_back(Value(row));
        }
        return out;
    }
    Color ColorRow(int row) {
        Color v;
        Interval iv = FOREVER;
        tex->ParamBlock()->GetValue(row, editor.GetTime(), v, iv);
        return v;
    }
    float SpinnerValue(int id) {
        ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, id));
        const float v = s ? s->GetFVal() : -1.0f;
        if (s) ReleaseISpinner(s);
        return v;
    }
    COLORREF SwatchColor(int id) {
        IColorSwatch* s = GetIColorSwatch(GetDlgItem(dlg, id));
        const COLORREF c = s ? s->GetColor() : 0xFFFFFFFFu;
        if (s) ReleaseIColorSwatch(s);
        return c;
    }
    std::string Text(int id) {
        char buf[256] = {};
        GetDlgItemTextA(dlg, id, buf, sizeof buf);
        return buf;
    }

    loom::SceneHolder scene;
    loom::MaterialEditor editor;
    Tex* tex = nullptr;
    HWND dlg = nullptr;
    int gdi = 0, lists = 0, refs = 0, changes = 0;
    static inline std::time_t clockNow = 0;
};

}  // namespace loomtest
