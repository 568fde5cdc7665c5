#include "contours/ContourLabels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <utility>

namespace sondralis {

namespace {

// A line measured along its length: the distance from its first point to
// each point.
struct TMeasuredLine {
  const std::vector<TChartPoint>* Points = nullptr;
  std::vector<double> At;  // arc length at each point
  double Length() const { return At.empty() ? 0 : At.back(); }

  explicit TMeasuredLine(const std::vector<TChartPoint>& P) : Points(&P) {
    At.reserve(P.size());
    double s = 0;
    for (std::size_t i = 0; i < P.size(); ++i) {
      if (i) s += std::hypot(P[i].X - P[i - 1].X, P[i].Y - P[i - 1].Y);
      At.push_back(s);
    }
  }
  // The point at arc length s and the index of the segment it lies on.
  TChartPoint PointAt(double s, std::size_t& Segment) const {
    const std::vector<TChartPoint>& p = *Points;
    const auto it = std::upper_bound(At.begin(), At.end(), s);
    std::size_t i = it == At.begin() ? 0 : static_cast<std::size_t>(it - At.begin()) - 1;
    i = std::min(i, p.size() - 2);
    Segment = i;
    const double len = At[i + 1] - At[i];
    const double t = len > 0 ? std::clamp((s - At[i]) / len, 0.0, 1.0) : 0;
    return {p[i].X + t * (p[i + 1].X - p[i].X), p[i].Y + t * (p[i + 1].Y - p[i].Y)};
  }
};

// How far the line strays from the straight line between its points at arc
// lengths s0 and s1, and that chord's ends.
double Bend(const TMeasuredLine& Line, double s0, double s1, TChartPoint& A, TChartPoint& B) {
  std::size_t i0, i1;
  A = Line.PointAt(s0, i0);
  B = Line.PointAt(s1, i1);
  const double vx = B.X - A.X, vy = B.Y - A.Y, len = std::hypot(vx, vy);
  if (len == 0) return 1e300;
  double bend = 0;
  for (std::size_t i = i0 + 1; i <= i1; ++i) {
    const TChartPoint& p = (*Line.Points)[i];
    bend = std::max(bend, std::fabs(vx * (p.Y - A.Y) - vy * (p.X - A.X)) / len);
  }
  // A line that doubles back under the text is no straight stretch either.
  return std::max(bend, (s1 - s0) - len);
}

double Upright(double Angle) {
  while (Angle > std::numbers::pi / 2) Angle -= std::numbers::pi;
  while (Angle <= -std::numbers::pi / 2) Angle += std::numbers::pi;
  return Angle;
}

// The segments of all lines in buckets of a few pixels, for asking which
// lines pass under a label.
class TSegmentBuckets {
 public:
  explicit TSegmentBuckets(const std::vector<TChartLine>& Lines) : fLines(Lines) {
    for (std::size_t l = 0; l < Lines.size(); ++l)
      for (std::size_t i = 0; i + 1 < Lines[l].Points.size(); ++i) {
        const TChartPoint& a = Lines[l].Points[i];
        const TChartPoint& b = Lines[l].Points[i + 1];
        for (long x = Cell(std::min(a.X, b.X)); x <= Cell(std::max(a.X, b.X)); ++x)
          for (long y = Cell(std::min(a.Y, b.Y)); y <= Cell(std::max(a.Y, b.Y)); ++y)
            fBuckets[{x, y}].push_back({static_cast<int>(l), static_cast<int>(i)});
      }
  }

  // True when a segment for which Own(line, index) is false passes through
  // the box.
  template <typename OwnFn>
  bool Crossed(const TLabelBox& Box, OwnFn Own) const {
    const double r = std::hypot(Box.Width, Box.Height) / 2;
    for (long x = Cell(Box.Centre.X - r); x <= Cell(Box.Centre.X + r); ++x)
      for (long y = Cell(Box.Centre.Y - r); y <= Cell(Box.Centre.Y + r); ++y) {
        const auto it = fBuckets.find({x, y});
        if (it == fBuckets.end()) continue;
        for (const auto& [line, index] : it->second) {
          if (Own(line, index)) continue;
          const std::vector<TChartPoint>& p = fLines[static_cast<std::size_t>(line)].Points;
          if (Box.Meets(p[static_cast<std::size_t>(index)], p[static_cast<std::size_t>(index) + 1])) return true;
        }
      }
    return false;
  }

