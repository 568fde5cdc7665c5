#pragma once

// Helpers shared by the file-format tests: temporary folders, whole-file
// reads and writes, and a field-by-field comparison of two documents.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/GPX.h"

namespace sondralis::testing {

namespace fs = std::filesystem;

// Test material committed under tests/data.
inline fs::path TestDataDir() { return fs::path(SONDRALIS_SOURCE_DIR) / "tests" / "data"; }

// A fresh folder, removed with the object.
class TempDir {
 public:
  explicit TempDir(const std::string& tag) {
    fPath = fs::temp_directory_path() /
            ("sondralis-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(fCounter()++));
    fs::remove_all(fPath);
    fs::create_directories(fPath);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(fPath, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return fPath; }
  fs::path operator/(const std::string& name) const { return fPath / name; }

 private:
  static int& fCounter() {
    static int n = 0;
    return n;
  }
  fs::path fPath;
};

inline std::string ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFileBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

// Numbers survive a write and a read to 15 significant digits; times lose
// their fraction of a second.
inline bool SameNumber(double a, double b) {
  if (a == b) return true;
  return std::fabs(a - b) <= 1e-13 * std::max(std::fabs(a), std::fabs(b));
}

inline bool SameTime(double a, double b) { return std::fabs(a - b) < 1.0 / 86400.0; }

#define SONDRALIS_EXPECT_NUM(a, b) EXPECT_PRED2(::sondralis::testing::SameNumber, a, b)

inline void ExpectSameLink(const TGPXLink& a, const TGPXLink& b, const std::string& where) {
  SCOPED_TRACE(where + " link");
  EXPECT_EQ(a.filled, b.filled);
  EXPECT_EQ(a.href, b.href);
  EXPECT_EQ(a.text, b.text);
  EXPECT_EQ(a.ltype, b.ltype);
}

inline void ExpectSamePoint(const TGPXwpt& a, const TGPXwpt& b, const std::string& where) {
  SCOPED_TRACE(where);
  SONDRALIS_EXPECT_NUM(a.Latitude, b.Latitude);
  SONDRALIS_EXPECT_NUM(a.Longitude, b.Longitude);
  SONDRALIS_EXPECT_NUM(a.Altitude, b.Altitude);
  SONDRALIS_EXPECT_NUM(a.HBdepth, b.HBdepth);
  EXPECT_PRED2(SameTime, a.DateTime, b.DateTime);
  SONDRALIS_EXPECT_NUM(a.magvar(), b.magvar());
  SONDRALIS_EXPECT_NUM(a.geoidheight(), b.geoidheight());
  EXPECT_EQ(a.name(), b.name());
  EXPECT_EQ(a.cmt(), b.cmt());
  EXPECT_EQ(a.desc(), b.desc());
  EXPECT_EQ(a.src(), b.src());
  ExpectSameLink(a.link(), b.link(), where);
  EXPECT_EQ(a.sym(), b.sym());
  EXPECT_EQ(a.wtype(), b.wtype());
  EXPECT_EQ(a.fix(), b.fix());
  EXPECT_EQ(a.sat(), b.sat());
  SONDRALIS_EXPECT_NUM(a.hdop(), b.hdop());
  SONDRALIS_EXPECT_NUM(a.vdop(), b.vdop());
  SONDRALIS_EXPECT_NUM(a.pdop(), b.pdop());
  SONDRALIS_EXPECT_NUM(a.ageofdgpsdata(), b.ageofdgpsdata());
  EXPECT_EQ(a.dgpsid(), b.dgpsid());
  EXPECT_EQ(a.extensions(), b.extensions());
}

inline void ExpectSamePoints(const TGPXwptList& a, const TGPXwptList& b, const std::string& where) {
  ASSERT_EQ(a.Count(), b.Count()) << where;
  for (int i = 0; i < a.Count(); ++i) {
    ExpectSamePoint(*a.WayPoints(i), *b.WayPoints(i), where + " point " + std::to_string(i));
    if (::testing::Test::HasFailure()) return;  // one broken point is enough to read
  }
}

inline void ExpectSameStyle(const TGPX_StyleLine& a, const TGPX_StyleLine& b, const std::string& where) {
  EXPECT_EQ(a.Color(), b.Color()) << where;
  SONDRALIS_EXPECT_NUM(a.Opacity(), b.Opacity());
}

// Everything a file carries, compared field by field.
// The reader does not take over the creator of a file.
inline void ExpectSameDocument(const TGPX& a, const TGPX& b) {
  const TGPXmetadata& ma = a.metadata;
  const TGPXmetadata& mb = b.metadata;
  EXPECT_EQ(ma.filled, mb.filled);
  EXPECT_EQ(ma.name, mb.name);
  EXPECT_EQ(ma.desc, mb.desc);
  EXPECT_EQ(ma.author.filled, mb.author.filled);
  EXPECT_EQ(ma.author.name, mb.author.name);
  EXPECT_EQ(ma.author.email.filled, mb.author.email.filled);
  EXPECT_EQ(ma.author.email.id, mb.author.email.id);
  EXPECT_EQ(ma.author.email.domain, mb.author.email.domain);
  ExpectSameLink(ma.author.link, mb.author.link, "author");
  EXPECT_EQ(ma.copyright.filled, mb.copyright.filled);
  EXPECT_EQ(ma.copyright.author, mb.copyright.author);
  EXPECT_EQ(ma.copyright.year, mb.copyright.year);
  EXPECT_EQ(ma.copyright.license, mb.copyright.license);
  ExpectSameLink(ma.link, mb.link, "metadata");
  EXPECT_PRED2(SameTime, ma.mtime, mb.mtime);
  EXPECT_EQ(ma.keywords, mb.keywords);
  EXPECT_EQ(ma.extensions, mb.extensions);
  EXPECT_EQ(a.extension.Text, b.extension.Text);

  ExpectSamePoints(a.wpt, b.wpt, "wpt");
  ASSERT_EQ(a.rte.Count(), b.rte.Count());
  for (int r = 0; r < a.rte.Count(); ++r) {
    const TGPXrte& ra = *a.rte.Routes(r);
    const TGPXrte& rb = *b.rte.Routes(r);
    const std::string where = "rte " + std::to_string(r);
    EXPECT_EQ(ra.name(), rb.name()) << where;
    EXPECT_EQ(ra.cmt(), rb.cmt()) << where;
    EXPECT_EQ(ra.desc(), rb.desc()) << where;
    EXPECT_EQ(ra.src(), rb.src()) << where;
    ExpectSameLink(ra.link(), rb.link(), where);
    EXPECT_EQ(ra.number(), rb.number()) << where;
    EXPECT_EQ(ra.rtype(), rb.rtype()) << where;
    EXPECT_EQ(ra.extensions(), rb.extensions()) << where;
    ExpectSameStyle(ra.LineStyle(), rb.LineStyle(), where);
    ExpectSamePoints(ra, rb, where);
  }
  ASSERT_EQ(a.trk.Count(), b.trk.Count());
  for (int t = 0; t < a.trk.Count(); ++t) {
    const TGPXtrk& ta = *a.trk.Tracks(t);
    const TGPXtrk& tb = *b.trk.Tracks(t);
    const std::string where = "trk " + std::to_string(t);
    EXPECT_EQ(ta.name(), tb.name()) << where;
    EXPECT_EQ(ta.cmt(), tb.cmt()) << where;
    EXPECT_EQ(ta.desc(), tb.desc()) << where;
    EXPECT_EQ(ta.src(), tb.src()) << where;
    ExpectSameLink(ta.link(), tb.link(), where);
    EXPECT_EQ(ta.number(), tb.number()) << where;
    EXPECT_EQ(ta.ttype(), tb.ttype()) << where;
    EXPECT_EQ(ta.extensions(), tb.extensions()) << where;
    ExpectSameStyle(ta.LineStyle(), tb.LineStyle(), where);
    ASSERT_EQ(ta.Count(), tb.Count()) << where;
    for (int s = 0; s < ta.Count(); ++s) {
      EXPECT_EQ(ta.trkseg(s)->extensions, tb.trkseg(s)->extensions) << where << " seg " << s;
      ExpectSamePoints(*ta.trkseg(s), *tb.trkseg(s), where + " seg " + std::to_string(s));
    }
  }
}

}  // namespace sondralis::testing
