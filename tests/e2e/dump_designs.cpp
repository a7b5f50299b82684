// Writes the windows' designs as the program holds them, as JSON on standard output: the main
// window's and the About window's design tables (sizes in twips) and the main window's ellipse
// (main_window/form_region.h). The end-to-end tests (tests/e2e/design.py) compute every place
// and size they expect on the screen from it; built for each platform, it is run as the program
// is (under Wine for Windows), and so reads the very tables the tested program was built with.
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "about/form1.h"
#include "main_window/form_region.h"
#include "main_window/shaped_form.h"

namespace {

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

const char* KindName(forms::ControlKind kind) {
  switch (kind) {
    case forms::ControlKind::Label:
      return "Label";
    case forms::ControlKind::TextBox:
      return "TextBox";
    case forms::ControlKind::CommandButton:
      return "CommandButton";
    case forms::ControlKind::Timer:
      return "Timer";
    case forms::ControlKind::Winsock:
      return "Winsock";
  }
  return "unknown";
}

std::string Control(const forms::ControlDesign& c) {
  return "{\"name\": " + Quoted(c.name) + ", \"kind\": " + Quoted(KindName(c.kind)) +
         ", \"caption\": " + Quoted(c.caption) + ", \"left\": " + std::to_string(c.left) +
         ", \"top\": " + std::to_string(c.top) + ", \"width\": " + std::to_string(c.width) +
         ", \"height\": " + std::to_string(c.height) + "}";
}

std::string Form(const forms::FormDesign& f) {
  std::string controls;
  for (const forms::ControlDesign& c : f.controls) {
    controls += (controls.empty() ? "\n      " : ",\n      ") + Control(c);
  }
  return "{\"caption\": " + Quoted(f.caption) + ", \"left\": " + std::to_string(f.left) +
         ", \"top\": " + std::to_string(f.top) +
         ", \"clientWidth\": " + std::to_string(f.clientWidth) +
         ", \"clientHeight\": " + std::to_string(f.clientHeight) + ",\n    \"controls\": [" +
         controls + "]}";
}

std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

}  // namespace

int main() {
  using namespace main_window;
  std::string tables;
  for (const forms::FormDesign* f : {&ShapedForm::kDesign, &about::Form1::kDesign}) {
    tables += (tables.empty() ? "\n  " : ",\n  ") + Quoted(f->name) + ": " + Form(*f);
  }
  const std::string json =
      "{\"forms\": {" + tables + "},\n \"ellipse\": {\"left\": " + Number(kEllipseLeft) +
      ", \"top\": " + Number(kEllipseTop) + ", \"right\": " + Number(kEllipseRight) +
      ", \"bottom\": " + Number(kEllipseBottom) +
      ", \"twipsPerPixel\": " + Number(kDesignTwipsPerPixel) + "}}\n";
  return std::fputs(json.c_str(), stdout) < 0 ? 1 : 0;
}
