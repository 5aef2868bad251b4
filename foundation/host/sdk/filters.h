#pragma once
/// Image filters of the video post: the `ImageFilter` base a filter plug-in derives from,
/// the information the host hands it, the messages a render sends to the host, and what
/// the host needs to create, configure and run a filter.
///
/// A filter works on host bitmaps: the source (input and, for a compositor, the output),
/// an optional foreground (the second input of a compositor) and an optional mask. The
/// host sets them before each render; the filter never owns them.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/host/base/win32_types.h"
#include "foundation/host/sdk/bitmap.h"
#include "foundation/host/sdk/classdesc.h"

/// Super class of image filters.
inline constexpr SClass_ID IMAGE_FILTER_CLASS_ID = 0xE00;

/// Capability bits a filter answers from `Capability`.
inline constexpr DWORD IMGFLT_FILTER = 1u << 0;      ///< works on the source alone
inline constexpr DWORD IMGFLT_CONTROL = 1u << 1;     ///< has a setup dialog (ShowControl)
inline constexpr DWORD IMGFLT_MASK = 1u << 2;        ///< reads the mask
inline constexpr DWORD IMGFLT_COMPOSITOR = 1u << 3;  ///< composes the foreground onto the source

/// Sent (synchronously) by a render to its progress window: wParam the line about to be
/// done, lParam the last line's number.
inline constexpr UINT FLT_PROGRESS = WM_USER + 32;
/// Sent by a render before each line: wParam 0, lParam the address of a 32-bit int the
/// host sets non-zero to ask for an abort.
inline constexpr UINT FLT_CHECKABORT = WM_USER + 33;

/// What the host tells a filter about the entry it runs for.
struct ImageFilterInfo {
    std::string name;   ///< the entry's name in the video post queue
    Class_ID filterId;  ///< the filter's class
    int frame = 0;      ///< frame being rendered
    int width = 0;      ///< output size the queue renders at
    int height = 0;
    /// The configuration bytes the filter stored for this entry (SaveConfigure), empty
    /// when it has none.
    std::vector<std::uint8_t> configuration;
};

/// Base of every image filter. Members are listed in the order of the host's interface.
/// A filter is created by its class descriptor and destroyed with `delete`.
class ImageFilter {
  public:
    ImageFilter() = default;
    ImageFilter(const ImageFilter&) = delete;
    ImageFilter& operator=(const ImageFilter&) = delete;
    virtual ~ImageFilter() = default;

    /// Short description shown in the host's filter list. May be null.
    virtual const TCHAR* Description() = 0;
    virtual const TCHAR* AuthorName() = 0;
    virtual const TCHAR* CopyrightMessage() = 0;
    virtual UINT Version() = 0;
    /// IMGFLT_* bits.
    virtual DWORD Capability() = 0;
    /// Shows the about box over `parent`; answers the dialog's result (0 when there is
    /// none to show).
    virtual INT_PTR ShowAbout(HWND /*parent*/) { return 0; }
    /// Shows the setup dialog over `parent`; TRUE when the user accepted it.
    virtual BOOL ShowControl(HWND /*parent*/) { return FALSE; }
    virtual void SetSource(Bitmap* map) { srcmap = map; }
    virtual void SetForeground(Bitmap* map) { frgmap = map; }
    virtual void SetMask(Bitmap* map) { mskmap = map; }
    virtual void SetFilterInfo(ImageFilterInfo* info) { ifi = info; }
    /// Runs the filter once; progress and abort messages go to `hWnd`. TRUE on success.
    virtual BOOL Render(HWND hWnd) = 0;
    /// The larger of two values.
    virtual float Max(float a, float b) { return a > b ? a : b; }
    /// a + (b - a) * l, l on 0..1.
    virtual float Lerp(float a, float b, float l) { return a + (b - a) * l; }
    /// a + (b - a) * l / 65536 in 64-bit arithmetic, truncated toward zero: l is a 16.16
    /// fixed-point weight (65536 is 1), taken as 0..65536.
    virtual int Lerp(int a, int b, int l);
    /// Size in bytes of the configuration the filter stores; 0 when it stores none.
    virtual DWORD EvaluateConfigure() { return 0; }
    /// Takes the configuration from `EvaluateConfigure()` stored bytes. TRUE on success.
    virtual BOOL LoadConfigure(void* /*ptr*/) { return FALSE; }
    /// Writes the configuration into a buffer of `EvaluateConfigure()` bytes.
    virtual BOOL SaveConfigure(void* /*ptr*/) { return FALSE; }
    /// A preview of the filter's effect; the base makes none (FALSE, `*preview` untouched).
    virtual BOOL CreatePreview(HWND /*parent*/, Bitmap** /*preview*/, int /*frame*/, int /*width*/,
                               int /*height*/) {
        return FALSE;
    }
    /// G-buffer channels the filter reads; the base needs none.
    virtual DWORD ChannelsRequired() { return 0; }

