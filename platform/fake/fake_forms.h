// A forms runtime and window system for tests: windows are records of their
// state, and the window system's calls are logged as text.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/address.h"
#include "platform/forms.h"
#include "platform/runtime_rules.h"
#include "platform/window_system.h"

namespace fake {

struct WindowRecord {
  bool loaded = false;
  std::map<int, std::string> texts;
};

class Runtime : public forms::Runtime {
 public:
  void Show(forms::Form& form) override {
    if (WindowRecord& w = windows[&form]; !w.loaded) {
      w.loaded = true;
      for (const auto& c : form.Design().controls) w.texts[c.id] = std::string(c.caption);
      form.Form_Load();
    }
  }
  void Hide(forms::Form&) override {}
  void SetWindowState(forms::Form&, forms::WindowState) override {}
  void End() override {}
  std::string Text(forms::Form& f, int control) override { return Require(f).texts[control]; }
  void SetText(forms::Form& f, int control, std::string_view text) override {
    Require(f).texts[control] = std::string(text);
  }
  forms::WindowHandle hWnd(forms::Form& form) override { return &Require(form); }
  float TwipsPerPixelX() override { return 15; }
  float TwipsPerPixelY() override { return 15; }
  forms::TimeOfDay Now() override { return now; }
  std::string TimeSeparator() override { return separator; }

  // The record of `form`, loaded first if it is not, as the real runtimes do.
  WindowRecord& Require(forms::Form& form) {
    auto find = [&] { return windows[&form].loaded ? &windows[&form] : nullptr; };
    return *forms::Require(find, [&] { Show(form); });
  }
  // Typed into a text box, as the user would.
  void Type(forms::Form& form, int control, std::string_view text) {
    SetText(form, control, text);
    form.Change(control);
  }

  std::map<forms::Form*, WindowRecord> windows;
  forms::TimeOfDay now;
  std::string separator = ":";
};

// Logs each call as its name and arguments ("DeleteObject 2"); regions are
// numbered from 1 in the order created, a window is its address.
class WindowSystem : public platform::WindowSystem {
  using HRGN = platform::HRGN;

 public:
  HRGN CreateRectRgn(int x1, int y1, int x2, int y2) override {
    return New("Rect", x1, y1, x2, y2);
  }
  HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) override {
    return New("Elliptic", x1, y1, x2, y2);
  }
  int CombineRgn(HRGN d, HRGN s1, HRGN s2, int mode) override {
    return Log("CombineRgn", Id(d), Id(s1), Id(s2), mode), 2;  // SIMPLEREGION
  }
  bool DeleteObject(HRGN object) override {
    return Log("DeleteObject", Id(object)), std::erase(liveRegions, Id(object)) > 0;
  }
  int SetWindowRgn(platform::HWND window, HRGN region, bool redraw) override {
    return Log("SetWindowRgn", Id(window), Id(region), redraw), 1;
  }
  bool ReleaseCapture() override { return Log("ReleaseCapture"), true; }
  std::intptr_t SendMessageA(platform::HWND window, unsigned message, std::uintptr_t wParam,
                             const std::int32_t* lParam) override {
    return Log("SendMessageA", Id(window), message, wParam, lParam ? *lParam : -1), 0;
  }

  static long long Id(const void* handle) { return reinterpret_cast<std::intptr_t>(handle); }
  std::vector<std::string> calls;
  std::vector<long long> liveRegions;

 private:
  void Log(std::string call, auto... args) {
    ((call += " " + std::to_string(static_cast<long long>(args))), ...);
    calls.push_back(call);
  }
  HRGN New(const char* kind, auto... args) {
    liveRegions.push_back(++lastRegion_);
    Log(std::string("Create") + kind + "Rgn", args..., lastRegion_);
    return reinterpret_cast<HRGN>(static_cast<std::intptr_t>(lastRegion_));
  }
  long long lastRegion_ = 0;
};

class AddressSource : public platform::AddressSource {
 public:
  std::string LocalIP() override { return address; }
  std::string address = "127.0.0.1";
};

}  // namespace fake
