// The hyperlink box ("超级链接框"/"HyperLinker", 0x0001001D): a self-drawn
// line of text that changes colour under the mouse and, when clicked, opens
// an e-mail or web address with the system's default program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "st/core_unit_types.h"
#include "st/hyperlink_properties.h"
#include "st/property_table.h"
#include "st/unit_base.h"

namespace st {

// The hyperlink box's own properties 8-17, one field per row of its list;
// the stored order is Transfer's.
struct HyperlinkProperties {
    static constexpr int32_t kVersion = 1;

    ST_HYPERLINK_PROPERTIES(ST_PROPERTY_FIELD)

    void Reset() { *this = HyperlinkProperties{}; }
    bool Transfer(PropertyIO& io);
    void Clamp();
};
enum class HyperlinkProperty : int32_t { ST_HYPERLINK_PROPERTIES(ST_PROPERTY_NAME) };

// The system functions a click reaches. The box calls them only through this
// table, so tests can put recorders in their place: a live link opened from a
// test would start the desktop's browser.
struct LinkShell {
    HINSTANCE(WINAPI* shellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    LONG(WINAPI* regOpenKey)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI* regQueryValue)(HKEY, LPCSTR, LPSTR, PLONG);
    LONG(WINAPI* regCloseKey)(HKEY);
    UINT(WINAPI* winExec)(LPCSTR, UINT);
};
LinkShell& LinkOpeningShell();

// What a click opens: "mailto:" and the e-mail address, or the web address
// (given "http://" when it names no scheme); empty when the address is.
std::string LinkTarget(const HyperlinkProperties& props);
// The browser's registered open command made to open target: cut at the
// "%1" placeholder (quoted or not), then one blank and the quoted target.
// None for an empty command or a target that quoting cannot hold ('"' or
// control bytes).
std::optional<std::string> BrowserCommand(std::string_view registered, std::string_view target);
// Opens target through the shell, else through the browser registered for
// web pages; true on success.
bool OpenLinkTarget(const std::string& target);

class HyperlinkUnit : public Unit {
  public:
    HyperlinkProperties props;

    // Makes the unit's window (UnitInterface entry 1 is CreateUnitOf).
    bool Build(const UnitPlacement& at);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    std::vector<uint8_t> SaveBlock() override { return WritePropertyBlock(props); }

    bool Hovering() const { return hover_; }
    bool Opened() const { return opened_; }

    // The rows of ST_HYPERLINK_PROPERTIES.
    using Props = HyperlinkProperties;
    static const PropertyRow<HyperlinkUnit, HyperlinkProperties> kPropertyRows[];

  private:
    // What setting a property does to the live box (the list's apply column).
    void ApplyCaption();
    void ApplyAddress();
    void ApplyBorder() { ApplyBorderStyle(hwnd, props.border); }
    void ApplyFontBytes();
    void Paint();
    void Draw(HDC dc, const RECT& clip);
    void TrackMouse(LPARAM at);
    bool Inside(LPARAM at) const; // a mouse message's point lies on the box
    void EndHover();
    void Open();
    void Repaint() { InvalidateRect(hwnd, nullptr, TRUE); }

    bool hover_ = false;
    bool opened_ = false;
};

// The class every hyperlink box is made of, and its cursor's resource.
inline constexpr char kHyperlinkClass[] = "StHyperLinker";
inline constexpr int32_t kHandCursorResource = 1032;

} // namespace st
