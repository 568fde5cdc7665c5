#include "interpolation/SampleGrid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <istream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "interpolation/ShepardThread.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

const char* const kWGS84Prj =
    "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],"
    "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";

namespace {

constexpr double kNoData = -9999;

bool ParseFloat(std::string_view text, float& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// The value as printf's "%.17g" writes it.
void AppendG17(std::string& out, double value) {
  char buffer[kDigits17Room];
  out.append(buffer, WriteDigits17(buffer, value));
}

}  // namespace

namespace {

// One line of a samples file; the header when Header is set.
void ReadSampleLine(std::string_view line, const std::string& Name, int LineNumber, bool& Header, TPointList& Coord,
                    TValueList& Depth) {
  const auto where = [&] { return Name + ":" + std::to_string(LineNumber) + ": "; };
  if (Header) {
    std::string fields;
    for (char c : line)
      if (c != ' ' && c != '\t' && c != '\r') fields += c;
    if (ToLowerAscii(fields) != "lon,lat,depth")
      throw EGridError(where() + "the first line must be the header lon,lat,depth");
    Header = false;
    return;
  }
  if (Trim(line).empty()) return;
  float v[3];
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = line.find(',');
    if ((i < 2) == (comma == std::string_view::npos)) throw EGridError(where() + "expected three values: lon,lat,depth");
    if (!ParseFloat(line.substr(0, comma), v[i]))
      throw EGridError(where() + "\"" + TrimCopy(line.substr(0, comma)) + "\" is not a number");
    line = comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
  }
  Coord.Add({v[0], v[1]});
  Depth.Add(v[2]);
}

void RefuseLongLine(std::size_t Length, const std::string& Name, int LineNumber) {
  if (Length > kMaxSampleLineLength)
    throw EGridError(Name + ":" + std::to_string(LineNumber) + ": the line is longer than " +
                     std::to_string(kMaxSampleLineLength) + " bytes; this is no samples file");
}

}  // namespace

void ReadSamplesCSV(std::string_view Text, const std::string& Name, TPointList& Coord, TValueList& Depth) {
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
  int lineNumber = 0;
  bool header = true;
  while (!Text.empty()) {
    const std::size_t end = Text.find('\n');
    const std::string_view line = Text.substr(0, end);
    Text = end == std::string_view::npos ? std::string_view() : Text.substr(end + 1);
    ++lineNumber;
    RefuseLongLine(line.size(), Name, lineNumber);
    ReadSampleLine(line, Name, lineNumber, header, Coord, Depth);
  }
  if (header) throw EGridError(Name + ": empty file; the first line must be the header lon,lat,depth");
}

void ReadSamplesCSV(std::istream& In, const std::string& Name, TPointList& Coord, TValueList& Depth) {
  // Read in blocks, one line at a time: the header is checked as soon as
  // it ends, and a line that never ends is refused at its bound.
  std::string line;
  std::vector<char> block(64 * 1024);
  int lineNumber = 0;
  bool header = true, first = true;
  const auto finish = [&] {
    ++lineNumber;
    std::string_view text = line;
    if (first && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    first = false;
    ReadSampleLine(text, Name, lineNumber, header, Coord, Depth);
    line.clear();
  };
  while (In) {
    In.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::size_t n = static_cast<std::size_t>(In.gcount());
    for (std::size_t at = 0; at < n;) {
      const char* end = static_cast<const char*>(std::memchr(block.data() + at, '\n', n - at));
      const std::size_t stop = end ? static_cast<std::size_t>(end - block.data()) : n;
      line.append(block.data() + at, stop - at);
      RefuseLongLine(line.size(), Name, lineNumber + 1);
      at = stop;
      if (end) {
        finish();
        ++at;
      }
    }
  }
  if (In.bad()) throw EGridError(Name + ": cannot be read");
  if (!line.empty()) finish();
  if (header) throw EGridError(Name + ": empty file; the first line must be the header lon,lat,depth");
}

std::string EncodeSamplesCSV(const TPointList& Coord, const TValueList& Depth) {
  const int count = std::min(Coord.Length(), Depth.Length());
  std::string out = "lon,lat,depth\n";
  out.reserve(out.size() + static_cast<std::size_t>(count) * 48);
  char buffer[32];
  auto append = [&](float value, char end) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
    out.append(buffer, result.ptr);
    out += end;
  };
  for (int i = 0; i < count; ++i) {
    append(Coord[i][0], ',');
    append(Coord[i][1], ',');
    append(Depth[i], '\n');
  }
  return out;
}

TGridExtent ViewGridExtent(const TGPXDraw& View) {
  const int columns = View.Width(), rows = View.Height();
  if (columns < 1 || rows < 1 || View.BBox.Rm == 0) return {};
  // The projection is linear, so one pixel step is the same everywhere.
  const double dx = View.XToLo(1) - View.XToLo(0);
  const double dy = View.YToLa(0) - View.YToLa(1);
  TGridExtent extent;
  extent.MinLon = View.XToLo(0) - dx / 2;
  extent.MaxLat = View.YToLa(0) + dy / 2;
  extent.MaxLon = extent.MinLon + columns * dx;
  extent.MinLat = extent.MaxLat - rows * dy;
  return extent;
}

