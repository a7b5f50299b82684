// Clock text and the locale's separator.
#include <gtest/gtest.h>

#include "schedule/clock.h"

namespace {

TEST(ClockText, SeparatorIsOnePunctuationBetweenHourAndMinuteElseColon) {
  struct Case {
    const char* format;
    const char* ampm;
    const char* separator;
  };
  // The formats of real locales (glibc's t_fmt and t_fmt_ampm), then odd ones.
  const Case cases[] = {
      {"%T", "", ":"},                                            // de_DE, da_DK, sr_RS@latin
      {"%r", "%I:%M:%S %p", ":"},                                 // en_US
      {"%r", "%I.%M.%S %p", "."},                                 // %r takes the 12-hour format's
      {"%H.%M.%S", "", "."},                                      // fi_FI
      {"kl. %H.%M %z", "", "."},                                  // nb_NO
      {"%Z %I:%M:%S %p", "", ":"},                                // a 12-hour locale
      {"%l:%M:%S %P %Z", "", ":"},                                // space-padded hour
      {"%H\xe6\x99\x82%M\xe5\x88\x86%S\xe7\xa7\x92", "", ":"},    // ja_JP: a word, not a sign
      {"%H\xec\x8b\x9c %M\xeb\xb6\x84 %S\xec\xb4\x88", "", ":"},  // ko_KR
      {"%H\xef\xbc\x9a%M", "", "\xef\xbc\x9a"},                   // a full-width colon is one sign
      {"%H\xc2\xb7%M", "", "\xc2\xb7"},                           // so is a middle dot
      {"%OH:%OM:%OS", "", ":"},                                   // with the O modifier
      {"%-H/%M", "", "/"},                                        // with a flag
      {"%H%M%S", "", ":"},                                        // nothing between
      {"%k h %M", "", ":"},                                       // words between
      {"%H %M", "", ":"},                                         // a space is no separator
      {"%Hh%M", "", ":"},                                         // a letter neither
      {"%H1%M", "", ":"},                                         // nor a digit
      {"%H\t%M", "", ":"},                                        // nor a control
      {"%H\xe6%M", "", ":"},                                      // nor a broken character
      {"%H\xc0\xba%M", "", ":"},                                  // nor an overlong ":"
      {"%%H.%M", "", ":"},                                        // "%%H" is no hour
      {"%r", "", ":"},
      {"", "", ":"},
      {"Hour %", "", ":"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(schedule::SeparatorFromTimeFormat(c.format, c.ampm), c.separator) << c.format;
}

}  // namespace
