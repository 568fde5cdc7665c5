#include "corrections/GaugeLevels.h"

#include <algorithm>
#include <vector>

#include "corrections/Readings.h"
#include "model/Text.h"

namespace sondralis {

TGaugeResult ApplyGaugeLevels(TGPX& Doc, const TLevelTable& Table, std::optional<double> DatumCm,
                              const std::string& FileName) {
  TGaugeResult out;
  if (Table.Empty()) {
    out.Error = FileName + ": the gauge table holds no levels";
    return out;
  }
  out.DatumCm = DatumCm.value_or(Table.LowestLevel());
  // First every correction, so that a refusal changes nothing.
  std::vector<std::pair<TPoint4D2*, double>> corrections;
  long long untimed = 0, outside = 0;
  const TPoint4D2* firstUntimed = nullptr;
  const TPoint4D2* firstOutside = nullptr;
  ForEachRecording(Doc, [&](TGPXtrkseg& segment) {
    for (TPoint4D2* p : segment) {
      if (p->HBdepth == 0) continue;
      if (p->DateTime == 0) {
        if (untimed++ == 0) firstUntimed = p;
        continue;
      }
      const std::optional<double> level = Table.LevelAt(p->DateTime);
      if (!level) {
        if (outside++ == 0) firstOutside = p;
        continue;
      }
      corrections.emplace_back(p, out.DatumCm - *level);
    }
  });
  const auto plural = [](long long n) { return std::to_string(n) + (n == 1 ? " reading" : " readings"); };
  if (untimed > 0) {
    out.Error = FileName + ": " + plural(untimed) + " carry no time, so the gauge table cannot correct " +
                (untimed == 1 ? "it" : "them") + " (first at " + firstUntimed->Coord() + ")";
    return out;
  }
  if (outside > 0) {
    out.Error = FileName + ": " + plural(outside) + " lie outside the gauge table's times (" +
                FormatIsoTime(Table.First()) + " to " + FormatIsoTime(Table.Last()) + "), first at " +
                FormatIsoTime(firstOutside->DateTime);
    return out;
  }
  for (const auto& [p, cm] : corrections) p->HBdepth += cm;
  out.Applied = true;
  out.Readings = static_cast<long long>(corrections.size());
  if (!corrections.empty()) {
    const auto [lo, hi] = std::minmax_element(corrections.begin(), corrections.end(),
                                              [](const auto& a, const auto& b) { return a.second < b.second; });
    out.SmallestCm = lo->second;
    out.LargestCm = hi->second;
  }
  return out;
}

}  // namespace sondralis
