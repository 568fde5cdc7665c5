#include "corrections/LevelEstimate.h"

#include <Eigen/Dense>
#include <Eigen/Sparse>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <unordered_map>

#include "corrections/Despike.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

constexpr double kMetresPerDegree = 111319.49;  // WGS84 equatorial radius x pi / 180
constexpr double kSlopeReach = 5;               // m each way over which the slope along a track is taken
constexpr double kOverlapSpacing = 2.5;         // m between the readings an overlap's plane is fitted to

// A run in a local plane (metres east and north of a reference point) with
// its readings, which of them are spikes, and the slope of the bottom along
// the track (from medians of five, which no single spike moves). The
// depths compared are the readings themselves: a median would be biased
// where a track turns, at its shallowest or deepest point, and tracks
// turn where they meet others, near the shore.
struct TPlaneRun {
  int Session = 0;
  std::vector<double> X, Y, Depth, Slope;  // m, m, cm, cm per m
  std::vector<double> Time;                // s from the session's first reading
  std::vector<bool> Spike;
};

// The first reading from `from` on, going by `step` (+1 or -1), that lies
// at least `reach` metres in a straight line from reading `origin`; -1
// where the run ends sooner. Straight-line distances, not the way along the
// run: GPS error adds a zigzag to the way that grows with the rate.
std::ptrdiff_t Farther(const TPlaneRun& run, std::size_t origin, std::size_t from, int step, double reach) {
  const double r2 = reach * reach;
  for (std::ptrdiff_t k = static_cast<std::ptrdiff_t>(from); k >= 0 && k < static_cast<std::ptrdiff_t>(run.X.size());
       k += step) {
    const double dx = run.X[static_cast<std::size_t>(k)] - run.X[origin],
                 dy = run.Y[static_cast<std::size_t>(k)] - run.Y[origin];
    if (dx * dx + dy * dy >= r2) return k;
  }
  return -1;
}

double MedianOfFive(const std::vector<double>& d, std::size_t i) {
  const std::size_t n = d.size();
  const std::size_t width = std::min<std::size_t>(n, 5);
  const std::size_t first = std::min(i >= 2 ? i - 2 : 0, n - width);
  double w[5];
  std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(first), width, w);
  std::nth_element(w, w + width / 2, w + width);
  if (width % 2 == 1) return w[width / 2];
  return (w[width / 2] + *std::max_element(w, w + width / 2)) / 2;
}

std::vector<TPlaneRun> ToPlane(const std::vector<TSurveySession>& Sessions, double speed, double& lat0, double& kx) {
  lat0 = 0;
  for (const TSurveySession& s : Sessions) {
    const auto run = std::find_if(s.Runs.begin(), s.Runs.end(), [](const auto& r) { return !r.empty(); });
    if (run == s.Runs.end()) continue;
    lat0 = run->front()->Latitude;
    break;
  }
  kx = kMetresPerDegree * std::cos(lat0 * M_PI / 180);
  std::vector<TPlaneRun> out;
  for (std::size_t s = 0; s < Sessions.size(); ++s) {
    // Times from the session's first reading; a session without times is
    // timed by its way at the survey speed.
    double start = 0, way = 0, lastX = 0, lastY = 0;
    bool first = true;
    for (const auto& run : Sessions[s].Runs)
      if (!run.empty() && run.front()->DateTime != 0) {
        start = run.front()->DateTime;
        break;
      }
    for (const auto& run : Sessions[s].Runs) {
      TPlaneRun r;
      r.Session = static_cast<int>(s);
      std::vector<double> raw;
      for (const TPoint4D2* p : run) {
        const double x = p->Longitude * kx, y = (p->Latitude - lat0) * kMetresPerDegree;
        if (!first) way += std::hypot(x - lastX, y - lastY);
        first = false;
        lastX = x;
        lastY = y;
        r.X.push_back(x);
        r.Y.push_back(y);
        r.Time.push_back(p->DateTime != 0 ? (p->DateTime - start) * 86400 : way / speed);
        raw.push_back(p->HBdepth);
      }
      if (run.size() < 2) continue;
      const std::size_t n = raw.size();
      // The slope over some metres, not over a few readings: at ten
      // readings a second the sounder's noise would swamp it.
      std::vector<double> smooth(n);
      for (std::size_t i = 0; i < n; ++i) smooth[i] = MedianOfFive(raw, i);
      r.Slope.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        const std::ptrdiff_t back = i > 0 ? Farther(r, i, i - 1, -1, kSlopeReach) : -1;
        const std::ptrdiff_t ahead = Farther(r, i, i + 1, 1, kSlopeReach);
        const std::size_t a = back < 0 ? 0 : static_cast<std::size_t>(back);
        const std::size_t b = ahead < 0 ? n - 1 : static_cast<std::size_t>(ahead);
        const double along = std::hypot(r.X[b] - r.X[a], r.Y[b] - r.Y[a]);
        r.Slope[i] = along > 0.5 ? (smooth[b] - smooth[a]) / along : 0;
      }
      r.Spike = FindSpikes(raw, TDespikeOptions{});
      r.Depth = std::move(raw);
      out.push_back(std::move(r));
    }
  }
  return out;
}

