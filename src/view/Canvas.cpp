#include "view/Canvas.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/AtomicFile.h"
#include "view/LineRaster.h"

namespace sondralis {

namespace {

constexpr std::uint32_t kWhiteRGB32 = 0xFFFFFFFFu;
constexpr std::size_t kMaxPendingPixels = 1u << 22;

// Sutherland–Hodgman clipping of a closed polygon to an axis-aligned box.
// QPainter works in fixed point and cannot take coordinates millions of
// pixels away; clipping to a box a little larger than the raster changes
// nothing inside the raster.
QPolygonF ClipPolygon(std::span<const TPoint> points, double minX, double minY, double maxX, double maxY) {
  std::vector<QPointF> poly;
  poly.reserve(points.size());
  for (const TPoint& p : points) poly.emplace_back(p.X, p.Y);
  std::vector<QPointF> out;
  auto clipEdge = [&](auto inside, auto intersect) {
    out.clear();
    const std::size_t n = poly.size();
    for (std::size_t i = 0; i < n; ++i) {
      const QPointF& a = poly[(i + n - 1) % n];
      const QPointF& b = poly[i];
      const bool ina = inside(a), inb = inside(b);
      if (inb) {
        if (!ina) out.push_back(intersect(a, b));
        out.push_back(b);
      } else if (ina) {
        out.push_back(intersect(a, b));
      }
    }
    poly.swap(out);
  };
  auto atX = [](const QPointF& a, const QPointF& b, double x) {
    return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
  };
  auto atY = [](const QPointF& a, const QPointF& b, double y) {
    return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
  };
  clipEdge([&](const QPointF& p) { return p.x() >= minX; }, [&](auto& a, auto& b) { return atX(a, b, minX); });
  clipEdge([&](const QPointF& p) { return p.x() <= maxX; }, [&](auto& a, auto& b) { return atX(a, b, maxX); });
  clipEdge([&](const QPointF& p) { return p.y() >= minY; }, [&](auto& a, auto& b) { return atY(a, b, minY); });
  clipEdge([&](const QPointF& p) { return p.y() <= maxY; }, [&](auto& a, auto& b) { return atY(a, b, maxY); });
  return QPolygonF(QList<QPointF>(poly.begin(), poly.end()));
}

void PutU16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

TCanvas::TCanvas(int Width, int Height) { SetSize(Width, Height); }

void TCanvas::SetSize(int Width, int Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (Width == fWidth && Height == fHeight) return;
  Flush();
  fWidth = Width;
  fHeight = Height;
  if (Width == 0 || Height == 0) {
    fImage = QImage();
    return;
  }
  QImage next(Width, Height, QImage::Format_RGB32);
  next.fill(kWhiteRGB32);
  const int w = std::min(Width, fImage.width());
  const int h = std::min(Height, fImage.height());
  for (int y = 0; y < h; ++y)
    std::memcpy(next.scanLine(y), fImage.constScanLine(y), static_cast<std::size_t>(w) * sizeof(std::uint32_t));
  fImage = std::move(next);
}

void TCanvas::SetPenColor(TColor Color) {
  if (Color != fPenColor && !fPending.Empty()) Flush();
  fPenColor = Color;
}

void TCanvas::SetPenWidth(int Width) {
  if (Width != fPenWidth && !fPending.Empty()) Flush();
  fPenWidth = Width;
}

void TCanvas::Flush() const {
  if (fPending.Empty()) return;
  if (fImage.isNull()) {
    fPending.Clear();
    return;
  }
  fPending.Paint(reinterpret_cast<std::uint32_t*>(fImage.bits()),
                 static_cast<int>(fImage.bytesPerLine() / 4), fPendingValue);
}

const QImage& TCanvas::Image() const {
  Flush();
  return fImage;
}

QImage& TCanvas::Image() {
  Flush();
  return fImage;
}

void TCanvas::ThinLine(int x0, int y0, int x1, int y1, bool includeEnd) {
  if (fImage.isNull()) return;
  auto* bits = reinterpret_cast<std::uint32_t*>(fImage.bits());
  const auto stride = static_cast<std::ptrdiff_t>(fImage.bytesPerLine() / 4);
  const std::uint32_t value = ToRGB32(fPenColor);
  RasterLine(x0, y0, x1, y1, includeEnd, 0, 0, Width() - 1, Height() - 1,
             [&](int x, int y) { bits[y * stride + x] = value; });
}

void TCanvas::LineTo(int X, int Y) {
  const TPoint from = fPenPos;
  fPenPos = {X, Y};
  if (fImage.isNull()) return;
  if (fPenWidth <= 1) {
    Flush();
    ThinLine(from.X, from.Y, X, Y, false);
    return;
  }
  if (fPending.Empty()) {
    fPending.Reset(fPenWidth, Width(), Height());
    fPendingValue = ToRGB32(fPenColor);
  }
  fPending.AddLine(from.X, from.Y, X, Y);
  // Painting in between changes nothing (one pen) and bounds the memory that
  // many long lines across the raster would take.
  if (fPending.CentrePixelCount() > kMaxPendingPixels) Flush();
}

void TCanvas::Polyline(std::span<const TPoint> Points) {
  if (Points.empty()) return;
  MoveTo(Points[0].X, Points[0].Y);
  for (std::size_t i = 1; i < Points.size(); ++i) LineTo(Points[i].X, Points[i].Y);
}

void TCanvas::Polygon(std::span<const TPoint> Points) {
  if (Points.empty()) return;
  Flush();
  if (!fImage.isNull() && Points.size() >= 3) {
    const double margin = 2.0 + fPenWidth;
    const QPolygonF clipped =
        ClipPolygon(Points, -margin, -margin, Width() + margin, Height() + margin);
    if (clipped.size() >= 3) {
      QPainter painter(&fImage);
      painter.setRenderHint(QPainter::Antialiasing, false);
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor::fromRgb(ToRGB32(fBrushColor)));
      painter.drawPolygon(clipped, Qt::OddEvenFill);
    }
  }
  // The outline, closed, in the pen; the pen ends where it started.
  Polyline(Points);
  LineTo(Points[0].X, Points[0].Y);
  if (fPenWidth <= 1 && !fImage.isNull()) {
    // Line-to leaves out the end pixel; the first vertex is painted by the
    // first edge, except for a polygon that is a single point.
    if (Points.size() == 1) ThinLine(Points[0].X, Points[0].Y, Points[0].X, Points[0].Y, true);
  }
}

void TCanvas::FillSpan(int y, int xFrom, int xTo, std::uint32_t value) {
  auto* row = reinterpret_cast<std::uint32_t*>(fImage.scanLine(y));
  std::fill(row + xFrom, row + xTo + 1, value);
}

void TCanvas::FillRect(const TRect& Rect) {
  Flush();
  const int x0 = std::max(Rect.Left, 0), x1 = std::min(Rect.Right, Width()) - 1;
  const int y0 = std::max(Rect.Top, 0), y1 = std::min(Rect.Bottom, Height()) - 1;
  if (x0 > x1 || y0 > y1) return;
  const std::uint32_t value = ToRGB32(fBrushColor);
  for (int y = y0; y <= y1; ++y) FillSpan(y, x0, x1, value);
}

void TCanvas::FrameRect(const TRect& Rect) {
  if (Rect.Right <= Rect.Left || Rect.Bottom <= Rect.Top) return;
  FillRect({Rect.Left, Rect.Top, Rect.Right, Rect.Top + 1});
  FillRect({Rect.Left, Rect.Bottom - 1, Rect.Right, Rect.Bottom});
  FillRect({Rect.Left, Rect.Top, Rect.Left + 1, Rect.Bottom});
  FillRect({Rect.Right - 1, Rect.Top, Rect.Right, Rect.Bottom});
}

void TCanvas::CopyRect(const TRect& DestRect, const TCanvas& Source, const TRect& SourceRect) {
  Flush();
  const QImage& src = Source.Image();
  if (fImage.isNull() || src.isNull()) return;
  if (DestRect.Width() <= 0 || DestRect.Height() <= 0 || SourceRect.Width() <= 0 || SourceRect.Height() <= 0)
    return;
  // Copying from this very canvas reads from a snapshot.
  const QImage snapshot = (&Source == this) ? src.copy() : QImage();
  const QImage& from = (&Source == this) ? snapshot : src;
  if (DestRect.Width() != SourceRect.Width() || DestRect.Height() != SourceRect.Height()) {
    QPainter painter(&fImage);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(DestRect.Left, DestRect.Top, DestRect.Width(), DestRect.Height()), from,
                      QRect(SourceRect.Left, SourceRect.Top, SourceRect.Width(), SourceRect.Height()));
    return;
  }
  // Same size: a plain copy of the part that lies inside both rasters.
  int sx = SourceRect.Left, sy = SourceRect.Top, dx = DestRect.Left, dy = DestRect.Top;
  int w = DestRect.Width(), h = DestRect.Height();
  auto clip = [](int& s, int& d, int& n, int sLimit, int dLimit) {
    const int skip = std::max({0, -s, -d});
    s += skip;
    d += skip;
    n -= skip;
    n = std::min({n, sLimit - s, dLimit - d});
  };
  clip(sx, dx, w, from.width(), Width());
  clip(sy, dy, h, from.height(), Height());
  if (w <= 0 || h <= 0) return;
  for (int y = 0; y < h; ++y)
    std::memcpy(fImage.scanLine(dy + y) + static_cast<std::ptrdiff_t>(dx) * 4,
                from.constScanLine(sy + y) + static_cast<std::ptrdiff_t>(sx) * 4,
                static_cast<std::size_t>(w) * 4);
}

