// What every backend of the forms runtime does the same way, free of any
// toolkit. A backend turns its native events into these calls and carries
// out their answers with its own native calls; nothing here knows Qt or
// Win32.
#pragma once

#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/forms.h"
#include "platform/trace.h"

namespace forms {

// ------------------------------------------------------------ twips, pixels

// Twips per pixel of a screen of `dotsPerInch` (1440 twips make an inch);
// 15, that of 96 dpi, when the screen tells none.
inline float TwipsPerPixel(double dotsPerInch) {
  return dotsPerInch > 0 ? static_cast<float>(1440.0 / dotsPerInch) : 15.0f;
}

// Pixels for `twips`, rounded to the nearest.
inline int TwipsToPixels(int twips, float twipsPerPixel) {
  return static_cast<int>(std::lround(twips / static_cast<double>(twipsPerPixel)));
}

// ------------------------------------------------------------------- mouse

enum class MouseButton { Left, Right, Other };

struct MouseDownArgs {
  int button;  // 1 left, 2 right, 4 any other
  int shift;   // 1 Shift, 2 Ctrl, 4 Alt, added up
  float x, y;  // twips from the client area's corner
};

// Form_MouseDown's arguments for a press at (`x`, `y`) window pixels.
inline MouseDownArgs MouseDown(MouseButton button, bool shift, bool ctrl, bool alt, double x,
                               double y, float twipsPerPixelX, float twipsPerPixelY) {
  return {button == MouseButton::Left    ? 1
          : button == MouseButton::Right ? 2
                                         : 4,
          (shift ? 1 : 0) | (ctrl ? 2 : 0) | (alt ? 4 : 0), static_cast<float>(x * twipsPerPixelX),
          static_cast<float>(y * twipsPerPixelY)};
}

// ----------------------------------------------------------------- windows

// The loaded window of a form, `find()`; a form that is not loaded is loaded
// first by `show()`, as Show does, for any call on it (no window comes back
// while the program ends).
template <typename Find, typename Show>
auto Require(Find find, Show show) -> decltype(find()) {
  if (auto window = find()) return window;
  show();
  return find();
}

// Whether the program ends now that a window went: it ends when no window is
// left to the user. A loaded window that is hidden counts only while another
// one shows: alone, nothing could ever bring it back, and the program would
// run on unseen for good. `visible(window)` tells whether one shows.
template <typename Windows, typename Visible>
bool NoWindowLeftToUser(const Windows& loaded, Visible visible) {
  return std::none_of(std::begin(loaded), std::end(loaded), visible);
}

// Sets a control's text by `set()` only when it differs from `shown`, what
// the control shows: the clock is set a thousand times a second during a
// matching second, and each native set repaints. `control` names it in the
// benchmark's trace.
template <typename Set>
void SetTextIfChanged(std::string_view shown, std::string_view text, std::string_view control,
                      Set set) {
  if (shown == text) return;
  set();
  Trace("text", control, text);
}

}  // namespace forms
