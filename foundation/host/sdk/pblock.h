#pragma once
/// Parameter blocks: numbered rows of float, int or colour values, each either a
/// constant or a track of linear keys. Rows are laid out by a ParamBlockDescID table with
/// a version; blocks saved with an older layout are converted after loading by
/// ParamBlockPLCB. Window-thread only.

#include <cstdint>
#include <vector>

#include "foundation/host/sdk/io.h"
#include "foundation/host/sdk/refs.h"

enum ParamType { TYPE_FLOAT = 0, TYPE_INT = 1, TYPE_RGBA = 2 };

struct ParamBlockDescID {
    ParamType type;
    void* user;  ///< user type; always null here
    BOOL animatable;
    DWORD id;
};

/// One layout and its version number.
struct ParamVersionDesc {
    const ParamBlockDescID* desc;
    int count;
    DWORD version;
};

/// A value of any row type: floats use v[0], colours v[0..2], ints `i`.
/// An int row's value is `i`, kept exactly; the block also puts it in v[0] as the nearest
/// float, for readers that take floats. A value whose `i` is not what its v[0] says (one
/// made by filling only v[0], as for a float row) counts as v[0] rounded to the nearest
/// whole number, halves away from zero. AsInt() is that one conversion; listing,
/// evaluation and storage all go through it.
struct ParamValue {
    float v[3] = {0.0f, 0.0f, 0.0f};
    std::int32_t i = 0;

    /// An int row's value.
    static constexpr ParamValue Int(std::int32_t value) {
        ParamValue p;
        p.v[0] = static_cast<float>(value);
        p.i = value;
        return p;
    }
    /// The value as a whole number (see above); a v[0] outside the int range or NaN
    /// clamps (NaN gives 0): check with FitsInt first where that must be refused.
    std::int32_t AsInt() const;
    /// Same value: equal floats and equal whole numbers.
    bool operator==(const ParamValue& o) const;
};

/// The range of an int row, for messages: "-2147483648..2147483647".
inline constexpr const char* kIntRowRange = "-2147483648..2147483647";
/// True when a float given for an int row is a finite number that rounds into the range.
bool FitsInt(double v);

struct ParamKey {
    TimeValue time;
    ParamValue value;
};

class IParamBlock : public ReferenceTarget {
  public:
    IParamBlock(const ParamBlockDescID* desc, int count, DWORD version);

    SClass_ID SuperClassID() override { return PARAMETER_BLOCK_CLASS_ID; }
    Class_ID ClassID() override;
    void GetClassName(TSTR& s) override { s = "ParamBlock"; }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
        return REF_SUCCEED;
    }
    RefTargetHandle Clone(RemapDir& remap) override;
    IOResult Save(ISave* isave) override;
    IOResult Load(ILoad* iload) override;

    int NumParams() const { return static_cast<int>(rows_.size()); }
    ParamType GetParameterType(int i) const;
    BOOL IsAnimatable(int i) const;
    DWORD GetParamID(int i) const;
    DWORD GetVersion() const { return version_; }

    /// Value at time t; narrows `valid` to the time over which the value holds.
    /// FALSE (nothing changed) for an index out of range or a colour asked of a scalar row.
    BOOL GetValue(int i, TimeValue t, float& v, Interval& valid);
    BOOL GetValue(int i, TimeValue t, int& v, Interval& valid);
    BOOL GetValue(int i, TimeValue t, Color& v, Interval& valid);
    ParamValue GetRaw(int i, TimeValue t, Interval& valid) const;

    /// Sets the value at time t. With Auto Key on, an animatable row gets a key at t
    /// (a constant row first keeps its old value as a key at 0). With Auto Key off, an
    /// animated row has its key at t changed or, without one, its whole track offset.
    /// Records an undo step while theHold is holding, then notifies dependents.
    BOOL SetValue(int i, TimeValue t, float v);
    BOOL SetValue(int i, TimeValue t, int v);
    BOOL SetValue(int i, TimeValue t, const Color& v);
    BOOL SetRaw(int i, TimeValue t, const ParamValue& v);

    /// Exchanges the tracks (and constant values) of two rows of the same type.
    void SwapControllers(int j, int k);

    // Animation access for the host application.
    int NumKeys(int i) const;
    const std::vector<ParamKey>& Keys(int i) const;
    /// Adds or replaces a key regardless of Auto Key.
    BOOL SetKey(int i, TimeValue t, const ParamValue& v);
    /// Removes all keys; the row keeps `v` as its constant value.
    BOOL SetConstant(int i, const ParamValue& v);

  private:
    struct Row {
        ParamBlockDescID desc;
        ParamValue constant;
        std::vector<ParamKey> keys;  // sorted by time; empty means constant
    };
    friend class ParamRowRestore;
    void ChangeRow(int i, Row row);  // replaces a row, recording undo, and notifies
    static ParamValue Normalise(ParamType type, ParamValue v);

    std::vector<Row> rows_;
    DWORD version_;
};

/// Makes a block; a zero or negative count gives an empty block.
IParamBlock* CreateParameterBlock(const ParamBlockDescID* desc, int count, DWORD version);

/// After loading, replaces the block at reference `refNum` of `owner` by one of the
/// current layout when its version differs: rows are matched by ID, rows the old block
/// lacks start at 0. Auto Key is suspended while it runs. Deletes itself after running.
class ParamBlockPLCB : public PostLoadCallback {
  public:
    ParamBlockPLCB(const ParamVersionDesc* oldVersions, int count, const ParamVersionDesc* current,
                   ReferenceMaker* owner, int refNum);
    void proc(ILoad* iload) override;

  private:
    const ParamVersionDesc* old_;
    int count_;
    const ParamVersionDesc* cur_;
    ReferenceMaker* owner_;
    int refNum_;
};
