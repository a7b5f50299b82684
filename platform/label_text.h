// What a label shows of its caption, and the text box it names.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/forms.h"

namespace forms {

// A word-wrapped caption may separate its lines with runs of spaces, sized
// for the font it was written with, which wrapping at the label's width turns
// into line ends. Fonts differ, and some toolkits carry the rest of a run over
// to the next line, so each run of two or more spaces is shown as the line end
// it stands for.
inline std::string ShownCaption(std::string_view caption, bool wordWrap,
                                std::string_view lineEnd = "\n") {
  if (!wordWrap) return std::string(caption);
  std::string shown;
  shown.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size();) {
    std::size_t run = 0;
    while (i + run < caption.size() && caption[i + run] == ' ') ++run;
    if (run >= 2) {
      shown += lineEnd;
    } else if (run == 1) {
      shown += ' ';
    } else {
      shown += caption[i];
      run = 1;
    }
    i += run;
  }
  return shown;
}

// The label whose caption names a text box for a screen reader: the label
// just before the box in its window's design, as an instruction line stands
// above the box it speaks of; none when anything else comes before it.
inline const ControlDesign* NamingLabel(std::span<const ControlDesign> controls,
                                        const ControlDesign& box) {
  if (box.kind != ControlKind::TextBox) return nullptr;
  const ControlDesign* before = nullptr;
  for (const auto& c : controls) {
    if (&c == &box) break;
    before = &c;
  }
  return before && before->kind == ControlKind::Label ? before : nullptr;
}

}  // namespace forms
