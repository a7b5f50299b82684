// What a screen reader learns of another program's window through Active Accessibility:
// `acc_probe TITLE` prints, as JSON (or null when no window has that title), the accessible
// name and role of the top-level window titled TITLE (its window object and its client
// area), then of each child window in the window's child order: its class, name, role (number
// and the system's text for it) and whether it has the focus. The objects come
// from AccessibleObjectFromWindow, as a screen reader gets them: the system's own proxies for
// standard controls. `acc_probe --reference` prints the same of a window of its own with
// standard controls.
#include <windows.h>
// After <windows.h>.
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
    out +=
        c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ? escaped : std::string(1, c);
  }
  return out + '"';
}

// A BSTR as UTF-8, freed; an absent one as "".
std::string Utf8(BSTR text) {
  if (!text) return "";
  const int length = static_cast<int>(SysStringLen(text));
  std::string out(static_cast<std::size_t>(
                      WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), static_cast<int>(out.size()), nullptr,
                      nullptr);
  SysFreeString(text);
  return out;
}

// The object `id` (OBJID_WINDOW, OBJID_CLIENT) of `window` as JSON members.
std::string Describe(HWND window, LONG id) {
  IAccessible* object = nullptr;
  // __uuidof, not IID_IAccessible: 64-bit mingw-w64 links that name to oleacc.dll's data
  // export through an import stub, and the call would get the stub's code as the IID.
  const HRESULT got = AccessibleObjectFromWindow(
      window, static_cast<DWORD>(id), __uuidof(IAccessible), reinterpret_cast<void**>(&object));
  if (FAILED(got) || !object) {
    char error[64];
    std::snprintf(error, sizeof error, "AccessibleObjectFromWindow: 0x%08lx",
                  static_cast<unsigned long>(got));
    return "\"error\":" + Json(error);
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  object->get_accName(self, &name);
  VARIANT role, state;
  VariantInit(&role);
  VariantInit(&state);
  object->get_accRole(self, &role);
  object->get_accState(self, &state);
  object->Release();
  const long roleNumber = role.vt == VT_I4 ? role.lVal : -1;
  char roleText[128] = {};
  if (roleNumber >= 0) GetRoleTextA(static_cast<DWORD>(roleNumber), roleText, sizeof roleText);
  const bool focused = state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_FOCUSED);
  VariantClear(&role);
  VariantClear(&state);
  return "\"name\":" + Json(Utf8(name)) + ",\"role\":" + std::to_string(roleNumber) +
         ",\"roleText\":" + Json(roleText) + ",\"focused\":" + (focused ? "true" : "false");
}

// The window and its children, as JSON.
std::string Print(HWND window) {
  std::string children;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    children += std::string(children.empty() ? "" : ",") + "{\"class\":" + Json(className) + "," +
                Describe(child, OBJID_CLIENT) + "}";
  }
  return "{\"window\":{" + Describe(window, OBJID_WINDOW) + "},\"client\":{" +
         Describe(window, OBJID_CLIENT) + "},\"children\":[" + children + "]}";
}

// A window of the probe's own with one standard static text, edit and button, in that
// order: what this system's Active Accessibility makes of standard controls, to tell a
// fault of the program from a part the system (Wine) does not have.
HWND MakeReference() {
  HWND window = CreateWindowExA(0, "STATIC", "acc_probe reference", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                200, nullptr, nullptr, nullptr, nullptr);
  CreateWindowExA(0, "STATIC", "Oznaka", WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, window, nullptr,
                  nullptr, nullptr);
  CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 40, 200, 20,
                  window, nullptr, nullptr, nullptr);
  CreateWindowExA(0, "BUTTON", "&Dugme", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 10, 70,
                  100, 25, window, nullptr, nullptr, nullptr);
  return window;
}

}  // namespace

// acc_probe TITLE: another program's window titled TITLE; acc_probe --reference: the probe's
// own window of standard controls.
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  CoInitialize(nullptr);
  const bool reference = std::string(argv[1]) == "--reference";
  HWND window = reference ? MakeReference() : FindWindowA(nullptr, argv[1]);
  std::puts(window ? Print(window).c_str() : "null");
  if (reference) DestroyWindow(window);
  CoUninitialize();
}
