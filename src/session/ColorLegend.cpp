#include "session/ColorLegend.h"

namespace sondralis {

void DrawColorRange(TCanvas& Strip, TColor Shallow, TColor Deep) {
  const int W = Strip.Width(), H = Strip.Height();
  for (int i = 0; i < W; ++i) {
    Strip.SetBrushColor(BlendColors(Shallow, Deep, static_cast<double>(i) / W));
    Strip.FillRect({i, 0, i + 1, H});
  }
}

}  // namespace sondralis
