// The forms runtime on Qt 6 Widgets. What it turns into widgets: a form into
// a top-level QWidget (frameless for BorderStyle None), a label into a
// QLabel, a text box into a QLineEdit, a button into a QPushButton, a timer
// into a FormTimer (form_timer.h); a Winsock control into nothing. What it
// routes: clicks, text edits, timer ticks, presses on the bare surface and
// closing, each to the form's handler, then the timer rule. What every
// backend does alike is in platform/runtime_rules.h and timer_rule.h.
#include "platform/qt/qt_runtime.h"

#include <langinfo.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWindow>
#include <algorithm>
#include <clocale>

#include "platform/label_text.h"
#include "platform/qt/caret_rest.h"
#include "platform/qt/form_timer.h"
#include "platform/qt/qt_window_system.h"
#include "platform/runtime_rules.h"
#include "platform/timer_rule.h"
#include "schedule/clock.h"

namespace qt_backend {

namespace {

// Labels keep their own presses, as on Windows: a press on a label does not
// reach the window's surface and so does not move the window.
class Label : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
};

// What a screen reader is told (AT-SPI). A form is a window named by its
// caption, where Qt would make a plain QWidget a "filler". A label is
// named by the text it shows at the moment it is asked, whatever its
// accessible name (see Runtime::SetText), and names the box it is the buddy of.
class LabelAccessible : public QAccessibleWidget {
 public:
  explicit LabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<const QLabel*>(object())->text();
    return QAccessibleWidget::text(t);
  }

  QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
      QAccessible::Relation match) const override {
    auto related = QAccessibleWidget::relations(match);
    QWidget* buddy = static_cast<const QLabel*>(object())->buddy();
    if ((match & QAccessible::Labelled) && buddy)
      related.append({QAccessible::queryAccessibleInterface(buddy), QAccessible::Labelled});
    return related;
  }
};

// Qt asks for a label's interface while QLabel's constructor sets its text,
// before the label is one of ours by type: a form's label is known by its
// parent.
QAccessibleInterface* AccessibleFor(const QString& className, QObject* object) {
  if (className == QLatin1String("qt_backend::FormWindow"))
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  if (className == QLatin1String("QLabel") && qobject_cast<FormWindow*>(object->parent()))
    return new LabelAccessible(static_cast<QLabel*>(object));
  return nullptr;
}

QString FromText(std::string_view text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// Sets a label's text, repainting only the characters that changed when the
// text keeps its place: the clock changes a digit or two a second, and its
// whole label is 64 KB of pixels for the X server, so much that the write
// waits for the server to read it. A text of another length or width (which
// moves), or one that wraps, repaints the whole label.
void SetLabelText(QLabel* label, const QString& text) {
  static constexpr char kWidth[] = "prekidnikTextWidth";  // of the text shown, as laid out
  const QString shown = label->text();
  const QFontMetrics metrics(label->font());
  const int width = metrics.horizontalAdvance(text);
  const QVariant shownWidth = label->property(kWidth);
  label->setProperty(kWidth, width);
  if (label->wordWrap() || !label->isVisible() || shown.size() != text.size() ||
      shownWidth != QVariant(width)) {
    label->setText(text);
    return;
  }
  qsizetype first = 0;
  qsizetype end = text.size();
  while (first < end && shown[first] == text[first]) ++first;
  while (end > first && shown[end - 1] == text[end - 1]) --end;
  // Where the changed characters are, from the advance of each: kerning
  // moves them by less than the margin around them.
  int before = 0;
  for (qsizetype i = 0; i < first; ++i) before += metrics.horizontalAdvance(text[i]);
  int changed = 0;
  for (qsizetype i = first; i < end; ++i) changed += metrics.horizontalAdvance(text[i]);
  const QRect box = label->contentsRect();
  int left = box.left();
  if (label->alignment() & Qt::AlignHCenter)
    left += (box.width() - width) / 2;
  else if (label->alignment() & Qt::AlignRight)
    left = box.right() + 1 - width;
  const int margin = metrics.height() / 4;  // glyphs and their smoothing reach past the advance
  // QLabel repaints all of itself on a new text: held back for the call,
  // then the changed part asked for.
  label->setAttribute(Qt::WA_UpdatesDisabled);
  label->setText(text);
  label->setAttribute(Qt::WA_UpdatesDisabled, false);
  label->update(left + before - margin, box.top(), changed + 2 * margin, box.height());
}

// Fonts of the design that a Linux desktop rarely has, with their nearest kin.
QStringList FamiliesFor(std::string_view name) {
  if (name == "TimesRomanBold")
    return {"Times New Roman", "Liberation Serif", "DejaVu Serif", "serif"};
  if (name == "MS Sans Serif")
    return {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans",
            "sans-serif"};
  return {FromText(name)};
}

}  // namespace