TPixelCoordinates GridNodes(const TGridExtent& Extent, int Columns, int Rows) {
  TPixelCoordinates nodes;
  const double dx = Extent.CellWidth(Columns), dy = Extent.CellHeight(Rows);
  nodes.Longitudes.reserve(static_cast<std::size_t>(std::max(Columns, 0)));
  nodes.Latitudes.reserve(static_cast<std::size_t>(std::max(Rows, 0)));
  for (int i = 0; i < Columns; ++i) nodes.Longitudes.push_back(Extent.MinLon + (i + 0.5) * dx);
  for (int j = 0; j < Rows; ++j) nodes.Latitudes.push_back(Extent.MaxLat - (j + 0.5) * dy);
  return nodes;
}

TDepthArray GridSamples(const TPointList& Coord, const TValueList& Depth, const TGridExtent& Extent, int Columns,
                        int Rows, int Power, int Threads, TFeedback& Feedback, double Tolerance) {
  if (Coord.Length() == 0 || Coord.Length() != Depth.Length()) throw EGridError("no samples to interpolate");
  if (Columns < 1 || Rows < 1) throw EGridError("the grid needs at least one column and one row");
  if (!(Extent.MinLon < Extent.MaxLon) || !(Extent.MinLat < Extent.MaxLat))
    throw EGridError("the extent must have MINLON < MAXLON and MINLAT < MAXLAT");

  auto coordinates = std::make_shared<TPixelCoordinates>(GridNodes(Extent, Columns, Rows));

  TDepthArray grid(Columns, Rows);
  TInterpolationJob job;
  job.Depths = grid;
  job.ShepardInterp = std::make_shared<TShepardInterp>(Coord, Depth, Power, &Feedback, Tolerance);
  job.Coordinates = std::move(coordinates);
  TInterpolationScheduler scheduler(std::move(job), Columns, Threads, Feedback, nullptr, kKernelColumns);
  scheduler.Start();
  scheduler.Wait();
  if (scheduler.Canceled()) throw TCanceled{};
  return grid;
}

namespace {

// The longest text of a value, "-d.dddddddddddddddde-ddd".
constexpr std::size_t kLongestValue = 24;

// Rows First .. Last − 1 of an Esri ASCII grid's values, written straight
// into a string long enough for the longest values and then cut to length.
std::string EncodeGridRows(const TDepthArray& Grid, int First, int Last) {
  const int columns = Grid.Width();
  const auto rows = static_cast<std::size_t>(Last - First);
  std::string out(rows * (static_cast<std::size_t>(columns) * (kLongestValue + 1)) + kDigits17Room, '\0');
  char* p = out.data();
  for (int y = First; y < Last; ++y) {
    for (int x = 0; x < columns; ++x) {
      if (x) *p++ = ' ';
      const double v = Grid[x][y];
      p = WriteDigits17(p, std::isfinite(v) ? v : kNoData);
    }
    *p++ = '\n';
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return out;
}

// Values from which the text is written by several threads: below it the
// threads would cost more than they save.
constexpr long long kParallelEncodeValues = 32 * 1024;

}  // namespace

std::string EncodeEsriAsciiGrid(const TDepthArray& Grid, const TGridExtent& Extent) {
  const int columns = Grid.Width(), rows = Grid.Height();
  std::string out;
  auto header = [&](const char* key, double value) {
    out += key;
    AppendG17(out, value);
    out += '\n';
  };
  header("ncols        ", columns);
  header("nrows        ", rows);
  header("xllcorner    ", Extent.MinLon);
  header("yllcorner    ", Extent.MinLat);
  header("dx           ", Extent.CellWidth(columns));
  header("dy           ", Extent.CellHeight(rows));
  header("NODATA_value ", kNoData);
  // Seventeen digits per value take most of the time of writing a grid, so
  // large grids are written in bands of rows on several threads and the
  // bands joined in order: the same text as one thread writes.
  const long long values = static_cast<long long>(columns) * rows;
  const int bands = values < kParallelEncodeValues
                        ? 1
                        : static_cast<int>(std::clamp<long long>(std::thread::hardware_concurrency(), 1,
                                                                 std::min<long long>(rows, 8)));
  std::vector<std::string> text(static_cast<std::size_t>(bands));
  // What a helper thread failed with (memory, say), raised on this one.
  std::vector<std::exception_ptr> failed(static_cast<std::size_t>(bands));
  auto band = [&](int k) {
    try {
      text[static_cast<std::size_t>(k)] =
          EncodeGridRows(Grid, static_cast<int>(static_cast<long long>(rows) * k / bands),
                         static_cast<int>(static_cast<long long>(rows) * (k + 1) / bands));
    } catch (...) {
      failed[static_cast<std::size_t>(k)] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (int k = 1; k < bands; ++k) helpers.emplace_back(band, k);
  } catch (const std::system_error&) {
    // No thread to be had: the calling thread writes those bands below.
  }
  band(0);
  for (std::thread& helper : helpers) helper.join();
  for (int k = static_cast<int>(helpers.size()) + 1; k < bands; ++k) band(k);
  for (const std::exception_ptr& e : failed)
    if (e) std::rethrow_exception(e);
  std::size_t size = out.size();
  for (const std::string& t : text) size += t.size();
  out.reserve(size);
  for (const std::string& t : text) out += t;
  return out;
}

}  // namespace sondralis