// Closest points of the segments p0-p1 and q0-q1: parameters s, t in [0, 1].
void ClosestPoints(double p0x, double p0y, double p1x, double p1y, double q0x, double q0y, double q1x, double q1y,
                   double& s, double& t) {
  const double ux = p1x - p0x, uy = p1y - p0y, vx = q1x - q0x, vy = q1y - q0y;
  const double wx = p0x - q0x, wy = p0y - q0y;
  const double a = ux * ux + uy * uy, b = ux * vx + uy * vy, c = vx * vx + vy * vy;
  const double d = ux * wx + uy * wy, e = vx * wx + vy * wy;
  const double den = a * c - b * b;
  s = den > 1e-12 * a * c && den > 0 ? std::clamp((b * e - c * d) / den, 0.0, 1.0) : 0.0;
  t = c > 0 ? std::clamp((b * s + e) / c, 0.0, 1.0) : 0.0;
  s = a > 0 ? std::clamp((b * t - d) / a, 0.0, 1.0) : 0.0;
}

std::int64_t CellKey(double x, double y, double size) {
  const auto cx = static_cast<std::int64_t>(std::floor(x / size));
  const auto cy = static_cast<std::int64_t>(std::floor(y / size));
  return (cx << 32) ^ (cy & 0xFFFFFFFF);
}

// The chord of the run around the piece from `index` to `index` + 1: from
// the reading `reach` metres back to the one `reach` metres ahead, or, where
// the run ends or turns sooner on one side, `shortReach` metres on that
// side (a track that ends or turns away just past a crossing still crosses).
// False where neither will do: the run ends too soon, or turns on the way
// (the chord is clearly shorter than its two halves).
bool Chord(const TPlaneRun& run, int index, double reach, double shortReach, std::size_t& back, std::size_t& ahead) {
  const auto i = static_cast<std::size_t>(index);
  const auto straight = [&](std::size_t b, std::size_t a) {
    const double halves = std::hypot(run.X[i] - run.X[b], run.Y[i] - run.Y[b]) +
                          std::hypot(run.X[a] - run.X[i + 1], run.Y[a] - run.Y[i + 1]);
    return std::hypot(run.X[a] - run.X[b], run.Y[a] - run.Y[b]) >= 0.9 * halves;
  };
  const std::ptrdiff_t b = Farther(run, i, i, -1, reach), a = Farther(run, i + 1, i + 1, 1, reach);
  if (b >= 0 && a >= 0 && straight(static_cast<std::size_t>(b), static_cast<std::size_t>(a))) {
    back = static_cast<std::size_t>(b);
    ahead = static_cast<std::size_t>(a);
    return true;
  }
  if (shortReach >= reach) return false;
  const std::ptrdiff_t sb = Farther(run, i, i, -1, shortReach), sa = Farther(run, i + 1, i + 1, 1, shortReach);
  for (auto [x, y] : {std::pair{b, sa}, std::pair{sb, a}}) {
    if (x < 0 || y < 0 || !straight(static_cast<std::size_t>(x), static_cast<std::size_t>(y))) continue;
    back = static_cast<std::size_t>(x);
    ahead = static_cast<std::size_t>(y);
    return true;
  }
  return false;
}

// Whether the chord's ends lie at least `side` metres off the line through
// (lx, ly) along the unit vector (dx, dy), on opposite sides.
bool EndsOnBothSides(const TPlaneRun& run, std::size_t back, std::size_t ahead, double lx, double ly, double dx,
                     double dy, double side) {
  const auto offset = [&](std::size_t k) { return (run.X[k] - lx) * dy - (run.Y[k] - ly) * dx; };
  const double ob = offset(back), oa = offset(ahead);
  return std::fabs(ob) >= side && std::fabs(oa) >= side && (ob > 0) != (oa > 0);
}

struct TPiece {
  int Run;
  int Index;  // from point Index to Index + 1
};


