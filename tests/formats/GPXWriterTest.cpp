#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "FormatsTestSupport.h"
#include "formats/AtomicFile.h"
#include "formats/GPXFile.h"
#include "model/DateTime.h"
#include "model/Text.h"

namespace sondralis {
namespace {

using testing::ExpectSameDocument;
using testing::ReadFileBytes;
using testing::TestDataDir;
using testing::TempDir;
using testing::WriteFileBytes;
namespace fs = std::filesystem;

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
const std::string kGpxTail =
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";

std::string GpxStart(const std::string& creator, bool depth) {
  return "<gpx version=\"1.1\" creator=\"" + creator + "\" xmlns=\"http://www.topografix.com/GPX/1/1\"" +
         (depth ? std::string(" xmlns:h=\"") + kDepthNamespaceURI + "\"" : std::string()) + kGpxTail;
}

TGPXwpt* AddPoint(TGPXwptList& list, double lat, double lon) {
  auto* p = new TGPXwpt;
  p->Latitude = lat;
  p->Longitude = lon;
  list.Add(p);
  return p;
}

TGPXtrkseg* AddTrack(TGPX& doc, const std::string& name) {
  auto* trk = new TGPXtrk;
  trk->Edit().name = name;
  doc.trk.Add(trk);
  auto* seg = new TGPXtrkseg;
  trk->Add(seg);
  return seg;
}

// Writes and reads back through the text form.
void ReadBack(TGPXFile& writer, TGPX& into) {
  std::istringstream in(writer.ExportGPXText());
  TGPXFile reader;
  reader.GPXd = &into;
  reader.ImportGPXStream(in, "written.gpx");
  ASSERT_TRUE(reader.Loaded);
}

TEST(GPXWriter, EmptyDocumentAndExactLayoutOfATrack) {
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  EXPECT_EQ(file.ExportGPXText(), kDecl + GpxStart("", false) + "</gpx>");

  TGPXtrkseg* seg = AddTrack(doc, "A");
  TGPXwpt* p1 = AddPoint(*seg, 47.5, 8);
  p1->DateTime = ComposeDateTime(EncodeDate(2012, 5, 1), EncodeTime(8, 3, 9, 750));
  p1->HBdepth = 345;
  TGPXwpt* p2 = AddPoint(*seg, -0.25, 8.125);
  p2->DateTime = EncodeDate(2012, 5, 1);
  p2->HBdepth = 351.5;
  EXPECT_EQ(file.ExportGPXText(), kDecl + GpxStart("", true) +
                                      "<trk>\n"
                                      "\t<name>A</name>\n"
                                      "\t<trkseg>\n"
                                      "\t\t<trkpt lat=\"47.5\" lon=\"8\">\n"
                                      "\t\t\t<time>2012-05-01T08:03:09Z</time>\n"
                                      "\t\t\t<extensions><h:depth>345</h:depth></extensions>\n"
                                      "\t\t</trkpt>\n"
                                      "\t\t<trkpt lat=\"-0.25\" lon=\"8.125\">\n"
                                      "\t\t\t<time>2012-05-01T00:00:00Z</time>\n"
                                      "\t\t\t<extensions><h:depth>351.5</h:depth></extensions>\n"
                                      "\t\t</trkpt>\n"
                                      "\t</trkseg>\n"
                                      "</trk>\n"
                                      "\n"
                                      "</gpx>");

  file.GPXOptions.Compress = true;
  const std::string compact = file.ExportGPXText();
  EXPECT_EQ(compact.find('\n'), std::string::npos);
  EXPECT_EQ(compact.find('\t'), std::string::npos);
  TGPX back;
  ReadBack(file, back);
  ExpectSameDocument(back, doc);
}

TEST(GPXWriter, PointsLeaveOutDefaultsAndFollowTheSchemaOrder) {
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  TGPXwpt* zero = AddPoint(doc.wpt, 0, 0);
  EXPECT_EQ(file.ExportGPXWPT(*zero, "wpt", 0), "<wpt lat=\"0\" lon=\"0\">\n</wpt>\n");

  TGPXwpt* p = AddPoint(doc.wpt, 1e-7, -179.5);
  p->Altitude = 1e20;
  p->Edit().magvar = 2;
  p->Edit().geoidheight = 3;
  p->Edit().name = "n";
  p->Edit().link.href = "h";
  p->Edit().link.filled = true;
  p->Edit().fix = "3d";
  p->Edit().sat = 0;
  p->Edit().hdop = 0;
  p->Edit().dgpsid = 0;
  p->Edit().ageofdgpsdata = 1.5;
  const std::string text = file.ExportGPXWPT(*p, "wpt", 0);
  EXPECT_NE(text.find("lat=\"0.0000001\""), std::string::npos) << text;
  EXPECT_NE(text.find("<ele>100000000000000000000</ele>"), std::string::npos) << text;
  std::size_t last = 0;
  for (const char* tag : {"<ele>", "<magvar>", "<geoidheight>", "<name>", "<link href=\"h\">", "<fix>", "<sat>0</sat>",
                          "<hdop>0</hdop>", "<ageofdgpsdata>", "<dgpsid>0</dgpsid>"}) {
    const auto at = text.find(tag);
    ASSERT_NE(at, std::string::npos) << tag << " in " << text;
    EXPECT_GT(at, last) << tag << " out of order in " << text;
    last = at;
  }
}

TEST(GPXWriter, EscapesTextAndAttributesAndKeepsUtf8) {
  TGPX doc;
  doc.creator = "A \"B\" & <C>";
  TGPXFile file;
  file.GPXd = &doc;
  TGPXwpt* p = AddPoint(doc.wpt, 1, 2);
  p->Edit().name = "F&<1>";
  p->Edit().desc = "Z\xC3\xBCrich \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8C\x8A 'q' \"d\"";
  p->Edit().cmt = std::string("bad\x01\xFFx");
  p->Edit().link.href = "http://x/?a=1&b=\"2\"";
  p->Edit().link.filled = true;
  const std::string text = file.ExportGPXText();
  EXPECT_NE(text.find("creator=\"A &quot;B&quot; &amp; &lt;C&gt;\""), std::string::npos) << text;
  EXPECT_NE(text.find("<name>F&amp;&lt;1&gt;</name>"), std::string::npos);
  EXPECT_NE(text.find(std::string("<desc>") + std::string(p->desc()) + "</desc>"), std::string::npos);
  EXPECT_NE(text.find("<cmt>bad\xEF\xBF\xBDx</cmt>"), std::string::npos);
  EXPECT_NE(text.find("href=\"http://x/?a=1&amp;b=&quot;2&quot;\""), std::string::npos);
  TXpObjModel model;
  ASSERT_TRUE(model.LoadMemory(text));
  EXPECT_EQ(model.Document().FirstChild().NextSibling().Attributes().GetNamedItem("creator").NodeValue(),
            doc.creator);
  TGPX back;
  ReadBack(file, back);
  EXPECT_EQ(back.wpt.WayPoints(0)->desc(), p->desc());
  EXPECT_EQ(back.wpt.WayPoints(0)->link().href, p->link().href);
}

TEST(GPXWriter, DepthIsWrittenFromTheCurrentValue) {
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  TGPXtrkseg* seg = AddTrack(doc, "t");
  AddPoint(*seg, 1, 1)->HBdepth = 345;  // typed or offset: no extension text at all
  TGPXwpt* stale = AddPoint(*seg, 2, 2);
  stale->HBdepth = 500;
  stale->Edit().extensions = "<a:x xmlns:a=\"urn:a\"/><H:Depth>100</H:Depth><h:depth/><b:y xmlns:b=\"urn:b\">1</b:y>";
  TGPXwpt* cleared = AddPoint(*seg, 3, 3);
  cleared->Edit().extensions = "<h:depth xmlns:h=\"urn:other\">100</h:depth>";
  TGPXwpt* plain = AddPoint(*seg, 4, 4);
  plain->Edit().extensions = "<a:x xmlns:a=\"urn:a\"/>";
  AddPoint(*seg, 5, 5);

  // A stale value gives way to the current depth; an empty depth element is
  // a value that could not be read and stays, before the current one.
  EXPECT_EQ(TGPXFile::PointExtensions(*stale),
            "<a:x xmlns:a=\"urn:a\"/><h:depth/><h:depth>500</h:depth><b:y xmlns:b=\"urn:b\">1</b:y>");
  EXPECT_EQ(TGPXFile::PointExtensions(*cleared), "");
  EXPECT_EQ(TGPXFile::PointExtensions(*plain), "<a:x xmlns:a=\"urn:a\"/>");
  const std::string last = file.ExportGPXWPT(*seg->trkpt(4), "trkpt", 2);
  EXPECT_EQ(last.find("extensions"), std::string::npos);

  TGPX back;
  ReadBack(file, back);
  const TGPXtrkseg& s = *back.trk.Tracks(0)->trkseg(0);
  ASSERT_EQ(s.Count(), 5);
  EXPECT_EQ(s.trkpt(0)->HBdepth, 345);
  EXPECT_EQ(s.trkpt(1)->HBdepth, 500);
  EXPECT_EQ(s.trkpt(2)->HBdepth, 0);
  EXPECT_EQ(s.trkpt(3)->HBdepth, 0);
  EXPECT_EQ(s.trkpt(1)->extensions(), std::string("<a:x xmlns:a=\"urn:a\"/><h:depth xmlns:h=\"") + kDepthNamespaceURI +
                                         "\"/><b:y xmlns:b=\"urn:b\">1</b:y>");
  EXPECT_EQ(s.trkpt(3)->extensions(), "<a:x xmlns:a=\"urn:a\"/>");

  // No depth anywhere: the prefix is not declared.
  TGPX flat;
  AddPoint(*AddTrack(flat, "f"), 1, 1);
  file.GPXd = &flat;
  EXPECT_EQ(file.ExportGPXText().find("xmlns:h"), std::string::npos);
}

TEST(GPXWriter, LineStylesAndRawExtensions) {
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  auto* rte = new TGPXrte;
  rte->Edit().LineStyle.SetColorStr("FF0000");
  rte->Edit().LineStyle.SetOpacity(0.5);
  rte->Edit().extensions = "<x:y xmlns:x=\"urn:x\">1</x:y>";
  AddPoint(*rte, 1, 2);
  doc.rte.Add(rte);
  EXPECT_EQ(file.ExportGPXRTE(*rte).find("<line"), std::string::npos);  // styles are an option

  file.GPXOptions.GPX_Style = true;
  const std::string text = file.ExportGPXText();
  EXPECT_NE(text.find("\t\t<line xmlns=\"http://www.topografix.com/GPX/gpx_style/0/2\">\n"
                      "\t\t\t<color>FF0000</color>\n"
                      "\t\t\t<opacity>0.5</opacity>\n"
                      "\t\t</line>\n"),
            std::string::npos)
      << text;
  TGPX back;
  ReadBack(file, back);
  ExpectSameDocument(back, doc);
}

TEST(GPXWriter, MetadataIsWrittenWithBoundsAndReadsBack) {
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  TGPXmetadata& m = doc.metadata;
  m.filled = true;
  m.name = "M";
  m.author.filled = true;
  m.author.name = "Ann";
  m.author.email = {"ann", "example.org", true};
  m.copyright.filled = true;
  m.copyright.year = 812;
  m.mtime = EncodeDate(2020, 2, 29);
  TGPXtrkseg* seg = AddTrack(doc, "t");
  AddPoint(*seg, 47, 8);
  AddPoint(*seg, 47.5, 8.5);
  const std::string text = file.ExportGPXText();
  EXPECT_NE(text.find("<email id=\"ann\" domain=\"example.org\"/>"), std::string::npos) << text;
  EXPECT_NE(text.find("<copyright author=\"\">"), std::string::npos);
  EXPECT_NE(text.find("<year>0812</year>"), std::string::npos);
  EXPECT_NE(text.find("<bounds minlat=\"47\" minlon=\"8\" maxlat=\"47.5\" maxlon=\"8.5\" />"), std::string::npos);
  TGPX back;
  ReadBack(file, back);
  ExpectSameDocument(back, doc);
}

TEST(GPXWriter, FailedWriteLeavesTheOldFileAndNoLitter) {
  TempDir dir("gpxwrite");
  const fs::path target = dir / "keep.gpx";
  WriteFileBytes(target, "good old content");
  TGPXFile file;
  EXPECT_THROW(file.ExportGPX(target.string()), EFileError);  // no document
  EXPECT_EQ(ReadFileBytes(target), "good old content");

  TGPX doc;
  AddPoint(*AddTrack(doc, "t"), 1, 2);
  file.GPXd = &doc;
  fs::create_directories(dir / "adir" / "inside");
  EXPECT_THROW(file.ExportGPX((dir / "adir").string()), EFileError);
  EXPECT_THROW(file.ExportGPX((dir / "missing" / "x.gpx").string()), EFileError);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2);  // keep.gpx and adir: no temporary file left behind

