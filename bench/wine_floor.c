/* Wine's floor for the idle benchmark: the least a Windows program with a
 * window costs while it waits, measured under the same Wine as
 * prekidnik.exe (bench/wine.py). One window titled "Prekidnik floor",
 * without a frame as prekidnik.exe's (so its client area starts at the
 * window's corner); the words on the command line add what it does while it
 * waits:
 *
 *   (none)   a message loop and nothing else: no timer
 *   timer    a one-second SetTimer whose WM_TIMER does nothing
 *   clock    a one-second SetTimer that sets a label to the time of day,
 *            as prekidnik.exe's clock does (the label repaints)
 *   edit     an edit box with the keyboard focus, so a caret in it
 *   tip      a tooltip on the edit box, made as prekidnik.exe makes Text1's
 *
 * e.g. `wine64 wine_floor.exe clock edit`. The program ends when its window
 * is closed. It carries prekidnik.exe's manifest (bench/wine_floor.rc), so
 * that its box is the same common control (version 6) as Text1. */
#include <stdio.h>
#include <string.h>
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

enum { kLabelId = 1, kEditId = 2, kTimerId = 1 };

static int g_setLabel;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (g_setLabel) {
        SYSTEMTIME now;
        char text[16];
        GetLocalTime(&now);
        snprintf(text, sizeof text, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
        SetDlgItemTextA(window, kLabelId, text);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

static int HasWord(int argc, char** argv, const char* word) {
  for (int i = 1; i < argc; ++i)
    if (strcmp(argv[i], word) == 0) return 1;
  return 0;
}

int main(int argc, char** argv) {
  const int timer = HasWord(argc, argv, "timer") || HasWord(argc, argv, "clock");
  const int edit = HasWord(argc, argv, "edit") || HasWord(argc, argv, "tip");
  const int tip = HasWord(argc, argv, "tip");
  g_setLabel = HasWord(argc, argv, "clock");

  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);

  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(NULL);
  windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
  windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "PrekidnikFloor";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("PrekidnikFloor", "Prekidnik floor", WS_POPUP, 158, 132, 587, 335,
                              NULL, NULL, windowClass.hInstance, NULL);
  if (g_setLabel)
    CreateWindowA("STATIC", "VREME", WS_CHILD | WS_VISIBLE | SS_CENTER, 134, 67, 239, 67, window,
                  (HMENU)(INT_PTR)kLabelId, windowClass.hInstance, NULL);
  HWND box = NULL;
  if (edit)
    box = CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_CENTER, 87, 190, 349, 25,
                        window, (HMENU)(INT_PTR)kEditId, windowClass.hInstance, NULL);
  if (tip) {
    char text[] = "Upisite vreme";
    HWND tips =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window, NULL, windowClass.hInstance, NULL);
    TTTOOLINFOA tool;
    memset(&tool, 0, sizeof tool);
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = (UINT_PTR)box;
    tool.lpszText = text;
    SendMessageA(tips, TTM_ADDTOOLA, 0, (LPARAM)&tool);
  }
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  if (box) SetFocus(box);
  if (timer) SetTimer(window, kTimerId, 1000, NULL);

  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
