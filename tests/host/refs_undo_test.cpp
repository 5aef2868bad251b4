#include <gtest/gtest.h>

#include "foundation/host/sdk/refs.h"

namespace {

int gDeleted = 0;

/// A target that can also hold up to two references.
class Node final : public ReferenceTarget {
  public:
    ~Node() override { ++gDeleted; }
    SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
    int NumRefs() override { return 2; }
    RefTargetHandle GetReference(int i) override { return refs[i]; }
    void SetReference(int i, RefTargetHandle t) override { refs[i] = t; }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage m) override {
        if (m == REFMSG_CHANGE) ++changes;
        return answer;
    }
    RefTargetHandle refs[2] = {nullptr, nullptr};
    int changes = 0;
    RefResult answer = REF_SUCCEED;
};

}  // namespace

TEST(Refs, ReleasedTargetsAreDeletedUnlessStillHeld) {
    gDeleted = 0;
    auto* a = new Node;
    auto* b = new Node;
    auto* shared = new Node;
    a->ReplaceReference(0, shared);
    b->ReplaceReference(0, shared);
    EXPECT_EQ(shared->NumDependents(), 2);
    a->DeleteReference(0);
    EXPECT_EQ(gDeleted, 0);
    EXPECT_EQ(a->refs[0], nullptr);
    b->ReplaceReference(0, nullptr);
    EXPECT_EQ(gDeleted, 1);  // the last holder let go
    a->DeleteThis();
    b->DeleteThis();
}

TEST(Refs, LoopsAreRefused) {
    auto* a = new Node;
    auto* b = new Node;
    ASSERT_EQ(a->ReplaceReference(0, b), REF_SUCCEED);
    EXPECT_EQ(b->ReplaceReference(0, a), REF_FAIL);
    EXPECT_EQ(a->ReplaceReference(1, a), REF_FAIL);
    EXPECT_EQ(b->refs[0], nullptr);
    EXPECT_EQ(a->ReplaceReference(2, b), REF_FAIL);  // index out of range
    DeleteUnreferenced(a);
}

TEST(Refs, ChangesPropagateUntilStopped) {
    auto* top = new Node;
    auto* mid = new Node;
    auto* leaf = new Node;
    top->ReplaceReference(0, mid);
    mid->ReplaceReference(0, leaf);
    leaf->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    EXPECT_EQ(mid->changes, 1);
    EXPECT_EQ(top->changes, 1);
    mid->answer = REF_STOP;
    leaf->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    EXPECT_EQ(mid->changes, 2);
    EXPECT_EQ(top->changes, 1);
    DeleteUnreferenced(top);
}

TEST(Refs, DeletingATargetClearsMakersPointingAtIt) {
    auto* holder = new Node;
    auto* t = new Node;
    holder->ReplaceReference(1, t);
    delete t;
    EXPECT_EQ(holder->refs[1], nullptr);
    EXPECT_EQ(holder->NumDependents(), 0);
    holder->DeleteThis();
}

TEST(Refs, CloneThroughRemapKeepsSharingShared) {
    RemapDir remap;
    auto* original = new Node;
    int clones = 0;
    struct Cloner final : public ReferenceTarget {
        int* count;
        explicit Cloner(int* c) : count(c) {}
        SClass_ID SuperClassID() override { return 0; }
        RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override {
            return REF_SUCCEED;
        }
        RefTargetHandle Clone(RemapDir&) override {
            ++*count;
            return new Cloner(count);
        }
    };
    auto* c = new Cloner(&clones);
    RefTargetHandle first = remap.CloneRef(c);
    RefTargetHandle second = remap.CloneRef(c);
    EXPECT_EQ(first, second);
    EXPECT_EQ(clones, 1);
    delete first;
    delete c;
    delete original;
}
