// Bitmaps from resources and from device-independent bits, image lists, device contexts
// and cursors.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "foundation/host/win32/win32.h"
#include "tests/win32/win32_test_support.h"

namespace {

using wintest::Instance;
using wintest::WindowTest;

using GdiTest = WindowTest;

std::array<int, 3> Pixel(const loom::BitmapPixels& px, int x, int y) {
    const std::uint8_t* p = &px.rgba[(static_cast<std::size_t>(y) * px.width + x) * 4];
    return {p[0], p[1], p[2]};
}

// A 3 x 2 DIB with rows padded to 4 bytes; pixel (x, y) of the picture is (10x+y, 20, 30).
struct Dib {
    BITMAPINFO info;
    std::vector<std::uint8_t> bits;
    Dib(int bpp, bool topDown) {
        info.bmiHeader.biWidth = 3;
        info.bmiHeader.biHeight = topDown ? -2 : 2;
        info.bmiHeader.biBitCount = static_cast<WORD>(bpp);
        int stride = (3 * bpp + 31) / 32 * 4;
        bits.assign(static_cast<std::size_t>(stride) * 2, 0xEE);  // padding must be skipped
        for (int y = 0; y < 2; ++y) {
            int row = topDown ? y : 1 - y;
            for (int x = 0; x < 3; ++x) {
                std::uint8_t* p = &bits[static_cast<std::size_t>(row * stride + x * (bpp / 8))];
                p[0] = 30;  // blue first
                p[1] = 20;
                p[2] = static_cast<std::uint8_t>(10 * x + y);
            }
        }
    }
};

TEST_F(GdiTest, DeviceIndependentBitsInEveryLayoutGiveTheSamePicture) {
    for (int bpp : {24, 32}) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << bpp << (topDown ? " top-down" : " bottom-up"));
            Dib dib(bpp, topDown);
            HBITMAP bm = CreateDIBitmap(nullptr, &dib.info.bmiHeader, CBM_INIT, dib.bits.data(),
                                        &dib.info, DIB_RGB_COLORS);
            loom::BitmapPixels px;
            ASSERT_TRUE(loom::ReadBitmap(bm, &px));
            ASSERT_EQ(px.width, 3);
            ASSERT_EQ(px.height, 2);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(Pixel(px, x, y), (std::array<int, 3>{10 * x + y, 20, 30}));
            EXPECT_EQ(px.rgba[3], 255);
            EXPECT_TRUE(DeleteObject(bm));
        }
    }
}