  file.Modified = true;
  file.ExportGPX(target.string());
  EXPECT_FALSE(file.Modified);
  EXPECT_NE(ReadFileBytes(target).find("<trkpt lat=\"1\" lon=\"2\">"), std::string::npos);
}

// A document with every field set to an in-range value.
void FillEverything(TGPX& doc) {
  doc.creator = "Sondralis & \"friends\"";
  TGPXmetadata& m = doc.metadata;
  m.filled = true;
  m.name = "Lake <survey>";
  m.desc = "d";
  m.author.filled = true;
  m.author.name = "Ann";
  m.author.email = {"ann", "example.org", true};
  m.author.link.filled = true;
  m.author.link.href = "http://example.org/ann";
  m.copyright = {"Ann", 2012, "http://example.org/license", true};
  m.link.filled = true;
  m.link.href = "http://example.org/?a=1&b=2";
  m.link.text = "home";
  m.link.ltype = "text/html";
  m.mtime = ComposeDateTime(EncodeDate(2012, 6, 16), EncodeTime(9, 45, 23, 0));
  m.keywords = "lake, depth";
  m.extensions = "<e:a xmlns:e=\"urn:e\">1</e:a>";
  doc.extension.Text = "<e:b xmlns:e=\"urn:e\"/>";

  auto fillPoint = [](TGPXwpt& p, int i) {
    p.Latitude = -89.5 + i;
    p.Longitude = -179.25 + i;
    p.Altitude = 432.5;
    p.HBdepth = 100 + i;
    p.DateTime = ComposeDateTime(EncodeDate(2012, 6, 16), EncodeTime(9, 45, i % 60, 0));
    p.Edit().magvar = 359.5;
    p.Edit().geoidheight = 48;
    p.Edit().name = "P" + std::to_string(i);
    p.Edit().cmt = "c";
    p.Edit().desc = "Z\xC3\xBCrich";
    p.Edit().src = "s";
    p.Edit().link.filled = true;
    p.Edit().link.href = "http://example.org/p";
    p.Edit().link.text = "t";
    p.Edit().sym = "Flag";
    p.Edit().wtype = "ty";
    p.Edit().fix = "dgps";
    p.Edit().sat = 12;
    p.Edit().hdop = 1.5;
    p.Edit().vdop = 2;
    p.Edit().pdop = 2.5;
    p.Edit().ageofdgpsdata = 7;
    p.Edit().dgpsid = 1023;
    if (i % 2) p.Edit().extensions = "<g:x xmlns:g=\"urn:g\">1</g:x>";
  };
  fillPoint(*AddPoint(doc.wpt, 0, 0), 0);
  auto* rte = new TGPXrte;
  rte->Edit().name = "R";
  rte->Edit().cmt = "c";
  rte->Edit().desc = "d";
  rte->Edit().src = "s";
  rte->Edit().link.filled = true;
  rte->Edit().link.href = "http://example.org/r";
  rte->Edit().number = 3;
  rte->Edit().type = "boat";
  rte->Edit().extensions = "<g:x xmlns:g=\"urn:g\"/>";
  rte->Edit().LineStyle.SetColorStr("00FF00");
  doc.rte.Add(rte);
  for (int i = 1; i < 3; ++i) fillPoint(*AddPoint(*rte, 0, 0), i);
  TGPXtrkseg* seg = AddTrack(doc, "T");
  doc.trk.Tracks(0)->Edit().LineStyle.SetOpacity(0.25);
  doc.trk.Tracks(0)->Edit().number = 0;
  seg->extensions = "<g:s xmlns:g=\"urn:g\"/>";
  for (int i = 3; i < 6; ++i) fillPoint(*AddPoint(*seg, 0, 0), i);
  doc.trk.Tracks(0)->Add(new TGPXtrkseg);  // an empty segment
}

bool Validates(const fs::path& file, std::string& output) {
  const std::string xmllint = SONDRALIS_XMLLINT;
  const fs::path log = file.string() + ".log";
  const std::string cmd = "'" + xmllint + "' --noout --nonet --schema '" +
                          (TestDataDir() / "schema/gpx-1.1.xsd").string() + "' '" + file.string() + "' >'" +
                          log.string() + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  output = ReadFileBytes(log);
  return rc == 0;
}

TEST(GPXWriterSchema, WrittenFilesValidateAgainstGpx11) {
  TempDir dir("gpxschema");
  TGPX doc;
  FillEverything(doc);
  for (int variant = 0; variant < 3; ++variant) {
    TGPXFile file;
    file.GPXd = &doc;
    file.GPXOptions.GPX_Style = variant != 1;
    file.GPXOptions.Compress = variant == 2;
    const fs::path path = dir / ("all-" + std::to_string(variant) + ".gpx");
    file.ExportGPX(path.string());
    std::string output;
    EXPECT_TRUE(Validates(path, output)) << output;

    TGPX back;
    TGPXFile reader;
    reader.GPXd = &back;
    reader.ImportGPXFile(path.string());
    ASSERT_TRUE(reader.Loaded);
    if (variant != 1) ExpectSameDocument(back, doc);
  }
  TGPX empty;
  TGPXFile file;
  file.GPXd = &empty;
  file.ExportGPX((dir / "empty.gpx").string());
  std::string output;
  EXPECT_TRUE(Validates(dir / "empty.gpx", output)) << output;
}

}  // namespace
}  // namespace sondralis

namespace sondralis {
namespace {


}  // namespace
}  // namespace sondralis