void TCanvas::Draw(int X, int Y, const TCanvas& Source) {
  CopyRect({X, Y, X + Source.Width(), Y + Source.Height()}, Source, Source.ClientRect());
}

void TCanvas::DrawTransparent(int X, int Y, const TCanvas& Source, TColor TransparentColor) {
  Flush();
  const QImage& src = Source.Image();
  if (fImage.isNull() || src.isNull()) return;
  const QImage snapshot = (&Source == this) ? src.copy() : QImage();
  const QImage& from = (&Source == this) ? snapshot : src;
  const std::uint32_t transparent = ToRGB32(TransparentColor);
  const int y0 = std::max(0, -Y), y1 = std::min(from.height(), Height() - Y);
  const int x0 = std::max(0, -X), x1 = std::min(from.width(), Width() - X);
  for (int y = y0; y < y1; ++y) {
    const auto* s = reinterpret_cast<const std::uint32_t*>(from.constScanLine(y));
    auto* d = reinterpret_cast<std::uint32_t*>(fImage.scanLine(Y + y)) + X;
    for (int x = x0; x < x1; ++x)
      if ((s[x] | 0xFF000000u) != transparent) d[x] = s[x] | 0xFF000000u;
  }
}

TColor TCanvas::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return kNoPixel;
  Flush();
  return FromRGB32(reinterpret_cast<const std::uint32_t*>(fImage.constScanLine(Y))[X]);
}

