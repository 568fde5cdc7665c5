#pragma once

#include <QString>

namespace sondralis {

// The text of the About tab, as rich text: the program, its version, what
// it does, and the licences of the libraries it is built with.
QString AboutText();

}  // namespace sondralis