// Where a session crosses the others too rarely to be tied to them, it is
// compared with each of them over the neighbourhood of places along it: a
// loop along the shore meets the others' lines mostly where they end and
// turn, and the few clear crossings it has there exist only where its own
// GPS error pushed it across them, so all of them err the same way. Around
// a place, the readings of both sessions within the radius (its own from
// the pass through the place only) take a plane with a level of its own for
// each session; the difference of the two levels is the comparison. Its
// expected error is that of the fit, which grows where the readings do not
// pin the plane down, plus the slope times both sessions' GPS errors.
void AddOverlaps(const std::vector<TPlaneRun>& runs, std::size_t sessions, const TLevelEstimateOptions& Options,
                 double lat0, double kx, std::vector<TCrossing>& out, TFeedback& Feedback) {
  std::vector<int> crossings(sessions);
  for (const TCrossing& c : out) {
    ++crossings[static_cast<std::size_t>(c.SessionA)];
    ++crossings[static_cast<std::size_t>(c.SessionB)];
  }
  const double radius = Options.OverlapRadius, place = Options.PlaceSize;
  if (radius <= 0 || place <= 0) return;
  std::vector<bool> weak(sessions);
  bool any = false;
  for (std::size_t s = 0; s < sessions; ++s) any |= weak[s] = crossings[s] < Options.FewCrossings;
  if (!any || sessions < 2) return;
  // Its few clear crossings give way to overlaps at the same places: they
  // are the biased ones.
  std::erase_if(out, [&](const TCrossing& c) {
    return weak[static_cast<std::size_t>(c.SessionA)] || weak[static_cast<std::size_t>(c.SessionB)];
  });
  // Every reading that is no spike, by grid cell of the radius's size.
  // Readings closer together than kOverlapSpacing along a run tell little
  // more than one of them (the GPS error and the bottom under them are
  // nearly the same), so the fit takes one reading every kOverlapSpacing
  // metres: at ten readings a second it would otherwise trust the plane
  // ten times too much.
  std::vector<std::vector<bool>> use(runs.size());
  std::unordered_map<std::int64_t, std::vector<std::pair<int, int>>> grid;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    use[r].resize(runs[r].X.size());
    double lx = 0, ly = 0;
    bool any = false;
    for (std::size_t i = 0; i < runs[r].X.size(); ++i) {
      if (runs[r].Spike[i] || (any && std::hypot(runs[r].X[i] - lx, runs[r].Y[i] - ly) < kOverlapSpacing)) continue;
      any = true;
      lx = runs[r].X[i];
      ly = runs[r].Y[i];
      use[r][i] = true;
      grid[CellKey(runs[r].X[i], runs[r].Y[i], radius)].push_back({static_cast<int>(r), static_cast<int>(i)});
    }
  }
  const double noise2 = Options.ReadingNoise * Options.ReadingNoise;
  const double pos2 = Options.PositionError * Options.PositionError;
  const double r2 = radius * radius;
  std::vector<std::pair<int, int>> near;
  for (const TPlaneRun& run : runs) {
    if (!weak[static_cast<std::size_t>(run.Session)]) continue;
    if (Feedback.Canceled()) throw TCanceled{};
    double lastX = 0, lastY = 0;
    bool first = true;
    for (std::size_t i = 0; i < run.X.size(); ++i) {
      const double px = run.X[i], py = run.Y[i];
      if (run.Spike[i] || (!first && std::hypot(px - lastX, py - lastY) < place)) continue;
      first = false;
      lastX = px;
      lastY = py;
      near.clear();
      const auto cx = static_cast<std::int64_t>(std::floor(px / radius)),
                 cy = static_cast<std::int64_t>(std::floor(py / radius));
      for (std::int64_t dx = -1; dx <= 1; ++dx)
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
          const auto it = grid.find(CellKey((static_cast<double>(cx + dx) + 0.5) * radius,
                                            (static_cast<double>(cy + dy) + 0.5) * radius, radius));
          if (it == grid.end()) continue;
          for (const auto& [r, k] : it->second) {
            const TPlaneRun& o = runs[static_cast<std::size_t>(r)];
            const double ex = o.X[static_cast<std::size_t>(k)] - px, ey = o.Y[static_cast<std::size_t>(k)] - py;
            if (o.Session != run.Session && ex * ex + ey * ey <= r2) near.push_back({r, k});
          }
        }
      // Its own readings: the pass through the place, while it stays near.
      std::size_t from = i, to = i;
      const auto within = [&](std::size_t k) {
        return (run.X[k] - px) * (run.X[k] - px) + (run.Y[k] - py) * (run.Y[k] - py) <= r2;
      };
      while (from > 0 && within(from - 1)) --from;
      while (to + 1 < run.X.size() && within(to + 1)) ++to;
      for (std::size_t other = 0; other < sessions; ++other) {
        if (static_cast<int>(other) == run.Session) continue;
        // Unknowns: its level, the other's, the slope east and north.
        Eigen::Matrix4d normal = Eigen::Matrix4d::Zero();
        Eigen::Vector4d rhs = Eigen::Vector4d::Zero();
        int own = 0, theirs = 0;
        double nearest = -1, timeB = 0;
        const auto add = [&](const TPlaneRun& o, std::size_t k, int level) {
          Eigen::Vector4d row(level == 0, level == 1, o.X[k] - px, o.Y[k] - py);
          normal += row * row.transpose();
          rhs += row * o.Depth[k];
        };
        const auto self = static_cast<std::size_t>(&run - runs.data());
        for (std::size_t k = from; k <= to; ++k)
          if (use[self][k]) add(run, k, 0), ++own;
        for (const auto& [r, k] : near) {
          const TPlaneRun& o = runs[static_cast<std::size_t>(r)];
          if (o.Session != static_cast<int>(other)) continue;
          const auto kk = static_cast<std::size_t>(k);
          add(o, kk, 1);
          ++theirs;
          const double d = std::hypot(o.X[kk] - px, o.Y[kk] - py);
          if (nearest < 0 || d < nearest) nearest = d, timeB = o.Time[kk];
        }
        if (own < 3 || theirs < 6) continue;
        const Eigen::FullPivLU<Eigen::Matrix4d> lu(normal);
        if (!lu.isInvertible()) continue;
        const Eigen::Matrix4d inverse = lu.inverse();
        const double fit2 = noise2 * (inverse(0, 0) + inverse(1, 1) - 2 * inverse(0, 1));
        if (!(fit2 > 0) || fit2 > Options.OverlapError * Options.OverlapError) continue;
        const Eigen::Vector4d x = inverse * rhs;
        bool taken = false;  // a crossing or overlap of the two already here
        for (const TCrossing& c : out) {
          if (std::min<int>(c.SessionA, c.SessionB) != std::min<int>(run.Session, static_cast<int>(other)) ||
              std::max<int>(c.SessionA, c.SessionB) != std::max<int>(run.Session, static_cast<int>(other)))
            continue;
          if (std::hypot(c.Longitude * kx - px, (c.Latitude - lat0) * kMetresPerDegree - py) < place) {
            taken = true;
            break;
          }
        }
        if (taken) continue;
        TCrossing c;
        c.Overlap = true;
        c.SessionA = run.Session;
        c.SessionB = static_cast<int>(other);
        c.DepthA = x(0);
        c.DepthB = x(1);
        c.Distance = nearest;
        c.SlopeX = x(2);
        c.SlopeY = x(3);
        // The plane is only near the bottom's shape: its own error is taken
        // as at least that of a crossing's two readings.
        c.SigmaCm = std::sqrt(std::max(fit2, 2 * noise2) + 2 * pos2 * (x(2) * x(2) + x(3) * x(3)));
        c.Latitude = lat0 + py / kMetresPerDegree;
        c.Longitude = px / kx;
        c.TimeA = run.Time[i];
        c.TimeB = timeB;
        if (c.SessionA > c.SessionB) {
          std::swap(c.SessionA, c.SessionB);
          std::swap(c.DepthA, c.DepthB);
          std::swap(c.TimeA, c.TimeB);
        }
        out.push_back(c);
      }
    }
  }
}

}  // namespace