void TCanvas::SetPixel(int X, int Y, TColor Color) {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  Flush();
  reinterpret_cast<std::uint32_t*>(fImage.scanLine(Y))[X] = ToRGB32(Color);
}

std::uint32_t* TCanvas::ScanLine(int Y) {
  Flush();
  return reinterpret_cast<std::uint32_t*>(fImage.scanLine(Y));
}

const std::uint32_t* TCanvas::ScanLine(int Y) const {
  Flush();
  return reinterpret_cast<const std::uint32_t*>(fImage.constScanLine(Y));
}

void TCanvas::ReadRow24(int Y, std::uint8_t* BGR) const {
  const std::uint32_t* row = ScanLine(Y);
  for (int x = 0; x < Width(); ++x) {
    BGR[3 * x] = static_cast<std::uint8_t>(row[x] & 0xFF);
    BGR[3 * x + 1] = static_cast<std::uint8_t>((row[x] >> 8) & 0xFF);
    BGR[3 * x + 2] = static_cast<std::uint8_t>((row[x] >> 16) & 0xFF);
  }
}

void TCanvas::WriteRow24(int Y, const std::uint8_t* BGR) {
  std::uint32_t* row = ScanLine(Y);
  for (int x = 0; x < Width(); ++x)
    row[x] = 0xFF000000u | (std::uint32_t{BGR[3 * x + 2]} << 16) | (std::uint32_t{BGR[3 * x + 1]} << 8) |
             std::uint32_t{BGR[3 * x]};
}

std::string TCanvas::EncodeBMP() const {
  const int w = Width(), h = Height();
  const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  const std::size_t dataBytes = rowBytes * static_cast<std::size_t>(h);
  constexpr std::size_t kHeader = 14 + 40;
  std::string out(kHeader + dataBytes, '\0');
  out[0] = 'B';
  out[1] = 'M';
  PutU32(out, 2, static_cast<std::uint32_t>(out.size()));
  PutU32(out, 10, kHeader);
  PutU32(out, 14, 40);
  PutU32(out, 18, static_cast<std::uint32_t>(w));
  PutU32(out, 22, static_cast<std::uint32_t>(h));  // positive: rows stored bottom-up
  PutU16(out, 26, 1);                              // planes
  PutU16(out, 28, 24);                             // bits per pixel
  PutU32(out, 30, 0);                              // no compression
  PutU32(out, 34, static_cast<std::uint32_t>(dataBytes));
  PutU32(out, 38, 2835);  // 72 dpi
  PutU32(out, 42, 2835);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    ReadRow24(y, row.data());
    std::memcpy(&out[kHeader + rowBytes * static_cast<std::size_t>(h - 1 - y)], row.data(), row.size());
  }
  return out;
}

void TCanvas::SaveToBMP(const std::string& Path) const {
  if (Width() <= 0 || Height() <= 0) throw EFileError("Cannot write " + Path + ": the picture is empty");
  WriteFileAtomically(Path, EncodeBMP());
}

}  // namespace sondralis
