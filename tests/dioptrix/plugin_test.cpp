// The built dioptrix.so as the host loads it: entry routine, entry points, descriptor,
// string table, configuration storage and resources.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/host/sdk/filters.h"
#include "foundation/host/sdk/plugin_api.h"
#include "foundation/host/win32/resources.h"

namespace {

struct Library {
    void* handle = nullptr;
    HINSTANCE instance = nullptr;
    DllMainProc entry = nullptr;
    LibDescriptionProc description = nullptr;
    LibNumberClassesProc number = nullptr;
    LibClassDescProc classDesc = nullptr;
    LibVersionProc version = nullptr;
};

Library& Lib() {
    static Library lib;
    return lib;
}

class DioptrixLibrary : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Library& l = Lib();
        if (l.handle) return;
        l.handle = dlopen(DIOPTRIX_SO, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(l.handle, nullptr) << dlerror();
        l.instance = loom::ModuleHandleForPath(DIOPTRIX_SO);
        l.entry = reinterpret_cast<DllMainProc>(dlsym(l.handle, "DllMain"));
        l.description = reinterpret_cast<LibDescriptionProc>(dlsym(l.handle, "LibDescription"));
        l.number = reinterpret_cast<LibNumberClassesProc>(dlsym(l.handle, "LibNumberClasses"));
        l.classDesc = reinterpret_cast<LibClassDescProc>(dlsym(l.handle, "LibClassDesc"));
        l.version = reinterpret_cast<LibVersionProc>(dlsym(l.handle, "LibVersion"));
    }
    void SetUp() override {
        ASSERT_TRUE(Lib().entry && Lib().description && Lib().number && Lib().classDesc &&
                    Lib().version);
        ASSERT_TRUE(Lib().entry(Lib().instance, DLL_PROCESS_ATTACH, nullptr));
    }
    void TearDown() override { Lib().entry(Lib().instance, DLL_PROCESS_DETACH, nullptr); }

    static ClassDesc* Desc() { return Lib().classDesc(0); }
    static std::unique_ptr<ImageFilter> NewFilter() {
        std::string err;
        std::unique_ptr<ImageFilter> f(loom::CreateImageFilter(Desc(), err));
        EXPECT_TRUE(f) << err;
        return f;
    }
    static std::string Text(const char* s) { return s ? s : "(null)"; }
};

}  // namespace

TEST_F(DioptrixLibrary, EntryPointsAndDescriptorAnswerTheHost) {
    EXPECT_EQ(Lib().number(), 1);
    EXPECT_EQ(Lib().version(), 100u);
    EXPECT_EQ(Text(Lib().description()), "quorvan computer's 3D Dioptrix");
    EXPECT_EQ(Lib().classDesc(1), nullptr);
    EXPECT_EQ(Lib().classDesc(-1), nullptr);
    ClassDesc* cd = Desc();
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd->IsPublic(), 1);
    EXPECT_EQ(Text(cd->ClassName()), "3D Mix");
    EXPECT_EQ(Text(cd->Category()), "Image Filter");
    EXPECT_EQ(cd->SuperClassID(), 0xE00u);
    EXPECT_EQ(cd->ClassID(), Class_ID(0x5B301A8A, 0x71787E6A));
    EXPECT_EQ(cd->BeginCreate(nullptr), 0);
    EXPECT_EQ(cd->EndCreate(nullptr), 0);
    EXPECT_EQ(cd->OkToCreate(nullptr), 1);
    EXPECT_EQ(cd->HasClassParams(), 0);
    EXPECT_EQ(cd->NumActionTables(), 0);
    EXPECT_EQ(cd->NumParamBlockDescs(), 0);
    auto filter = NewFilter();
    EXPECT_EQ(Text(filter->Description()), "Stereo Dioptrix");
    EXPECT_EQ(Text(filter->AuthorName()), "Quorvan Computer");
    std::string copyright = Text(filter->CopyrightMessage());
    EXPECT_NE(copyright.find("1996"), std::string::npos) << copyright;
    EXPECT_NE(copyright.find("Quorvan Computer"), std::string::npos) << copyright;
    EXPECT_EQ(filter->Version(), 100u);
    EXPECT_EQ(filter->Capability(), 10u);
    // Loading a new filter ignores the host's loading flag.
    std::unique_ptr<ImageFilter> loading(static_cast<ImageFilter*>(cd->Create(TRUE)));
    ASSERT_NE(loading, nullptr);
    EXPECT_EQ(loading->EvaluateConfigure(), 12u);
}

TEST_F(DioptrixLibrary, StringsShareOneBufferThatTheCallerMustCopy) {
    auto filter = NewFilter();
    const char* description = filter->Description();
    const char* author = filter->AuthorName();
    EXPECT_EQ(description, author);
    EXPECT_STREQ(description, "Quorvan Computer");  // overwritten by the second call
}

