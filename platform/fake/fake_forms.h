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
  bool loaded = false, visible = false;
  forms::WindowState state = forms::WindowState::Normal;
  int loads = 0, broughtForward = 0;
  std::map<int, std::string> texts;
};

class Runtime : public forms::Runtime {
 public:
  void Show(forms::Form& form) override {
    WindowRecord& w = windows[&form];
    if (!w.loaded) {
      w.loaded = true;
      ++w.loads;
      for (const auto& c : form.Design().controls) w.texts[c.id] = std::string(c.caption);
      form.Form_Load();
    }
    w.visible = true;
    ++w.broughtForward;
  }
  void Hide(forms::Form& form) override { windows[&form].visible = false; }
  void SetWindowState(forms::Form& form, forms::WindowState s) override { Require(form).state = s; }
  void End() override { ended = true; }
  std::string Text(forms::Form& form, int control) override { return Require(form).texts[control]; }
  void SetText(forms::Form& form, int control, std::string_view text) override {
    Require(form).texts[control] = std::string(text);
  }
  forms::WindowHandle hWnd(forms::Form& form) override { return &Require(form); }
  float TwipsPerPixelX() override { return twipsPerPixel; }
  float TwipsPerPixelY() override { return twipsPerPixel; }
  forms::TimeOfDay Now() override { return now; }
  std::string TimeSeparator() override { return separator; }

  // The record of `form`, loaded first if it is not, as the real runtimes do.
  WindowRecord& Require(forms::Form& form) {
    auto find = [&] { return windows[&form].loaded ? &windows[&form] : nullptr; };
    return *forms::Require(find, [&] { Show(form); });
  }
  // Closed through the window system: Form_Unload, then unloaded unless cancelled.
  void Close(forms::Form& form) {
    int cancel = 0;
    form.Form_Unload(cancel);
    if (cancel != 0) return;
    const int loads = windows[&form].loads;
    windows[&form] = {};
    windows[&form].loads = loads;
  }
  // Typed into a text box, as the user would.
  void Type(forms::Form& form, int control, std::string_view text) {
    SetText(form, control, text);
    form.Change(control);
  }

  std::map<forms::Form*, WindowRecord> windows;
  bool ended = false;
  float twipsPerPixel = 15;
  forms::TimeOfDay now;
  std::string separator = ":";
};

// Logs each call as its name and arguments ("DeleteObject 2"); regions are
// numbered from 1 in the order created, and a window by its address.
class WindowSystem : public platform::WindowSystem {
 public:
  platform::HRGN CreateRectRgn(int x1, int y1, int x2, int y2) override {
    return New("CreateRectRgn", x1, y1, x2, y2);
  }
  platform::HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) override {
    return New("CreateEllipticRgn", x1, y1, x2, y2);
  }
  int CombineRgn(platform::HRGN d, platform::HRGN s1, platform::HRGN s2, int mode) override {
    Log("CombineRgn", Id(d), Id(s1), Id(s2), mode);
    return 2;  // SIMPLEREGION
  }
  bool DeleteObject(platform::HRGN object) override {
    Log("DeleteObject", Id(object));
    return std::erase(liveRegions, Id(object)) > 0;
  }
  int SetWindowRgn(platform::HWND window, platform::HRGN region, bool redraw) override {
    Log("SetWindowRgn", Id(window), Id(region), redraw);
    return 1;
  }
  bool ReleaseCapture() override { return Log("ReleaseCapture"), true; }
  std::intptr_t SendMessageA(platform::HWND window, unsigned message, std::uintptr_t wParam,
                             const std::int32_t* lParam) override {
    Log("SendMessageA", Id(window), message, wParam, lParam ? *lParam : -1);
    return 0;
  }

  template <typename H>
  static long long Id(H handle) {
    return reinterpret_cast<std::intptr_t>(handle);
  }
  std::vector<std::string> calls;
  std::vector<long long> liveRegions;

 private:
  template <typename... Args>
  void Log(std::string call, Args... args) {
    ((call += " " + std::to_string(static_cast<long long>(args))), ...);
    calls.push_back(call);
  }
  template <typename... Args>
  platform::HRGN New(const char* name, Args... args) {
    liveRegions.push_back(++lastRegion_);
    Log(name, args..., lastRegion_);
    return reinterpret_cast<platform::HRGN>(static_cast<std::intptr_t>(lastRegion_));
  }
  long long lastRegion_ = 0;
};

class AddressSource : public platform::AddressSource {
 public:
  std::string LocalIP() override { return ++reads, address; }
  std::string address = "127.0.0.1";
  int reads = 0;
};

}  // namespace fake