std::vector<TCrossing> FindCrossings(const std::vector<TSurveySession>& Sessions, const TLevelEstimateOptions& Options,
                                     TFeedback& Feedback) {
  double lat0 = 0, kx = 1;
  const std::vector<TPlaneRun> runs = ToPlane(Sessions, Options.SurveySpeed, lat0, kx);
  const double radius = Options.Radius;
  const double cell = std::max(Options.MaxStep, radius) + radius;

  // Every piece of track between two readings, in each grid cell its box
  // (grown by half the radius) touches.
  std::vector<TPiece> pieces;
  std::unordered_map<std::int64_t, std::vector<int>> grid;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const TPlaneRun& run = runs[r];
    for (std::size_t i = 0; i + 1 < run.X.size(); ++i) {
      const double len = std::hypot(run.X[i + 1] - run.X[i], run.Y[i + 1] - run.Y[i]);
      if (len > Options.MaxStep || run.Spike[i] || run.Spike[i + 1]) continue;
      const int id = static_cast<int>(pieces.size());
      pieces.push_back({static_cast<int>(r), static_cast<int>(i)});
      const double grow = radius / 2;
      const double x0 = std::min(run.X[i], run.X[i + 1]) - grow, x1 = std::max(run.X[i], run.X[i + 1]) + grow;
      const double y0 = std::min(run.Y[i], run.Y[i + 1]) - grow, y1 = std::max(run.Y[i], run.Y[i + 1]) + grow;
      for (double cx = std::floor(x0 / cell); cx <= std::floor(x1 / cell); ++cx)
        for (double cy = std::floor(y0 / cell); cy <= std::floor(y1 / cell); ++cy)
          grid[CellKey((cx + 0.5) * cell, (cy + 0.5) * cell, cell)].push_back(id);
    }
  }
  if (Feedback.Canceled()) throw TCanceled{};

  // Candidate meetings: pairs of pieces of different sessions within the
  // radius, each judged in the cell that holds the middle of its closest
  // points (both pieces are in that cell's list).
  std::vector<TCrossing> candidates;
  const double noise2 = 2 * Options.ReadingNoise * Options.ReadingNoise;
  const double pos2 = Options.PositionError * Options.PositionError;
  const double minSine = std::sin(Options.MinAngle * M_PI / 180);
  long long cellsDone = 0;
  for (auto& [key, ids] : grid) {
    if (++cellsDone % 4096 == 0 && Feedback.Canceled()) throw TCanceled{};
    std::sort(ids.begin(), ids.end(),
              [&](int a, int b) { return runs[pieces[a].Run].Session < runs[pieces[b].Run].Session; });
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const TPiece& p = pieces[ids[i]];
      const TPlaneRun& ra = runs[p.Run];
      for (std::size_t j = i + 1; j < ids.size(); ++j) {
        const TPiece& q = pieces[ids[j]];
        const TPlaneRun& rb = runs[q.Run];
        if (rb.Session == ra.Session) continue;
        const int i0 = p.Index, j0 = q.Index;
        double s, t;
        ClosestPoints(ra.X[i0], ra.Y[i0], ra.X[i0 + 1], ra.Y[i0 + 1], rb.X[j0], rb.Y[j0], rb.X[j0 + 1], rb.Y[j0 + 1], s,
                      t);
        const double ax = ra.X[i0] + s * (ra.X[i0 + 1] - ra.X[i0]), ay = ra.Y[i0] + s * (ra.Y[i0 + 1] - ra.Y[i0]);
        const double bx = rb.X[j0] + t * (rb.X[j0 + 1] - rb.X[j0]), by = rb.Y[j0] + t * (rb.Y[j0 + 1] - rb.Y[j0]);
        const double dist = std::hypot(bx - ax, by - ay);
        if (dist > radius) continue;
        const double mx = (ax + bx) / 2, my = (ay + by) / 2;
        if (CellKey(mx, my, cell) != key) continue;
        // Only clear crossings count. Tracks that meet at a shallow angle
        // are left out: where the bottom slopes across both, their depths
        // differ by slope times distance, always the same way, and nothing
        // along them tells by how much. So are tracks that only touch, or
        // meet where one turns or ends: they would meet only when their GPS
        // error pushed them across, and would then read the bottom of
        // somewhere else, again always in the same direction. Each track
        // must run on nearly straight for ClearReach metres both ways (its
        // direction is taken along that chord, not from two readings a few
        // decimetres apart) and end up ClearSide metres off the other.
        std::size_t a0, a1, b0, b1;
        if (!Chord(ra, i0, Options.ClearReach, Options.ShortReach, a0, a1) ||
            !Chord(rb, j0, Options.ClearReach, Options.ShortReach, b0, b1))
          continue;
        double ux = ra.X[a1] - ra.X[a0], uy = ra.Y[a1] - ra.Y[a0];
        double vx = rb.X[b1] - rb.X[b0], vy = rb.Y[b1] - rb.Y[b0];
        const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
        if (lu == 0 || lv == 0) continue;
        ux /= lu, uy /= lu, vx /= lv, vy /= lv;
        const double det = ux * vy - uy * vx;
        if (std::fabs(det) < minSine) continue;
        if (!EndsOnBothSides(ra, a0, a1, bx, by, vx, vy, Options.ClearSide) ||
            !EndsOnBothSides(rb, b0, b1, ax, ay, ux, uy, Options.ClearSide))
          continue;
        // The slope of the bottom there, from the slopes along both tracks,
        // carries each depth to the middle between the two tracks.
        const double ga = ra.Slope[i0] + s * (ra.Slope[i0 + 1] - ra.Slope[i0]);
        const double gb = rb.Slope[j0] + t * (rb.Slope[j0 + 1] - rb.Slope[j0]);
        const double gx = (ga * vy - gb * uy) / det;
        const double gy = (ux * gb - vx * ga) / det;
        const double da = ra.Depth[i0] + s * (ra.Depth[i0 + 1] - ra.Depth[i0]) + gx * (mx - ax) + gy * (my - ay);
        const double db = rb.Depth[j0] + t * (rb.Depth[j0 + 1] - rb.Depth[j0]) + gx * (mx - bx) + gy * (my - by);
        const double slope2 = gx * gx + gy * gy;
        TCrossing c;
        c.SessionA = ra.Session;
        c.SessionB = rb.Session;
        c.DepthA = da;
        c.DepthB = db;
        c.Distance = dist;
        // Readings' noise on both sides, plus the slope of the bottom times
        // the error of both positions and a share of the distance carried.
        c.SigmaCm = std::sqrt(noise2 + slope2 * (2 * pos2 + 0.25 * dist * dist));
        c.Latitude = lat0 + my / kMetresPerDegree;
        c.Longitude = mx / kx;
        c.SlopeX = gx;
        c.SlopeY = gy;
        c.TimeA = ra.Time[i0] + s * (ra.Time[i0 + 1] - ra.Time[i0]);
        c.TimeB = rb.Time[j0] + t * (rb.Time[j0 + 1] - rb.Time[j0]);
        if (c.SessionA > c.SessionB) {
          std::swap(c.SessionA, c.SessionB);
          std::swap(c.DepthA, c.DepthB);
          std::swap(c.TimeA, c.TimeB);
        }
        candidates.push_back(c);
      }
    }
  }

  // One crossing per place and pair of sessions: the best first, and no
  // other of the same pair within PlaceSize of one taken.
  std::sort(candidates.begin(), candidates.end(), [](const TCrossing& a, const TCrossing& b) {
    return a.SigmaCm != b.SigmaCm ? a.SigmaCm < b.SigmaCm : a.Distance < b.Distance;
  });
  const double place = Options.PlaceSize;
  std::unordered_map<std::int64_t, std::vector<std::size_t>> taken;  // by cell and pair
  std::vector<TCrossing> out;
  auto pairKey = [&](const TCrossing& c, std::int64_t cx, std::int64_t cy) {
    std::int64_t h = (cx * 73856093) ^ (cy * 19349663) ^ (static_cast<std::int64_t>(c.SessionA) * 83492791) ^
                     (static_cast<std::int64_t>(c.SessionB) * 1000003);
    return h;
  };
  for (const TCrossing& c : candidates) {
    const double x = c.Longitude * kx, y = (c.Latitude - lat0) * kMetresPerDegree;
    const auto cx = static_cast<std::int64_t>(std::floor(x / place));
    const auto cy = static_cast<std::int64_t>(std::floor(y / place));
    bool near = false;
    for (std::int64_t dx = -1; dx <= 1 && !near; ++dx)
      for (std::int64_t dy = -1; dy <= 1 && !near; ++dy) {
        const auto it = taken.find(pairKey(c, cx + dx, cy + dy));
        if (it == taken.end()) continue;
        for (std::size_t k : it->second) {
          const TCrossing& o = out[k];
          if (o.SessionA != c.SessionA || o.SessionB != c.SessionB) continue;
          if (std::hypot(o.Longitude * kx - x, (o.Latitude - lat0) * kMetresPerDegree - y) < place) {
            near = true;
            break;
          }
        }
      }
    if (near) continue;
    taken[pairKey(c, cx, cy)].push_back(out.size());
    out.push_back(c);
  }
  AddOverlaps(runs, Sessions.size(), Options, lat0, kx, out, Feedback);
  return out;
}

