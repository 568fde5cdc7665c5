// The main window driven as a user drives it: synthetic mouse, wheel, key
// and drop events sent to its controls, dialogs answered by a scripted host.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>

#include "app/ImagePane.h"
#include "app/TrackBar.h"
#include "app/Unit1.h"
#include "support/WindowDriver.h"

namespace sondralis::testing {
namespace {

// ---------------------------------------------------------------- tests

TEST_F(WindowTest, StartStateKeysAndColours) {
  EXPECT_EQ(form->windowTitle(), "Quellmor: Sondralis 2D");
  // The tabs take the client area; the menu bar and the status bar come on
  // top of it.
  EXPECT_EQ(form->PageControl1->size(), QSize(1004, 677));
  EXPECT_EQ(form->PageControl1->minimumSize(), QSize(850, 600));
  EXPECT_EQ(form->size(), QSize(1004, 677 + form->height() - form->PageControl1->height()));
  // sondralis-cli map draws on a picture of the Source Tracks map's start size.
  EXPECT_EQ(form->GPXImage->size(), QSize(TSession::kDefaultPaneWidth, TSession::kDefaultPaneHeight));
  EXPECT_EQ(form->Session().Project().MapInfo().ScreenSizeText, "");

  // The tabs, in order; ShoreLine and Debug hidden.
  QTabWidget* tabs = form->PageControl1;
  const char* captions[] = {"Source Tracks", "Interpolated Map", "ISO Contour", "HT Contour",
                            "ShoreLine", "Debug", "About"};
  ASSERT_EQ(tabs->count(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(tabs->tabText(i), captions[i]);
    EXPECT_EQ(tabs->isTabVisible(i), i != 4 && i != 5) << captions[i];
  }
  EXPECT_EQ(tabs->currentIndex(), 0);

  // Captions and which commands can be used before anything is loaded.
  const std::tuple<const char*, const char*, bool> buttons[] = {
      {"btnAddFiles", "Add Files...", true},       {"btnTrkZoomIn", "Zoom In", false},
      {"btnTrkZoomOut", "Zoom Out", false},        {"btnTrkFit", "Fit to Screen", false},
      {"btnTrkZoom", "Zoom Area", false},          {"btnTrkSaveGPX", "Save Tracks...", false},
      {"btnTrkDelete", "Remove Wayoints", false},  {"btnTrkSaveHT", "Save as HT-File...", false},
      {"btnStartOver", "Start over", true},        {"btnInterpolSaveBMP", "Save Image...", false},
      {"btnInterpolate", "Interpolate", false},    {"btnApplyInterpolationRadius", "Apply", true},
      {"btnIsoSaveBMP", "Save Image...", false},   {"btnIsoSaveGPX", "Save Tracks...", false},
      {"btnIsoMap", "ISO Map", false},             {"btnCreateHT", "Create HT-File", false},
      {"btnHtFit", "Fit to Screen", false},        {"btnHtZoom", "Zoom Area", false},
      {"cbAddDepth", "Enter depth when loading data /wo depth", true},
      {"cbAddOffset", "Enter depth offset (+/-)", true},
      {"cbReduceWaypoints", "Reduce Waypoints", true}};
  for (const auto& [name, caption, enabled] : buttons) {
    auto* b = Find<QAbstractButton>(*form, name);
    EXPECT_EQ(b->text(), caption) << name;
    EXPECT_EQ(b->isEnabled(), enabled) << name;
    if (auto* box = qobject_cast<QCheckBox*>(b)) {
      EXPECT_FALSE(box->isChecked()) << name;
    }
  }
  EXPECT_TRUE(Find<QWidget>(*form, "btnTrkSaveGPX")->toolTip().startsWith("Save all loaded data"));

  // Digits only and at most 3 or 4 of them; the track name takes any 20.
  const std::tuple<const char*, const char*, int> edits[] = {
      {"edtInterpolationWidth", "30", 3}, {"edtIsoStep", "100", 4}, {"edtTrackName", "NewTrack", 20}};
  for (const auto& [name, text, length] : edits) {
    auto* edit = Find<QLineEdit>(*form, name);
    EXPECT_EQ(edit->text(), text);
    EXPECT_EQ(edit->maxLength(), length);
    edit->setFocus();
    edit->end(false);
    Key(edit, Qt::Key_X, Qt::NoModifier, "x");
    Key(edit, Qt::Key_7, Qt::NoModifier, "7");
    const QString expected = std::string(name) == "edtTrackName" ? QString(text) + "x7" : QString(text) + "7";
    EXPECT_EQ(edit->text(), expected.left(length)) << name;
  }

  // The information labels are empty, the legend asks for a click; the
  // sliders' labels show their positions; the log names the processors.
  for (const char* label : {"lblMaxDepth", "lblMaxDepth1", "lblMapSize", "lblMapSize1", "lblImageSize",
                            "lblImageSize1", "lblResolution", "lblResolution1", "lblTrkCoordinates",
                            "lblInterpolCoordinates", "lblHTState", "lblNumIsoTracks"})
    EXPECT_EQ(Text(*form, label), "") << label;
  EXPECT_EQ(Text(*form, "lblMaxDepth2"), "click to set color");
  EXPECT_EQ(form->tbInterpolateThrds->maximum(), 2);
  EXPECT_EQ(form->tbInterpolateThrds->value(), 2);
  EXPECT_EQ(Text(*form, "lblInterpolateThrds"), "CPUs for calculation: 2");
  EXPECT_EQ(Text(*form, "lblInterpolateStyle"), "Interpolator Style: 8");
  form->tbInterpolatorStyle->setValue(14);
  EXPECT_EQ(Text(*form, "lblInterpolateStyle"), "Interpolator Style: 14");
  EXPECT_EQ(form->memDebug->toPlainText(), "2 CPUs found");
  SendMouse(form->memDebug->viewport(), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(form->memDebug->toPlainText(), "") << "a double click empties the log";

  // Only F11 reveals the hidden tabs, with any modifier, wherever the focus is.
  auto* edit = Find<QLineEdit>(*form, "edtIsoStep");
  for (int key : {Qt::Key_F10, Qt::Key_F12, Qt::Key_A}) Key(edit, key, Qt::ShiftModifier);
  EXPECT_FALSE(tabs->isTabVisible(4));
  EXPECT_FALSE(tabs->isTabVisible(5));
  Key(edit, Qt::Key_F11, Qt::ShiftModifier);
  EXPECT_TRUE(tabs->isTabVisible(4) && tabs->isTabVisible(5) && tabs->isTabVisible(6));

  // A swatch click asks for a colour; cancelling changes nothing.
  auto* swatch = Find<QLabel>(*form, "imgShallowColor");
  host.ColorReplies = {std::nullopt, TColor{0x00FF00}};
  SendMouse(swatch, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(form->Session().Project().clShallowWater(), 255u);
  SendMouse(swatch, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(host.ColorRequests, 2);
  EXPECT_EQ(form->Session().Project().clShallowWater(), 0x00FF00u);
  EXPECT_EQ(swatch->pixmap().toImage().pixel(10, 7) & 0xFFFFFF, 0x00FF00u);
  for (const char* strip : {"imgColorRange1", "imgColorRange2", "imgColorRange3"}) {
    const QImage image = Find<QLabel>(*form, strip)->pixmap().toImage();
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0x00FF00u) << strip << ": the legend starts at the new shallow colour";
    EXPECT_EQ(TCanvas::FromRGB32(image.pixel(image.width() - 1, 13)),
              BlendColors(0x00FF00, 16711680, (image.width() - 1.0) / image.width()))
        << strip;
  }
  EXPECT_TRUE(host.Errors.empty());
  ExpectUsable();
}

TEST_F(WindowTest, WholeSessionOnTheExampleLake) {
  AddFiles({kSurvey, kShoreKml});
  const TSession& s = form->Session();
  ASSERT_TRUE(s.Project().FileLoaded());
  ExpectUsable();
  const int W = form->GPXImage->width(), H = form->GPXImage->height();
  EXPECT_EQ(Text(*form, "lblMaxDepth"), "Max Depth: 1948 cm");
  EXPECT_EQ(Text(*form, "lblMaxDepth1"), "Max Depth: 1948 cm");
  EXPECT_EQ(Text(*form, "lblMaxDepth2"), "1948 cm");
  EXPECT_EQ(Text(*form, "lblImageSize"), QString("Screen Size: %1 x %2 px").arg(W).arg(H));
  EXPECT_EQ(Text(*form, "lblMapSize"), QString::fromStdString(s.Project().MapInfo().AreaText));
  EXPECT_EQ(Text(*form, "lblResolution1"), QString("Resolution: %1 x %2 cm")
                                               .arg(s.Project().MapInfo().AreaWidth * 100 / W)
                                               .arg(s.Project().MapInfo().AreaHeight * 100 / H));
  for (const char* name : {"btnTrkZoomIn", "btnTrkZoomOut", "btnTrkFit", "btnTrkZoom", "btnTrkSaveGPX",
                           "btnTrkDelete", "btnTrkSaveHT", "btnInterpolate"})
    EXPECT_TRUE(Find(*form, name)->isEnabled()) << name;
  for (const char* name : {"btnInterpolSaveBMP", "btnIsoMap", "btnCreateHT"})
    EXPECT_FALSE(Find(*form, name)->isEnabled()) << name;
  EXPECT_EQ(form->GPXImage->cursor().shape(), Qt::SizeAllCursor);
  ExpectPaneShows(form->GPXImage, s.Project().GPXImage());
  EXPECT_TRUE(form->memDebug->toPlainText().contains("LoadGPXFile: Trying to open " + QString::fromStdString(kSurvey)));

  // The Interpolated Map tab previews the coverage before a run.
  form->PageControl1->setCurrentWidget(form->TabSheet2);
  QCoreApplication::processEvents();
  EXPECT_EQ(s.Project().InterpolatedImage().Width(), W);

  // "Interpolate" holds the window still until the picture is there, while
  // the event loop keeps running.
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(s.InterpolationRunning());
  EXPECT_FALSE(form->Operable());
  EXPECT_FALSE(Find(*form, "btnAddFiles")->isEnabled());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_TRUE(form->pbInterpolate->isVisible());
  EXPECT_EQ(form->pbInterpolate->maximum(), W - 1);
  EXPECT_TRUE(Find(*form, "imgColorRange2")->isVisible());
  EXPECT_EQ(form->minimumSize(), form->size());
  EXPECT_EQ(form->maximumSize(), form->size());
  ASSERT_TRUE(WaitForInterpolation(*form));
  EXPECT_TRUE(s.Project().InterpLoaded());
  ExpectUsable();
  EXPECT_FALSE(form->pbInterpolate->isVisible());
  EXPECT_EQ(form->pbInterpolate->value(), W - 1);
  EXPECT_TRUE(Find(*form, "btnIsoMap")->isEnabled() && Find(*form, "btnInterpolSaveBMP")->isEnabled());
  EXPECT_EQ(form->maximumSize(), form->size()) << "the size stays frozen until \"Start over\"";
  QCoreApplication::processEvents();
  ExpectPaneShows(form->InterpolatedImage, s.Project().InterpolatedImage());

  // The mouse over the picture: the Source Tracks coordinates of that
  // pixel, and the interpolated depth beside them, or nothing off the water.
  auto& mask = s.Project().DepthMap().ShadowArray;
  QPoint wet(-1, -1);
  for (int x = W / 3; x < W && wet.x() < 0; ++x)
    if (mask[x][H / 2]) wet = QPoint(x, H / 2);
  ASSERT_GE(wet.x(), 0);
  Hover(form->InterpolatedImage, wet);
  Hover(form->GPXImage, wet);
  EXPECT_EQ(Text(*form, "lblInterpolCoordinates"), Text(*form, "lblTrkCoordinates"));
  const QString depth = Text(*form, "lblInterpolDepth");
  ASSERT_TRUE(depth.endsWith(" m")) << depth.toStdString();
  EXPECT_NEAR(depth.chopped(2).toDouble() * 100, s.Project().DepthMap().DepthAt(wet.x(), wet.y()), 5.0);
  auto* coordinates = Find<QLabel>(*form, "lblInterpolCoordinates");
  EXPECT_EQ(coordinates->geometry().right(), form->InterpolatedImage->width() - 1) << "kept at the right edge";
  Hover(form->InterpolatedImage, {0, 0});
  EXPECT_EQ(Text(*form, "lblInterpolDepth"), "") << "the border is never interpolated";

  // "ISO Map" traces the picture; the HT Contour map shows the lines.
  Click(*form, "btnIsoMap");
  ExpectUsable();
  ASSERT_TRUE(s.Project().IsoLoaded());
  EXPECT_EQ(Text(*form, "lblNumIsoTracks"), QString("# Tracks: %1").arg(s.Project().IsoData().trk.Count()));
  EXPECT_TRUE(Text(*form, "lblGeneratedPoints").startsWith("# Points: "));
  EXPECT_FALSE(form->pbIsoMap->isVisible());
  EXPECT_EQ(form->pbIsoMap->maximum(), 1900) << "levels every 100 cm up to 1948 cm";
  for (const char* name : {"btnIsoSaveBMP", "btnIsoSaveGPX", "btnCreateHT", "btnHtFit", "btnHtZoom"})
    EXPECT_TRUE(Find(*form, name)->isEnabled()) << name;
  form->PageControl1->setCurrentWidget(form->TabSheet4);
  QCoreApplication::processEvents();
  EXPECT_EQ(s.Project().IsoImage().Width(), form->IsoImage->width());
  ExpectPaneShows(form->IsoImage, s.Project().IsoImage());

  // "Create HT-File" writes full-size HT files, 000.ht on.
  form->edtTrackName->setText("Lake");
  for (int i = 0; i < 20; ++i) host.SaveReplies.push_back(Path(QString::asprintf("%03d.ht", i).toStdString()));
  Click(*form, "btnCreateHT");
  EXPECT_EQ(Text(*form, "lblHTState"), "done");
  const std::size_t parts = 20 - host.SaveReplies.size();
  ASSERT_GE(parts, 1u);
  for (std::size_t i = 0; i < parts; ++i) {
    EXPECT_EQ(host.SaveRequests[i].ProposedName, QString::asprintf("%03d.ht", int(i)).toStdString());
    EXPECT_EQ(fs::file_size(Path(host.SaveRequests[i].ProposedName)), 131080u);
  }
  ASSERT_EQ(host.Informations.size(), 1u);
  EXPECT_NE(host.Informations[0].find("matrix"), std::string::npos);
  ExpectUsable();

  // sondralis-cli map makes the same pictures and HT files of the same
  // files with the same settings.
  const std::string out = Path("cli");
  const std::string cmd = std::string(SONDRALIS_CLI) + " map '" + kSurvey + "' '" + kShoreKml + "' -d '" + out +
                          "' --size " + std::to_string(W) + "x" + std::to_string(H) + " --name Lake >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  auto picture = [](const std::string& path) {
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
  };
  EXPECT_TRUE(picture(out + "/depth.bmp") == s.Project().InterpolatedImage().Image().convertToFormat(QImage::Format_RGB32))
      << "the window's depth picture differs from sondralis-cli map's";
  EXPECT_TRUE(picture(out + "/contours.bmp") == s.Project().IsoMap().Image().convertToFormat(QImage::Format_RGB32))
      << "the window's contour picture differs from sondralis-cli map's";
  for (std::size_t i = 0; i < parts; ++i) {
    const std::string name = host.SaveRequests[i].ProposedName;
    EXPECT_TRUE(ReadFile(Path(name)) == ReadFile(out + "/" + name)) << name;
  }
  EXPECT_FALSE(fs::exists(out + "/" + QString::asprintf("%03d.ht", int(parts)).toStdString()));

  // "Save Tracks..." and loading that file again give the same depths; the
  // shoreline's points, at depth 0 in a file with readings, are left out.
  std::vector<double> depths = TrackDepths(s.Project().GPXdata());
  std::erase(depths, 0.0);
  host.SaveReplies = {Path("lake.gpx")};
  Click(*form, "btnTrkSaveGPX");
  EXPECT_EQ(host.SaveRequests.back().Title, "Save open tracks to GPX");

  // "Start over" empties the maps and their labels and releases the size.
  Click(*form, "btnStartOver");
  ExpectUsable();
  for (const char* label : {"lblMaxDepth", "lblMaxDepth1", "lblMaxDepth2", "lblMaxDepth3", "lblMaxDepth4",
                            "lblMapSize", "lblMapSize1", "lblImageSize", "lblImageSize1", "lblResolution",
                            "lblResolution1", "lblTrkCoordinates", "lblInterpolDepth"})
    EXPECT_EQ(Text(*form, label), "") << label;
  for (const char* name : {"btnInterpolate", "btnInterpolSaveBMP", "btnIsoMap", "btnIsoSaveBMP", "btnIsoSaveGPX",
                           "btnCreateHT", "btnHtFit", "btnHtZoom"})
    EXPECT_FALSE(Find(*form, name)->isEnabled()) << name;
  EXPECT_TRUE(Find(*form, "btnTrkFit")->isEnabled()) << "the Source Tracks buttons stay";
  EXPECT_FALSE(form->pbInterpolate->isVisible());
  EXPECT_EQ(s.Project().InterpolatedImage().Width(), 0);
  EXPECT_EQ(form->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
  form->resize(800, 500);
  QCoreApplication::processEvents();
  EXPECT_EQ(form->PageControl1->size(), QSize(850, 600)) << "down to 850 x 600 and no further";

  AddFiles({Path("lake.gpx")});
  EXPECT_EQ(TrackDepths(s.Project().GPXdata()), depths);
  // The run thinned the tracks, maybe the deepest point with them.
  EXPECT_EQ(Text(*form, "lblMaxDepth"),
            QString("Max Depth: %1 cm").arg(static_cast<int>(*std::max_element(depths.begin(), depths.end()))));
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

TEST_F(WindowTest, MouseOnTheSourceTracksMap) {
  AddFiles({kSurvey});
  const TSession& s = form->Session();
  QWidget* map = form->GPXImage;

  // A drag pans by the dragged distance.
  const auto anchor = PositionAt(100, 100);
  Drag(map, {100, 100}, {150, 80});
  const auto moved = PositionAt(150, 80);
  EXPECT_NEAR(moved.first, anchor.first, 1e-9);
  EXPECT_NEAR(moved.second, anchor.second, 1e-9);
  Hover(map, {150, 80});
  EXPECT_EQ(Text(*form, "lblTrkCoordinates").toStdString(), [&] {
    TPoint4D2 p;
    p.Longitude = moved.first;
    p.Latitude = moved.second;
    return p.Coord();
  }()) << "the read-out follows the mouse";
  auto* readOut = Find<QLabel>(*form, "lblTrkCoordinates");
  EXPECT_EQ(readOut->geometry().right(), map->width() - 1);

  // The wheel zooms about the pixel under the mouse, both ways.
  for (int round = 0; round < 2; ++round) {
    const QPoint at = round == 0 ? QPoint(200, 150) : QPoint(map->width() - 60, 40);
    const auto before = PositionAt(at.x(), at.y());
    const int width = s.Project().MapInfo().AreaWidth;
    Wheel(map, at, 120);
    EXPECT_NEAR(s.Project().MapInfo().AreaWidth, width * 0.85, width * 0.01);
    EXPECT_EQ(Text(*form, "lblMapSize"), QString::fromStdString(s.Project().MapInfo().AreaText));
    Wheel(map, at, -120);
    EXPECT_NEAR(s.Project().MapInfo().AreaWidth, width, 1);
    const auto after = PositionAt(at.x(), at.y());
    EXPECT_NEAR(after.first, before.first, 1e-9);
    EXPECT_NEAR(after.second, before.second, 1e-9);
  }

  // "Zoom Area" released with Alt zooms and stays armed; without Alt it
  // zooms and returns to panning.
  Click(*form, "btnTrkZoom");
  EXPECT_EQ(map->cursor().shape(), Qt::CrossCursor);
  const int fullWidth = s.Project().MapInfo().AreaWidth;
  Drag(map, {100, 100}, {500, 400}, Qt::AltModifier);
  EXPECT_LT(s.Project().MapInfo().AreaWidth, fullWidth * 0.8);
  EXPECT_EQ(map->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(s.Project().GPXView().MouseMode, mmZoom);
  const int zoomedWidth = s.Project().MapInfo().AreaWidth;
  Drag(map, {100, 100}, {500, 400});
  EXPECT_LT(s.Project().MapInfo().AreaWidth, zoomedWidth);
  EXPECT_EQ(map->cursor().shape(), Qt::SizeAllCursor);
  EXPECT_EQ(s.Project().GPXView().MouseMode, mmMove);
  Click(*form, "btnTrkFit");

  // Resizing shows more to the east and north at the same scale.
  const double scale = s.Project().GPXView().BBox.Rm;
  const auto southWest = PositionAt(0, map->height());
  form->resize(form->width() + 60, form->height() + 40);
  QCoreApplication::processEvents();
  EXPECT_EQ(s.Project().GPXView().Width(), map->width());
  EXPECT_EQ(s.Project().GPXView().BBox.Rm, scale);
  const auto southWestAfter = PositionAt(0, map->height());
  EXPECT_NEAR(southWestAfter.first, southWest.first, 1e-9);
  EXPECT_NEAR(southWestAfter.second, southWest.second, 1e-9);
  EXPECT_EQ(Text(*form, "lblImageSize"), QString("Screen Size: %1 x %2 px").arg(map->width()).arg(map->height()));

  // "Remove Wayoints" removes the points strictly inside the dragged
  // rectangle, and the coverage band goes with them.
  const QRect cut(QPoint(map->width() / 3, map->height() / 3), QPoint(map->width() / 2, map->height() / 2));
  const auto [west, north] = PositionAt(cut.left(), cut.top());
  const auto [east, south] = PositionAt(cut.right(), cut.bottom());
  auto inside = [&](const std::tuple<double, double, double>& p) {
    const auto& [depth, lat, lon] = p;
    return lat > south && lat < north && lon > west && lon < east;
  };
  const auto points = TrackPoints(s.Project().GPXdata());
  const auto removed = std::count_if(points.begin(), points.end(), inside);
  ASSERT_GT(removed, 20);
  // The coverage mask, pixel by pixel.
  auto mask = [&] {
    std::vector<bool> pixels;
    const TBooleanArray& a = s.Project().DepthMap().ShadowArray;
    for (int x = 0; x < a.Width(); ++x)
      for (bool b : a[x]) pixels.push_back(b);
    return pixels;
  };
  // Showing the Interpolated Map tab rebuilds the mask for the view as it is.
  auto rebuiltMask = [&] {
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    return mask();
  };
  const std::vector<bool> maskBefore = rebuiltMask();
  Click(*form, "btnTrkDelete");
  EXPECT_EQ(map->cursor().shape(), Qt::CrossCursor);
  Drag(map, cut.topLeft(), cut.bottomRight());
  const auto left = TrackPoints(s.Project().GPXdata());
  EXPECT_EQ(left.size(), points.size() - static_cast<std::size_t>(removed));
  EXPECT_EQ(std::count_if(left.begin(), left.end(), inside), 0);
  const std::vector<bool> maskAfter = mask();
  EXPECT_NE(maskAfter, maskBefore);
  EXPECT_EQ(maskAfter, rebuiltMask()) << "the mask was rebuilt without the removed points";
  EXPECT_EQ(map->cursor().shape(), Qt::SizeAllCursor);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  ExpectUsable();
}

TEST_F(WindowTest, ClosingDuringARun) {
  // The workers may still wake the window while it goes; nothing of it
  // may be touched afterwards (run under the sanitizers, too).
  AddFiles({kSurvey, kShoreKml});
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(form->Session().InterpolationRunning());
  form->close();
  form.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, DroppedFilesAndRefusalsLeaveTheWindowUsable) {
  // Dropped files load as "Add Files..." loads them, whatever the case of
  // their extension; what cannot load is named in an error dialog.
  fs::copy_file(kShoreKml, Path("shore.KML"));
  ASSERT_TRUE(Drop(form.get(), {Path("missing.gpx"), Path("shore.KML")}));
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find(Path("missing.gpx")), std::string::npos) << host.Errors[0];
  EXPECT_TRUE(form->Session().Project().FileLoaded());
  EXPECT_GT(form->Session().Project().GPXdata().trk.Count(), 0);
  EXPECT_FALSE(Find(*form, "btnInterpolate")->isEnabled()) << "an outline alone gives nothing to interpolate";
  ExpectUsable();

  Write("notes.txt", "not a track");
  ASSERT_TRUE(Drop(form.get(), {Path("notes.txt")}));
  EXPECT_EQ(host.Errors.back(), "can't parse " + Path("notes.txt"));

  // A radius that is no number refuses "Apply" and the load with a message.
  form->edtInterpolationWidth->setText("");
  host.Errors.clear();
  Click(*form, "btnApplyInterpolationRadius");
  host.OpenReplies.push_back(std::vector<std::string>{kSurvey});
  Click(*form, "btnAddFiles");
  ASSERT_EQ(host.Errors.size(), 2u);
  EXPECT_NE(host.Errors[1].find("extrapolation radius"), std::string::npos) << host.Errors[1];
  EXPECT_EQ(form->Session().Project().MaxDepth(), 0) << "nothing of the survey was loaded";
  ExpectUsable();

  // A depth answer that is no number ends the load without a trace of it.
  form->edtInterpolationWidth->setText("30");
  form->cbAddDepth->setChecked(true);
  host.TextReplies = {std::string("deep")};
  const int tracks = form->Session().Project().GPXdata().trk.Count();
  AddFiles({kShoreKml});
  EXPECT_EQ(form->Session().Project().GPXdata().trk.Count(), tracks);
  EXPECT_EQ(host.Errors.size(), 3u);
  ExpectUsable();
  // Cancelling the file dialog does nothing.
  host.OpenReplies.push_back(std::nullopt);
  Click(*form, "btnAddFiles");
  EXPECT_EQ(host.Errors.size(), 3u);
}

}  // namespace
}  // namespace sondralis::testing
