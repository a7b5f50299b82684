// Both windows' design tables (main_window/shaped_form.cpp, about/form1.cpp): the windows'
// names and captions, and each control's caption, tab order and wrapping, in design order. These
// are the words a user reads and the order Tab walks; a mistyped or swapped row fails here. The
// places and sizes are stated once, in the tables, which the end-to-end cases turn into pixels.
#include <gtest/gtest.h>

#include <ostream>
#include <string_view>
#include <vector>

#include "about/form1.h"
#include "main_window/shaped_form.h"

namespace {

using main_window::ShapedForm;

struct ControlRow {
  std::string_view name, caption;
  int tabIndex;  // -1: outside the tab order
  bool wordWrap = false;
  bool operator==(const ControlRow&) const = default;
  friend void PrintTo(const ControlRow& r, std::ostream* os) {
    *os << "{" << r.name << ", \"" << r.caption << "\", " << r.tabIndex
        << (r.wordWrap ? ", wrapped}" : "}");
  }
};

// The rows of `design` in design order; `freeWording` stands for a caption left free.
std::vector<ControlRow> Rows(const forms::FormDesign& design, int freeWording = -1) {
  std::vector<ControlRow> rows;
  for (const forms::ControlDesign& c : design.controls)
    rows.push_back({c.name, c.id == freeWording ? "..." : c.caption, c.tabIndex, c.wordWrap});
  return rows;
}

TEST(DesignTables, TheMainWindowIsShapedFormCaptionedPrekidnik) {
  EXPECT_EQ(ShapedForm::kDesign.name, "ShapedForm");
  EXPECT_EQ(ShapedForm::kDesign.caption, "Prekidnik");
}

TEST(DesignTables, TheMainWindowsControlsKeepTheirCaptionsTabOrderAndWrapping) {
  const std::vector<ControlRow> expected = {
      {"Label2", "IP adresa", 8},
      {"lblTime", "VREME", 4},
      {"Label1", "Ispod unesite tacno vreme kad hocete da prekidnikujete racunar sa Interneta", 3,
       true},
      {"Text1", "", 1},
      {"Command1", "&Prekidnikuj!", 2},
      {"Command4", "Minimizuj!", 6},
      {"Command5", "IP Adresa", 7},
      {"Command3", "&O autoru", 5},
      {"Command2", "I&zlaz!", 0},
      {"Timer1", "", -1},
      {"Timer2", "", -1},
      {"Winsock1", "", -1},
  };
  EXPECT_EQ(Rows(ShapedForm::kDesign), expected);
}

TEST(DesignTables, TheAboutWindowIsForm1CaptionedOAutoru) {
  EXPECT_EQ(about::Form1::kDesign.name, "Form1");
  EXPECT_EQ(about::Form1::kDesign.caption, "O Autoru");
}

// The about text's wording is free; that it wraps is not.
TEST(DesignTables, TheAboutWindowsControlsKeepTheirTabOrderAndWrapping) {
  const std::vector<ControlRow> expected = {
      {"Label1", "...", 0, true},
      {"Command1", "OK!", 1},
  };
  EXPECT_EQ(Rows(about::Form1::kDesign, about::Form1::Label1), expected);
}

}  // namespace
