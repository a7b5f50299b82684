// What a label shows of its caption.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace forms
