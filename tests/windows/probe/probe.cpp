// The end-to-end tests' view of another program's windows: `probe TITLE` prints the top-level
// window of that title as JSON (or null): whether it is visible, its client rectangle on the
// screen, and its children (class, text).
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
  std::string& json = *reinterpret_cast<std::string*>(param);
  char name[64] = {}, text[1024] = {};
  GetClassNameA(child, name, sizeof name);
  SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  json += std::string(json.empty() ? "" : ",") + "{\"class\":" + Json(name) +
          ",\"text\":" + Json(text) + "}";
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HWND window = FindWindowA(nullptr, argv[1]);
  if (!window) return std::puts("null"), 0;
  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::string children;
  EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&children));
  std::printf("{\"visible\":%s,\"client\":[%ld,%ld,%ld,%ld],\"children\":[%s]}\n",
              IsWindowVisible(window) ? "true" : "false", client.left, client.top, client.right,
              client.bottom, children.c_str());
}
