#pragma once
/// Core value types of the host: time, intervals, colours, points, class identities,
/// result and message codes. Everything here is plain data; no global state.

#include <cstddef>
#include <cstdint>
#include <string>

// ---- Win32-style scalar names the plug-in sources use -------------------------------
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using TCHAR = char;
using MCHAR = char;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// ---- Time ---------------------------------------------------------------------------
/// Host time in ticks; 4800 ticks per second.
using TimeValue = int;
inline constexpr int kTicksPerSecond = 4800;
inline constexpr int kTicksPerFrame = 160;  // 30 frames per second
inline constexpr TimeValue TIME_NegInfinity = static_cast<TimeValue>(0x80000000u);
inline constexpr TimeValue TIME_PosInfinity = 0x7FFFFFFF;

/// A closed range of times. Empty ("never") has both ends at the minimum time value.
class Interval {
  public:
    constexpr Interval() : start_(TIME_NegInfinity), end_(TIME_NegInfinity) {}
    constexpr Interval(TimeValue s, TimeValue e) : start_(s), end_(e) {}

    constexpr TimeValue Start() const { return start_; }
    constexpr TimeValue End() const { return end_; }
    constexpr void Set(TimeValue s, TimeValue e) {
        start_ = s;
        end_ = e;
    }
    constexpr void SetEmpty() { start_ = end_ = TIME_NegInfinity; }
    constexpr void SetInfinite() {
        start_ = TIME_NegInfinity;
        end_ = TIME_PosInfinity;
    }
    constexpr void SetInstant(TimeValue t) { start_ = end_ = t; }
    constexpr bool Empty() const { return start_ == TIME_NegInfinity && end_ == TIME_NegInfinity; }
    /// True when t lies inside; the empty interval contains nothing.
    constexpr bool InInterval(TimeValue t) const { return !Empty() && start_ <= t && t <= end_; }
    /// Intersection; an empty result is normalised to the empty interval.
    constexpr Interval operator&(const Interval& o) const {
        if (Empty() || o.Empty()) return Interval();
        TimeValue s = start_ > o.start_ ? start_ : o.start_;
        TimeValue e = end_ < o.end_ ? end_ : o.end_;
        if (s > e) return Interval();
        return Interval(s, e);
    }
    constexpr Interval& operator&=(const Interval& o) { return *this = *this & o; }
    constexpr bool operator==(const Interval&) const = default;

  private:
    TimeValue start_;
    TimeValue end_;
};

inline constexpr Interval FOREVER{TIME_NegInfinity, TIME_PosInfinity};
inline constexpr Interval NEVER{};

// ---- Colours and points ---------------------------------------------------------------
struct Point2 {
    float x = 0.0f, y = 0.0f;
};

struct Point3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    constexpr Point3() = default;
    constexpr Point3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
    constexpr float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    constexpr float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    constexpr Point3 operator+(const Point3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Point3 operator-(const Point3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr bool operator==(const Point3&) const = default;
};

/// Three floats on a 0-to-1 scale.
struct Color {
    float r = 0.0f, g = 0.0f, b = 0.0f;
    constexpr Color() = default;
    constexpr Color(float ar, float ag, float ab) : r(ar), g(ag), b(ab) {}
    /// Clamps each channel to 0..1; NaN becomes 0.
    void ClampMinMax();
    constexpr bool operator==(const Color&) const = default;
};

/// Colour with alpha.
struct AColor {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
    constexpr AColor() = default;
    constexpr AColor(float ar, float ag, float ab, float aa = 1.0f) : r(ar), g(ag), b(ab), a(aa) {}
    constexpr AColor(const Color& c, float aa = 1.0f) : r(c.r), g(c.g), b(c.b), a(aa) {}
    /// Clamps each channel (alpha included) to 0..1; NaN becomes 0.
    void ClampMinMax();
    constexpr bool operator==(const AColor&) const = default;
};

/// Clamps one value to 0..1, NaN to 0.
float ClampUnit(float v);

/// Row-major 4x3 affine transform (rows 0..2 the axes, row 3 the translation).
struct Matrix3 {
    Point3 m[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
    void IdentityMatrix() { *this = Matrix3(); }
    Point3 PointTransform(const Point3& p) const;
};

// ---- Class identities -----------------------------------------------------------------
using SClass_ID = ULONG;

class Class_ID {
  public:
    constexpr Class_ID() = default;
    constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
    constexpr ULONG PartA() const { return a_; }
    constexpr ULONG PartB() const { return b_; }
    constexpr bool operator==(const Class_ID&) const = default;
    constexpr bool operator<(const Class_ID& o) const {
        return a_ < o.a_ || (a_ == o.a_ && b_ < o.b_);
    }

  private:
    ULONG a_ = 0;
    ULONG b_ = 0;
};

inline constexpr SClass_ID TEXMAP_CLASS_ID = 0x0C10;
inline constexpr SClass_ID UVGEN_CLASS_ID = 0x0C20;
inline constexpr SClass_ID PARAMETER_BLOCK_CLASS_ID = 0x0008;
inline constexpr SClass_ID FLT_CLASS_ID = 0x1020;
inline constexpr SClass_ID REF_TARGET_CLASS_ID = 0x0007;

inline constexpr const char* TEXMAP_CAT_2D = "2D maps";

// ---- Reference messages and results ---------------------------------------------------
using RefResult = int;
inline constexpr RefResult REF_FAIL = 0;
inline constexpr RefResult REF_SUCCEED = 1;
inline constexpr RefResult REF_DONTCARE = 2;
inline constexpr RefResult REF_STOP = 3;

using RefMessage = UINT;
inline constexpr RefMessage REFMSG_CHANGE = 80;
inline constexpr RefMessage REFMSG_TARGET_DELETED = 6;
inline constexpr RefMessage REFMSG_GET_PARAM_NAME = 251;
inline constexpr RefMessage REFMSG_GET_PARAM_DIM = 252;
inline constexpr RefMessage REFMSG_UV_SYM_CHANGE = 267;

/// Pointer-sized, so that queries can pass their answer structure through it.
using PartID = std::uintptr_t;
inline constexpr PartID PART_ALL = 0xFFFFFFFF;

/// Results of scene input and output.
using IOResult = int;
inline constexpr IOResult IO_OK = 0;
inline constexpr IOResult IO_END = 1;
inline constexpr IOResult IO_ERROR = 2;

/// Parameter dimensions answered to the parameter-dimension query.
class ParamDimension {
  public:
    explicit constexpr ParamDimension(const char* name) : name_(name) {}
    const char* Name() const { return name_; }

  private:
    const char* name_;
};
extern ParamDimension* defaultDim;
extern ParamDimension* stdColor255Dim;

/// Answers carried in the part-ID argument of the name and dimension queries.
struct GetParamName {
    std::string name;  ///< the answer; left untouched for unknown indices
    int index;         ///< parameter index asked about
};
struct GetParamDim {
    ParamDimension* dim;
    int index;
};

/// A float taken to double on purpose (intermediates that the precision rules keep in
/// double); spelled out so that no promotion happens unnoticed.
constexpr double Widen(float v) noexcept { return static_cast<double>(v); }
