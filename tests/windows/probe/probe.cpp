// The end-to-end tests' view of another program's windows:
//   probe TITLE                 the top-level window of that title as JSON (or null):
//                               visible, window and client rectangles on the screen,
//                               style, children (class, text, which has the focus)
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Json(const char* text) {
  std::string out = "\"";
  for (const char* c = text; *c; ++c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(*c));
    out += *c == '"' || *c == '\\' || static_cast<unsigned char>(*c) < 0x20 ? escaped
                                                                            : std::string(1, *c);
  }
  return out + '"';
}

BOOL CALLBACK AddChild(HWND child, LPARAM param) {
  auto& [focus, json] = *reinterpret_cast<std::pair<HWND, std::string>*>(param);
  char name[64] = {}, text[1024] = {};
  GetClassNameA(child, name, sizeof name);
  SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  json += std::string(json.empty() ? "" : ",") + "{\"class\":" + Json(name) +
          ",\"text\":" + Json(text) + ",\"focus\":" + (child == focus ? "true}" : "false}");
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HWND window = FindWindowA(nullptr, argv[1]);
  if (!window) return std::puts("null"), 0;
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::pair<HWND, std::string> children{gui.hwndFocus, ""};
  EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&children));
  std::printf(
      "{\"visible\":%s,\"window\":[%ld,%ld,%ld,%ld],\"client\":[%ld,%ld,%ld,%ld],"
      "\"style\":%lu,\"children\":[%s]}\n",
      IsWindowVisible(window) ? "true" : "false", outer.left, outer.top, outer.right, outer.bottom,
      client.left, client.top, client.right, client.bottom,
      static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)), children.second.c_str());
}
