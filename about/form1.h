// The About window: a few lines about the author and an OK button.
#pragma once

#include "platform/forms.h"

namespace about {

class Form1 : public forms::Form {
 public:
  enum Control {
    Label1,   // the lines about the author
    Command1  // "OK!": hides this window, brings the main one forward
  };

  // `mainWindow` is brought forward again when OK hides this window.
  Form1(forms::Runtime& runtime, forms::Form& mainWindow)
      : runtime_(runtime), mainWindow_(mainWindow) {}

  const forms::FormDesign& Design() const override;
  void Click(int control) override;

  static const forms::FormDesign kDesign;

 private:
  void Command1_Click();

  forms::Runtime& runtime_;
  forms::Form& mainWindow_;
};

}  // namespace about