 private:
  static long Cell(double v) { return static_cast<long>(std::floor(v / 8)); }
  const std::vector<TChartLine>& fLines;
  std::map<std::pair<long, long>, std::vector<std::pair<int, int>>> fBuckets;
};

}  // namespace

std::string DepthLabelText(int Level, int Step) {
  int decimals = Step < 100 ? 1 : 0;
  if (Level % 10 != 0) decimals = 2;
  else if (Level % 100 != 0) decimals = std::max(decimals, 1);
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, Level / 100.0);
  return text;
}

bool IsIndexLevel(int Level, int Step) {
  const int index = Step < 100 ? 100 : 5 * Step;
  return Level % index == 0;
}

TLabelBox TLabelBox::Upright(double X0, double Y0, double X1, double Y1) {
  return {{(X0 + X1) / 2, (Y0 + Y1) / 2}, std::fabs(X1 - X0), std::fabs(Y1 - Y0), 0};
}

bool TLabelBox::Overlaps(const TLabelBox& Other) const {
  // Separating axes: the two sides of each rectangle.
  const TLabelBox* boxes[2] = {this, &Other};
  const double dx = Other.Centre.X - Centre.X, dy = Other.Centre.Y - Centre.Y;
  // Rectangles whose circles around them lie apart are apart: most pairs,
  // told without a sine.
  const double circles = (std::hypot(Width, Height) + std::hypot(Other.Width, Other.Height)) / 2 + 1e-6;
  if (dx * dx + dy * dy > circles * circles) return false;
  for (const TLabelBox* axisBox : boxes)
    for (int side = 0; side < 2; ++side) {
      const double angle = axisBox->Angle + side * std::numbers::pi / 2;
      const double ax = std::cos(angle), ay = std::sin(angle);
      double reach = 0;
      for (const TLabelBox* b : boxes) {
        const double c = std::cos(b->Angle), s = std::sin(b->Angle);
        reach += std::fabs(b->Width / 2 * (c * ax + s * ay)) + std::fabs(b->Height / 2 * (-s * ax + c * ay));
      }
      // Touching counts as overlapping: two labels need a gap between them.
      if (std::fabs(dx * ax + dy * ay) > reach + 1e-9) return false;
    }
  return true;
}

bool TLabelBox::Meets(const TChartPoint& A, const TChartPoint& B) const {
  // Into the rectangle's own frame, then clipped against it (Liang–Barsky).
  const double c = std::cos(Angle), s = std::sin(Angle);
  const auto local = [&](const TChartPoint& p) {
    const double x = p.X - Centre.X, y = p.Y - Centre.Y;
    return TChartPoint{c * x + s * y, -s * x + c * y};
  };
  const TChartPoint a = local(A), b = local(B);
  const double dx = b.X - a.X, dy = b.Y - a.Y;
  double t0 = 0, t1 = 1;
  const auto clip = [&](double p, double q) {
    if (p == 0) return q >= 0;
    const double r = q / p;
    if (p < 0) t0 = std::max(t0, r);
    else t1 = std::min(t1, r);
    return t0 <= t1;
  };
  const double hw = Width / 2, hh = Height / 2;
  return clip(-dx, a.X + hw) && clip(dx, hw - a.X) && clip(-dy, a.Y + hh) && clip(dy, hh - a.Y);
}

