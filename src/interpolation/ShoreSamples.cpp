#include "interpolation/ShoreSamples.h"

#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

std::optional<TShoreDepth> ParseShoreDepth(std::string_view Text) {
  const std::string_view t = Trim(Text);
  if (SameTextAscii(t, "none")) return TShoreDepth{.Samples = false, .DepthCm = 0};
  const std::optional<double> cm = ParseNumber(t);
  if (!cm || !(*cm >= 0) || *cm > 1e6) return std::nullopt;
  return TShoreDepth{.Samples = true, .DepthCm = static_cast<float>(*cm)};
}

std::string ShoreDepthError(std::string_view Text) {
  return "The shore depth \"" + std::string(Text) + "\" is neither a depth in centimetres (0 or more) nor \"none\".";
}

TSampleLists ShoreSamples(const TCoverage& Coverage, const TShoreDepth& Shore) {
  TSampleLists out;
  if (!Shore.Samples) return out;
  const int n = Coverage.ShoreCoord.Length();
  out.Coord.Reserve(static_cast<std::size_t>(n));
  out.Depth.Reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    out.Coord.Add(Coverage.ShoreCoord[i]);
    out.Depth.Add(Shore.DepthCm);
  }
  return out;
}

}  // namespace sondralis