TLevelEstimate EstimateLevels(const std::vector<TSurveySession>& Sessions, const TLevelEstimateOptions& Options,
                              TFeedback& Feedback) {
  TLevelEstimate result;
  const int n = static_cast<int>(Sessions.size());
  result.Sessions.resize(static_cast<std::size_t>(n));
  for (int s = 0; s < n; ++s)
    result.Sessions[static_cast<std::size_t>(s)].Name = Sessions[static_cast<std::size_t>(s)].Name;
  if (n == 0) return result;
  result.Crossings = FindCrossings(Sessions, Options, Feedback);
  const std::vector<TCrossing>& crossings = result.Crossings;

  // The groups of sessions chains of crossings link: each session's group
  // is named by its first session, whose level the group takes.
  std::vector<int> group(static_cast<std::size_t>(n));
  for (int s = 0; s < n; ++s) group[static_cast<std::size_t>(s)] = s;
  const auto root = [&](int s) {
    while (group[static_cast<std::size_t>(s)] != s) s = group[static_cast<std::size_t>(s)];
    return s;
  };
  for (const TCrossing& c : crossings) {
    const int a = root(c.SessionA), b = root(c.SessionB);
    group[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  }
  for (int s = 0; s < n; ++s) group[static_cast<std::size_t>(s)] = root(s);
  std::vector<bool> linked(static_cast<std::size_t>(n));
  linked[0] = true;
  for (const TCrossing& c : crossings)
    linked[static_cast<std::size_t>(c.SessionA)] = linked[static_cast<std::size_t>(c.SessionB)] = true;
  // Unknowns: the offsets of the sessions after the first of their group.
  std::vector<int> unknown(static_cast<std::size_t>(n), -1);
  int m = 0;
  for (int s = 1; s < n; ++s)
    if (group[static_cast<std::size_t>(s)] != s) unknown[static_cast<std::size_t>(s)] = m++;
  std::vector<const TCrossing*> used;
  for (const TCrossing& c : crossings) used.push_back(&c);

  const std::size_t count = used.size();
  Eigen::VectorXd offset = Eigen::VectorXd::Zero(m);
  Eigen::MatrixXd covariance = Eigen::MatrixXd::Zero(m, m);
  std::vector<double> residual(count);
  auto offsetOf = [&](int s) {
    return unknown[static_cast<std::size_t>(s)] < 0 ? 0.0 : offset(unknown[static_cast<std::size_t>(s)]);
  };
  if (m > 0) {
    // Each crossing says offset(A) - offset(B) = DepthB - DepthA, give or
    // take the noise of its readings and the bottom's slope times the GPS
    // errors of both sessions there. A session's GPS error wanders slowly,
    // so two crossings it passed within a minute or so share it: their
    // disagreements are correlated by slope_1 . slope_2 x the error's
    // covariance. The covariance of all disagreements is sparse (crossings
    // far apart in time share nothing), and the estimate is the generalised
    // least squares under it. Huber's weights then take the force out of
    // crossings that disagree far beyond the rest (a spike, a place where
    // the two tracks did not see the same bottom), by widening their own
    // variance.
    const double pos2 = Options.PositionError * Options.PositionError;
    const double tau = std::max(Options.PositionTime, 1e-3);
    std::vector<Eigen::Triplet<double>> shared;
    std::vector<double> own(count);
    struct TPass {
      double Time;
      std::size_t Crossing;
      double Sign;
    };
    std::vector<std::vector<TPass>> passes(static_cast<std::size_t>(n));
    for (std::size_t c = 0; c < count; ++c) {
      const TCrossing& x = *used[c];
      passes[static_cast<std::size_t>(x.SessionA)].push_back({x.TimeA, c, 1.0});
      passes[static_cast<std::size_t>(x.SessionB)].push_back({x.TimeB, c, -1.0});
      // The readings' noise and the share of the distance carried stay
      // the crossing's own.
      own[c] = x.SigmaCm * x.SigmaCm - 2 * pos2 * (x.SlopeX * x.SlopeX + x.SlopeY * x.SlopeY);
    }
    for (auto& list : passes) {
      std::sort(list.begin(), list.end(), [](const TPass& a, const TPass& b) { return a.Time < b.Time; });
      for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = i; j < list.size() && list[j].Time - list[i].Time < 8 * tau; ++j) {
          const TCrossing& a = *used[list[i].Crossing];
          const TCrossing& b = *used[list[j].Crossing];
          const double v = list[i].Sign * list[j].Sign * (a.SlopeX * b.SlopeX + a.SlopeY * b.SlopeY) * pos2 *
                           std::exp(-(list[j].Time - list[i].Time) / tau);
          shared.emplace_back(static_cast<int>(list[i].Crossing), static_cast<int>(list[j].Crossing), v);
          if (list[i].Crossing != list[j].Crossing)
            shared.emplace_back(static_cast<int>(list[j].Crossing), static_cast<int>(list[i].Crossing), v);
        }
    }
    Eigen::SparseMatrix<double> sharedMatrix(static_cast<int>(count), static_cast<int>(count));
    sharedMatrix.setFromTriplets(shared.begin(), shared.end());
    Eigen::VectorXd y(static_cast<int>(count));
    Eigen::MatrixXd design = Eigen::MatrixXd::Zero(static_cast<int>(count), m);
    for (std::size_t c = 0; c < count; ++c) {
      const TCrossing& x = *used[c];
      y(static_cast<int>(c)) = x.DepthB - x.DepthA;
      if (const int a = unknown[static_cast<std::size_t>(x.SessionA)]; a >= 0) design(static_cast<int>(c), a) = 1;
      if (const int b = unknown[static_cast<std::size_t>(x.SessionB)]; b >= 0) design(static_cast<int>(c), b) = -1;
    }

    std::vector<double> robust(count, 1.0);
    double scale = 1;
    for (int iteration = 0; iteration < 30; ++iteration) {
      if (Feedback.Canceled()) throw TCanceled{};
      Eigen::SparseMatrix<double> sigma = sharedMatrix;
      for (std::size_t c = 0; c < count; ++c) {
        const int i = static_cast<int>(c);
        const double total = sharedMatrix.coeff(i, i) + std::max(own[c], 1e-6);
        // Huber's weight w widens the crossing's variance to total / w.
        sigma.coeffRef(i, i) = sharedMatrix.coeff(i, i) + std::max(own[c], 1e-6) + total * (1 / robust[c] - 1);
      }
      const Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> factor(sigma);
      if (factor.info() != Eigen::Success) break;
      const Eigen::MatrixXd whitened = factor.solve(design);  // sigma^-1 X
      const Eigen::MatrixXd normal = design.transpose() * whitened;
      const Eigen::LDLT<Eigen::MatrixXd> solver(normal);
      const Eigen::VectorXd next = solver.solve(whitened.transpose() * y);
      covariance = solver.solve(Eigen::MatrixXd::Identity(m, m));
      const double change = (next - offset).cwiseAbs().maxCoeff();
      offset = next;
      // Residuals in units of their expected error, and their robust scale.
      std::vector<double> standardized(count);
      for (std::size_t c = 0; c < count; ++c) {
        const TCrossing& x = *used[c];
        residual[c] = (x.DepthA + offsetOf(x.SessionA)) - (x.DepthB + offsetOf(x.SessionB));
        const int i = static_cast<int>(c);
        standardized[c] = std::fabs(residual[c]) / std::sqrt(sharedMatrix.coeff(i, i) + std::max(own[c], 1e-6));
      }
      std::vector<double> sorted = standardized;
      std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
      scale = std::max(1.4826 * sorted[sorted.size() / 2], 1e-9);
      const double cut = 1.345 * scale;
      for (std::size_t c = 0; c < count; ++c) robust[c] = standardized[c] <= cut ? 1.0 : cut / standardized[c];
      if (iteration > 0 && change < 1e-4) break;
    }
    // Disagreements larger than the model expects widen the standard
    // errors; smaller ones never narrow them.
    covariance *= std::max(1.0, scale * scale);
  } else {
    for (std::size_t c = 0; c < count; ++c) residual[c] = used[c]->DepthA - used[c]->DepthB;
  }

  std::vector<double> sumSquares(static_cast<std::size_t>(n));
  for (std::size_t k = 0; k < used.size(); ++k)
    for (int s : {used[k]->SessionA, used[k]->SessionB}) {
      ++result.Sessions[static_cast<std::size_t>(s)].Crossings;
      result.Sessions[static_cast<std::size_t>(s)].Overlaps += used[k]->Overlap;
      sumSquares[static_cast<std::size_t>(s)] += residual[k] * residual[k];
    }
  for (int s = 0; s < n; ++s) {
    TSessionLevel& level = result.Sessions[static_cast<std::size_t>(s)];
    level.Estimated = linked[static_cast<std::size_t>(s)];
    level.OffsetCm = level.Estimated ? offsetOf(s) : 0;
    if (const int g = group[static_cast<std::size_t>(s)]; g != 0 && level.Estimated)
      level.Reference = Sessions[static_cast<std::size_t>(g)].Name;
    const int u = unknown[static_cast<std::size_t>(s)];
    level.StdErrorCm = u >= 0 ? std::sqrt(std::max(0.0, covariance(u, u))) : 0;
    level.ResidualCm = level.Crossings > 0 ? std::sqrt(sumSquares[static_cast<std::size_t>(s)] / level.Crossings) : 0;
    Feedback.Log(DescribeSessionLevel(level, Options));
  }
  return result;
}

