#include "foundation/texframe/tex_frame.h"

#include <cstring>

#include "foundation/host/base/animate.h"

namespace loom {

AColor PatternSampler::Sample(ShadeContext& sc, float u, float v) {
    return tex_->PatternColor(sc, u, v);
}
AColor PatternSampler::SampleFilter(ShadeContext& sc, float u, float v, float, float) {
    return tex_->PatternColor(sc, u, v);
}
float PatternSampler::SampleMono(ShadeContext& sc, float u, float v) {
    return tex_->PatternMono(sc, u, v);
}
float PatternSampler::SampleMonoFilter(ShadeContext& sc, float u, float v, float, float) {
    return tex_->PatternMono(sc, u, v);
}

TexFrame::TexFrame(const TextureInfo& info, void* cache, PatternVariation* variation)
    : info_(info),
      cache_(cache),
      currentVersion_{info.currentLayout.data(), static_cast<int>(info.currentLayout.size()),
                      info.version},
      variation_(variation) {}

bool TexFrame::ApplySeed(std::uint32_t seed) noexcept {
    if (seed > kMaxTexSeed) return false;
    std::shared_ptr<const void> state;
    if (seed != kDefaultTexSeed && PatternSeedUse() != kSeedChangesNothing) {
        try {
            state = MakeSeedState(seed);
        } catch (...) {
            return false;
        }
    }
    seed_ = seed;
    seedState_ = std::move(state);
    if (variation_) {
        variation_->seed = seed;
        variation_->seedState = seedState_.get();
    }
    return true;
}

bool TexFrame::SetSeed(std::uint32_t seed) noexcept {
    if (seed == seed_) return seed <= kMaxTexSeed;
    if (!ApplySeed(seed)) return false;
    ivalid_.SetEmpty();
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    return true;
}

void TexFrame::SetTiled(bool tiled) noexcept {
    if (tiled == tiled_) return;
    tiled_ = tiled;
    if (variation_) variation_->tiled = tiled ? 1 : 0;
    ivalid_.SetEmpty();
}

void TexFrame::Construct() {
    ivalid_.SetEmpty();
    Reset();
}

TexFrame::~TexFrame() {
    DiscardTexHandle();
    if (paramDlg_) paramDlg_->ForgetTexture();
    paramDlg_ = nullptr;
}

Animatable* TexFrame::SubAnim(int i) { return GetReference(i); }

TSTR TexFrame::SubAnimName(int i) {
    if (i == kUVGenRef) return "Coordinates";
    if (i == kPBlockRef) return "Parameters";
    if (i >= kFirstSubTexRef && i < NumRefs()) return GetSubTexmapTVName(i - kFirstSubTexRef);
    return TSTR();
}

RefTargetHandle TexFrame::GetReference(int i) {
    if (i == kUVGenRef) return uvGen_;
    if (i == kPBlockRef) return pblock_;
    if (i >= kFirstSubTexRef && i < NumRefs()) return subTex_[i - kFirstSubTexRef];
    return nullptr;
}

void TexFrame::SetReference(int i, RefTargetHandle target) {
    if (i == kUVGenRef) {
        uvGen_ = dynamic_cast<UVGen*>(target);
    } else if (i == kPBlockRef) {
        pblock_ = dynamic_cast<IParamBlock*>(target);
    } else if (i >= kFirstSubTexRef && i < NumRefs()) {
        subTex_[i - kFirstSubTexRef] = dynamic_cast<Texmap*>(target);
    }
}

RefResult TexFrame::NotifyRefChanged(Interval, RefTargetHandle hTarget, PartID& partID,
                                     RefMessage message) {
    switch (message) {
        case REFMSG_CHANGE:
            ivalid_.SetEmpty();
            if (hTarget == uvGen_) break;
            if (paramDlg_ && !paramDlg_->IsActive()) paramDlg_->Invalidate();
            break;
        case REFMSG_UV_SYM_CHANGE:
            DiscardTexHandle();
            break;
        case REFMSG_GET_PARAM_NAME: {
            auto* gpn = reinterpret_cast<GetParamName*>(partID);
            if (gpn && gpn->index >= 0 && gpn->index < static_cast<int>(info_.rows.size())) {
                gpn->name = info_.rows[static_cast<size_t>(gpn->index)].name;
            }
            return REF_STOP;
        }
        case REFMSG_GET_PARAM_DIM: {
            auto* gpd = reinterpret_cast<GetParamDim*>(partID);
            if (gpd && gpd->index >= 0 && gpd->index < static_cast<int>(info_.rows.size())) {
                gpd->dim = info_.rows[static_cast<size_t>(gpd->index)].type == TYPE_RGBA
                               ? stdColor255Dim
                               : defaultDim;
            }
            return REF_STOP;
        }
        default:
            break;
    }
    return REF_SUCCEED;
}

ULONG TexFrame::LocalRequirements(int subMtlNum) {
    return uvGen_ ? uvGen_->Requirements(subMtlNum) : 0;
}

Texmap* TexFrame::GetSubTexmap(int i) {
    return i >= 0 && i < NumSubTexmaps() ? subTex_[i] : nullptr;
}

void TexFrame::SetSubTexmap(int i, Texmap* map) {
    if (i < 0 || i >= NumSubTexmaps()) return;
    if (ReplaceReference(kFirstSubTexRef + i, map) != REF_SUCCEED) return;
    // A newly assigned map must be updated before it is evaluated.
    ivalid_.SetEmpty();
    if (paramDlg_) paramDlg_->UpdateSubTexNames();
}

TSTR TexFrame::GetSubTexmapSlotName(int i) {
    return i >= 0 && i < NumSubTexmaps() ? info_.slotNames[static_cast<size_t>(i)] : "";
}

void TexFrame::StoreInCache(int row, const ParamValue& v) {
    const ParamRow& r = info_.rows[static_cast<size_t>(row)];
    auto* field = static_cast<unsigned char*>(cache_) + r.offset;
    switch (r.type) {
        case TYPE_FLOAT:
            std::memcpy(field, &v.v[0], sizeof(float));
            break;
        case TYPE_INT: {
            int iv = v.AsInt();
            std::memcpy(field, &iv, sizeof(int));
            break;
        }
        case TYPE_RGBA: {
            Color c(v.v[0], v.v[1], v.v[2]);
            std::memcpy(field, &c, sizeof(Color));
            break;
        }
    }
}

ParamValue TexFrame::CachedValue(int row) const {
    ParamValue v;
    if (row < 0 || row >= static_cast<int>(info_.rows.size())) return v;
    const ParamRow& r = info_.rows[static_cast<size_t>(row)];
    const auto* field = static_cast<const unsigned char*>(cache_) + r.offset;
    switch (r.type) {
        case TYPE_FLOAT:
            std::memcpy(&v.v[0], field, sizeof(float));
            break;
        case TYPE_INT: {
            int iv;
            std::memcpy(&iv, field, sizeof iv);
            v = ParamValue::Int(iv);
            break;
        }
        case TYPE_RGBA:
            std::memcpy(v.v, field, sizeof(Color));
            break;
    }
    return v;
}

void TexFrame::SetParam(int row, const ParamValue& v, TimeValue t) {
    if (row < 0 || row >= static_cast<int>(info_.rows.size())) return;
    StoreInCache(row, v);
    if (pblock_) pblock_->SetRaw(row, t, v);
}

void TexFrame::SetFloatParam(int row, float v, TimeValue t) {
    ParamValue p;
    p.v[0] = v;
    SetParam(row, p, t);
}

void TexFrame::SetIntParam(int row, int v, TimeValue t) {
    if (row < 0 || row >= static_cast<int>(info_.rows.size())) return;
    // Stored exactly: an int does not pass through a float on its way to the cache.
    auto* field = static_cast<unsigned char*>(cache_) + info_.rows[static_cast<size_t>(row)].offset;
    std::memcpy(field, &v, sizeof(int));
    if (pblock_) pblock_->SetValue(row, t, v);
}

void TexFrame::SetColorParam(int index, const Color& c, TimeValue t) {
    if (index < 0 || index >= static_cast<int>(info_.colorRows.size())) return;
    ParamValue p;
    p.v[0] = c.r;
    p.v[1] = c.g;
    p.v[2] = c.b;
    SetParam(info_.colorRows[static_cast<size_t>(index)], p, t);
}

void TexFrame::Reset() {
    AnimateSuspend noKeys;
    if (uvGen_) {
        uvGen_->Reset();
    } else {
        ReplaceReference(kUVGenRef, GetNewDefaultUVGen());
    }
    ReplaceReference(kPBlockRef, CreateParameterBlock(info_.currentLayout.data(),
                                                      static_cast<int>(info_.currentLayout.size()),
                                                      info_.version));
    ivalid_.SetEmpty();
    for (int i = 0; i < NumSubTexmaps(); ++i) DeleteReference(kFirstSubTexRef + i);
    for (int row : info_.resetOrder) {
        const ParamRow& r = info_.rows[static_cast<size_t>(row)];
        if (r.type == TYPE_INT) {
            SetIntParam(row, static_cast<int>(r.def.v[0]), 0);
        } else {
            SetParam(row, r.def, 0);
        }
    }
}

void TexFrame::Update(TimeValue t, Interval& valid) {
    if (!ivalid_.InInterval(t)) {
        ivalid_ = FOREVER;
        if (uvGen_) uvGen_->Update(t, ivalid_);
        for (size_t row = 0; pblock_ && row < info_.rows.size(); ++row) {
            const ParamRow& r = info_.rows[row];
            auto* field = static_cast<unsigned char*>(cache_) + r.offset;
            switch (r.type) {
                case TYPE_FLOAT: {
                    float f = 0.0f;
                    pblock_->GetValue(static_cast<int>(row), t, f, ivalid_);
                    std::memcpy(field, &f, sizeof f);
                    break;
                }
                case TYPE_INT: {
                    int i = 0;
                    pblock_->GetValue(static_cast<int>(row), t, i, ivalid_);
                    std::memcpy(field, &i, sizeof i);
                    break;
                }
                case TYPE_RGBA: {
                    Color c;
                    pblock_->GetValue(static_cast<int>(row), t, c, ivalid_);
                    c.ClampMinMax();
                    std::memcpy(field, &c, sizeof c);
                    break;
                }
            }
        }
        for (int i = 0; i < NumSubTexmaps(); ++i) {
            if (subTex_[i]) subTex_[i]->Update(t, ivalid_);
        }
    }
    valid &= ivalid_;
}

Interval TexFrame::Validity(TimeValue t) {
    Interval scratch;
    scratch.SetEmpty();
    Update(t, scratch);
    return ivalid_;
}

ParamDlg* TexFrame::CreateParamDlg(HWND, IMtlParams*) {
    // A texture class with a panel overrides this with TexPanelBase::Open; without one there
    // is nothing to show.
    return nullptr;
}

AColor TexFrame::EvalColor(ShadeContext& sc) {
    if (GetGBufID()) sc.SetGBufferID(GetGBufID());
    return uvGen_ ? uvGen_->EvalUVMap(sc, &sampler_, TRUE) : AColor(0, 0, 0, 1);
}

float TexFrame::EvalMono(ShadeContext& sc) {
    if (GetGBufID()) sc.SetGBufferID(GetGBufID());
    return uvGen_ ? uvGen_->EvalUVMapMono(sc, &sampler_, TRUE) : 0.0f;
}

Point3 TexFrame::EvalNormalPerturb(ShadeContext& sc) {
    if (GetGBufID()) sc.SetGBufferID(GetGBufID());
    if (!uvGen_) return Point3();
    Point3 dPdu, dPdv;
    uvGen_->GetBumpDP(sc, dPdu, dPdv);
    Point2 d = uvGen_->EvalDeriv(sc, &sampler_, TRUE);
    return Point3(d.y * dPdv.x + d.x * dPdu.x, d.y * dPdv.y + d.x * dPdu.y,
                  d.y * dPdv.z + d.x * dPdu.z);
}

void TexFrame::GetUVTransform(Matrix3& uvtrans) {
    if (uvGen_) {
        uvGen_->GetUVTransform(uvtrans);
    } else {
        uvtrans.IdentityMatrix();
    }
}

int TexFrame::GetTextureTiling() { return uvGen_ ? uvGen_->GetTextureTiling() : 0; }

void TexFrame::InitSlotType(int type) {
    if (uvGen_) uvGen_->InitSlotType(type);
}

void TexFrame::Swap() {
    const auto& colorRows = info_.colorRows;
    if (colorRows.size() < 2) return;
    auto* base = static_cast<unsigned char*>(cache_);
    Color c0, c1;
    std::memcpy(&c0, base + info_.rows[static_cast<size_t>(colorRows[0])].offset, sizeof c0);
    std::memcpy(&c1, base + info_.rows[static_cast<size_t>(colorRows[1])].offset, sizeof c1);
    std::memcpy(base + info_.rows[static_cast<size_t>(colorRows[0])].offset, &c1, sizeof c1);
    std::memcpy(base + info_.rows[static_cast<size_t>(colorRows[1])].offset, &c0, sizeof c0);
    // The sub-maps trade places directly: both stay referenced, nothing is released.
    std::swap(subTex_[0], subTex_[1]);
    if (pblock_) pblock_->SwapControllers(colorRows[0], colorRows[1]);
}

}  // namespace loom