QColor ColorOf(forms::Color color) {
  if (color == forms::kActiveBorderColor) return QColor(0xD4, 0xD0, 0xC8);  // classic grey
  if (color == forms::kDefaultColor || (color & 0x80000000u))
    return QApplication::palette().color(QPalette::Window);
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// ---------------------------------------------------------------- FormWindow

FormWindow::FormWindow(Runtime& runtime, forms::Form& form, float tppX, float tppY)
    : runtime_(runtime), form_(form), tppX_(tppX), tppY_(tppY) {
  const forms::FormDesign& d = form.Design();
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(FromText(d.caption));
  if (d.borderStyle == forms::BorderStyle::None) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  } else {
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
  }
  const QRect client = Pixels(d.left, d.top, d.clientWidth, d.clientHeight);
  setFixedSize(client.size());
  if (d.startUpPosition == forms::StartUpPosition::Manual) move(client.topLeft());
  if (d.backColor != forms::kDefaultColor) {
    QPalette p = palette();
    p.setColor(QPalette::Window, ColorOf(d.backColor));
    setPalette(p);
    setAutoFillBackground(true);
  }

  std::vector<const forms::ControlDesign*> tabOrder;
  for (const auto& c : d.controls) {
    if (QWidget* w = Build(c); w && w->focusPolicy() != Qt::NoFocus) tabOrder.push_back(&c);
  }
  std::sort(tabOrder.begin(), tabOrder.end(),
            [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
  for (std::size_t i = 1; i < tabOrder.size(); ++i)
    setTabOrder(controls_[tabOrder[i - 1]->id], controls_[tabOrder[i]->id]);
  // A text box is named by the label just before it (Label1's instruction
  // line for Text1); its tool tip is its description.
  for (const auto& c : d.controls) {
    const forms::ControlDesign* naming = forms::NamingLabel(d.controls, c);
    if (auto* label = naming ? qobject_cast<QLabel*>(Control(naming->id)) : nullptr)
      label->setBuddy(Control(c.id));
  }
}

QRect FormWindow::Pixels(int left, int top, int width, int height) const {
  return QRect(forms::TwipsToPixels(left, tppX_), forms::TwipsToPixels(top, tppY_),
               forms::TwipsToPixels(width, tppX_), forms::TwipsToPixels(height, tppY_));
}

QFont FormWindow::Font(const forms::FontDesign& design) const {
  if (design.name.empty()) return font();
  QFont f;
  f.setFamilies(FamiliesFor(design.name));
  f.setWeight(static_cast<QFont::Weight>(design.weight));
  f.setPointSizeF(design.points);
  return f;
}

QWidget* FormWindow::Build(const forms::ControlDesign& c) {
  const int id = c.id;
  QWidget* widget = nullptr;
  const Qt::Alignment align =
      c.alignment == forms::Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft;
  switch (c.kind) {
    case forms::ControlKind::Label: {
      auto* label = new Label(FromText(forms::ShownCaption(c.caption, c.wordWrap)), this);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(align | Qt::AlignTop);
      label->setWordWrap(c.wordWrap);
      label->setFocusPolicy(Qt::NoFocus);
      widget = label;
      break;
    }
    case forms::ControlKind::TextBox: {
      auto* edit = new QLineEdit(FromText(c.caption), this);
      edit->setAlignment(align);
      RestCaret(edit);
      connect(edit, &QLineEdit::textChanged, this,
              [this, id] { Route([&] { form_.Change(id); }); });
      widget = edit;
      break;
    }
    case forms::ControlKind::CommandButton: {
      auto* button = new QPushButton(FromText(c.caption), this);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, id] { Route([&] { form_.Click(id); }); });
      widget = button;
      break;
    }
    case forms::ControlKind::Timer: {
      auto* timer = new FormTimer(
          runtime_.clock(), [this, id] { Route([&] { form_.Timer(id); }, id); }, this);
      timers_.emplace_back(id, timer);
      return nullptr;
    }
    case forms::ControlKind::Winsock:
      return nullptr;  // not a widget: the address source stands in for it
  }
  widget->setObjectName(FromText(c.name));
  widget->setGeometry(Pixels(c.left, c.top, c.width, c.height));
  widget->setFont(Font(c.font));
  if (!c.toolTip.empty()) widget->setToolTip(FromText(c.toolTip));
  controls_[id] = widget;
  return widget;
}

