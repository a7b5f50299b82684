// A forms runtime and a window system for tests.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/address.h"
#include "platform/forms.h"
#include "platform/window_system.h"

namespace fake {

// Shows each form once, with its design's captions; keeps what is set.
class Runtime : public forms::Runtime {
 public:
  void Show(forms::Form& form) override {
    if (texts.contains(&form)) return;
    for (const auto& c : form.Design().controls) texts[&form][c.id] = c.caption;
    form.Form_Load();
  }
  void Hide(forms::Form&) override {}
  void SetWindowState(forms::Form&, forms::WindowState) override {}
  void End() override {}
  std::string Text(forms::Form& f, int control) override { return texts[&f][control]; }
  void SetText(forms::Form& f, int control, std::string_view text) override {
    texts[&f][control] = text;
  }
  forms::WindowHandle hWnd(forms::Form& form) override { return &texts[&form]; }
  float TwipsPerPixelX() override { return 15; }
  float TwipsPerPixelY() override { return 15; }
  forms::TimeOfDay Now() override { return now; }
  std::string TimeSeparator() override { return separator; }
  // Typed into a text box, as the user would.
  void Type(forms::Form& form, int control, std::string_view text) {
    SetText(form, control, text);
    form.Change(control);
  }

  std::map<forms::Form*, std::map<int, std::string>> texts;
  forms::TimeOfDay now;
  std::string separator = ":";
};

// Regions are numbered from 1; `live` holds those not deleted.
class WindowSystem : public platform::WindowSystem {
  using HRGN = platform::HRGN;

 public:
  HRGN CreateRectRgn(int, int, int, int) override { return New(); }
  HRGN CreateEllipticRgn(int, int, int, int) override { return New(); }
  int CombineRgn(HRGN, HRGN, HRGN, int) override { return 2; }  // SIMPLEREGION
  bool DeleteObject(HRGN region) override { return live.erase(Id(region)) == 1; }
  int SetWindowRgn(platform::HWND, HRGN region, bool) override {
    return windowRegion = Id(region), 1;
  }
  bool ReleaseCapture() override { return true; }
  std::intptr_t SendMessageA(platform::HWND, unsigned, std::uintptr_t,
                             const std::int32_t*) override {
    return 0;  // the move itself is the end-to-end tests'
  }

  std::set<std::intptr_t> live;
  std::intptr_t windowRegion = 0;

 private:
  static std::intptr_t Id(HRGN region) { return reinterpret_cast<std::intptr_t>(region); }
  HRGN New() { return reinterpret_cast<HRGN>(*live.insert(++regions_).first); }
  std::intptr_t regions_ = 0;
};

class AddressSource : public platform::AddressSource {
 public:
  std::string LocalIP() override { return address; }
  std::string address = "127.0.0.1";
};

}  // namespace fake
