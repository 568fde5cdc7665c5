#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "FormatsTestSupport.h"
#include "formats/GPXFile.h"
#include "formats/KMLFile.h"
#include "formats/XmlDom.h"

namespace sondralis {
namespace {

using testing::TestDataDir;

template <class... Parts>
std::string Cat(const Parts&... parts) {
  std::string out;
  ((out += parts), ...);
  return out;
}

// A model loaded from text, with the readers' settings.
struct Loaded {
  explicit Loaded(const std::string& xml, bool ignoreCase = true) {
    model.IgnoreCase = ignoreCase;
    ok = model.LoadMemory(xml);
  }
  TXpNode Root() const {
    for (TXpNode n = model.Document().FirstChild(); n; n = n.NextSibling())
      if (n.NodeType() == TXpNodeType::ntElement) return n;
    return {};
  }
  TXpObjModel model;
  bool ok = false;
};

TEST(XmlDomEncodings, SameContentInEveryEncodingGivesTheSameTree) {
  std::string reference;
  for (const char* file : {"utf8.gpx", "utf8-bom.gpx", "utf16le-bom.gpx", "utf16be-bom.gpx", "latin1.gpx"}) {
    SCOPED_TRACE(file);
    TXpObjModel model;
    model.IgnoreCase = true;
    ASSERT_TRUE(model.LoadDataSource((TestDataDir() / "encodings" / file).string())) << model.ErrorText();
    TXpNode gpx = model.Document().SelectNodes("gpx").Item(0);
    ASSERT_FALSE(gpx.IsNull());
    const std::string xml = gpx.XmlDocument();
    EXPECT_NE(xml.find("<name>Z\xC3\xBCrichsee S\xC3\xBC""d\xC3\xA9 Ufer</name>"), std::string::npos) << xml;
    if (reference.empty()) reference = xml;
    EXPECT_EQ(xml, reference);
  }
}

TEST(XmlDomEncodings, DeclaredLatin1IsReadAsLatin1AndOtherwiseAsUtf8) {
  Loaded latin1("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><a>\xFC</a>");
  ASSERT_TRUE(latin1.ok);
  EXPECT_EQ(latin1.Root().Text(), "\xC3\xBC");
  EXPECT_EQ(latin1.model.Encoding(), TXpCharEncoding::ceISO88591);
  // Plain ASCII under the declaration is parsed where it lies.
  Loaded ascii("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><gpx><trk><name>plain</name></trk></gpx>");
  ASSERT_TRUE(ascii.ok);
  EXPECT_EQ(ascii.Root().SelectString("trk/name"), "plain");
  // Without the declaration the same byte is not re-coded.
  Loaded utf8("<a>\xC3\xBC</a>");
  ASSERT_TRUE(utf8.ok);
  EXPECT_EQ(utf8.Root().Text(), "\xC3\xBC");
}

TEST(XmlDomLoad, XmlVersionOtherThan10AndLateDeclarationFail) {
  Loaded v11("<?xml version=\"1.1\"?><gpx/>");
  EXPECT_FALSE(v11.ok);
  EXPECT_FALSE(v11.model.Errors().empty());
  EXPECT_FALSE(v11.model.Document().FirstChild());
  Loaded late("<gpx/><?xml version=\"1.0\"?>");
  EXPECT_FALSE(late.ok);
  Loaded good("<?xml version=\"1.0\" encoding=\"UTF-8\"?><gpx/>");
  EXPECT_TRUE(good.ok) << good.model.ErrorText();
}

TEST(XmlDomLoad, FailuresLeaveNoTreeAndExplainThemselves) {
  for (const std::string& bad : {std::string(), std::string("\x01\x02\xff garbage"), std::string("<gpx><trk><name>a</name>"),
                                std::string("<a></b>")}) {
    Loaded l(bad);
    EXPECT_FALSE(l.ok);
    EXPECT_FALSE(l.model.Document().FirstChild());
    ASSERT_EQ(l.model.Errors().size(), 1u);
    EXPECT_NE(l.model.Errors()[0].find("offset"), std::string::npos);
  }
  TXpObjModel missing;
  EXPECT_FALSE(missing.LoadDataSource("/nonexistent/dir/file.gpx"));
  EXPECT_NE(missing.ErrorText().find("/nonexistent/dir/file.gpx"), std::string::npos);

  TXpObjModel raising;
  raising.RaiseErrors = true;
  try {
    raising.LoadMemory("<a><b></a>");
    FAIL() << "no error raised";
  } catch (const EXpParserError& e) {
    EXPECT_GT(e.Position, 0);
  }
}

// What the parser would let through although XML forbids it: each is
// refused with one line that names the fault and its byte offset.
TEST(XmlDomLoad, DocumentsThatAreNotWellFormedAreRefusedAtTheFault) {
  std::string manyAttributes = "<gpx><wpt";
  for (int i = 0; i < 40; ++i) manyAttributes += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  manyAttributes += " a17=\"again\"/></gpx>";
  const struct {
    std::string xml;
    std::string fault;
    std::size_t at;  // where the offending text starts
  } cases[] = {
      {"<gpx><trk><name>a</name></trk></gpx>\n<gpx><trk><name>b</name></trk></gpx>", "second root element <gpx>", 37},
      {"<gpx/><!-- one root --><kml/>", "second root element <kml>", 23},
      {"<gpx><wpt lat=\"1\" lon=\"2\" lat=\"3\"/></gpx>", "attribute lat appears twice in <wpt>", 5},
      {manyAttributes, "attribute a17 appears twice in <wpt>", 5},
      {"<gpx><wpt lat=\"4&#0;7.5\" lon=\"8\"/></gpx>", "&#0;", 16},
      {"<gpx><name>a&#1;b</name></gpx>", "&#1;", 12},
      {"<gpx><name>&#x1F;</name></gpx>", "&#x1F;", 11},
      {"<gpx><name>&#xD800;</name></gpx>", "&#xD800;", 11},
      {"<gpx><name>&#57343;</name></gpx>", "&#57343;", 11},  // U+DFFF
      {"<gpx><name>&#xFFFE;</name></gpx>", "&#xFFFE;", 11},
      {"<gpx><name>&#65535;</name></gpx>", "&#65535;", 11},
      {"<gpx><name>&#x110000;</name></gpx>", "&#x110000;", 11},
      {"<gpx><name>&#99999999999999999999999;</name></gpx>", "&#99999999999999...", 11},
      {"<gpx><!-- &#0; --><name><![CDATA[&#0;]]>&#0;</name></gpx>", "&#0;", 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    Loaded l(c.xml);
    EXPECT_FALSE(l.ok);
    EXPECT_FALSE(l.model.Document().FirstChild());
    ASSERT_EQ(l.model.Errors().size(), 1u);
    const std::string& error = l.model.Errors()[0];
    EXPECT_NE(error.find(c.fault), std::string::npos) << error;
    const std::string offset = " at offset ";
    ASSERT_NE(error.rfind(offset), std::string::npos) << error;
    const std::size_t at = std::stoul(error.substr(error.rfind(offset) + offset.size()));
    // Elements are placed at their name, just after the "<".
    EXPECT_EQ(at, c.fault.front() == '&' ? c.at : c.at + 1) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(XmlDomLoad, WhatXmlAllowsStillLoads) {
  Loaded l(
      "<?xml version=\"1.0\"?><!-- before --><gpx><wpt lat=\"1\" LAT=\"2\" lon=\"&#x38;&#46;5\"/><wpt lat=\"1\"/>"
      "<name>&#9;&#10;&#13;&#32;&#xD7FF;&#xE000;&#xFFFD;&#x10000;&#x10FFFF;&#233;</name>"
      "<c><![CDATA[&#0;]]></c><!-- &#1; --><?pi &#2; ?><t>&#12 &#; &#x;</t></gpx><!-- after --><?pi after?>");
  ASSERT_TRUE(l.ok) << l.model.ErrorText();
  EXPECT_EQ(l.Root().SelectNodes("wpt").Item(0).Attributes().GetNamedItem("lon").NodeValue(), "8.5");
  EXPECT_EQ(l.Root().SelectString("name"),
            "\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\xC3\xA9");
  EXPECT_EQ(l.Root().SelectString("c"), "&#0;");
  EXPECT_EQ(l.Root().SelectString("t"), "&#12 &#; &#x;");  // not references: kept as written

  // The same rule for a UTF-16 input; the offset counts bytes from its start.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<a>x&#0;</a>")) {
    utf16 += c;
    utf16 += '\0';
  }
  Loaded wide(utf16);
  EXPECT_FALSE(wide.ok);
  EXPECT_NE(wide.model.ErrorText().find("&#0; names a character XML does not allow at offset 10"), std::string::npos)
      << wide.model.ErrorText();
}

// Both readers go through the same load, and say which file is refused.
TEST(XmlDomLoad, ReadersRefuseTheDocumentNamingTheFile) {
  testing::TempDir dir("wellformed");
  const std::string gpx = (dir / "two-roots.gpx").string();
  testing::WriteFileBytes(gpx,
                          "<gpx><trk><trkseg><trkpt lat=\"46\" lon=\"8\"/><trkpt lat=\"46.1\" lon=\"8\"/></trkseg></trk>"
                          "</gpx><gpx><trk/></gpx>");
  TGPX doc;
  TGPXFile reader;
  reader.GPXd = &doc;
  reader.ImportGPXFile(gpx);
  EXPECT_FALSE(reader.Loaded);
  EXPECT_EQ(doc.trk.Count(), 0);
  ASSERT_FALSE(reader.mLog.empty());
  EXPECT_EQ(reader.mLog.front(), "Error in " + gpx + ": a second root element <gpx> at offset 92");

  const std::string kml = (dir / "nul.kml").string();
  testing::WriteFileBytes(kml,
                          "<kml><Placemark><LineString><coordinates>8,46 8,4&#0;6.1</coordinates></LineString>"
                          "</Placemark></kml>");
  TGPX kmlDoc;
  TKMLFile kmlReader;
  kmlReader.GPXd = &kmlDoc;
  kmlReader.ImportKML(kml);
  EXPECT_FALSE(kmlReader.Loaded);
  EXPECT_EQ(kmlDoc.trk.Count(), 0);
  ASSERT_FALSE(kmlReader.mLog.empty());
  EXPECT_NE(kmlReader.mLog.front().find("Error in " + kml + ": the character reference &#0;"), std::string::npos)
      << kmlReader.mLog.front();
}

TEST(XmlDomLoad, StreamAndMemoryLoadAlike) {
  std::istringstream in("<gpx><wpt lat=\"1\"/></gpx>");
  TXpObjModel model;
  ASSERT_TRUE(model.LoadStream(in));
  EXPECT_EQ(model.Document().SelectNodes("gpx/wpt").Length(), 1);
}

TEST(XmlDomText, WhiteSpaceIsNormalisedOutsideCdata) {
  Loaded l("<r>\n  <name>  My   lake\n </name><c><![CDATA[  keep \n me ]]></c>\n</r>");
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.Root().SelectString("name"), "My lake");
  EXPECT_EQ(l.Root().SelectString("c"), "  keep \n me ");
  // White space between elements leaves no text nodes.
  EXPECT_EQ(l.Root().ChildNodes().Length(), 2);
  EXPECT_EQ(l.Root().XmlDocument(), "<r><name>My lake</name><c><![CDATA[  keep \n me ]]></c></r>");
}

TEST(XmlDomText, MixedContentJoinsPiecesWithOneBlank) {
  Loaded l("<desc>a<b>b</b>c<e/><f>  </f>d</desc>");
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.Root().Text(), "a b c d");
  const TXpNodeList kids = l.Root().ChildNodes();
  ASSERT_EQ(kids.Length(), 6);
  EXPECT_EQ(kids.Item(0).NodeType(), TXpNodeType::ntText);
  EXPECT_EQ(kids.Item(0).NodeValue(), "a");
  EXPECT_EQ(kids.Item(1).NodeName(), "b");
  EXPECT_EQ(kids.Item(2).NodeValue(), "c");
  EXPECT_EQ(kids.Item(0).ParentNode(), l.Root());
  EXPECT_EQ(kids.Last().NodeValue(), "d");
  EXPECT_TRUE(kids.Item(6).IsNull());
}

TEST(XmlDomNames, CaseIsIgnoredButPrefixesCount) {
  Loaded l("<GPX><Wpt/><wpt/><extensions><H:Depth>345</H:Depth><depth>1</depth></extensions></GPX>");
  ASSERT_TRUE(l.ok);
  const TXpDocument doc = l.model.Document();
  EXPECT_EQ(doc.SelectNodes("gpx").Length(), 1);
  EXPECT_EQ(doc.SelectNodes("gpx/wpt").Length(), 2);
  const TXpNodeList depth = doc.SelectNodes("gpx/extensions/h:depth");
  ASSERT_EQ(depth.Length(), 1);
  EXPECT_EQ(depth.Item(0).Text(), "345");
  EXPECT_EQ(doc.SelectNodes("gpx/extensions/depth").Item(0).Text(), "1");

  // A list of names at once: the first that matches, under the same rule;
  // none for text and attributes.
  constexpr std::string_view kNames[] = {"depth", "h:depth", "wpt"};
  const TXpNode extensions = doc.SelectNodes("gpx/extensions").Item(0);
  EXPECT_EQ(extensions.FirstChild().NameIndex(kNames), 1);
  EXPECT_EQ(extensions.FirstChild().NextSibling().NameIndex(kNames), 0);
  EXPECT_EQ(extensions.NameIndex(kNames), -1);
  EXPECT_EQ(depth.Item(0).FirstChild().NameIndex(kNames), -1);
  EXPECT_EQ(TXpNode().NameIndex(kNames), -1);

  Loaded exact("<GPX depth=\"1\"/>", false);
  EXPECT_EQ(exact.model.Document().SelectNodes("gpx").Length(), 0);
  EXPECT_EQ(exact.model.Document().SelectNodes("GPX").Length(), 1);
  constexpr std::string_view kCases[] = {"gpx", "GPX"};
  EXPECT_EQ(exact.Root().NameIndex(kCases), 1);
  EXPECT_EQ(exact.Root().Attributes().GetNamedItem("depth").NameIndex(kNames), -1);
}

TEST(XmlDomNames, AttributesByNameIgnoringCase) {
  Loaded l("<wpt LAT=\"47.5\" lon=\"8\" Lon=\"9\"/>");
  ASSERT_TRUE(l.ok);
  const TXpNamedNodeMap attrs = l.Root().Attributes();
  EXPECT_EQ(attrs.Length(), 3);
  EXPECT_EQ(attrs.GetNamedItem("lat").NodeValue(), "47.5");
  EXPECT_EQ(attrs.GetNamedItem("Lon").NodeValue(), "9");  // the exact match wins
  EXPECT_TRUE(attrs.GetNamedItem("ele").IsNull());
  EXPECT_TRUE(l.Root().FirstChild().Attributes().GetNamedItem("lat").IsNull());
}

TEST(XmlDomPaths, TheReadersPathsSelectInDocumentOrder) {
  Loaded l(
      "<kml><Document><name>Doc</name><Folder><name>Islands</name>"
      "<Placemark><name>p1</name><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark>"
      "<Folder><Placemark><name>p2</name><Point><coordinates>5,6</coordinates></Point></Placemark></Folder>"
      "</Folder><Placemark><name>p3</name></Placemark></Document></kml>");
  ASSERT_TRUE(l.ok);
  const TXpNode document = l.Root().FirstChild();
  const TXpNodeList marks = document.SelectNodes(".//Placemark");
  ASSERT_EQ(marks.Length(), 3);
  EXPECT_EQ(marks.Item(0).SelectString("name"), "p1");
  EXPECT_EQ(marks.Item(1).SelectString("name"), "p2");
  EXPECT_EQ(marks.Item(2).SelectString("name"), "p3");
  EXPECT_EQ(marks.Item(0).SelectString("../name"), "Islands");
  EXPECT_EQ(marks.Item(0).SelectString("LineString/coordinates"), "1,2 3,4");
  EXPECT_TRUE(marks.Item(1).SelectBoolean("Point"));
  EXPECT_FALSE(marks.Item(1).SelectBoolean("LineString"));
  // Several context nodes reaching the same parent give it once.
  EXPECT_EQ(document.SelectNodes(".//Placemark/..").Length(), 3);
  EXPECT_EQ(document.SelectNodes("Folder/Placemark/../name").Length(), 1);
}

TEST(XmlDomPaths, UnusablePathsSelectNothing) {
  Loaded l("<a><b/></a>");
  ASSERT_TRUE(l.ok);
  for (const char* path : {"", "/", "/a", "b/", "b[1]", "@x", "b///c", "count(b)"}) {
    EXPECT_EQ(l.Root().SelectNodes(path).Length(), 0) << path;
    EXPECT_EQ(l.Root().SelectString(path), "") << path;
    EXPECT_FALSE(l.Root().SelectBoolean(path)) << path;
  }
  EXPECT_EQ(l.Root().SelectNodes("./b").Length(), 1);
  EXPECT_EQ(l.Root().SelectNodes("..").Item(0).NodeType(), TXpNodeType::ntDocument);
  EXPECT_EQ(TXpNode().SelectNodes("b").Length(), 0);
}

TEST(XmlDomXml, WrittenBackEscapedAndSelfContained) {
  Loaded l(
      "<gpx xmlns:x=\"urn:x\" xmlns:y=\"urn:y\"><ext a=\"1 &amp; &quot;2&quot;\">"
      "<x:e y:at=\"v\">a &lt; b &gt; c &amp; d</x:e><z:u xmlns:z=\"urn:z\"/></ext></gpx>");
  ASSERT_TRUE(l.ok);
  const TXpNode ext = l.Root().FirstChild();
  EXPECT_EQ(ext.XmlDocument(),
            "<ext a=\"1 &amp; &quot;2&quot;\" xmlns:x=\"urn:x\" xmlns:y=\"urn:y\">"
            "<x:e y:at=\"v\">a &lt; b &gt; c &amp; d</x:e><z:u xmlns:z=\"urn:z\"/></ext>");
  EXPECT_EQ(ext.InnerXml(),
            "<x:e y:at=\"v\" xmlns:x=\"urn:x\" xmlns:y=\"urn:y\">a &lt; b &gt; c &amp; d</x:e>"
            "<z:u xmlns:z=\"urn:z\"/>");
  // The written text reads back into the same tree.
  Loaded again(ext.XmlDocument());
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(again.Root().XmlDocument(), ext.XmlDocument());
}

// A fragment written back declares the prefixes it uses from outside, with
// the nearest declaration in scope, in the order of first use; thousands of
// prefixes on the root or in one fragment give the same text as a few.
TEST(XmlDomXml, FragmentsDeclareEveryOutsidePrefixFromTheNearestScope) {
  constexpr int kPrefixes = 3000;
  auto p = [](int i) { return Cat("p", std::to_string(i)); };
  auto uri = [](int i) { return i == 5 ? std::string("urn:trk-5") : Cat("urn:root-", std::to_string(i)); };
  std::string xml = "<gpx";
  for (int i = 0; i < kPrefixes; ++i) xml += Cat(" xmlns:", p(i), "=\"urn:root-", std::to_string(i), "\"");
  xml += "><trk xmlns:p5=\"urn:trk-5\"><trkseg>";
  for (int i = 0; i < kPrefixes; ++i)
    xml += Cat("<trkpt lat=\"1\" lon=\"2\"><extensions><", p(i), ":x/></extensions></trkpt>");
  // One fragment using every prefix, one of them declared inside it for a
  // part only, and one prefix declared nowhere.
  xml += "</trkseg><extensions><w><p1:a xmlns:p1=\"urn:in\"/><p1:b/>";
  for (int i = 2; i < kPrefixes; ++i) xml += Cat("<", p(i), ":c ", p(kPrefixes - 1 - i), ":at=\"v\"/>");
  xml += "<q:u/></w></extensions></trk></gpx>";

  auto pointExtension = [&](int i) { return Cat("<", p(i), ":x xmlns:", p(i), "=\"", uri(i), "\"/>"); };

  Loaded l(xml);
  ASSERT_TRUE(l.ok) << l.model.ErrorText();
  const TXpNodeList points = l.Root().SelectNodes("trk/trkseg/trkpt");
  ASSERT_EQ(points.Length(), kPrefixes);
  for (int i = 0; i < kPrefixes; ++i)
    ASSERT_EQ(points.Item(i).SelectNodes("extensions").Item(0).InnerXml(), pointExtension(i)) << i;

  // Prefixes in the order the writer meets them: element, then attribute.
  std::string expected = "<w";
  std::vector<bool> declared(kPrefixes, false);
  auto declare = [&](int k) {
    if (declared[static_cast<std::size_t>(k)]) return;
    declared[static_cast<std::size_t>(k)] = true;
    expected += Cat(" xmlns:", p(k), "=\"", uri(k), "\"");
  };
  declare(1);  // p1:b lies outside the inner declaration's scope
  for (int i = 2; i < kPrefixes; ++i) {
    declare(i);
    declare(kPrefixes - 1 - i);
  }
  expected += "><p1:a xmlns:p1=\"urn:in\"/><p1:b/>";
  for (int i = 2; i < kPrefixes; ++i) expected += Cat("<", p(i), ":c ", p(kPrefixes - 1 - i), ":at=\"v\"/>");
  expected += "<q:u/></w>";
  EXPECT_EQ(l.Root().SelectNodes("trk/extensions/w").Item(0).XmlDocument(), expected);

  // The reader keeps the same text for every point.
  std::istringstream in(xml);
  TGPX doc;
  TGPXFile reader;
  reader.GPXd = &doc;
  reader.ImportGPXStream(in, "prefixes.gpx");
  ASSERT_TRUE(reader.Loaded);
  ASSERT_EQ(doc.trk[0]->trkseg(0)->Count(), kPrefixes);
  for (int i = 0; i < kPrefixes; ++i) ASSERT_EQ(doc.trk[0]->trkseg(0)->trkpt(i)->extensions(), pointExtension(i)) << i;
}

TEST(XmlDomRobustness, DeepNestingLoadsWithoutRecursion) {
  constexpr int kDepth = 200000;
  std::string xml;
  xml.reserve(kDepth * 8 + 16);
  for (int i = 0; i < kDepth; ++i) xml += "<a>";
  xml += "x";
  for (int i = 0; i < kDepth; ++i) xml += "</a>";
  Loaded l(xml);
  ASSERT_TRUE(l.ok) << l.model.ErrorText();
  EXPECT_EQ(l.Root().Text(), "x");
  EXPECT_EQ(l.model.Document().SelectNodes(".//a").Length(), kDepth);
  EXPECT_EQ(l.Root().XmlDocument().size(), xml.size());

  // The same nesting cut short fails cleanly.
  Loaded cut(xml.substr(0, xml.size() / 2));
  EXPECT_FALSE(cut.ok);
}

TEST(XmlDomRobustness, EntitiesBeyondThePredefinedOnesAreNotExpanded) {
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n";
  xml += " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
  for (int i = 2; i <= 9; ++i) {
    xml += " <!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) xml += "&lol" + std::to_string(i - 1) + ";";
    xml += "\">\n";
  }
  xml += "]>\n<lolz>&lol9;</lolz>";
  Loaded l(xml);
  if (l.ok) {
    EXPECT_LT(l.Root().Text().size(), 100u);
  }
  // Nested conditional sections in a DOCTYPE do not recurse either.
  std::string deep = "<!DOCTYPE a [";
  for (int i = 0; i < 100000; ++i) deep += "<![INCLUDE[";
  Loaded d(deep + "]><a/>");
  EXPECT_FALSE(d.ok);
}

}  // namespace
}  // namespace sondralis
