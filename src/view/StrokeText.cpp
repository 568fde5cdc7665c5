#include "view/StrokeText.h"

#include <cmath>
#include <initializer_list>
#include <vector>

namespace sondralis {

namespace {

// Glyphs on a grid 6 units high (0 at the top, 6 on the baseline); a digit
// is 4 units wide. Each glyph is one or more strokes, each a polyline.
struct TUnitPoint {
  double U, V;
};
using TStroke = std::vector<TUnitPoint>;
struct TGlyph {
  double Width;
  std::vector<TStroke> Strokes;
};

constexpr double kUnits = 6;  // the height of a digit in units
constexpr double kGap = 1.5;  // between two characters, units

const TGlyph& Glyph(char c) {
  static const TGlyph kDigits[10] = {
      {4, {{{0, 1}, {1, 0}, {3, 0}, {4, 1}, {4, 5}, {3, 6}, {1, 6}, {0, 5}, {0, 1}}}},
      {4, {{{1, 1.3}, {2.5, 0}, {2.5, 6}}, {{1, 6}, {4, 6}}}},
      {4, {{{0, 1}, {1, 0}, {3, 0}, {4, 1}, {4, 2.2}, {0, 6}, {4, 6}}}},
      {4, {{{0, 0}, {4, 0}, {1.8, 2.5}, {3, 2.5}, {4, 3.5}, {4, 5}, {3, 6}, {1, 6}, {0, 5}}}},
      {4, {{{3, 6}, {3, 0}, {0, 4}, {4, 4}}}},
      {4, {{{4, 0}, {0, 0}, {0, 2.5}, {3, 2.5}, {4, 3.5}, {4, 5}, {3, 6}, {0, 6}}}},
      {4, {{{3.5, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 3.5}, {3, 2.5}, {0, 2.5}}}},
      {4, {{{0, 0}, {4, 0}, {1.5, 6}}}},
      {4,
       {{{1, 0}, {3, 0}, {4, 1}, {4, 2}, {3, 3}, {1, 3}, {0, 4}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 4}, {3, 3},
         {1, 3}, {0, 2}, {0, 1}, {1, 0}}}},
      {4, {{{4, 3.5}, {1, 3.5}, {0, 2.5}, {0, 1}, {1, 0}, {3, 0}, {4, 1}, {4, 5}, {3, 6}, {0.5, 6}}}},
  };
  static const TGlyph kPoint{1, {{{0, 5.2}, {1, 5.2}, {1, 6}, {0, 6}, {0, 5.2}}}};
  static const TGlyph kMinus{3, {{{0, 3}, {3, 3}}}};
  static const TGlyph kBlank{4, {}};
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  if (c == '.') return kPoint;
  if (c == '-') return kMinus;
  return kBlank;
}

double UnitWidth(std::string_view Text) {
  double width = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) width += Glyph(Text[i]).Width + (i ? kGap : 0);
  return width;
}

int Nearest(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

double StrokeTextWidth(std::string_view Text, double Height) { return UnitWidth(Text) * Height / kUnits; }

void DrawStrokeText(TCanvas& Canvas, std::string_view Text, double X, double Y, double Height, double Angle,
                    TColor Color) {
  if (Text.empty() || !(Height > 0)) return;
  const double scale = Height / kUnits, c = std::cos(Angle), s = std::sin(Angle);
  const TColor savedColor = Canvas.PenColor();
  const int savedWidth = Canvas.PenWidth();
  Canvas.SetPenColor(Color);
  Canvas.SetPenWidth(1);
  // Units from the text's centre, turned and scaled onto the picture.
  const double left = -UnitWidth(Text) / 2;
  const auto place = [&](double u, double v, int& px, int& py) {
    const double x = u * scale, y = (v - kUnits / 2) * scale;
    px = Nearest(X + x * c - y * s);
    py = Nearest(Y + x * s + y * c);
  };
  double at = left;
  for (const char ch : Text) {
    const TGlyph& glyph = Glyph(ch);
    for (const TStroke& stroke : glyph.Strokes) {
      int px = 0, py = 0;
      for (std::size_t i = 0; i < stroke.size(); ++i) {
        place(at + stroke[i].U, stroke[i].V, px, py);
        if (i == 0) Canvas.MoveTo(px, py);
        else Canvas.LineTo(px, py);
      }
      // A line-to leaves out its end pixel.
      Canvas.SetPixel(px, py, Color);
    }
    at += glyph.Width + kGap;
  }
  Canvas.SetPenColor(savedColor);
  Canvas.SetPenWidth(savedWidth);
}

}  // namespace sondralis
