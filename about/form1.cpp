#include "about/form1.h"

namespace about {

namespace {

using forms::Alignment;
using forms::ControlKind;

// The lines are separated by runs of spaces; wrapping at the label's width
// turns each run into a line end.
constexpr std::string_view kAboutText =
    "Zdravo!                                                  "
    "Ovaj program je napisao jedan programer iz Kragujevca, "
    "ljubitelj Interneta i racunara.                                                  "
    "E-mail: autor@example.org                                                  "
    "Pisite mi ako imate pitanja o Internetu, programiranju ili 3D modelovanju. "
    "Rado cu odgovoriti na svako pismo!";

constexpr forms::ControlDesign kControls[] = {
    {.id = Form1::Label1,
     .name = "Label1",
     .kind = ControlKind::Label,
     .caption = kAboutText,
     .left = 120,
     .top = 60,
     .width = 3525,
     .height = 1995,
     .tabIndex = 0,
     .alignment = Alignment::Left,
     .font = {"MS Sans Serif", 400, 9.75},
     .wordWrap = true},
    {.id = Form1::Command1,
     .name = "Command1",
     .kind = ControlKind::CommandButton,
     .caption = "OK!",
     .left = 1230,
     .top = 2190,
     .width = 1245,
     .height = 525,
     .tabIndex = 1},
};

}  // namespace

const forms::FormDesign Form1::kDesign = {
    .name = "Form1",
    .caption = "O Autoru",
    .borderStyle = forms::BorderStyle::FixedSingle,
    .backColor = forms::kDefaultColor,
    .clientWidth = 3780,
    .clientHeight = 2820,
    .startUpPosition = forms::StartUpPosition::WindowsDefault,
    .controls = kControls,
};

const forms::FormDesign& Form1::Design() const { return kDesign; }

void Form1::Click(int control) {
  if (control == Command1) Command1_Click();
}

void Form1::Command1_Click() {
  runtime_.Hide(*this);
  runtime_.Show(mainWindow_);
}

}  // namespace about