TChartPoint LabelSpot(const std::vector<TChartPoint>& Points, double Length) {
  if (Points.empty()) return {};
  if (Points.size() == 1) return Points.front();
  const TMeasuredLine line(Points);
  std::size_t segment;
  const double total = line.Length();
  if (total <= Length || Length <= 0) return line.PointAt(total / 2, segment);
  double best = 1e300, at = total / 2;
  const double half = Length / 2;
  for (double s = half; s <= total - half; s += std::max(half / 4, 1e-9 * total)) {
    TChartPoint a, b;
    const double bend = Bend(line, s - half, s + half, a, b);
    if (bend < best) {
      best = bend;
      at = s;
    }
  }
  return line.PointAt(at, segment);
}

std::vector<TContourLabel> PlaceContourLabels(const std::vector<TChartLine>& Lines, const TLabelStyle& Style,
                                              const std::vector<TLabelBox>& Obstacles) {
  std::vector<TContourLabel> placed;
  if (!Style.TextWidth) return placed;
  const TSegmentBuckets buckets(Lines);
  std::vector<TMeasuredLine> measured;
  measured.reserve(Lines.size());
  for (const TChartLine& line : Lines) measured.emplace_back(line.Points);
  std::vector<std::size_t> order(Lines.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  const auto first = [&](std::size_t l) { return Style.First && Style.First(Lines[l].Level); };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (first(a) != first(b)) return first(a);
    return measured[a].Length() > measured[b].Length();
  });

  struct TCandidate {
    double Bend, At;
    TChartPoint Centre;
    double Angle;
  };
  for (const std::size_t l : order) {
    const TChartLine& line = Lines[l];
    const TMeasuredLine& m = measured[l];
    if (line.Points.size() < 2) continue;
    const std::string text = DepthLabelText(line.Level, Style.Step);
    const double width = Style.TextWidth(text);
    const double half = width / 2 + Style.Padding;
    if (m.Length() < 2 * half) continue;
    std::vector<TCandidate> candidates;
    const double stride = std::max(half / 4, 0.5);
    for (double s = half; s <= m.Length() - half; s += stride) {
      TChartPoint a, b;
      const double bend = Bend(m, s - half, s + half, a, b);
      if (bend > Style.MaxBend) continue;
      std::size_t segment;
      candidates.push_back({bend, s, m.PointAt(s, segment), Upright(std::atan2(b.Y - a.Y, b.X - a.X))});
    }
    // The straightest first; among equals the one nearest the middle.
    std::sort(candidates.begin(), candidates.end(), [&](const TCandidate& a, const TCandidate& b) {
      if (a.Bend != b.Bend) return a.Bend < b.Bend;
      return std::fabs(a.At - m.Length() / 2) < std::fabs(b.At - m.Length() / 2);
    });
    const std::size_t most = 1 + static_cast<std::size_t>(m.Length() / std::max(Style.Spacing, 1.0));
    std::vector<double> taken;
    for (const TCandidate& c : candidates) {
      if (taken.size() >= most) break;
      if (std::any_of(taken.begin(), taken.end(), [&](double s) { return std::fabs(s - c.At) < Style.Spacing; }))
        continue;
      TContourLabel label{static_cast<int>(l), line.Level, text, {c.Centre, width + Style.Padding, Style.TextHeight, c.Angle}};
      const auto overlaps = [&](const TLabelBox& other) { return label.Box.Overlaps(other); };
      if (std::any_of(Obstacles.begin(), Obstacles.end(), overlaps)) continue;
      if (std::any_of(placed.begin(), placed.end(), [&](const TContourLabel& p) { return overlaps(p.Box); })) continue;
      // Its own line under the text is where it belongs, and lines of levels
      // that do not block may pass; any other line, or its own coming back,
      // would be covered.
      const double from = c.At - half, to = c.At + half;
      const auto own = [&](int other, int index) {
        if (static_cast<std::size_t>(other) != l)
          return Style.Blocking && !Style.Blocking(Lines[static_cast<std::size_t>(other)].Level);
        const double a = m.At[static_cast<std::size_t>(index)], b = m.At[static_cast<std::size_t>(index) + 1];
        return b >= from && a <= to;
      };
      if (buckets.Crossed(label.Box, own)) continue;
      taken.push_back(c.At);
      placed.push_back(std::move(label));
    }
  }
  return placed;
}

}  // namespace sondralis
