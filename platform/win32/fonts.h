// Fonts of the design: the face asked for, its stand-ins where it is not
// installed, and the size in the screen's pixels.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/forms.h"

namespace win32 {

struct FontFace {
  std::string face;  // empty: the font mapper chooses by family
  BYTE pitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
};

// The font a window's controls get when the design names none.
inline constexpr std::string_view kDialogFace = "MS Shell Dlg";
inline constexpr double kDialogPoints = 8;

// The face to ask for in place of `name`: the name itself when `installed`
// says so, else the first installed of its usual stand-ins ("TimesRomanBold"
// is Times New Roman in bold, "MS Sans Serif" became Microsoft Sans Serif),
// else no face and the family the mapper should look in.
FontFace ChooseFace(std::string_view name, const std::function<bool(std::string_view)>& installed);

// Whether a font family of that name is installed.
bool FontInstalled(std::string_view face);

// Character height in pixels for `points` at `pixelsPerInch`, negative as
// CreateFont takes it (a character height, not a cell height).
int FontHeight(double points, int pixelsPerInch);

// A new font for `design` (the dialog font when it names none); the caller
// deletes it.
HFONT CreateDesignFont(const forms::FontDesign& design, int pixelsPerInch);

}  // namespace win32
