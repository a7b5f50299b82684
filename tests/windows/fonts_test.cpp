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

using named_rows::PrintTo;

struct Face {
  const char* name;
  const char* design;  // the face the design names
  std::set<std::string, std::less<>> installed;
  const char* face;                // asked for; empty: the font mapper chooses by family
  std::optional<int> family = {};  // where it matters: a stand-in or no face at all
};

// (An installed TimesRomanBold goes: the installed MS Sans Serif row fails on the same faults.)
const Face kFaces[] = {
    // name, design, installed, face, family
    {"AnInstalledFaceByItsName", "MS Sans Serif", {"MS Sans Serif"}, "MS Sans Serif"},
    {"TimesRomanBoldAsTimesNewRoman",
     "TimesRomanBold",
     {"Times New Roman"},
     "Times New Roman",
     FF_ROMAN},
    {"TimesRomanBoldWithoutAStandInByFamily", "TimesRomanBold", {"Arial"}, "", FF_ROMAN},
    {"MSSansSerifAsMicrosoftSansSerif",
     "MS Sans Serif",
     {"Microsoft Sans Serif"},
     "Microsoft Sans Serif",
     FF_SWISS},
    {"AnUnknownFaceLeftToTheFontMapper", "Comic Sans MS", {}, "Comic Sans MS"},
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
};

// 10.67 rounds to 11, 22.5 away from zero: truncation, rounding half to even and a fixed dpi each
// fail one of them.
const Height kHeights[] = {
    {"EightPointsAt96Dpi", 8, 96, -11},
    {"ThirteenAndAHalfPointsAt120Dpi", 13.5, 120, -23},
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