QWidget* FormWindow::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

FormTimer* FormWindow::TimerControl(int id) const {
  for (const auto& [timerId, timer] : timers_)
    if (timerId == id) return timer;
  return nullptr;
}

void FormWindow::FocusFirst() {
  const forms::ControlDesign* first = nullptr;
  for (const auto& c : form_.Design().controls) {
    QWidget* w = Control(c.id);
    if (w && w->focusPolicy() != Qt::NoFocus && (!first || c.tabIndex < first->tabIndex))
      first = &c;
  }
  if (first) Control(first->id)->setFocus(Qt::OtherFocusReason);
}

template <typename Handler>
void FormWindow::Route(Handler handler, int tickedTimer) {
  if (runtime_.Ending()) return;
  const int outer = ticking_;  // a drag's move loop runs ticks inside a press
  ticking_ = tickedTimer;
  handler();
  ticking_ = outer;
  runtime_.AfterEvent(*this, tickedTimer);
}

void FormWindow::mousePressEvent(QMouseEvent* event) {
  const auto button = event->button() == Qt::LeftButton    ? forms::MouseButton::Left
                      : event->button() == Qt::RightButton ? forms::MouseButton::Right
                                                           : forms::MouseButton::Other;
  const auto mods = event->modifiers();
  const forms::MouseDownArgs a = forms::MouseDown(
      button, mods & Qt::ShiftModifier, mods & Qt::ControlModifier, mods & Qt::AltModifier,
      event->position().x(), event->position().y(), tppX_, tppY_);
  event->accept();
  setProperty(kPressedAt, event->position().toPoint());
  Route([&] { form_.Form_MouseDown(a.button, a.shift, a.x, a.y); });
}

void FormWindow::closeEvent(QCloseEvent* event) {
  if (runtime_.Ending()) return;
  int cancel = 0;
  form_.Form_Unload(cancel);
  if (cancel != 0) {
    event->ignore();
    return;
  }
  event->accept();
  runtime_.Unloaded(form_);
}

// ------------------------------------------------------------------- Runtime

Runtime::Runtime(Clock* clock)
    : systemClock_(clock ? nullptr : std::make_unique<SystemClock>()),
      clock_(clock ? *clock : *systemClock_) {
  // The C library's time format for the user's locale names the separator.
  std::setlocale(LC_TIME, "");
  const std::string format = nl_langinfo(T_FMT);
  separator_ = schedule::SeparatorFromTimeFormat(format, nl_langinfo(T_FMT_AMPM));
  QApplication::setQuitOnLastWindowClosed(false);
  QAccessible::installFactory(AccessibleFor);
  clock_.OnStep([this] { ClockStepped(); });
}

Runtime::~Runtime() {
  clock_.OnStep(nullptr);
  for (auto& [form, window] : windows_) delete window;
}

FormWindow* Runtime::Loaded(forms::Form& form) {
  auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : it->second;
}

FormWindow* Runtime::Require(forms::Form& form) {
  return forms::Require([&] { return Loaded(form); }, [&] { Show(form); });
}

void Runtime::Show(forms::Form& form) {
  FormWindow* window = Loaded(form);
  if (!window) {
    window = new FormWindow(*this, form, TwipsPerPixelX(), TwipsPerPixelY());
    windows_[&form] = window;
    window->winId();  // the native window exists before Form_Load, as its handle is needed
    form.Form_Load();
    window->show();
    window->FocusFirst();
    AfterEvent(*window, -1);
  } else {
    if (window->isMinimized()) window->showNormal();
    // A window shown again opens where it was left, as on Windows. Qt tells
    // the window manager only a position the program chose, else it places
    // the window anew, as a new one: choose the one it has.
    if (QWindow* native = window->windowHandle(); native && !window->isVisible())
      native->setPosition(native->position());
    window->show();
  }
  window->raise();
  window->activateWindow();
}

void Runtime::Hide(forms::Form& form) {
  if (FormWindow* w = Loaded(form)) w->hide();
}

void Runtime::SetWindowState(forms::Form& form, forms::WindowState state) {
  FormWindow* w = Require(form);
  if (!w) return;
  if (state == forms::WindowState::Minimized)
    w->showMinimized();
  else
    w->showNormal();
}

