// The design's fonts on this computer: faces, stand-ins and sizes.
#include "platform/win32/fonts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ChooseFace, InstalledFacesByNameMissingOnesByStandInOrFamily) {
  using Faces = std::set<std::string, std::less<>>;
  const struct {
    const char* design;
    Faces installed;
    const char* face;
    int family;  // when no face is installed
  } cases[] = {
      {"MS Sans Serif", {"MS Sans Serif"}, "MS Sans Serif", -1},
      {"TimesRomanBold", {"TimesRomanBold"}, "TimesRomanBold", -1},
      {"TimesRomanBold", {"Times New Roman"}, "Times New Roman", FF_ROMAN},
      {"TimesRomanBold", {"Arial"}, "", FF_ROMAN},
      {"MS Sans Serif", {"Microsoft Sans Serif"}, "Microsoft Sans Serif", -1},
      {"MS Sans Serif", {}, "", FF_SWISS},
      {"Comic Sans MS", {}, "Comic Sans MS", -1},  // left to the font mapper
  };
  for (const auto& c : cases) {
    const auto chosen =
        win32::ChooseFace(c.design, [&](std::string_view f) { return c.installed.count(f) > 0; });
    EXPECT_EQ(chosen.face, c.face) << c.design;
    EXPECT_EQ(c.family < 0 ? -1 : chosen.pitchAndFamily & 0xF0, c.family) << c.design;
  }
}

TEST(FontHeight, PointsBecomeCharacterHeightsAtTheScreensDpi) {
  const struct {
    double points;
    int dpi, height;
  } cases[] = {{36, 96, -48}, {13.5, 96, -18}, {9.75, 96, -13},
               {8, 96, -11},  {36, 120, -60},  {13.5, 120, -23}};  // 22.5 rounds away from zero
  for (const auto& c : cases) EXPECT_EQ(win32::FontHeight(c.points, c.dpi), c.height) << c.points;
}

int CALLBACK TakeFirst(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM face) {
  *reinterpret_cast<std::string*>(face) = font->lfFaceName;
  return 0;
}

TEST(FontInstalled, FindsAFaceThatIsThereAndNotOneThatIsNot) {
  LOGFONTA all = {};
  all.lfCharSet = DEFAULT_CHARSET;
  std::string listed;  // any face the system lists
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &all, TakeFirst, reinterpret_cast<LPARAM>(&listed), 0);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(!listed.empty() && win32::FontInstalled(listed)) << listed;
  EXPECT_FALSE(win32::FontInstalled("No Such Face Prekidnik"));
}

}  // namespace
