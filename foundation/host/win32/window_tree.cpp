#include "foundation/host/win32/window_tree.h"

#include <cstdio>
#include <map>
#include <mutex>

#include "foundation/host/win32/win32_internal.h"

namespace loom {
namespace {

// Class names as they were registered, for the lower-case names the records keep.
std::string DisplayClass(const std::string& lower) {
    static const std::map<std::string, std::string> known = {
        {"button", "Button"},
        {"static", "Static"},
        {"edit", "Edit"},
        {"msctls_trackbar32", "msctls_trackbar32"},
        {"#32770", "#32770"},
        {"custedit", "CustEdit"},
        {"spinnercontrol", "SpinnerControl"},
        {"colorswatch", "ColorSwatch"},
        {"custbutton", "CustButton"},
    };
    auto it = known.find(lower);
    return it == known.end() ? lower : it->second;
}

void Describe(HWND h, WindowNode* node) {
    bool host = false;
    HWND focus = GetFocus();
    detail::WithWindow(h, [&](detail::Window& w) {
        node->hwnd = h;
        node->className = DisplayClass(w.className);
        node->id = static_cast<int>(w.id);
        node->text = w.text;
        node->style = w.style;
        node->exStyle = w.exStyle;
        node->rect = RECT{w.x, w.y, w.x + w.cx, w.y + w.cy};
        node->hasDialogUnits = w.hasDialogUnits;
        node->dluX = w.dluX;
        node->dluY = w.dluY;
        node->dluCx = w.dluCx;
        node->dluCy = w.dluCy;
        node->enabled = !(w.style & WS_DISABLED);
        node->visible = (w.style & WS_VISIBLE) != 0;
        node->focused = focus == h;
        node->revision = w.revision;
        host = w.hostClass;
    });
    if (!node->hwnd) return;
    if (host) SendMessageA(h, detail::kDescribeMessage, 0, reinterpret_cast<LPARAM>(node));
    // Owned popups are trees of their own (TopLevelWindows lists them).
    for (HWND c : detail::ChildrenOf(h)) {
        WindowNode child;
        Describe(c, &child);
        if (child.hwnd) node->children.push_back(std::move(child));
    }
}

void AppendEscaped(std::string& out, const std::string& utf8) {
    out += '"';
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

std::string Colour(COLORREF c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return std::string("\"") + buf + "\"";
}

std::string Num(long long v) { return std::to_string(v); }

std::string Float(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

std::string Handle(const void* h) {
    return h ? Num(static_cast<long long>(reinterpret_cast<std::uintptr_t>(h))) : "null";
}

const char* Bool(bool b) { return b ? "true" : "false"; }

void ToJson(const WindowNode& n, std::string& out) {
    out += "{\"hwnd\":" + Handle(n.hwnd);
    out += ",\"class\":";
    AppendEscaped(out, n.className);
    out += ",\"id\":" + Num(n.id);
    out += ",\"text\":";
    AppendEscaped(out, Cp1252ToUtf8(n.text));
    out += ",\"style\":" + Num(n.style) + ",\"exStyle\":" + Num(n.exStyle);
    out += ",\"rect\":[" + Num(n.rect.left) + "," + Num(n.rect.top) + "," + Num(n.rect.right) +
           "," + Num(n.rect.bottom) + "]";
    if (n.hasDialogUnits) {
        out += ",\"dlu\":[" + Num(n.dluX) + "," + Num(n.dluY) + "," + Num(n.dluCx) + "," +
               Num(n.dluCy) + "]";
    } else {
        out += ",\"dlu\":null";
    }
    out += std::string(",\"enabled\":") + Bool(n.enabled) + ",\"visible\":" + Bool(n.visible) +
           ",\"focused\":" + Bool(n.focused) + ",\"check\":" + Num(n.check);
    out += ",\"revision\":" + Num(static_cast<long long>(n.revision));
    if (n.trackbar) {
        const TrackbarInfo& t = *n.trackbar;
        out += ",\"trackbar\":{\"min\":" + Num(t.min) + ",\"max\":" + Num(t.max) +
               ",\"pos\":" + Num(t.pos) + ",\"pageSize\":" + Num(t.pageSize) +
               ",\"lineSize\":" + Num(t.lineSize) + ",\"ticFreq\":" + Num(t.ticFreq) + "}";
    }
    if (n.spinner) {
        const SpinnerInfo& s = *n.spinner;
        out += std::string(",\"spinner\":{\"integer\":") + Bool(s.isInteger) +
               ",\"value\":" + (s.isInteger ? Num(s.intValue) : Float(s.value)) +
               ",\"min\":" + Float(s.min) + ",\"max\":" + Float(s.max) +
               ",\"scale\":" + Float(s.scale) + ",\"editId\":" + Num(s.editId) + "}";
    }
    if (n.swatch) {
        out += ",\"swatch\":{\"color\":" + Colour(n.swatch->color) + ",\"name\":";
        AppendEscaped(out, Cp1252ToUtf8(n.swatch->name));
        out += std::string(",\"active\":") + Bool(n.swatch->active) + "}";
    }
    if (n.custButton) {
        const CustButtonInfo& b = *n.custButton;
        out += ",\"custButton\":{\"type\":" + Num(b.type) + ",\"checked\":" + Bool(b.checked) +
               ",\"pressed\":" + Bool(b.pressed) + ",\"highlight\":" + Colour(b.highlight) +
               ",\"notifyMessage\":" + Num(b.notifyMessage) + ",\"images\":" + Handle(b.images) +
               ",\"imageIndex\":" + Num(b.imageIndex) + ",\"imageWidth\":" + Num(b.imageWidth) +
               ",\"imageHeight\":" + Num(b.imageHeight) + "}";
    }
    out += ",\"image\":" + (n.imageLive ? Handle(n.image) : std::string("null"));
    out += ",\"children\":[";
    for (std::size_t i = 0; i < n.children.size(); ++i) {
        if (i) out += ',';
        ToJson(n.children[i], out);
    }
    out += "]}";
}

}  // namespace

WindowNode DescribeWindowTree(HWND root) {
    WindowNode node;
    Describe(root, &node);
    return node;
}

std::string WindowTreeToJson(const WindowNode& node) {
    std::string out;
    ToJson(node, out);
    return out;
}

std::string Cp1252ToUtf8(const std::string& text) {
    // Code points of 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
    static constexpr char32_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        char32_t cp = c;
        if (c >= 0x80 && c < 0xA0) cp = kHigh[c - 0x80] ? kHigh[c - 0x80] : 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace loom
