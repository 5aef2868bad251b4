#include <gtest/gtest.h>

#include "foundation/host/base/animate.h"
#include "foundation/host/base/undo.h"
#include "foundation/host/sdk/pblock.h"

namespace {

// clang-format off
const ParamBlockDescID kRows[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0},
    {TYPE_INT,   nullptr, TRUE, 1},
    {TYPE_RGBA,  nullptr, TRUE, 2},
    {TYPE_RGBA,  nullptr, TRUE, 3},
    {TYPE_FLOAT, nullptr, FALSE, 4},
};
// clang-format on

/// Records the change messages a block sends.
class Listener final : public ReferenceMaker {
  public:
    SClass_ID SuperClassID() override { return 0; }
    int NumRefs() override { return 1; }
    RefTargetHandle GetReference(int) override { return pb; }
    void SetReference(int, RefTargetHandle t) override { pb = static_cast<IParamBlock*>(t); }
    RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage m) override {
        if (m == REFMSG_CHANGE) ++changes;
        return REF_SUCCEED;
    }
    IParamBlock* pb = nullptr;
    int changes = 0;
};

class PBlockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        owner.ReplaceReference(0, CreateParameterBlock(kRows, 5, 3));
        AnimateOff();
    }
    void TearDown() override { AnimateOff(); }
    float FloatAt(int i, TimeValue t, Interval* valid = nullptr) {
        Interval v = FOREVER;
        float f = 0;
        owner.pb->GetValue(i, t, f, v);
        if (valid) *valid = v;
        return f;
    }
    Listener owner;
};

}  // namespace

TEST_F(PBlockTest, ConstantValuesAreValidForever) {
    owner.pb->SetValue(0, 0, 2.5f);
    Interval v;
    EXPECT_EQ(FloatAt(0, 1000, &v), 2.5f);
    EXPECT_EQ(v, FOREVER);
    EXPECT_EQ(owner.changes, 1);
}

TEST_F(PBlockTest, AutoKeyMakesKeysAndInterpolatesLinearly) {
    owner.pb->SetValue(0, 0, 1.0f);
    AnimateOn();
    owner.pb->SetValue(0, 4800, 3.0f);  // keeps 1.0 as a key at 0
    EXPECT_EQ(owner.pb->NumKeys(0), 2);
    Interval v;
    EXPECT_FLOAT_EQ(FloatAt(0, 2400, &v), 2.0f);
    EXPECT_EQ(v, Interval(2400, 2400));
    EXPECT_EQ(FloatAt(0, -100, &v), 1.0f);
    EXPECT_EQ(v, Interval(TIME_NegInfinity, 0));
    EXPECT_EQ(FloatAt(0, 9000, &v), 3.0f);
    EXPECT_EQ(v, Interval(4800, TIME_PosInfinity));
}

TEST_F(PBlockTest, IntsInterpolateRounded) {
    owner.pb->SetKey(1, 0, ParamValue{{0, 0, 0}});
    owner.pb->SetKey(1, 300, ParamValue{{3, 0, 0}});
    Interval v = FOREVER;
    int i = -1;
    owner.pb->GetValue(1, 150, i, v);  // 1.5 rounds to 2
    EXPECT_EQ(i, 2);
    owner.pb->GetValue(1, 40, i, v);  // 0.4 rounds to 0
    EXPECT_EQ(i, 0);
}

TEST_F(PBlockTest, SettingWithoutAutoKeyChangesKeyAtTimeOrOffsetsTrack) {
    owner.pb->SetKey(0, 0, ParamValue{{1, 0, 0}});
    owner.pb->SetKey(0, 100, ParamValue{{2, 0, 0}});
    owner.pb->SetValue(0, 100, 5.0f);  // a key there: only it changes
    EXPECT_EQ(owner.pb->Keys(0)[0].value.v[0], 1.0f);
    EXPECT_EQ(owner.pb->Keys(0)[1].value.v[0], 5.0f);
    owner.pb->SetValue(0, 50, 4.0f);  // value 3 there: the whole track moves by +1
    EXPECT_EQ(owner.pb->NumKeys(0), 2);
    EXPECT_EQ(owner.pb->Keys(0)[0].value.v[0], 2.0f);
    EXPECT_EQ(owner.pb->Keys(0)[1].value.v[0], 6.0f);
}

TEST_F(PBlockTest, AutoKeyLeavesNonAnimatableRowsConstant) {
    AnimateOn();
    owner.pb->SetValue(4, 4800, 7.0f);
    EXPECT_EQ(owner.pb->NumKeys(4), 0);
    EXPECT_EQ(FloatAt(4, 0), 7.0f);
    SuspendAnimate();
    owner.pb->SetValue(0, 4800, 7.0f);
    EXPECT_EQ(owner.pb->NumKeys(0), 0);
    ResumeAnimate();
}

TEST_F(PBlockTest, SwapControllersExchangesTracksAndConstants) {
    owner.pb->SetValue(2, 0, Color(1, 0, 0));
    owner.pb->SetKey(3, 0, ParamValue{{0, 1, 0}});
    owner.pb->SetKey(3, 100, ParamValue{{0, 0, 1}});
    int before = owner.changes;
    owner.pb->SwapControllers(2, 3);
    EXPECT_GT(owner.changes, before);
    EXPECT_EQ(owner.pb->NumKeys(2), 2);
    EXPECT_EQ(owner.pb->NumKeys(3), 0);
    Interval v = FOREVER;
    Color c;
    owner.pb->GetValue(3, 50, c, v);
    EXPECT_EQ(c, Color(1, 0, 0));
}

TEST_F(PBlockTest, UndoAndRedoRestoreValuesUnderOneLabel) {
    owner.pb->SetValue(0, 0, 1.0f);
    theHold.Begin();
    owner.pb->SetValue(0, 0, 2.0f);
    theHold.Begin();  // nested holds merge into the outer one
    owner.pb->SetValue(0, 0, 3.0f);
    theHold.Accept("inner");
    theHold.Accept("Parameter Change");
    EXPECT_EQ(theHold.UndoLabel(), "Parameter Change");
    int entries = theHold.UndoCount();
    ASSERT_TRUE(theHold.Undo());
    EXPECT_EQ(FloatAt(0, 0), 1.0f);
    EXPECT_EQ(theHold.RedoLabel(), "Parameter Change");
    ASSERT_TRUE(theHold.Redo());
    EXPECT_EQ(FloatAt(0, 0), 3.0f);
    theHold.Begin();
    theHold.Accept("nothing");  // no change recorded: no entry
    EXPECT_EQ(theHold.UndoCount(), entries);
    theHold.Begin();
    owner.pb->SetValue(0, 0, 9.0f);
    theHold.Cancel();
    EXPECT_EQ(FloatAt(0, 0), 3.0f);
}

TEST_F(PBlockTest, OutOfRangeAndWrongTypeAreRefused) {
    float f = 42;
    int i = 42;
    Color c(4, 4, 4);
    Interval v = FOREVER;
    EXPECT_FALSE(owner.pb->GetValue(-1, 0, f, v));
    EXPECT_FALSE(owner.pb->GetValue(5, 0, i, v));
    EXPECT_FALSE(owner.pb->GetValue(0, 0, c, v));
    EXPECT_FALSE(owner.pb->SetValue(9, 0, 1.0f));
    EXPECT_EQ(f, 42);
    EXPECT_EQ(c, Color(4, 4, 4));
}
