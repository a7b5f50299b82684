#include "platform/fake/fake_forms.h"

#include <algorithm>

#include "platform/runtime_rules.h"

namespace fake {

void Runtime::Show(forms::Form& form) {
  WindowRecord& w = windows[&form];
  if (!w.loaded) {
    w.loaded = true;
    ++w.loads;
    w.texts.clear();
    for (const auto& c : form.Design().controls) w.texts[c.id] = std::string(c.caption);
    form.Form_Load();
  }
  w.visible = true;
  ++w.broughtForward;
}

void Runtime::Hide(forms::Form& form) { windows[&form].visible = false; }

WindowRecord& Runtime::Require(forms::Form& form) {
  return *forms::Require(
      [&]() -> WindowRecord* {
        WindowRecord& w = windows[&form];
        return w.loaded ? &w : nullptr;
      },
      [&] { Show(form); });
}

void Runtime::SetWindowState(forms::Form& form, forms::WindowState state) {
  Require(form).state = state;
}

std::string Runtime::Text(forms::Form& form, int control) { return Require(form).texts[control]; }

void Runtime::SetText(forms::Form& form, int control, std::string_view text) {
  Require(form).texts[control] = std::string(text);
}

void Runtime::Close(forms::Form& form) {
  int cancel = 0;
  form.Form_Unload(cancel);
  if (cancel != 0) return;
  WindowRecord unloaded;
  unloaded.loads = windows[&form].loads;
  windows[&form] = unloaded;
}

void Runtime::Type(forms::Form& form, int control, std::string_view text) {
  SetText(form, control, text);
  form.Change(control);
}

platform::HRGN WindowSystem::NewRegion() {
  liveRegions.push_back(nextRegion_);
  return reinterpret_cast<platform::HRGN>(static_cast<std::intptr_t>(nextRegion_++));
}

platform::HRGN WindowSystem::CreateRectRgn(int x1, int y1, int x2, int y2) {
  platform::HRGN r = NewRegion();
  calls.push_back({"CreateRectRgn", {x1, y1, x2, y2, Id(r)}});
  return r;
}

platform::HRGN WindowSystem::CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  platform::HRGN r = NewRegion();
  calls.push_back({"CreateEllipticRgn", {x1, y1, x2, y2, Id(r)}});
  return r;
}

int WindowSystem::CombineRgn(platform::HRGN destination, platform::HRGN source1,
                             platform::HRGN source2, int mode) {
  calls.push_back({"CombineRgn", {Id(destination), Id(source1), Id(source2), mode}});
  return 2;  // SIMPLEREGION
}

bool WindowSystem::DeleteObject(platform::HRGN object) {
  calls.push_back({"DeleteObject", {Id(object)}});
  auto it = std::find(liveRegions.begin(), liveRegions.end(), Id(object));
  if (it == liveRegions.end()) return false;
  liveRegions.erase(it);
  return true;
}

int WindowSystem::SetWindowRgn(platform::HWND window, platform::HRGN region, bool redraw) {
  calls.push_back(
      {"SetWindowRgn", {reinterpret_cast<std::intptr_t>(window), Id(region), redraw ? 1 : 0}});
  return 1;
}

bool WindowSystem::ReleaseCapture() {
  calls.push_back({"ReleaseCapture", {}});
  return true;
}

std::intptr_t WindowSystem::SendMessageA(platform::HWND window, unsigned message,
                                         std::uintptr_t wParam, const std::int32_t* lParam) {
  calls.push_back({"SendMessageA",
                   {reinterpret_cast<std::intptr_t>(window), message,
                    static_cast<long long>(wParam), lParam ? *lParam : -1}});
  return 0;
}

}  // namespace fake
