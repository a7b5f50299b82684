// The design as Win32 sees it: window styles, control classes, the order
// the controls' windows are made in, colours, and each form's window class.
#include <algorithm>
#include <string>

#include "platform/label_text.h"
#include "platform/win32/win32_runtime.h"

namespace win32 {

namespace {

// The icon group of the program's resources.
constexpr int kApplicationIcon = 1;

}  // namespace

WindowStyles FormStyles(forms::BorderStyle border) {
  if (border == forms::BorderStyle::None) {
    // No frame and no title bar; the system menu and minimize box only let
    // the taskbar button minimize and restore it.
    return {WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_APPWINDOW};
  }
  // Caption and a single fixed frame, a close button only.
  return {WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0};
}

WindowStyles ControlStyles(const forms::ControlDesign& c) {
  const bool center = c.alignment == forms::Alignment::Center;
  const DWORD tabStop = c.tabIndex >= 0 ? WS_TABSTOP : 0;
  switch (c.kind) {
    case forms::ControlKind::Label: {
      // SS_NOTIFY: the label keeps its own mouse presses instead of letting
      // them through to the window beneath.
      const DWORD align = center ? SS_CENTER : c.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
      return {WS_CHILD | WS_VISIBLE | SS_NOTIFY | align, 0};
    }
    case forms::ControlKind::TextBox:
      return {WS_CHILD | WS_VISIBLE | tabStop | ES_AUTOHSCROLL |
                  static_cast<DWORD>(center ? ES_CENTER : ES_LEFT),
              WS_EX_CLIENTEDGE};
    case forms::ControlKind::CommandButton:
      return {WS_CHILD | WS_VISIBLE | tabStop | BS_PUSHBUTTON, 0};
    case forms::ControlKind::Timer:
    case forms::ControlKind::Winsock:
      break;
  }
  return {0, 0};
}

const char* ControlClass(forms::ControlKind kind) {
  switch (kind) {
    case forms::ControlKind::Label:
      return "STATIC";
    case forms::ControlKind::TextBox:
      return "EDIT";
    case forms::ControlKind::CommandButton:
      return "BUTTON";
    case forms::ControlKind::Timer:
    case forms::ControlKind::Winsock:
      break;
  }
  return nullptr;
}

std::vector<const forms::ControlDesign*> CreationOrder(
    std::span<const forms::ControlDesign> controls) {
  std::vector<const forms::ControlDesign*> order;
  for (const auto& c : controls)
    if (ControlClass(c.kind)) order.push_back(&c);
  std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
    const unsigned ka = static_cast<unsigned>(a->tabIndex);  // -1 sorts last
    const unsigned kb = static_cast<unsigned>(b->tabIndex);
    return ka < kb;
  });
  // A screen reader names a standard edit by the static text just before it
  // in the child order: the label that names a text box is made right before
  // it. A label takes no tab stop, so Tab's order stays the same.
  std::vector<const forms::ControlDesign*> naming;
  for (const auto& c : controls)
    if (const forms::ControlDesign* label = forms::NamingLabel(controls, c))
      naming.push_back(label);
  std::vector<const forms::ControlDesign*> placed;
  for (const forms::ControlDesign* c : order) {
    if (std::find(naming.begin(), naming.end(), c) != naming.end()) continue;
    if (const forms::ControlDesign* label = forms::NamingLabel(controls, *c))
      placed.push_back(label);
    placed.push_back(c);
  }
  return placed;
}

int SystemColorIndex(forms::Color color) {
  if (color == forms::kDefaultColor) return COLOR_BTNFACE;
  if (color & 0x80000000u) return static_cast<int>(color & 0xFF);
  return -1;
}

const char* Runtime::RegisterFormClass(const forms::FormDesign& design) {
  if (auto it = classes_.find(design.name); it != classes_.end()) return it->second.c_str();
  std::string className = "Prekidnik." + std::string(design.name);

  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kApplicationIcon),
                                           IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                           GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kApplicationIcon),
                                             IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  const int index = SystemColorIndex(design.backColor);
  if (index >= 0) {
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(index + 1));
  } else {
    wc.hbrBackground = CreateSolidBrush(design.backColor & 0xFFFFFF);
    classBrushes_.push_back(wc.hbrBackground);
  }
  wc.lpszClassName = className.c_str();
  RegisterClassExA(&wc);
  return classes_.emplace(std::string(design.name), std::move(className)).first->second.c_str();
}

}  // namespace win32
