// The main window's region and move calls reach the window system.
#include <gtest/gtest.h>

#include "main_window/form_region.h"
#include "platform/win32/win32_window_system.h"

namespace {

// Whether two regions cover the same pixels (however each splits them into
// rectangles).
bool SameArea(HRGN a, HRGN b) {
  HRGN difference = CreateRectRgn(0, 0, 0, 0);
  const int type = CombineRgn(difference, a, b, RGN_XOR);
  DeleteObject(difference);
  return type == NULLREGION;
}

struct Received {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1) {
    auto* r = reinterpret_cast<Received*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    *r = {message, wParam, lParam};
    return 42;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class WindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Record;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "WindowSystemTest";
    RegisterClassA(&wc);
    window = CreateWindowExA(0, "WindowSystemTest", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                             wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received));
  }
  void TearDown() override { DestroyWindow(window); }

  win32::WindowSystem ws;
  HWND window = nullptr;
  Received received;
};

TEST_F(WindowSystemTest, TheWindowTakesTheCombinedEllipse) {
  HRGN region = ws.CreateRectRgn(0, 0, 0, 0);
  HRGN ellipse = ws.CreateEllipticRgn(10, 5, 150, 95);
  EXPECT_EQ(ws.CombineRgn(region, ellipse, ellipse, platform::RGN_COPY), COMPLEXREGION);
  EXPECT_TRUE(ws.DeleteObject(ellipse));
  EXPECT_NE(ws.SetWindowRgn(window, region, true), 0);

  HRGN expected = CreateEllipticRgn(10, 5, 150, 95);
  HRGN actual = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(window, actual), ERROR);
  EXPECT_TRUE(SameArea(actual, expected));
  DeleteObject(expected);
  DeleteObject(actual);
}

TEST_F(WindowSystemTest, SendMessageHandsOverTheArgumentsAddress) {
  const std::int32_t zero = 0;
  EXPECT_EQ(ws.SendMessageA(window, WM_APP + 1, 2, &zero), 42);
  EXPECT_EQ(received.wParam, 2u);
  EXPECT_EQ(received.lParam, reinterpret_cast<LPARAM>(&zero));
}

}  // namespace
