// The common dialog ("通用对话框"/"CommonDlg", 0x0001001F): a unit without a
// visible window that holds the settings of one system dialog (open file,
// save file, font, help) and runs it when the OpenCommonDialog command asks.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "st/common_dialog_properties.h"
#include "st/core_unit_types.h"
#include "st/property_table.h"
#include "st/unit_base.h"

namespace st {

// The common dialog's own properties 8-29, one field per row of its list;
// the stored order is Transfer's.
struct CommonDialogProperties {
    static constexpr int32_t kVersion = 1;

    ST_COMMON_DIALOG_PROPERTIES(ST_PROPERTY_FIELD)

    void Reset() { *this = CommonDialogProperties{}; }
    bool Transfer(PropertyIO& io);
    void Clamp();
};
enum class CommonDialogProperty : int32_t { ST_COMMON_DIALOG_PROPERTIES(ST_PROPERTY_NAME) };

// The system functions a run reaches; tests put stand-ins for the modal
// dialogs and the help program here.
struct DialogShell {
    BOOL(WINAPI* getOpenFileName)(LPOPENFILENAMEA);
    BOOL(WINAPI* getSaveFileName)(LPOPENFILENAMEA);
    BOOL(WINAPI* chooseFont)(LPCHOOSEFONTA);
    BOOL(WINAPI* winHelp)(HWND, LPCSTR, UINT, ULONG_PTR);
};
DialogShell& CommonDialogShell();

// The filter property as the file dialog takes it: trailing blanks removed,
// "||" added unless it ends so, every "|" (never the second byte of a GBK
// character) a NUL. Empty when the filter is.
std::string FilterList(std::string_view filter);
// At most limit bytes of text, never ending in the first half of a GBK
// character.
std::string CutText(std::string_view text, size_t limit);

class CommonDialogUnit : public Unit {
  public:
    CommonDialogProperties props;

    static constexpr size_t kMinFileBuffer = 1024;
    static constexpr size_t kFaceNameLimit = LF_FACESIZE - 1;

    // Makes the unit's window (UnitInterface entry 1 is CreateUnitOf).
    bool Build(const UnitPlacement& at);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    std::vector<uint8_t> SaveBlock() override { return WritePropertyBlock(props); }

    // Runs the dialog of the current mode: 1 when the user confirmed (or the
    // help call was made), else 0.
    int32_t Run();

    // The rows of ST_COMMON_DIALOG_PROPERTIES.
    using Props = CommonDialogProperties;
    static const PropertyRow<CommonDialogUnit, CommonDialogProperties> kPropertyRows[];

  private:
    bool Alive(HWND self) const { return IsWindow(self) && Unit::FromHandle(self) == this; }
    // The top-level window holding the unit: every dialog's owner.
    HWND Owner() const;
    int32_t RunFileDialog();
    int32_t RunFontDialog();
    int32_t RunHelp();
};

} // namespace st
