#pragma once
/// The reference system: makers hold numbered references to targets; targets notify
/// their dependents of changes. A target whose last dependent lets go is deleted.
/// Window-thread only; rendering threads never touch references.

#include <map>
#include <string>
#include <vector>

#include "foundation/host/base/core.h"

class ISave;
class ILoad;
class ReferenceTarget;
class RemapDir;
using RefTargetHandle = ReferenceTarget*;
using TSTR = std::string;

/// Anything the host can list in its track view and delete.
class Animatable {
  public:
    Animatable() = default;
    Animatable(const Animatable&) = delete;
    Animatable& operator=(const Animatable&) = delete;
    virtual ~Animatable() = default;

    virtual void GetClassName(TSTR& s) { s.clear(); }
    virtual Class_ID ClassID() { return Class_ID(); }
    virtual SClass_ID SuperClassID() = 0;
    virtual int NumSubs() { return 0; }
    virtual Animatable* SubAnim(int) { return nullptr; }
    virtual TSTR SubAnimName(int) { return TSTR(); }
    virtual int SubNumToRefNum(int subNum) { return subNum; }
    /// The extension interface `id` this object answers (texmap_batch.h), or null.
    virtual void* GetInterface(ULONG id) { return (void)id, nullptr; }
    /// Destroys the object; the default deletes it.
    virtual void DeleteThis() { delete this; }
};

/// An object holding references. The base keeps its own record of what it holds, so that
/// a maker destroyed by a plain `delete` still lets go of its targets.
class ReferenceMaker : public Animatable {
  public:
    ~ReferenceMaker() override;

    virtual int NumRefs() { return 0; }
    virtual RefTargetHandle GetReference(int) { return nullptr; }
    /// Stores the target; called by the host after ReplaceReference. Only stores.
    virtual void SetReference(int, RefTargetHandle) {}
    virtual RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                       RefMessage message) = 0;
    virtual IOResult Save(ISave*) { return IO_OK; }
    virtual IOResult Load(ILoad*) { return IO_OK; }
    virtual bool IsRefTarget() { return false; }

    /// Makes reference `which` point at `newTarget` (may be null). The old target is
    /// released and deleted when nothing else holds it (unless `deleteOld` is false).
    /// Refuses (REF_FAIL, nothing changed) an index out of range, a reference loop, or a
    /// target the maker's SetReference does not store (a target of the wrong type).
    RefResult ReplaceReference(int which, RefTargetHandle newTarget, BOOL deleteOld = TRUE);
    RefResult DeleteReference(int which);
    void DeleteAllRefsFromMe();

  private:
    friend class ReferenceTarget;
    void Hold(ReferenceTarget* t);
    bool Release(ReferenceTarget* t);  // false when t was not held
    std::vector<ReferenceTarget*> held_;
};

/// An object others can reference.
class ReferenceTarget : public ReferenceMaker {
  public:
    ~ReferenceTarget() override;

    bool IsRefTarget() override { return true; }
    /// Sends `message` to every dependent; a dependent that answers anything but REF_STOP
    /// passes a change on to its own dependents.
    RefResult NotifyDependents(Interval changeInt, PartID partID, RefMessage message);
    /// A copy made through the remap directory; null when the class cannot clone.
    virtual RefTargetHandle Clone(RemapDir&) { return nullptr; }

    int NumDependents() const { return static_cast<int>(dependents_.size()); }
    ReferenceMaker* Dependent(int i) const { return dependents_[static_cast<size_t>(i)]; }
    /// True when `maker` is this target or is reachable from it through references.
    bool ReachesMaker(ReferenceMaker* maker);

  private:
    friend class ReferenceMaker;
    friend void DeleteUnreferenced(ReferenceTarget* target);
    std::vector<ReferenceMaker*> dependents_;
    bool deleting_ = false;
};

/// Clones each target once, so that shared targets stay shared in the copy.
class RemapDir {
  public:
    RefTargetHandle CloneRef(RefTargetHandle oldTarget);
    RefTargetHandle FindMapping(RefTargetHandle oldTarget) const;
    void AddEntry(RefTargetHandle oldTarget, RefTargetHandle newTarget);

  private:
    std::map<RefTargetHandle, RefTargetHandle> map_;
};

/// Deletes a top-level object that nothing references: its references are released,
/// then DeleteThis runs.
void DeleteUnreferenced(ReferenceTarget* target);
