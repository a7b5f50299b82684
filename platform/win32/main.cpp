// Prekidnik on Windows: the main window on the Win32 forms runtime, dial-up
// connections through the Remote Access Service.
#include <windows.h>

#include "main_window/shaped_form.h"
#include "platform/win32/hangup_wait.h"
#include "platform/win32/win32_address.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_window_system.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  win32::Runtime runtime(instance);
  // Hanging up takes a moment after RasHangUp returns: a program that ends
  // right after asking must let the connections close first.
  runtime.OnEnding(win32::WaitForRecentHangUps);
  win32::WindowSystem windowSystem;
  win32::WinsockAddress winsock;
  main_window::ShapedForm shapedForm(runtime, windowSystem, winsock);
  runtime.Show(shapedForm);
  return runtime.Run();
}
