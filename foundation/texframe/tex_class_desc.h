#pragma once
/// The class descriptor and library entry routine shared by the texture plug-ins.

#include "foundation/host/sdk/classdesc.h"
#include "foundation/texframe/tex_frame.h"

namespace loom {

class TexClassDesc : public ClassDesc {
  public:
    using Factory = Texmap* (*)();
    TexClassDesc(const TextureInfo& info, Factory create) : info_(info), create_(create) {}
    int IsPublic() override { return 1; }
    /// A new texture, or null when it cannot be made (no exception reaches the host).
    void* Create(BOOL) noexcept override {
        try {
            return create_();
        } catch (...) {
            return nullptr;
        }
    }
    int BeginCreate(Interface*) override { return 0; }
    int EndCreate(Interface*) override { return 0; }
    const TCHAR* ClassName() override { return info_.className; }
    SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
    Class_ID ClassID() override { return info_.classId; }
    const TCHAR* Category() override { return TEXMAP_CAT_2D; }
    BOOL OkToCreate(Interface*) override { return TRUE; }
    BOOL HasClassParams() override { return FALSE; }
    void EditClassParams(HWND) override {}
    void ResetClassParams(BOOL) override {}

  private:
    const TextureInfo& info_;
    Factory create_;
};

/// The texture library's entry routine: stores the instance handle and, the first time,
/// registers the custom and common controls. Answers 1 to every notification.
BOOL TexLibMain(HINSTANCE hinstDLL, DWORD reason);
/// The instance handle of this library (null before the entry routine ran).
HINSTANCE TexLibInstance();

}  // namespace loom