void Runtime::End() {
  ending_ = true;
  for (auto& [form, window] : windows_) {
    for (auto& [id, timer] : window->Timers()) timer->stop();
    window->hide();
  }
  QCoreApplication::exit(0);
}

std::string Runtime::Text(forms::Form& form, int control) {
  const FormWindow* window = Require(form);
  QWidget* w = window ? window->Control(control) : nullptr;
  QString text;
  if (auto* label = qobject_cast<QLabel*>(w))
    text = label->text();
  else if (auto* edit = qobject_cast<QLineEdit*>(w))
    text = edit->text();
  else if (auto* button = qobject_cast<QPushButton*>(w))
    text = button->text();
  return text.toLocal8Bit().toStdString();
}

void Runtime::SetText(forms::Form& form, int control, std::string_view text) {
  const FormWindow* window = Require(form);
  QWidget* w = window ? window->Control(control) : nullptr;
  if (!w) return;
  const QString value = FromText(text);
  const forms::ControlDesign* design = form.Design().Find(control);
  forms::SetTextIfChanged(Text(form, control), text, design ? design->name : "", [&] {
    if (auto* label = qobject_cast<QLabel*>(w)) {
      // What a timer writes (the clock, every second) changes by itself, not
      // at the user's doing: a screen reader reads it when it asks, but is not
      // told of each change. QLabel tells of a new text only while the label
      // has no accessible name of its own, so such a label gets its design
      // name, which nothing speaks: LabelAccessible names it by its text.
      if (window->Ticking() >= 0 && label->accessibleName().isEmpty() && design)
        label->setAccessibleName(FromText(design->name));
      SetLabelText(label, value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      edit->setText(value);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
      button->setText(value);
    }
  });
}

forms::WindowHandle Runtime::hWnd(forms::Form& form) { return Require(form); }

float Runtime::TwipsPerPixelX() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return forms::TwipsPerPixel(screen ? screen->logicalDotsPerInchX() : 0);
}

float Runtime::TwipsPerPixelY() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return forms::TwipsPerPixel(screen ? screen->logicalDotsPerInchY() : 0);
}

forms::TimeOfDay Runtime::Now() {
  const std::int64_t now = clock_.Now();
  toldAt_ = now - now % 1'000'000;
  return clock_.LocalTime(now);
}

// A form's timers as the re-arming rule sees them.
class Runtime::Slots : public forms::FormTimerSlots {
 public:
  Slots(Runtime& runtime, FormWindow& window) : runtime_(runtime), window_(window) {
    runtime_.toldAt_ = -1;
  }
  bool Active(int timer) override { return window_.TimerControl(timer)->isActive(); }
  int RemainingMs(int timer) override { return window_.TimerControl(timer)->remainingTime(); }
  int AskDelay(forms::Form& form, int timer) override {
    runtime_.toldAt_ = -1;
    return form.TimerDelay(timer);
  }
  void Start(int id, int delay, bool justTicked) override {
    // A delay chosen from the clock counts from the time the form was told,
    // to the millisecond. Else a timer that just ticked counts from when
    // that tick was due, as a periodic timer does (a handler that took
    // longer than the delay is followed by the next tick at once), and any
    // other from now.
    FormTimer* timer = window_.TimerControl(id);
    timer->start(delay, runtime_.toldAt_ >= 0                 ? runtime_.toldAt_
                        : justTicked && timer->lastDue() >= 0 ? timer->lastDue()
                                                              : runtime_.clock_.Now());
  }
  void Stop(int timer) override { window_.TimerControl(timer)->stop(); }

 private:
  Runtime& runtime_;
  FormWindow& window_;
};

void Runtime::AfterEvent(FormWindow& window, int tickedTimer) {
  if (ending_) return;
  Slots timers(*this, window);
  forms::RearmTimers(window.form(), tickedTimer, timers);
}

void Runtime::ClockStepped() {
  if (ending_) return;
  for (auto& [form, window] : windows_) {
    Slots timers(*this, *window);
    forms::TimeChanged(*form, timers);
  }
}

void Runtime::Unloaded(forms::Form& form) {
  FormWindow* window = Loaded(form);
  if (!window) return;
  windows_.erase(&form);
  for (auto& [id, timer] : window->Timers()) timer->stop();
  window->deleteLater();
  if (forms::NoWindowLeftToUser(windows_,
                                [](const auto& loaded) { return loaded.second->isVisible(); }))
    QCoreApplication::quit();
}

}  // namespace qt_backend
