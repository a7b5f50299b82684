#include "platform/win32/fonts.h"

#include <cmath>
#include <initializer_list>

namespace win32 {

namespace {

int CALLBACK NoteFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

}  // namespace

FontFace ChooseFace(std::string_view name, const std::function<bool(std::string_view)>& installed) {
  struct Kin {
    std::string_view name;
    std::initializer_list<std::string_view> standIns;
    BYTE family;
  };
  static const Kin kKin[] = {
      {"TimesRomanBold", {"Times New Roman"}, VARIABLE_PITCH | FF_ROMAN},
      {"MS Sans Serif", {"Microsoft Sans Serif"}, VARIABLE_PITCH | FF_SWISS},
  };
  if (installed(name)) return {std::string(name), DEFAULT_PITCH | FF_DONTCARE};
  for (const Kin& kin : kKin) {
    if (kin.name != name) continue;
    for (std::string_view standIn : kin.standIns)
      if (installed(standIn)) return {std::string(standIn), kin.family};
    return {"", kin.family};
  }
  // An unknown name: asked for as it is, the mapper substitutes.
  return {std::string(name), DEFAULT_PITCH | FF_DONTCARE};
}

bool FontInstalled(std::string_view face) {
  LOGFONTA query = {};
  query.lfCharSet = DEFAULT_CHARSET;
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  face.copy(query.lfFaceName, face.size());
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &query, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

int FontHeight(double points, int pixelsPerInch) {
  return -static_cast<int>(std::lround(points * pixelsPerInch / 72.0));
}

HFONT CreateDesignFont(const forms::FontDesign& design, int pixelsPerInch) {
  FontFace face;
  int weight = design.weight;
  double points = design.points;
  if (design.name.empty()) {
    face = {std::string(kDialogFace), VARIABLE_PITCH | FF_SWISS};
    weight = FW_NORMAL;
    points = kDialogPoints;
  } else {
    face = ChooseFace(design.name, FontInstalled);
  }
  return CreateFontA(FontHeight(points, pixelsPerInch), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     face.pitchAndFamily, face.face.c_str());
}

}  // namespace win32
