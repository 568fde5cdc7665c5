#pragma once

#include <QString>

namespace sondralis {

// The text of the About tab, as rich text: the program, its version, what
// it does, and the licences of the libraries it is built with.
QString AboutText();
// Help > How to map a lake: the four steps, in the words of the window's
// tabs and buttons, as rich text.
QString HowToMapText();
// The text over the empty Source Tracks map; with an example folder, a link
// "Open the example" (to the link target kExampleLink) follows it. Rich text.
QString StartText(bool WithExample);
inline constexpr const char* kExampleLink = "sondralis:example";

}  // namespace sondralis
