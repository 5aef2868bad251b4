#include "foundation/host/sdk/pblock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/classdesc.h"

namespace {

constexpr USHORT kHeaderChunk = 0x0100;
// A row's chunk. Float and colour rows (and int rows as files before whole-number rows
// were kept exactly wrote them) are kRowChunk: type, animatable, ID, three float32 for
// the constant, key count, then per key its time and three float32. Int rows are
// kIntRowChunk: type, animatable, ID, the constant as int32, key count, then per key its
// time and its int32 value. Both are read; a float int row is taken through
// ParamValue::AsInt, and refused when it is not a number in the int range.
constexpr USHORT kRowChunk = 0x0110;
constexpr USHORT kIntRowChunk = 0x0111;
constexpr Class_ID kParamBlockClassId(0x00000008, 0);

int RoundToInt(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return static_cast<int>(0x80000000u);
    return static_cast<int>(std::lround(v));
}

std::int32_t SaturateInt(std::int64_t v) {
    if (v > 2147483647) return 2147483647;
    if (v < -2147483647 - 1) return -2147483647 - 1;
    return static_cast<std::int32_t>(v);
}

class ParamBlockClassDesc : public ClassDesc {
  public:
    int IsPublic() override { return 0; }
    void* Create(BOOL) override { return new IParamBlock(nullptr, 0, 0); }
    const TCHAR* ClassName() override { return "ParamBlock"; }
    SClass_ID SuperClassID() override { return PARAMETER_BLOCK_CLASS_ID; }
    Class_ID ClassID() override { return kParamBlockClassId; }
    const TCHAR* Category() override { return ""; }
};
ParamBlockClassDesc gParamBlockDesc;
const bool gRegistered = loom::RegisterClass(&gParamBlockDesc);

}  // namespace

std::int32_t ParamValue::AsInt() const {
    if (static_cast<float>(i) == v[0]) return i;
    return RoundToInt(Widen(v[0]));
}

bool ParamValue::operator==(const ParamValue& o) const {
    return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2] && AsInt() == o.AsInt();
}

bool FitsInt(double v) { return v > -2147483648.5 && v < 2147483647.5; }

/// Undo record for one row: the whole row before and after.
class ParamRowRestore : public RestoreObj {
  public:
    ParamRowRestore(IParamBlock* pb, int i, IParamBlock::Row before, IParamBlock::Row after)
        : pb_(pb), i_(i), before_(std::move(before)), after_(std::move(after)) {}
    void Restore(int) override { Apply(before_); }
    void Redo() override { Apply(after_); }
    std::string Description() override { return "parameter"; }

  private:
    void Apply(const IParamBlock::Row& r) {
        pb_->rows_[static_cast<size_t>(i_)] = r;
        pb_->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    }
    IParamBlock* pb_;
    int i_;
    IParamBlock::Row before_, after_;
};

IParamBlock::IParamBlock(const ParamBlockDescID* desc, int count, DWORD version)
    : version_(version) {
    for (int i = 0; desc && i < count; ++i) rows_.push_back({desc[i], {}, {}});
}

Class_ID IParamBlock::ClassID() { return kParamBlockClassId; }

IParamBlock* CreateParameterBlock(const ParamBlockDescID* desc, int count, DWORD version) {
    (void)gRegistered;
    return new IParamBlock(desc, count > 0 ? count : 0, version);
}

ParamType IParamBlock::GetParameterType(int i) const {
    return i >= 0 && i < NumParams() ? rows_[static_cast<size_t>(i)].desc.type : TYPE_FLOAT;
}
BOOL IParamBlock::IsAnimatable(int i) const {
    return i >= 0 && i < NumParams() ? rows_[static_cast<size_t>(i)].desc.animatable : FALSE;
}
DWORD IParamBlock::GetParamID(int i) const {
    return i >= 0 && i < NumParams() ? rows_[static_cast<size_t>(i)].desc.id : 0;
}

ParamValue IParamBlock::Normalise(ParamType type, ParamValue v) {
    if (type == TYPE_INT) return ParamValue::Int(v.AsInt());
    if (type != TYPE_RGBA) v.v[1] = v.v[2] = 0.0f;
    v.i = 0;
    return v;
}

