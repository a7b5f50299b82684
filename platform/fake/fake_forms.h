// A forms runtime and window system for tests: windows are records of their
// state, and every call is logged.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/address.h"
#include "platform/forms.h"
#include "platform/window_system.h"

namespace fake {

struct WindowRecord {
  bool loaded = false;
  bool visible = false;
  forms::WindowState state = forms::WindowState::Normal;
  int loads = 0;
  int broughtForward = 0;
  std::map<int, std::string> texts;
};

class Runtime : public forms::Runtime {
 public:
  void Show(forms::Form& form) override;
  void Hide(forms::Form& form) override;
  void SetWindowState(forms::Form& form, forms::WindowState state) override;
  void End() override { ended = true; }
  std::string Text(forms::Form& form, int control) override;
  void SetText(forms::Form& form, int control, std::string_view text) override;
  forms::WindowHandle hWnd(forms::Form& form) override { return &Require(form); }
  float TwipsPerPixelX() override { return twipsPerPixelX; }
  float TwipsPerPixelY() override { return twipsPerPixelY; }
  forms::TimeOfDay Now() override { return now; }
  std::string TimeSeparator() override { return separator; }

  // Closes `form` through the window system: Form_Unload, then unloaded
  // unless cancelled.
  void Close(forms::Form& form);
  // Types into a text box, as the user would.
  void Type(forms::Form& form, int control, std::string_view text);

  std::map<forms::Form*, WindowRecord> windows;
  // The record of `form`, loaded first if it is not, as the real runtimes do.
  WindowRecord& Require(forms::Form& form);
  bool ended = false;
  float twipsPerPixelX = 15, twipsPerPixelY = 15;
  forms::TimeOfDay now;
  std::string separator = ":";
};

struct WindowCall {
  std::string name;
  std::vector<long long> args;
};

class WindowSystem : public platform::WindowSystem {
 public:
  platform::HRGN CreateRectRgn(int x1, int y1, int x2, int y2) override;
  platform::HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) override;
  int CombineRgn(platform::HRGN destination, platform::HRGN source1, platform::HRGN source2,
                 int mode) override;
  bool DeleteObject(platform::HRGN object) override;
  int SetWindowRgn(platform::HWND window, platform::HRGN region, bool redraw) override;
  bool ReleaseCapture() override;
  std::intptr_t SendMessageA(platform::HWND window, unsigned message, std::uintptr_t wParam,
                             const std::int32_t* lParam) override;

  // Handles are numbered from 1 in the order created.
  static long long Id(platform::HRGN region) { return reinterpret_cast<std::intptr_t>(region); }
  std::vector<WindowCall> calls;
  std::vector<long long> liveRegions;

 private:
  platform::HRGN NewRegion();
  long long nextRegion_ = 1;
};

class AddressSource : public platform::AddressSource {
 public:
  std::string LocalIP() override {
    ++reads;
    return address;
  }
  std::string address = "127.0.0.1";
  int reads = 0;
};

}  // namespace fake
