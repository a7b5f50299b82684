// The design's fonts on this computer: faces, stand-ins and sizes.
#include "platform/win32/fonts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using win32::ChooseFace;

auto Installed(std::set<std::string, std::less<>> faces) {
  return [faces](std::string_view face) { return faces.count(face) > 0; };
}

TEST(ChooseFace, AnInstalledFaceIsAskedForByItsOwnName) {
  EXPECT_EQ(ChooseFace("MS Sans Serif", Installed({"MS Sans Serif"})).face, "MS Sans Serif");
  EXPECT_EQ(ChooseFace("TimesRomanBold", Installed({"TimesRomanBold"})).face, "TimesRomanBold");
}

TEST(ChooseFace, MissingDesignFacesTakeTheirStandInsOrTheirFamily) {
  const auto roman = ChooseFace("TimesRomanBold", Installed({"Times New Roman"}));
  EXPECT_EQ(roman.face, "Times New Roman");
  EXPECT_EQ(roman.pitchAndFamily & 0xF0, FF_ROMAN);
  const auto anyRoman = ChooseFace("TimesRomanBold", Installed({"Arial"}));
  EXPECT_EQ(anyRoman.face, "");
  EXPECT_EQ(anyRoman.pitchAndFamily & 0xF0, FF_ROMAN);

  EXPECT_EQ(ChooseFace("MS Sans Serif", Installed({"Microsoft Sans Serif"})).face,
            "Microsoft Sans Serif");
  const auto anySwiss = ChooseFace("MS Sans Serif", Installed({}));
  EXPECT_EQ(anySwiss.face, "");
  EXPECT_EQ(anySwiss.pitchAndFamily & 0xF0, FF_SWISS);
}

TEST(ChooseFace, AnUnknownMissingFaceIsLeftToTheFontMapper) {
  EXPECT_EQ(ChooseFace("Comic Sans MS", Installed({})).face, "Comic Sans MS");
}

TEST(FontHeight, PointsBecomeCharacterHeightsAtTheScreensDpi) {
  EXPECT_EQ(win32::FontHeight(36, 96), -48);
  EXPECT_EQ(win32::FontHeight(13.5, 96), -18);
  EXPECT_EQ(win32::FontHeight(9.75, 96), -13);
  EXPECT_EQ(win32::FontHeight(8, 96), -11);
  EXPECT_EQ(win32::FontHeight(36, 120), -60);
  EXPECT_EQ(win32::FontHeight(13.5, 120), -23);  // 22.5 rounds away from zero
}

LOGFONTA Described(HFONT font) {
  LOGFONTA lf = {};
  GetObjectA(font, sizeof lf, &lf);
  DeleteObject(font);
  return lf;
}

TEST(CreateDesignFont, MakesTheDesignFontOrItsStandIn) {
  const LOGFONTA clock = Described(win32::CreateDesignFont({"TimesRomanBold", 700, 36}, 120));
  EXPECT_EQ(clock.lfHeight, -60);
  EXPECT_EQ(clock.lfWeight, 700);
  EXPECT_EQ(std::string(clock.lfFaceName), ChooseFace("TimesRomanBold", win32::FontInstalled).face);
}

TEST(CreateDesignFont, NoNameGivesTheDialogFont) {
  const LOGFONTA dialog = Described(win32::CreateDesignFont({}, 96));
  EXPECT_EQ(std::string(dialog.lfFaceName), "MS Shell Dlg");
  EXPECT_EQ(dialog.lfHeight, -11);
  EXPECT_EQ(dialog.lfWeight, FW_NORMAL);
}

int CALLBACK TakeFirst(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM face) {
  *reinterpret_cast<std::string*>(face) = font->lfFaceName;
  return 0;
}

TEST(FontInstalled, FindsAFaceThatIsThereAndNotOneThatIsNot) {
  EXPECT_FALSE(win32::FontInstalled("No Such Face Prekidnik"));
  // Any face the system lists.
  LOGFONTA all = {};
  all.lfCharSet = DEFAULT_CHARSET;
  std::string listed;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &all, TakeFirst, reinterpret_cast<LPARAM>(&listed), 0);
  ReleaseDC(nullptr, screen);
  ASSERT_FALSE(listed.empty());
  EXPECT_TRUE(win32::FontInstalled(listed)) << listed;
}

}  // namespace