ParamValue IParamBlock::GetRaw(int i, TimeValue t, Interval& valid) const {
    const Row& row = rows_[static_cast<size_t>(i)];
    const auto& keys = row.keys;
    if (keys.empty()) return row.constant;
    if (t <= keys.front().time) {
        valid &= Interval(TIME_NegInfinity, keys.front().time);
        return keys.front().value;
    }
    if (t >= keys.back().time) {
        valid &= Interval(keys.back().time, TIME_PosInfinity);
        return keys.back().value;
    }
    valid &= Interval(t, t);
    auto next = std::upper_bound(keys.begin(), keys.end(), t,
                                 [](TimeValue tv, const ParamKey& k) { return tv < k.time; });
    const ParamKey& k1 = *next;
    const ParamKey& k0 = *(next - 1);
    double s = static_cast<double>(t - k0.time) / static_cast<double>(k1.time - k0.time);
    ParamValue out;
    for (int c = 0; c < 3; ++c) {
        double a = Widen(k0.value.v[c]), b = Widen(k1.value.v[c]);
        out.v[c] = static_cast<float>(a + s * (b - a));
    }
    if (row.desc.type == TYPE_INT) {
        // Whole numbers are exact in a double, so the step between keys is too.
        double a = k0.value.AsInt(), b = k1.value.AsInt();
        return ParamValue::Int(RoundToInt(a + s * (b - a)));
    }
    return out;
}

BOOL IParamBlock::GetValue(int i, TimeValue t, float& v, Interval& valid) {
    if (i < 0 || i >= NumParams()) return FALSE;
    v = GetRaw(i, t, valid).v[0];
    return TRUE;
}

BOOL IParamBlock::GetValue(int i, TimeValue t, int& v, Interval& valid) {
    if (i < 0 || i >= NumParams()) return FALSE;
    v = GetRaw(i, t, valid).AsInt();
    return TRUE;
}

BOOL IParamBlock::GetValue(int i, TimeValue t, Color& v, Interval& valid) {
    if (i < 0 || i >= NumParams() || rows_[static_cast<size_t>(i)].desc.type != TYPE_RGBA) {
        return FALSE;
    }
    ParamValue p = GetRaw(i, t, valid);
    v = Color(p.v[0], p.v[1], p.v[2]);
    return TRUE;
}

