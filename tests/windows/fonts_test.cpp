// The design's fonts on Windows (platform/win32/fonts.cpp): which face to ask for where the design
// names one that is not installed, the height in pixels at the screen's dpi, and whether a face is
// installed. A Windows without MS Sans Serif or TimesRomanBold must still show the design's look.
#include "platform/win32/fonts.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "tests/named_rows.h"

namespace {

struct Face {
  const char* name;
  const char* design;  // the face the design names
  std::set<std::string, std::less<>> installed;
  const char* face;                // asked for; empty: the font mapper chooses by family
  std::optional<int> family = {};  // where it matters: a stand-in or no face at all
  friend void PrintTo(const Face& row, std::ostream* os) { *os << row.name; }
};

// (An installed TimesRomanBold goes: the installed MS Sans Serif row fails on the same faults.)
const Face kFaces[] = {
    {.name = "AnInstalledFaceByItsName",
     .design = "MS Sans Serif",
     .installed = {"MS Sans Serif"},
     .face = "MS Sans Serif"},
    {.name = "TimesRomanBoldAsTimesNewRoman",
     .design = "TimesRomanBold",
     .installed = {"Times New Roman"},
     .face = "Times New Roman",
     .family = FF_ROMAN},
    {.name = "TimesRomanBoldWithoutAStandInByFamily",
     .design = "TimesRomanBold",
     .installed = {"Arial"},
     .face = "",
     .family = FF_ROMAN},
    {.name = "MSSansSerifAsMicrosoftSansSerif",
     .design = "MS Sans Serif",
     .installed = {"Microsoft Sans Serif"},
     .face = "Microsoft Sans Serif",
     .family = FF_SWISS},
    {.name = "AnUnknownFaceLeftToTheFontMapper",
     .design = "Comic Sans MS",
     .installed = {},
     .face = "Comic Sans MS"},
};

class ChooseFace : public ::testing::TestWithParam<Face> {};

TEST_P(ChooseFace, AsksForTheFaceOrItsStandInOrItsFamily) {
  const Face& f = GetParam();
  const win32::FontFace chosen =
      win32::ChooseFace(f.design, [&](std::string_view face) { return f.installed.count(face); });
  EXPECT_EQ(chosen.face, f.face);
  if (f.family) {
    EXPECT_EQ(chosen.pitchAndFamily & 0xF0, *f.family);
  }
}

INSTANTIATE_TEST_SUITE_P(Faces, ChooseFace, ::testing::ValuesIn(kFaces), named_rows::ByName());

struct Height {
  const char* name;
  double points;
  int dpi, pixels;  // a character height, negative as CreateFont takes it
  friend void PrintTo(const Height& row, std::ostream* os) { *os << row.name; }
};

// 10.67 rounds to 11, 22.5 away from zero: truncation, rounding half to even and a fixed dpi each
// fail one of them.
const Height kHeights[] = {
    {.name = "EightPointsAt96Dpi", .points = 8, .dpi = 96, .pixels = -11},
    {.name = "ThirteenAndAHalfPointsAt120Dpi", .points = 13.5, .dpi = 120, .pixels = -23},
};

class FontHeight : public ::testing::TestWithParam<Height> {};

TEST_P(FontHeight, IsThePointsAtTheDpiRoundedToTheNearestPixel) {
  EXPECT_EQ(win32::FontHeight(GetParam().points, GetParam().dpi), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(Heights, FontHeight, ::testing::ValuesIn(kHeights), named_rows::ByName());

int CALLBACK TakeFirst(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM face) {
  *reinterpret_cast<std::string*>(face) = font->lfFaceName;
  return 0;
}

TEST(FontInstalled, AFaceTheSystemListsIsInstalled) {
  LOGFONTA all = {};
  all.lfCharSet = DEFAULT_CHARSET;
  std::string listed;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &all, TakeFirst, reinterpret_cast<LPARAM>(&listed), 0);
  ReleaseDC(nullptr, screen);
  ASSERT_FALSE(listed.empty()) << "the system lists no font";
  EXPECT_TRUE(win32::FontInstalled(listed)) << listed;
}

TEST(FontInstalled, NoSuchFaceIsNot) {
  EXPECT_FALSE(win32::FontInstalled("No Such Face Prekidnik"));
}

}  // namespace
