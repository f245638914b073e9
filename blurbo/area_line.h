// The area line rewrite: gives one compacted line of the Squish
// configuration, when it defines an echo area, its description option.
#ifndef ORVANE_BLURBO_AREA_LINE_H
#define ORVANE_BLURBO_AREA_LINE_H

#include <string>

namespace blurbo {

struct AreaLine {
  bool isArea = false;  // the line defines an echo area
  std::string tag;      // its area tag as the line spells it; empty otherwise
  std::string line;     // the line to write
};

// Recognises an ECHOAREA line (not EchoAreaDefaults), looks its tag up with
// FindDescription and inserts or, with `replace` (Check1), replaces its
// "-$n" or "-d" option; with `tagAsDescription` (Check2) the tag stands in
// for a description the list does not give. Every other line, and an area
// line that gets no option, comes back unchanged. Touches no file.
AreaLine RewriteAreaLine(const std::string& line, bool replace,
                         bool tagAsDescription);

}  // namespace blurbo

#endif  // ORVANE_BLURBO_AREA_LINE_H