  protected:
    Bitmap* srcmap = nullptr;  ///< source: input, and output of a compositor
    Bitmap* mskmap = nullptr;  ///< mask
    Bitmap* frgmap = nullptr;  ///< foreground: the compositor's second input
    ImageFilterInfo* ifi = nullptr;
};

namespace loom {

/// Width and height of a bitmap's pixel storage: a null bitmap, or one without pixels,
/// counts as 0 by 0.
int StorageWidth(const Bitmap* bm) noexcept;
int StorageHeight(const Bitmap* bm) noexcept;

/// Line y of a bitmap's pixel storage as it lies in memory: `width` pixels of `pixelBytes`
/// bytes each (8 in 16-bit RGBA, 3 or 6 packed). For read-ahead hints: packed pixels are
/// read and written through GetPixels and PutPixels, which convert (StoredPixels below).
struct StoredLine {
    const std::uint8_t* bytes = nullptr;  ///< null outside the bitmap
    int width = 0;
    int pixelBytes = 0;
};
StoredLine StorageLine(const Bitmap* bm, int y) noexcept;

/// Line y of a bitmap's 16-bit RGBA storage, for a filter that works on the pixels where
/// they lie rather than through GetPixels and PutPixels (which, in that storage, copy them
/// unchanged); null for a null bitmap, packed storage, a line outside the bitmap, or
/// pixels the host swapped for a buffer of another size.
const BMM_Color_64* StoredPixels(const Bitmap* bm, int y) noexcept;
BMM_Color_64* StoredPixels(Bitmap* bm, int y) noexcept;

/// Line y of a bitmap's packed storage (Bitmap::PackedBytes a pixel), for a filter that
/// works on packed pixels where they lie, as GetPixels and PutPixels would convert them;
/// null for a null bitmap, 16-bit storage, a line outside the bitmap, or pixels the host
/// swapped for a buffer of another size.
const std::uint8_t* StoredPackedLine(const Bitmap* bm, int y) noexcept;
std::uint8_t* StoredPackedLine(Bitmap* bm, int y) noexcept;

/// A new filter from a descriptor of the image-filter super class; null (with `error`)
/// for another super class or when the descriptor makes nothing.
ImageFilter* CreateImageFilter(ClassDesc* cd, std::string& error);

/// Hands stored configuration bytes to a filter. The filter is asked only when the
/// number of bytes is exactly what it says it stores; otherwise false with `error`.
bool LoadFilterConfiguration(ImageFilter& filter, const std::vector<std::uint8_t>& bytes,
                             std::string& error);

/// The filter's configuration: `EvaluateConfigure()` bytes written by SaveConfigure.
/// Empty and true for a filter that stores nothing; false when the filter refuses.
bool SaveFilterConfiguration(ImageFilter& filter, std::vector<std::uint8_t>& bytes,
                             std::string& error);

}  // namespace loom