TEST_F(DioptrixLibrary, ASecondAttachIsRefusedAndDetachSilencesEveryString) {
    EXPECT_FALSE(Lib().entry(Lib().instance, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_TRUE(Lib().entry(Lib().instance, DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(Lib().entry(Lib().instance, DLL_THREAD_DETACH, nullptr));
    EXPECT_EQ(Text(Desc()->ClassName()), "3D Mix");  // the refusal kept the first handle
    auto filter = NewFilter();
    ASSERT_TRUE(Lib().entry(Lib().instance, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(Lib().description(), nullptr);
    EXPECT_EQ(Desc()->ClassName(), nullptr);
    EXPECT_EQ(Desc()->Category(), nullptr);
    EXPECT_EQ(filter->Description(), nullptr);
    EXPECT_EQ(filter->AuthorName(), nullptr);
    EXPECT_EQ(filter->CopyrightMessage(), nullptr);
    // Attached again, under the same handle, everything is back.
    ASSERT_TRUE(Lib().entry(Lib().instance, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(Text(filter->Description()), "Stereo Dioptrix");
}

TEST_F(DioptrixLibrary, ConfigurationsTravelBitForBitBetweenFilters) {
    auto a = NewFilter();
    auto b = NewFilter();
    std::string err;
    std::vector<std::uint8_t> defaults;
    ASSERT_TRUE(loom::SaveFilterConfiguration(*a, defaults, err)) << err;
    EXPECT_EQ(defaults, (std::vector<std::uint8_t>{0, 1, 0, 0, 0xCD, 0xCC, 0xCC, 0xBD, 0xCD, 0xCC,
                                                   0xCC, 0xBD}));
    // Blue and red, -0.37 and a negative zero.
    const std::vector<std::uint8_t> mine = {2, 0, 0, 0, 0xA4, 0x70, 0xBD, 0xBE, 0, 0, 0, 0x80};
    ASSERT_TRUE(loom::LoadFilterConfiguration(*a, mine, err)) << err;
    std::vector<std::uint8_t> fromA, fromB;
    ASSERT_TRUE(loom::SaveFilterConfiguration(*a, fromA, err));
    EXPECT_EQ(fromA, mine);
    ASSERT_TRUE(loom::LoadFilterConfiguration(*b, fromA, err));
    ASSERT_TRUE(loom::SaveFilterConfiguration(*b, fromB, err));
    EXPECT_EQ(fromB, mine);
    // The host hands over exactly the bytes the filter stores, or nothing.
    for (size_t n : {0, 11, 13}) {
        std::vector<std::uint8_t> wrong(n, 2);
        EXPECT_FALSE(loom::LoadFilterConfiguration(*b, wrong, err)) << n;
        EXPECT_NE(err.find("12"), std::string::npos) << err;
    }
    ASSERT_TRUE(loom::SaveFilterConfiguration(*b, fromB, err));
    EXPECT_EQ(fromB, mine);
}

TEST_F(DioptrixLibrary, DialogTemplatesHoldTheControlsTheDialogsUse) {
    // Found under the library's own instance handle, as the dialogs load them.
    struct Expect {
        int dialog;
        const char* caption;
        std::vector<std::pair<int, const char*>> controls;
    };
    const Expect dialogs[] = {
        {102,
         "Ducktest",
         {{1, "Button"},
          {2, "Button"},
          {1027, "Static"},
          {1019, "Button"},
          {1021, "Button"},
          {1022, "Button"},
          {1024, "Button"},
          {1025, "CustEdit"},
          {1026, "SpinnerControl"},
          {1003, "CustEdit"},
          {1002, "SpinnerControl"}}},
        {101, "About Stereo 3D Dioptrix", {{1, "Button"}}},
    };
    for (const Expect& e : dialogs) {
        SCOPED_TRACE(e.dialog);
        const loom::DialogTemplate* d = loom::FindDialog(Lib().instance, e.dialog);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->caption, e.caption);
        EXPECT_TRUE(d->style & DS_MODALFRAME);
        for (const auto& [id, cls] : e.controls) {
            auto c = std::find_if(d->controls.begin(), d->controls.end(),
                                  [id = id](const loom::DialogControl& k) { return k.id == id; });
            ASSERT_NE(c, d->controls.end()) << id;
            EXPECT_EQ(c->className, cls) << id;
            // The eye buttons are plain radio buttons: the dialog sets every check itself.
            if (id >= 1019 && id <= 1024) {
                EXPECT_EQ(c->style & BS_TYPEMASK, BS_RADIOBUTTON) << id;
            }
        }
    }
    EXPECT_EQ(loom::FindDialog(Lib().instance, 103), nullptr);
}

TEST_F(DioptrixLibrary, PicturesHaveTheirSizesAndTheDucksStandApart) {
    struct Expect {
        int id, w, h, bits;
    };
    for (const Expect& e :
         {Expect{108, 128, 128, 4}, Expect{111, 184, 90, 8}, Expect{112, 200, 72, 8},
          Expect{113, 128, 128, 8}, Expect{114, 128, 128, 8}}) {
        SCOPED_TRACE(e.id);
        const loom::BitmapResource* bm = loom::FindBitmap(Lib().instance, e.id);
        ASSERT_NE(bm, nullptr);
        EXPECT_EQ(bm->width, e.w);
        EXPECT_EQ(bm->height, e.h);
        EXPECT_EQ(bm->bitsPerPixel, e.bits);
    }
    const loom::BitmapResource* left = loom::FindBitmap(Lib().instance, 113);
    const loom::BitmapResource* right = loom::FindBitmap(Lib().instance, 114);
    ASSERT_TRUE(left && right);
    auto grey = [](const loom::BitmapResource* bm, int x, int y) {
        const std::uint8_t* p = &bm->rgba[(static_cast<size_t>(y) * 128 + x) * 4];
        EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
        return p[0];
    };
    int lit = 0, brightest = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            int l = grey(left, x, y);
            brightest = std::max(brightest, l);
            lit += l > 0;
            EXPECT_EQ(grey(right, x, y), x >= 21 ? grey(left, x - 21, y) : 0);
        }
    }
    EXPECT_LE(brightest, 220);
    EXPECT_GE(brightest, 200);
    EXPECT_GT(lit, 2000);  // a duck, not a speck
    EXPECT_EQ(grey(left, 0, 0), 0);
    EXPECT_EQ(grey(left, 127, 127), 0);
}