TEST_F(GdiTest, PalettedBitsAndUninitialisedBitmaps) {
    std::vector<std::uint8_t> storage(sizeof(BITMAPINFO) + 3 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(storage.data());
    *info = BITMAPINFO{};
    info->bmiHeader.biWidth = 2;
    info->bmiHeader.biHeight = 1;
    info->bmiHeader.biBitCount = 8;
    info->bmiHeader.biClrUsed = 2;
    info->bmiColors[0] = RGBQUAD{1, 2, 3, 0};
    RGBQUAD second{200, 100, 50, 0};
    std::memcpy(&info->bmiColors[1], &second, sizeof second);
    const std::uint8_t bits[4] = {1, 0, 0, 0};
    HBITMAP bm = CreateDIBitmap(nullptr, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
    loom::BitmapPixels px;
    ASSERT_TRUE(loom::ReadBitmap(bm, &px));
    EXPECT_EQ(Pixel(px, 0, 0), (std::array<int, 3>{50, 100, 200}));
    EXPECT_EQ(Pixel(px, 1, 0), (std::array<int, 3>{3, 2, 1}));
    DeleteObject(bm);

    // Without CBM_INIT the bitmap starts black, the size from the header.
    BITMAPINFOHEADER h;
    h.biWidth = 5;
    h.biHeight = -4;
    HBITMAP blank = CreateDIBitmap(nullptr, &h, 0, nullptr, nullptr, DIB_RGB_COLORS);
    BITMAP desc;
    ASSERT_EQ(GetObjectA(blank, sizeof desc, &desc), static_cast<int>(sizeof desc));
    EXPECT_EQ(desc.bmWidth, 5);
    EXPECT_EQ(desc.bmHeight, 4);
    EXPECT_EQ(GetObjectA(blank, 0, nullptr), static_cast<int>(sizeof desc));
    EXPECT_EQ(GetObjectA(blank, 4, &desc), 0);
    DeleteObject(blank);
}

TEST_F(GdiTest, BadDescriptionsMakeNoBitmap) {
    Dib dib(24, false);
    BITMAPINFOHEADER zero = dib.info.bmiHeader;
    zero.biWidth = 0;
    EXPECT_EQ(CreateDIBitmap(nullptr, nullptr, 0, nullptr, nullptr, DIB_RGB_COLORS), nullptr);
    EXPECT_EQ(CreateDIBitmap(nullptr, &zero, 0, nullptr, nullptr, DIB_RGB_COLORS), nullptr);
    EXPECT_EQ(
        CreateDIBitmap(nullptr, &dib.info.bmiHeader, CBM_INIT, nullptr, &dib.info, DIB_RGB_COLORS),
        nullptr);
    EXPECT_EQ(CreateDIBitmap(nullptr, &dib.info.bmiHeader, CBM_INIT, dib.bits.data(), &dib.info,
                             DIB_PAL_COLORS),
              nullptr);
    BITMAPINFO sixteen = dib.info;
    sixteen.bmiHeader.biBitCount = 16;
    EXPECT_EQ(CreateDIBitmap(nullptr, &sixteen.bmiHeader, CBM_INIT, dib.bits.data(), &sixteen,
                             DIB_RGB_COLORS),
              nullptr);
    BITMAPINFO compressed = dib.info;
    compressed.bmiHeader.biCompression = 1;
    EXPECT_EQ(CreateDIBitmap(nullptr, &compressed.bmiHeader, CBM_INIT, dib.bits.data(), &compressed,
                             DIB_RGB_COLORS),
              nullptr);
}

TEST_F(GdiTest, ResourceBitmapsLoadByNumberAndDeleteOnce) {
    HBITMAP a = LoadBitmapA(Instance(), MAKEINTRESOURCEA(IDB_PICTURE));
    HBITMAP b = LoadBitmapA(Instance(), "#108");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b) << "each load is a bitmap of its own";
    loom::BitmapPixels px;
    ASSERT_TRUE(loom::ReadBitmap(a, &px));
    EXPECT_EQ(Pixel(px, 0, 0), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(Pixel(px, 2, 1), (std::array<int, 3>{255, 255, 0}));
    EXPECT_EQ(LoadBitmapA(Instance(), MAKEINTRESOURCEA(4711)), nullptr);
    EXPECT_EQ(LoadBitmapA(Instance(), "picture"), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(IDB_PICTURE)), nullptr);
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_FALSE(DeleteObject(a));
    EXPECT_FALSE(loom::ReadBitmap(a, &px));
    BITMAP desc;
    EXPECT_EQ(GetObjectA(a, sizeof desc, &desc), 0);
    EXPECT_TRUE(DeleteObject(b));
}

TEST_F(GdiTest, ImageListsCutCopyAndMask) {
    HBITMAP strip = LoadBitmapA(Instance(), MAKEINTRESOURCEA(IDB_STRIP));
    HBITMAP mask = LoadBitmapA(Instance(), MAKEINTRESOURCEA(IDB_MASK));
    HIMAGELIST plain = ImageList_Create(3, 2, ILC_COLOR24, 2, 0);
    HIMAGELIST masked = ImageList_Create(3, 2, ILC_COLOR24 | ILC_MASK, 2, 0);
    EXPECT_EQ(ImageList_Add(plain, strip, mask), 0);
    EXPECT_EQ(ImageList_Add(plain, strip, strip), 2);  // indexes continue
    EXPECT_EQ(ImageList_GetImageCount(plain), 4);
    EXPECT_EQ(ImageList_Add(masked, strip, mask), 0);
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(masked, &cx, &cy));
    EXPECT_EQ(cx * 10 + cy, 32);
    DeleteObject(strip);  // the lists keep their own copies
    DeleteObject(mask);

    loom::BitmapPixels px;
    ASSERT_TRUE(loom::ReadImageListImage(plain, 0, &px));
    EXPECT_EQ(Pixel(px, 2, 1), (std::array<int, 3>{0, 0, 128}));
    ASSERT_TRUE(loom::ReadImageListImage(plain, 1, &px));
    EXPECT_EQ(Pixel(px, 0, 0), (std::array<int, 3>{128, 128, 255}));
    EXPECT_EQ(px.rgba[2 * 4 + 3], 255) << "no ILC_MASK: the mask is ignored";
    ASSERT_TRUE(loom::ReadImageListImage(masked, 1, &px));
    EXPECT_EQ(px.rgba[2 * 4 + 3], 0) << "white in the mask: transparent";
    EXPECT_EQ(px.rgba[1 * 4 + 3], 255);
    EXPECT_FALSE(loom::ReadImageListImage(masked, 2, &px));

    // A bitmap narrower than one image adds nothing.
    BITMAPINFOHEADER h;
    h.biWidth = 2;
    h.biHeight = 2;
    HBITMAP narrow = CreateDIBitmap(nullptr, &h, 0, nullptr, nullptr, DIB_RGB_COLORS);
    EXPECT_EQ(ImageList_Add(masked, narrow, nullptr), -1);
    EXPECT_EQ(ImageList_Add(masked, strip, nullptr), -1) << "deleted bitmap";
    DeleteObject(narrow);

    EXPECT_EQ(ImageList_Create(0, 2, ILC_COLOR24, 1, 0), nullptr);
    EXPECT_TRUE(ImageList_Destroy(plain));
    EXPECT_FALSE(ImageList_Destroy(plain));
    EXPECT_EQ(ImageList_GetImageCount(plain), 0);
    EXPECT_FALSE(loom::ReadImageListImage(plain, 0, &px));
    EXPECT_TRUE(ImageList_Destroy(masked));
}

TEST_F(GdiTest, DeviceContextsAreGivenBackOnce) {
    HWND dlg = Panel();
    HDC dc = GetDC(GetDlgItem(dlg, IDC_PICTURE));
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(loom::DeviceContextCount(), dcs + 1);
    EXPECT_EQ(ReleaseDC(dlg, dc), 0) << "not this window's";
    EXPECT_EQ(ReleaseDC(GetDlgItem(dlg, IDC_PICTURE), dc), 1);
    EXPECT_EQ(ReleaseDC(GetDlgItem(dlg, IDC_PICTURE), dc), 0);
    HDC screen = GetDC(nullptr);
    EXPECT_NE(screen, nullptr);
    ReleaseDC(nullptr, screen);
    DestroyWindow(dlg);
}

TEST_F(GdiTest, StandardCursors) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(loom::CursorId(arrow), 32512);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    EXPECT_EQ(LoadCursorA(Instance(), IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    HCURSOR before = SetCursor(wait);
    EXPECT_EQ(SetCursor(arrow), wait);
    EXPECT_EQ(GetCursor(), arrow);
    SetCursor(before);
}

}  // namespace
