// Reads the state of another program's windows for the end-to-end tests:
//
//   probe TITLE   prints the top-level window of that title as one JSON
//                 object (or null): visibility, window and client rectangles
//                 on the screen, style, and its child windows with class,
//                 text and which has the focus.
//   probe --time-changed TITLE
//                 sends that window WM_TIMECHANGE, as Windows does once the
//                 clock is set; prints "sent" or null.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

std::string Rect(const RECT& r) {
  char text[64];
  std::snprintf(text, sizeof text, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return text;
}

std::string Text(HWND window) {
  char text[1024] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  return text;
}

struct Children {
  HWND focus;
  std::string json;
};

BOOL CALLBACK AddChild(HWND child, LPARAM param) {
  auto* children = reinterpret_cast<Children*>(param);
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  std::string& json = children->json;
  if (!json.empty()) json += ',';
  json.append("{\"class\":").append(Json(className));
  json.append(",\"text\":").append(Json(Text(child)));
  json.append(",\"focus\":").append(child == children->focus ? "true" : "false");
  json += '}';
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--time-changed") {
    HWND window = FindWindowA(nullptr, argv[2]);
    if (window) SendMessageTimeoutA(window, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    std::printf(window ? "\"sent\"\n" : "null\n");
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: probe TITLE | probe --time-changed TITLE\n");
    return 2;
  }
  HWND window = FindWindowA(nullptr, argv[1]);
  if (!window) {
    std::printf("null\n");
    return 0;
  }
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  Children children{gui.hwndFocus, ""};
  EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&children));
  std::printf("{\"visible\":%s,\"window\":%s,\"client\":%s,\"style\":%lu,\"children\":[%s]}\n",
              IsWindowVisible(window) ? "true" : "false", Rect(outer).c_str(), Rect(client).c_str(),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)), children.json.c_str());
  return 0;
}
