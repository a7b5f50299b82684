// The caret of a text box blinks while the person uses the box and rests,
// shown, once nothing has been typed or clicked there for ten seconds, as
// GTK's caret does: a caret that blinks for hours repaints its box twice a
// second for nobody (and wakes the program as often: the idle figures of the
// benchmark count on it resting).
#pragma once

class QWidget;

namespace qt_backend {

// Lets the caret of `box` blink only while it is in use. The blink time is
// the application's, so one watcher serves every box.
void RestCaret(QWidget* box);

}  // namespace qt_backend