void IParamBlock::ChangeRow(int i, Row row) {
    Row& cur = rows_[static_cast<size_t>(i)];
    if (theHold.Holding()) theHold.Put(new ParamRowRestore(this, i, cur, row));
    cur = std::move(row);
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

BOOL IParamBlock::SetRaw(int i, TimeValue t, const ParamValue& value) {
    if (i < 0 || i >= NumParams()) return FALSE;
    Row row = rows_[static_cast<size_t>(i)];
    ParamValue v = Normalise(row.desc.type, value);
    if (Animating() && row.desc.animatable) {
        if (row.keys.empty() && t != 0) row.keys.push_back({0, row.constant});
        if (row.keys.empty()) {
            row.constant = v;  // Auto Key at time 0 on a constant row keeps it constant
        } else {
            auto it = std::lower_bound(row.keys.begin(), row.keys.end(), t,
                                       [](const ParamKey& k, TimeValue tv) { return k.time < tv; });
            if (it != row.keys.end() && it->time == t) {
                it->value = v;
            } else {
                row.keys.insert(it, {t, v});
            }
        }
    } else if (!row.keys.empty()) {
        auto it = std::find_if(row.keys.begin(), row.keys.end(),
                               [t](const ParamKey& k) { return k.time == t; });
        if (it != row.keys.end()) {
            it->value = v;
        } else {
            Interval scratch = FOREVER;
            ParamValue now = GetRaw(i, t, scratch);
            for (ParamKey& k : row.keys) {
                if (row.desc.type == TYPE_INT) {
                    k.value = ParamValue::Int(
                        SaturateInt(std::int64_t{k.value.AsInt()} + v.AsInt() - now.AsInt()));
                    continue;
                }
                for (int c = 0; c < 3; ++c) k.value.v[c] += v.v[c] - now.v[c];
                k.value = Normalise(row.desc.type, k.value);
            }
        }
    } else {
        row.constant = v;
    }
    ChangeRow(i, std::move(row));
    return TRUE;
}

BOOL IParamBlock::SetValue(int i, TimeValue t, float v) {
    ParamValue p;
    p.v[0] = v;
    return SetRaw(i, t, p);
}

BOOL IParamBlock::SetValue(int i, TimeValue t, int v) { return SetRaw(i, t, ParamValue::Int(v)); }

BOOL IParamBlock::SetValue(int i, TimeValue t, const Color& c) {
    ParamValue p;
    p.v[0] = c.r;
    p.v[1] = c.g;
    p.v[2] = c.b;
    return SetRaw(i, t, p);
}

void IParamBlock::SwapControllers(int j, int k) {
    if (j < 0 || k < 0 || j >= NumParams() || k >= NumParams() || j == k) return;
    Row& a = rows_[static_cast<size_t>(j)];
    Row& b = rows_[static_cast<size_t>(k)];
    if (a.desc.type != b.desc.type) return;
    Row newA = a, newB = b;
    std::swap(newA.constant, newB.constant);
    std::swap(newA.keys, newB.keys);
    if (theHold.Holding()) {
        theHold.Put(new ParamRowRestore(this, j, a, newA));
        theHold.Put(new ParamRowRestore(this, k, b, newB));
    }
    a = std::move(newA);
    b = std::move(newB);
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

int IParamBlock::NumKeys(int i) const {
    return i >= 0 && i < NumParams() ? static_cast<int>(rows_[static_cast<size_t>(i)].keys.size())
                                     : 0;
}

const std::vector<ParamKey>& IParamBlock::Keys(int i) const {
    static const std::vector<ParamKey> kNone;
    return i >= 0 && i < NumParams() ? rows_[static_cast<size_t>(i)].keys : kNone;
}

BOOL IParamBlock::SetKey(int i, TimeValue t, const ParamValue& value) {
    if (i < 0 || i >= NumParams()) return FALSE;
    Row row = rows_[static_cast<size_t>(i)];
    ParamValue v = Normalise(row.desc.type, value);
    auto it = std::lower_bound(row.keys.begin(), row.keys.end(), t,
                               [](const ParamKey& k, TimeValue tv) { return k.time < tv; });
    if (it != row.keys.end() && it->time == t) {
        it->value = v;
    } else {
        row.keys.insert(it, {t, v});
    }
    ChangeRow(i, std::move(row));
    return TRUE;
}

BOOL IParamBlock::SetConstant(int i, const ParamValue& value) {
    if (i < 0 || i >= NumParams()) return FALSE;
    Row row = rows_[static_cast<size_t>(i)];
    row.keys.clear();
    row.constant = Normalise(row.desc.type, value);
    ChangeRow(i, std::move(row));
    return TRUE;
}

RefTargetHandle IParamBlock::Clone(RemapDir& remap) {
    auto* copy = new IParamBlock(nullptr, 0, version_);
    copy->rows_ = rows_;
    remap.AddEntry(this, copy);
    return copy;
}

IOResult IParamBlock::Save(ISave* isave) {
    using namespace loom;
    isave->BeginChunk(kHeaderChunk);
    WriteU32(isave, version_);
    WriteU32(isave, static_cast<std::uint32_t>(rows_.size()));
    isave->EndChunk();
    for (const Row& r : rows_) {
        const bool whole = r.desc.type == TYPE_INT;
        auto writeValue = [&](const ParamValue& value) {
            if (whole) {
                WriteI32(isave, value.AsInt());
            } else {
                for (float c : value.v) WriteF32(isave, c);
            }
        };
        isave->BeginChunk(whole ? kIntRowChunk : kRowChunk);
        WriteU32(isave, static_cast<std::uint32_t>(r.desc.type));
        WriteU32(isave, r.desc.animatable ? 1u : 0u);
        WriteU32(isave, r.desc.id);
        writeValue(r.constant);
        WriteU32(isave, static_cast<std::uint32_t>(r.keys.size()));
        for (const ParamKey& k : r.keys) {
            WriteI32(isave, k.time);
            writeValue(k.value);
        }
        isave->EndChunk();
    }
    return IO_OK;
}

IOResult IParamBlock::Load(ILoad* iload) {
    using namespace loom;
    std::vector<Row> rows;
    std::uint32_t declared = 0;
    bool haveHeader = false;
    IOResult res;
    while ((res = iload->OpenChunk()) == IO_OK) {
        if (iload->CurChunkID() == kHeaderChunk) {
            if (ReadU32(iload, version_) != IO_OK || ReadU32(iload, declared) != IO_OK) {
                return IO_ERROR;
            }
            haveHeader = true;
        } else if (iload->CurChunkID() == kRowChunk || iload->CurChunkID() == kIntRowChunk) {
            const bool ints = iload->CurChunkID() == kIntRowChunk;
            Row r{};
            std::uint32_t type, anim, id, nkeys;
            if (ReadU32(iload, type) != IO_OK || ReadU32(iload, anim) != IO_OK ||
                ReadU32(iload, id) != IO_OK || type > TYPE_RGBA || (ints && type != TYPE_INT)) {
                return IO_ERROR;
            }
            r.desc = {static_cast<ParamType>(type), nullptr, anim ? TRUE : FALSE, id};
            const std::string rowName = "row " + std::to_string(rows.size());
            auto readValue = [&](ParamValue& value) {
                if (ints) {
                    std::int32_t whole;
                    if (ReadI32(iload, whole) != IO_OK) return false;
                    value = ParamValue::Int(whole);
                    return true;
                }
                for (float& c : value.v) {
                    if (ReadF32(iload, c) != IO_OK) return false;
                }
                if (type != TYPE_INT) return true;
                if (!FitsInt(Widen(value.v[0]))) {
                    char held[32];
                    std::snprintf(held, sizeof held, "%.9g", Widen(value.v[0]));
                    iload->SetLoadError(rowName + " (a whole number) holds " + held + ", outside " +
                                        kIntRowRange);
                    return false;
                }
                value = ParamValue::Int(value.AsInt());
                return true;
            };
            if (!readValue(r.constant)) return IO_ERROR;
            if (ReadU32(iload, nkeys) != IO_OK) return IO_ERROR;
            const size_t keyBytes = ints ? 8 : 16;
            if (nkeys > iload->CurChunkLength() / keyBytes) return IO_ERROR;
            r.keys.resize(nkeys);
            for (std::uint32_t k = 0; k < nkeys; ++k) {
                ParamKey& key = r.keys[k];
                if (ReadI32(iload, key.time) != IO_OK || !readValue(key.value)) return IO_ERROR;
                if (k > 0 && key.time <= r.keys[k - 1].time) return IO_ERROR;  // unsorted
            }
            rows.push_back(std::move(r));
        }
        if (iload->CloseChunk() != IO_OK) return IO_ERROR;
    }
    if (res == IO_ERROR || !haveHeader || declared != rows.size()) return IO_ERROR;
    rows_ = std::move(rows);
    return IO_OK;
}

ParamBlockPLCB::ParamBlockPLCB(const ParamVersionDesc* oldVersions, int count,
                               const ParamVersionDesc* current, ReferenceMaker* owner, int refNum)
    : old_(oldVersions), count_(count), cur_(current), owner_(owner), refNum_(refNum) {}

void ParamBlockPLCB::proc(ILoad* iload) {
    ReferenceTarget* ref = owner_ ? owner_->GetReference(refNum_) : nullptr;
    auto* pb = dynamic_cast<IParamBlock*>(ref);
    bool matches = pb && pb->GetVersion() == cur_->version && pb->NumParams() == cur_->count;
    for (int i = 0; matches && i < cur_->count; ++i) {
        matches = pb->GetParameterType(i) == cur_->desc[i].type;
    }
    // A block of the current version whose rows do not match the layout (a damaged or
    // foreign file) is rebuilt the same way, keeping the rows that do match.
    if (pb && !matches) {
        AnimateSuspend noKeys;
        IParamBlock* fresh = CreateParameterBlock(cur_->desc, cur_->count, cur_->version);
        // The old layout of the saved version names the rows' IDs; a version the owner
        // does not know keeps the IDs stored with the block.
        const ParamVersionDesc* known = nullptr;
        for (int v = 0; v < count_; ++v) {
            if (old_[v].version == pb->GetVersion() && old_[v].count == pb->NumParams()) {
                known = &old_[v];
            }
        }
        for (int i = 0; i < fresh->NumParams(); ++i) {
            for (int j = 0; j < pb->NumParams(); ++j) {
                DWORD oldId = known ? known->desc[j].id : pb->GetParamID(j);
                if (oldId != fresh->GetParamID(i) ||
                    pb->GetParameterType(j) != fresh->GetParameterType(i)) {
                    continue;
                }
                Interval scratch = FOREVER;
                if (pb->NumKeys(j) == 0) {
                    fresh->SetConstant(i, pb->GetRaw(j, 0, scratch));
                } else {
                    for (const ParamKey& k : pb->Keys(j)) fresh->SetKey(i, k.time, k.value);
                }
                break;
            }
        }
        owner_->ReplaceReference(refNum_, fresh);
        if (iload) iload->SetObsolete();
    }
    delete this;
}
