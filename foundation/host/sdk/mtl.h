#pragma once
/// Materials' and maps' common base (MtlBase), texture maps (Texmap), parameter panels
/// (ParamDlg) and the viewport texture handles textures hand to the host.

#include <string>

#include "foundation/host/base/win32_types.h"
#include "foundation/host/sdk/refs.h"
#include "foundation/host/sdk/shade.h"

class Bitmap;
class IMtlParams;
class ParamDlg;
class Texmap;

inline constexpr USHORT MTLBASE_CHUNK = 0x4000;

/// A viewport texture made from a bitmap; owned by whoever asked for it.
class TexHandle {
  public:
    virtual ~TexHandle() = default;
    virtual DWORD_PTR GetHandle() = 0;
    virtual void DeleteThis() = 0;
};

/// The viewport's handle factory: how big a bitmap it wants and how it makes a handle.
class TexHandleMaker {
  public:
    virtual ~TexHandleMaker() = default;
    /// Side length of the square display bitmap wanted.
    virtual int Size() = 0;
    /// A handle for `bm` (which may be null when the bitmap could not be made); the
    /// maker copies what it needs, the caller keeps ownership of `bm`.
    virtual TexHandle* CreateHandle(Bitmap* bm, int symflags = 0, int extraFlags = 0) = 0;
};

/// A parameter panel the host shows for a material or map.
class ParamDlg {
  public:
    virtual ~ParamDlg() = default;
    virtual Class_ID ClassID() = 0;
    virtual void SetThing(ReferenceTarget* m) = 0;
    virtual ReferenceTarget* GetThing() = 0;
    virtual void SetTime(TimeValue t) = 0;
    virtual void ReloadDialog() = 0;
    virtual void DeleteThis() = 0;
    virtual void ActivateDlg(BOOL onOff) = 0;
};

class MtlBase : public ReferenceTarget {
  public:
    /// Copies the base-class data (name, G-buffer ID, flags); references are untouched.
    MtlBase& operator=(const MtlBase& from);

    const std::string& GetName() const { return name_; }
    /// The name and class shown on map buttons: "Name (Class)", or the class alone.
    TSTR GetFullName();
    void SetName(const std::string& n) { name_ = n; }
    int GetGBufID() const { return gbufID_; }
    void SetGBufID(int id) { gbufID_ = id; }

    virtual void Update(TimeValue t, Interval& valid) = 0;
    virtual void Reset() = 0;
    virtual Interval Validity(TimeValue t) = 0;
    virtual ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) = 0;
    virtual ULONG LocalRequirements(int) { return 0; }

    virtual int NumSubTexmaps() { return 0; }
    virtual Texmap* GetSubTexmap(int) { return nullptr; }
    virtual void SetSubTexmap(int, Texmap*) {}
    virtual TSTR GetSubTexmapSlotName(int) { return TSTR(); }
    /// Track-view name of a sub-map: its slot name, or "Map #n" when it has none.
    TSTR GetSubTexmapTVName(int i);

    virtual BOOL SupportTexDisplay() { return FALSE; }
    virtual void ActivateTexDisplay(BOOL) {}
    virtual DWORD_PTR GetActiveTexHandle(TimeValue, TexHandleMaker&) { return 0; }

    /// Writes and reads the base-class data inside the caller's chunk.
    IOResult Save(ISave* isave) override;
    IOResult Load(ILoad* iload) override;

  protected:
    MtlBase() = default;

  private:
    std::string name_;
    int gbufID_ = 0;
    ULONG flags_ = 0;
};

class Texmap : public MtlBase {
  public:
    SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
    virtual AColor EvalColor(ShadeContext& sc) = 0;
    virtual float EvalMono(ShadeContext& sc) = 0;
    virtual Point3 EvalNormalPerturb(ShadeContext& sc) = 0;
    virtual void GetUVTransform(Matrix3& uvtrans) { uvtrans.IdentityMatrix(); }
    virtual int GetTextureTiling() { return 0; }
    virtual void InitSlotType(int) {}
};
