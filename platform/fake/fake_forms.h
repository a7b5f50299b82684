// A forms runtime and a window system for tests.
#pragma once

#include <map>
#include <string>
#include <vector>

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

// Logs each call on regions as its name and arguments ("DeleteObject 2");
// regions are numbered from 1 in the order created, a window is its address.
class WindowSystem : public platform::WindowSystem {
  using HRGN = platform::HRGN;

 public:
  HRGN CreateRectRgn(int x1, int y1, int x2, int y2) override {
    return New("CreateRectRgn", x1, y1, x2, y2);
  }
  HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) override {
    return New("CreateEllipticRgn", x1, y1, x2, y2);
  }
  int CombineRgn(HRGN d, HRGN s1, HRGN s2, int mode) override {
    return Log("CombineRgn", Id(d), Id(s1), Id(s2), mode), 2;  // SIMPLEREGION
  }
  bool DeleteObject(HRGN object) override { return Log("DeleteObject", Id(object)), true; }
  int SetWindowRgn(platform::HWND window, HRGN region, bool redraw) override {
    return Log("SetWindowRgn", Id(window), Id(region), redraw), 1;
  }
  bool ReleaseCapture() override { return true; }
  std::intptr_t SendMessageA(platform::HWND, unsigned, std::uintptr_t,
                             const std::int32_t*) override {
    return 0;  // the move itself is the end-to-end tests'
  }

  static long long Id(const void* handle) { return reinterpret_cast<std::intptr_t>(handle); }
  std::vector<std::string> calls;

 private:
  void Log(std::string call, auto... args) {
    ((call += " " + std::to_string(static_cast<long long>(args))), ...);
    calls.push_back(call);
  }
  HRGN New(const char* call, auto... args) {
    Log(call, args..., ++regions_);
    return reinterpret_cast<HRGN>(static_cast<std::intptr_t>(regions_));
  }
  long long regions_ = 0;
};

class AddressSource : public platform::AddressSource {
 public:
  std::string LocalIP() override { return address; }
  std::string address = "127.0.0.1";
};

}  // namespace fake