std::string DescribeSessionLevel(const TSessionLevel& Level, const TLevelEstimateOptions& Options) {
  if (!Level.Estimated) return Level.Name + ": no level estimated: its tracks meet no other session's";
  const int crossings = Level.Crossings - Level.Overlaps;
  std::string line = Level.Name + ": offset " + FormatFixed(Level.OffsetCm, 1) + " cm from " +
                     std::to_string(crossings) + (crossings == 1 ? " crossing" : " crossings");
  if (Level.Overlaps > 0)
    line += " and " + std::to_string(Level.Overlaps) + (Level.Overlaps == 1 ? " overlap" : " overlaps");
  line += ", residual " + FormatFixed(Level.ResidualCm, 1) + " cm";
  if (Level.Crossings < Options.FewCrossings && Level.StdErrorCm > 0)
    line += " (few crossings: uncertain by about " + FormatFixed(Level.StdErrorCm, 1) + " cm)";
  else if (Level.StdErrorCm >= Options.Uncertain)
    line += " (uncertain by about " + FormatFixed(Level.StdErrorCm, 1) + " cm)";
  if (Level.Reference == Level.Name)
    line += "; kept as the level of the sessions it crosses, which meet none of the sessions linked to the first";
  else if (!Level.Reference.empty())
    line += "; levelled to " + Level.Reference + ", as none of the sessions it crosses meets the first";
  return line;
}

}  // namespace sondralis
