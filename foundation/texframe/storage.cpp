// Cloning, saving and loading of textures.
#include <string>

#include "foundation/host/base/animate.h"
#include "foundation/host/sdk/io.h"
#include "foundation/texframe/tex_frame.h"

namespace loom {
namespace {

/// Runs the texture's repair after the block converter; deletes itself after running.
class LegacyFixupCallback final : public PostLoadCallback {
  public:
    explicit LegacyFixupCallback(TexFrame* tex) : tex_(tex) {}
    void proc(ILoad* iload) override {
        int changed;
        {
            AnimateSuspend noKeys;
            changed = tex_->FixLegacyParams();
        }
        if (changed && iload) iload->SetObsolete();
        delete this;
    }

  private:
    TexFrame* tex_;
};

}  // namespace

RefTargetHandle TexFrame::Clone(RemapDir& remap) {
    TexFrame* copy = NewSameClass();
    *static_cast<MtlBase*>(copy) = *this;
    copy->ReplaceReference(kUVGenRef, remap.CloneRef(uvGen_));
    copy->ReplaceReference(kPBlockRef, remap.CloneRef(pblock_));
    copy->CopyCacheFrom(*this);
    // The cache's variation points into the seed state, which the copy shares.
    copy->seed_ = seed_;
    copy->tiled_ = tiled_;
    copy->seedState_ = seedState_;
    copy->ivalid_.SetEmpty();
    for (int i = 0; i < NumSubTexmaps(); ++i) {
        copy->DeleteReference(kFirstSubTexRef + i);
        if (subTex_[i]) copy->ReplaceReference(kFirstSubTexRef + i, remap.CloneRef(subTex_[i]));
    }
    remap.AddEntry(this, copy);
    return copy;
}

IOResult TexFrame::Save(ISave* isave) {
    isave->BeginChunk(MTLBASE_CHUNK);
    IOResult res = MtlBase::Save(isave);
    if (res != IO_OK) return res;
    isave->EndChunk();
    if (seed_ != kDefaultTexSeed) {
        isave->BeginChunk(kTexSeedChunk);
        res = WriteU32(isave, seed_);
        if (res != IO_OK) return res;
        isave->EndChunk();
    }
    return IO_OK;
}

IOResult TexFrame::Load(ILoad* iload) {
    // The layout converter must run before the repair, which relies on the current layout.
    iload->RegisterPostLoadCallback(new ParamBlockPLCB(info_.olderLayouts.data(),
                                                       static_cast<int>(info_.olderLayouts.size()),
                                                       &currentVersion_, this, kPBlockRef));
    if (info_.hasLegacyFixup) iload->RegisterPostLoadCallback(new LegacyFixupCallback(this));
    IOResult res;
    while ((res = iload->OpenChunk()) == IO_OK) {
        if (iload->CurChunkID() == MTLBASE_CHUNK) {
            res = MtlBase::Load(iload);
            if (res != IO_OK) return res;
        } else if (iload->CurChunkID() == kTexSeedChunk) {
            std::uint32_t seed = 0;
            res = ReadU32(iload, seed);
            if (res != IO_OK) return res;
            if (!ApplySeed(seed)) {
                iload->SetLoadError("texture seed " + std::to_string(seed) +
                                    " is out of range (0.." + std::to_string(kMaxTexSeed) + ")");
                return IO_ERROR;
            }
        }
        iload->CloseChunk();
    }
    return res == IO_END ? IO_OK : res;
}

}  // namespace loom
