#include "foundation/host/sdk/refs.h"

#include <algorithm>

ReferenceMaker::~ReferenceMaker() {
    // Derived parts are gone, so no virtual calls here: let go of what the record says.
    std::vector<ReferenceTarget*> held = std::move(held_);
    held_.clear();
    for (ReferenceTarget* t : held) {
        auto& deps = t->dependents_;
        auto it = std::find(deps.begin(), deps.end(), this);
        if (it != deps.end()) deps.erase(it);
        if (deps.empty() && !t->deleting_) DeleteUnreferenced(t);
    }
}

void ReferenceMaker::Hold(ReferenceTarget* t) {
    held_.push_back(t);
    t->dependents_.push_back(this);
}

bool ReferenceMaker::Release(ReferenceTarget* t) {
    auto it = std::find(held_.begin(), held_.end(), t);
    if (it == held_.end()) return false;
    held_.erase(it);
    auto& deps = t->dependents_;
    auto d = std::find(deps.begin(), deps.end(), this);
    if (d != deps.end()) deps.erase(d);
    return true;
}

RefResult ReferenceMaker::ReplaceReference(int which, RefTargetHandle newTarget, BOOL deleteOld) {
    if (which < 0 || which >= NumRefs()) return REF_FAIL;
    if (newTarget && newTarget->ReachesMaker(this)) return REF_FAIL;  // would form a loop
    ReferenceTarget* old = GetReference(which);
    if (old == newTarget) return REF_SUCCEED;
    if (newTarget) Hold(newTarget);
    SetReference(which, newTarget);
    // A maker may refuse a target of the wrong type by storing null; the target is then
    // not held, and the slot keeps what it had.
    if (GetReference(which) != newTarget) {
        if (newTarget) Release(newTarget);
        SetReference(which, old);
        return REF_FAIL;
    }
    if (old && Release(old) && deleteOld && old->NumDependents() == 0 && !old->deleting_) {
        DeleteUnreferenced(old);
    }
    return REF_SUCCEED;
}

RefResult ReferenceMaker::DeleteReference(int which) {
    return ReplaceReference(which, nullptr, TRUE);
}

void ReferenceMaker::DeleteAllRefsFromMe() {
    for (int i = 0; i < NumRefs(); ++i) DeleteReference(i);
}

ReferenceTarget::~ReferenceTarget() {
    deleting_ = true;
    // Makers still pointing here must not be left with a dangling reference.
    std::vector<ReferenceMaker*> deps = dependents_;
    for (ReferenceMaker* m : deps) {
        for (int i = 0; i < m->NumRefs(); ++i) {
            if (m->GetReference(i) == this) m->SetReference(i, nullptr);
        }
        while (m->Release(this)) {
        }
    }
}

bool ReferenceTarget::ReachesMaker(ReferenceMaker* maker) {
    if (this == maker) return true;
    for (int i = 0; i < NumRefs(); ++i) {
        ReferenceTarget* t = GetReference(i);
        if (t && t->ReachesMaker(maker)) return true;
    }
    return false;
}

RefResult ReferenceTarget::NotifyDependents(Interval changeInt, PartID partID, RefMessage message) {
    std::vector<ReferenceMaker*> deps = dependents_;
    for (ReferenceMaker* m : deps) {
        // A dependent may have let go while an earlier one was handling the message.
        if (std::find(dependents_.begin(), dependents_.end(), m) == dependents_.end()) continue;
        PartID part = partID;
        RefResult r = m->NotifyRefChanged(changeInt, this, part, message);
        if (r != REF_STOP && message == REFMSG_CHANGE && m->IsRefTarget()) {
            static_cast<ReferenceTarget*>(m)->NotifyDependents(changeInt, partID, message);
        }
    }
    return REF_SUCCEED;
}

RefTargetHandle RemapDir::CloneRef(RefTargetHandle oldTarget) {
    if (!oldTarget) return nullptr;
    if (RefTargetHandle found = FindMapping(oldTarget)) return found;
    RefTargetHandle copy = oldTarget->Clone(*this);
    if (copy) AddEntry(oldTarget, copy);
    return copy;
}

RefTargetHandle RemapDir::FindMapping(RefTargetHandle oldTarget) const {
    auto it = map_.find(oldTarget);
    return it == map_.end() ? nullptr : it->second;
}

void RemapDir::AddEntry(RefTargetHandle oldTarget, RefTargetHandle newTarget) {
    map_[oldTarget] = newTarget;
}

void DeleteUnreferenced(ReferenceTarget* target) {
    if (!target || target->deleting_) return;
    target->deleting_ = true;
    target->DeleteAllRefsFromMe();
    target->DeleteThis();
}
