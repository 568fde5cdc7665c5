#pragma once

#include <QImage>

namespace sondralis {

// The program's icon, Size pixels square: a lake's depth contours filled
// with the depth colours the maps use, red at the shore to blue in the
// deepest hole. Drawn here rather than kept as a picture, so the window's
// icon and the installed ones are one drawing at every size.
QImage DrawAppIcon(int Size);

}  // namespace sondralis
