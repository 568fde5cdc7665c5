// Around the tabs: the menus reach the same commands as the buttons, the
// status bar shows and cancels runs, settings survive a restart through a
// settings file, the start text leads to the example, and the maps drawn
// for a screen with finer pixels.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <regex>

#include "app/CorrectionsDialog.h"
#include "app/DevicePicture.h"
#include "app/ExportDialog.h"
#include "app/TrackBar.h"
#include "app/WindowSettings.h"
#include "support/WindowDriver.h"

namespace sondralis::testing {
namespace {

bool Enabled(const TForm1& form, const char* name) { return Find(form, name)->isEnabled(); }

// Every menu item that stands for a button is enabled exactly when it is.
void ExpectMenusFollowButtons(const TForm1& form) {
  const TMenuActions& a = form.Actions;
  const std::pair<QAction*, const char*> followers[] = {
      {a.AddFiles, "btnAddFiles"},          {a.OpenProject, "btnAddFiles"},
      {a.Corrections, "CorrectionsButton"},
      {a.SaveProject, "btnAddFiles"},       {a.SaveTracks, "btnTrkSaveGPX"},
      {a.SaveAsHT, "btnTrkSaveHT"},         {a.ExportDepthImage, "btnInterpolSaveBMP"},
      {a.ExportContourImage, "btnIsoSaveBMP"}, {a.ExportContourTracks, "btnIsoSaveGPX"},
      {a.ExportChart, "SaveChartButton"},
      {a.ExportHT, "btnCreateHT"},          {a.StartOver, "btnStartOver"},
      {a.Interpolate, "btnInterpolate"},    {a.IsoMap, "btnIsoMap"},
      {a.CheckAccuracy, "CheckAccuracyButton"}, {a.ExportMap, "ExportMapButton"},
      {a.CreateHT, "btnCreateHT"},          {a.ResetSettings, "btnStartOver"},
  };
  for (const auto& [action, button] : followers)
    EXPECT_EQ(action->isEnabled(), Enabled(form, button)) << action->text().toStdString() << " / " << button;
  const bool ht = form.PageControl1->currentWidget() == form.TabSheet4;
  EXPECT_EQ(a.Fit->isEnabled(), Enabled(form, ht ? "btnHtFit" : "btnTrkFit"));
  EXPECT_EQ(a.ZoomArea->isEnabled(), Enabled(form, ht ? "btnHtZoom" : "btnTrkZoom"));
  EXPECT_EQ(a.Cancel->isEnabled(), form.Session().Cancellable());
}

TEST_F(WindowTest, MenusReachTheCommandsOfTheButtons) {
  const TMenuActions& a = form->Actions;
  // The shortcuts desktop programs have.
  const std::pair<QAction*, QKeySequence> keys[] = {
      {a.AddFiles, QKeySequence(Qt::CTRL | Qt::Key_O)},   {a.SaveTracks, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {a.ExportHT, QKeySequence(Qt::CTRL | Qt::Key_E)},   {a.Interpolate, QKeySequence(Qt::Key_F5)},
      {a.Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)},       {a.Fit, QKeySequence(Qt::CTRL | Qt::Key_0)},
      {a.ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Plus)},  {a.ZoomOut, QKeySequence(Qt::CTRL | Qt::Key_Minus)},
      {a.Cancel, QKeySequence(Qt::Key_Escape)}};
  for (const auto& [action, key] : keys)
    EXPECT_TRUE(action->shortcuts().contains(key)) << action->text().toStdString();
  ExpectMenusFollowButtons(*form);

  // File > Add Files... asks as the button does and loads.
  host.OpenReplies.push_back(std::vector<std::string>{kSurvey, kShoreKml});
  a.AddFiles->trigger();
  ASSERT_EQ(host.OpenFilters, std::vector<std::string>{TSession::kAddFilesFilter});
  ASSERT_TRUE(form->Session().Project().FileLoaded());
  ExpectMenusFollowButtons(*form);

  // View > Zoom In is "Zoom In" on the Source Tracks map, and on the HT
  // Contour map it zooms that map.
  const TBBox before = form->Session().Project().GPXView().BBox;
  a.ZoomIn->trigger();
  const TBBox zoomed = form->Session().Project().GPXView().BBox;
  Click(*form, "btnTrkFit");
  Click(*form, "btnTrkZoomIn");
  EXPECT_EQ(form->Session().Project().GPXView().BBox.Rm, zoomed.Rm);
  a.Fit->trigger();
  EXPECT_EQ(form->Session().Project().GPXView().BBox.Rm, before.Rm);

  // Map > Interpolate runs with the window held as the button's run does.
  a.Interpolate->trigger();
  ASSERT_TRUE(form->Session().InterpolationRunning());
  ExpectMenusFollowButtons(*form);
  EXPECT_FALSE(a.AddFiles->isEnabled() || a.Interpolate->isEnabled() || a.StartOver->isEnabled());
  ASSERT_TRUE(WaitForInterpolation(*form));
  ExpectMenusFollowButtons(*form);

  // Map > ISO Map, then File > Export > HT Files for the Unit... is "Create
  // HT-File" with its dialogs.
  a.IsoMap->trigger();
  ASSERT_TRUE(form->Session().Project().ContoursTraced());
  form->PageControl1->setCurrentWidget(form->TabSheet4);
  ExpectMenusFollowButtons(*form);
  const double htScale = form->Session().Project().IsoView().BBox.Rm;
  a.ZoomIn->trigger();
  EXPECT_GT(form->Session().Project().IsoView().BBox.Rm, htScale);
  a.Fit->trigger();
  EXPECT_EQ(form->Session().Project().IsoView().BBox.Rm, htScale);
  host.SaveReplies = {std::nullopt};
  a.ExportHT->trigger();
  ASSERT_EQ(host.SaveRequests.size(), 1u);
  EXPECT_EQ(host.SaveRequests[0].Kind, SaveKind::HTContourPart);
  // The saves ask with the dialogs of their buttons.
  const std::pair<QAction*, std::string> saves[] = {{a.SaveTracks, "Save open tracks to GPX"},
                                                    {a.ExportDepthImage, "Save image"},
                                                    {a.ExportContourImage, "Save image"},
                                                    {a.ExportContourTracks, "Save iso tracks to GPX"}};
  for (const auto& [action, title] : saves) {
    host.SaveReplies = {std::nullopt};
    action->trigger();
    EXPECT_EQ(host.SaveRequests.back().Title, title) << action->text().toStdString();
  }
  EXPECT_EQ(host.SaveRequests.size(), 5u);

  // Help: the steps in the window's own words; About shows its tab.
  a.HowTo->trigger();
  auto* page = form->findChild<QDialog*>(QStringLiteral("HowToPage"));
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(page->isVisible());
  a.About->trigger();
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet7);
  // View > Show advanced tabs shows and hides ShoreLine and Debug.
  a.AdvancedTabs->trigger();
  EXPECT_TRUE(form->PageControl1->isTabVisible(4) && form->PageControl1->isTabVisible(5));
  a.AdvancedTabs->trigger();
  EXPECT_FALSE(form->PageControl1->isTabVisible(4) || form->PageControl1->isTabVisible(5));

  // File > Start over is "Start over".
  a.StartOver->trigger();
  EXPECT_FALSE(form->Session().Project().FileLoaded());
  ExpectMenusFollowButtons(*form);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

// Files added are read while the window stays drawn: the status bar shows
// "Reading files" with a Cancel that loads nothing of the selection and
// leaves the files loaded before as they were.
TEST_F(WindowTest, ReadingFilesShowsInTheStatusBarAndCancels) {
  AddFiles({kShoreKml});
  ASSERT_EQ(form->Session().Project().Inputs().size(), 1u);
  const QImage before = form->Session().Project().GPXImage().Image();
  bool looked = false;
  QTimer::singleShot(0, [&] {
    looked = true;
    EXPECT_EQ(form->RunLabel->text(), "Reading files");
    EXPECT_TRUE(form->CancelButton->isVisible() && form->CancelButton->isEnabled());
    EXPECT_FALSE(Enabled(*form, "btnAddFiles") || Enabled(*form, "btnStartOver"));
    form->CancelButton->click();
  });
  AddFiles({kSurvey});
  EXPECT_TRUE(looked);
  EXPECT_EQ(form->Session().Project().Inputs().size(), 1u) << "nothing of the selection";
  EXPECT_TRUE(form->Session().Project().GPXImage().Image() == before);
  EXPECT_FALSE(form->CancelButton->isVisible());
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  ExpectUsable();
  AddFiles({kSurvey});
  EXPECT_EQ(form->Session().Project().Inputs().size(), 2u);
  EXPECT_TRUE(Enabled(*form, "btnInterpolate"));
}

// During "ISO Map" what it would ignore is disabled (and looks it); the
// status bar shows the run with a Cancel that leaves the previous contours,
// and a cancelled interpolation leaves the previous picture.
TEST_F(WindowTest, StatusBarShowsRunsAndCancelsThem) {
  AddFiles({kSurvey, kShoreKml});
  EXPECT_FALSE(form->CancelButton->isVisible());
  Hover(form->GPXImage, {300, 300});
  const std::regex dm("\\d+° \\d\\d\\.\\d{3}' [NS], \\d+° \\d\\d\\.\\d{3}' [EW]");
  EXPECT_TRUE(std::regex_match(form->PositionReadout->text().toStdString(), dm))
      << form->PositionReadout->text().toStdString();
  EXPECT_EQ(form->DepthReadout->text(), "") << "no depth map yet";

  Click(*form, "btnInterpolate");
  EXPECT_TRUE(form->CancelButton->isVisible() && form->CancelButton->isEnabled());
  EXPECT_EQ(form->RunLabel->text(), "Interpolating");
  ASSERT_TRUE(WaitForInterpolation(*form));
  EXPECT_FALSE(form->CancelButton->isVisible());
  EXPECT_TRUE(form->LastRunLabel->text().startsWith("Last run: Shepard, tolerance 0.001 cm: "))
      << form->LastRunLabel->text().toStdString();
  Hover(form->GPXImage, {300, 300});
  EXPECT_TRUE(std::regex_match(form->DepthReadout->text().toStdString(), std::regex("Depth \\d+\\.\\d m")))
      << form->DepthReadout->text().toStdString();

  // A second run, cancelled from the status bar: the first picture stays.
  const QImage picture = form->Session().Project().InterpolatedImage().Image();
  form->tbInterpolatorStyle->setValue(3);
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(form->Session().InterpolationRunning());
  form->CancelButton->click();
  ASSERT_TRUE(WaitForInterpolation(*form));
  EXPECT_TRUE(form->Session().Project().InterpolatedImage().Image() == picture);
  EXPECT_FALSE(form->CancelButton->isVisible());
  ExpectUsable();

  // "ISO Map": looked at while it runs (its first level lets events run).
  Click(*form, "btnIsoMap");
  const auto contours = TrackPoints(form->Session().Project().IsoData());
  ASSERT_FALSE(contours.empty());
  bool looked = false;
  QTimer::singleShot(0, [&] {
    looked = true;
    for (const char* name : {"btnAddFiles", "btnStartOver", "btnTrkSaveGPX", "btnTrkSaveHT", "btnInterpolate",
                             "btnInterpolSaveBMP", "btnIsoMap", "btnIsoSaveBMP", "btnIsoSaveGPX", "btnCreateHT",
                             "imgShallowColor", "imgDeepColor"})
      EXPECT_FALSE(Enabled(*form, name)) << name;
    EXPECT_TRUE(Enabled(*form, "btnTrkFit")) << "looking around stays possible";
    EXPECT_FALSE(form->Actions.AddFiles->isEnabled());
    EXPECT_FALSE(Drop(form.get(), {kShoreGpx})) << "a drop is refused, not ignored";
    EXPECT_TRUE(form->CancelButton->isVisible());
    EXPECT_EQ(form->RunLabel->text(), "Tracing contours");
    ExpectMenusFollowButtons(*form);
    form->CancelButton->click();
  });
  form->edtIsoStep->setText("25");
  Click(*form, "btnIsoMap");
  EXPECT_TRUE(looked);
  EXPECT_EQ(TrackPoints(form->Session().Project().IsoData()), contours) << "cancelled: the contours stay";
  for (const char* name : {"btnAddFiles", "btnStartOver", "btnIsoMap", "btnCreateHT", "imgShallowColor"})
    EXPECT_TRUE(Enabled(*form, name)) << name;
  EXPECT_FALSE(form->CancelButton->isVisible());
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  ExpectUsable();
}

// The method chosen below the style slider is the one the run uses (the
// slider greys for the surface, which has no style), and "Check accuracy"
// from the button or the menu runs the hold-out of both methods as a run the
// status bar shows and can cancel.
TEST_F(WindowTest, MethodAndCheckAccuracyReachTheSession) {
  AddFiles({kSurvey, kShoreKml});
  EXPECT_EQ(form->MethodChoice->currentIndex(), 0);
  EXPECT_TRUE(form->tbInterpolatorStyle->isEnabled());
  EXPECT_FALSE(Enabled(*form, "CheckAccuracyButton")) << "nothing to check before the first map";
  form->MethodChoice->setCurrentIndex(1);
  EXPECT_FALSE(form->tbInterpolatorStyle->isEnabled());
  form->Actions.Interpolate->trigger();
  ASSERT_TRUE(WaitForInterpolation(*form));
  EXPECT_EQ(form->Session().Project().Settings.Interpolation.Method, TInterpolationMethod::Surface);
  EXPECT_TRUE(form->LastRunLabel->text().startsWith("Last run: Surface: ")) << form->LastRunLabel->text().toStdString();
  const QImage surface = form->Session().Project().InterpolatedImage().Image();
  form->MethodChoice->setCurrentIndex(0);
  EXPECT_TRUE(form->tbInterpolatorStyle->isEnabled());
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(WaitForInterpolation(*form));
  EXPECT_TRUE(form->LastRunLabel->text().startsWith("Last run: Shepard, ")) << form->LastRunLabel->text().toStdString();
  EXPECT_FALSE(form->Session().Project().InterpolatedImage().Image() == surface) << "the two methods draw apart";
  ExpectMenusFollowButtons(*form);

  // Map > Check accuracy, looked at while it runs and cancelled: no figures.
  const QImage picture = form->Session().Project().InterpolatedImage().Image();
  bool looked = false;
  QTimer::singleShot(0, [&] {
    looked = true;
    EXPECT_EQ(form->RunLabel->text(), "Checking accuracy");
    EXPECT_TRUE(form->CancelButton->isVisible());
    for (const char* name : {"btnAddFiles", "btnInterpolate", "btnIsoMap", "CheckAccuracyButton"})
      EXPECT_FALSE(Enabled(*form, name)) << name;
    ExpectMenusFollowButtons(*form);
    form->CancelButton->click();
  });
  form->Actions.CheckAccuracy->trigger();
  ASSERT_TRUE(WaitForRun(*form));
  EXPECT_TRUE(looked);
  EXPECT_TRUE(host.Informations.empty()) << host.Informations.front();
  EXPECT_FALSE(form->CancelButton->isVisible());
  ExpectUsable();

  // The button, run to its end: one line per method, and the map as it was.
  Click(*form, "CheckAccuracyButton");
  ASSERT_TRUE(WaitForRun(*form));
  ASSERT_EQ(host.Informations.size(), 1u);
  const std::string& figures = host.Informations.front();
  EXPECT_EQ(figures, form->Session().AccuracyText());
  EXPECT_NE(figures.find("Shepard"), std::string::npos) << figures;
  EXPECT_NE(figures.find("Surface"), std::string::npos) << figures;
  EXPECT_EQ(std::count(figures.begin(), figures.end(), '\n'), 1) << figures;
  EXPECT_TRUE(form->Session().Project().InterpolatedImage().Image() == picture);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  ExpectUsable();
}

// The contour choices below "ISO Map" are the ones the run uses, and "Save
// Chart..." (button or menu) writes the chart picture.
TEST_F(WindowTest, ChartContoursAndSaveChartReachTheSession) {
  AddFiles({kSurvey, kShoreKml});
  EXPECT_FALSE(Enabled(*form, "SaveChartButton"));
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(WaitForInterpolation(*form));
  ExpectMenusFollowButtons(*form);
  form->TracerChoice->setCurrentIndex(2);
  form->RingLimit->setText("20");
  Click(*form, "btnIsoMap");
  const TContourRun& run = form->Session().Project().ContourRun();
  EXPECT_EQ(run.Tracer, TContourTracer::Chart);
  EXPECT_EQ(run.MinRing, 20);
  EXPECT_GT(run.LabelStep, 0) << "labels are on by default";
  form->TracerChoice->setCurrentIndex(1);
  form->RingLimit->clear();
  Click(*form, "btnIsoMap");
  EXPECT_EQ(form->Session().Project().ContourRun().Tracer, TContourTracer::Pixel);
  EXPECT_EQ(form->Session().Project().ContourRun().MinRing, 0);

  host.SaveReplies = {Path("chart.png")};
  form->Actions.ExportChart->trigger();
  ASSERT_FALSE(host.SaveRequests.empty());
  EXPECT_EQ(host.SaveRequests.back().Kind, SaveKind::Chart);
  EXPECT_EQ(ReadFile(Path("chart.png")).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

// The controls added to the tabs come after the Parts' own in the focus
// chain, tab by tab, so Tab walks the Parts' controls as before.
TEST_F(WindowTest, AddedControlsFollowThePartsInTabOrder) {
  const std::set<QString> added = {"CorrectionsButton", "MethodChoice",   "CheckAccuracyButton", "ExportMapButton",
                                   "TracerChoice",      "RingLimit",      "SmoothContours",      "ContourLabels",
                                   "SaveChartButton",   "ChartTracks",    "ExportContoursButton", "StartText"};
  std::vector<QWidget*> chain;
  for (QWidget* w = form->btnAddFiles->nextInFocusChain(); w != form->btnAddFiles; w = w->nextInFocusChain())
    chain.push_back(w);
  chain.insert(chain.begin(), form->btnAddFiles);
  int seen = 0;
  for (QWidget* page : {form->TabSheet1, form->TabSheet2, form->TabSheet3}) {
    int lastPart = -1, firstAdded = INT_MAX, parts = 0;
    for (int i = 0; i < static_cast<int>(chain.size()); ++i) {
      QWidget* w = chain[static_cast<std::size_t>(i)];
      if (!page->isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus)) continue;
      if (added.count(w->objectName())) {
        firstAdded = std::min(firstAdded, i);
        ++seen;
      } else {
        lastPart = i;
        ++parts;
      }
    }
    EXPECT_GT(parts, 2) << page->objectName().toStdString();
    EXPECT_LT(lastPart, firstAdded) << page->objectName().toStdString() << ": " << [&] {
      std::string names;
      for (QWidget* w : chain)
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)) names += w->objectName().toStdString() + " ";
      return names;
    }();
  }
  EXPECT_EQ(seen, static_cast<int>(added.size()));
}

// The start text until something is loaded, with the example lake one
// click away.
TEST_F(WindowTest, StartTextLeadsToTheExample) {
  ASSERT_FALSE(form->ExampleFolder().isEmpty()) << "the example lies beside the program";
  EXPECT_TRUE(form->StartText->isVisible());
  EXPECT_TRUE(form->StartText->text().contains("Add Files... or drop GPX, KML or CSV files here"));
  EXPECT_TRUE(form->StartText->text().contains("Open the example"));
  const QRect text = form->StartText->geometry(), pane = form->GPXImage->rect();
  EXPECT_TRUE(pane.contains(text));
  EXPECT_LE(std::abs(text.center().x() - pane.center().x()), 1);

  emit form->StartText->linkActivated(QStringLiteral("sondralis:example"));
  ASSERT_EQ(form->Session().Project().Inputs().size(), 2u);
  EXPECT_EQ(fs::path(form->Session().Project().Inputs()[0].Path).filename(), "lake_survey.gpx");
  EXPECT_EQ(form->Session().Project().MaxDepth(), 1948);
  EXPECT_FALSE(form->StartText->isVisible());
  Click(*form, "btnStartOver");
  EXPECT_TRUE(form->StartText->isVisible());
  // A shoreline alone is something to look at, too.
  AddFiles({kShoreKml});
  EXPECT_FALSE(form->StartText->isVisible());
}

// ---------------------------------------------------------------- kept between runs

class KeptSettingsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    stored = std::make_unique<QSettings>(QString::fromStdString(Path("sondralis.conf")), QSettings::IniFormat);
  }
  void TearDown() override {
    form.reset();
    stored.reset();
    WindowTest::TearDown();
  }
  std::unique_ptr<TForm1> Restart() {
    if (form) form->close();
    form.reset();
    auto next = std::make_unique<TForm1>(nullptr, &host, 2, stored.get());
    next->PlaceOnScreen();
    next->show();
    QCoreApplication::processEvents();
    return next;
  }
  std::unique_ptr<QSettings> stored;
};

TEST_F(KeptSettingsTest, SettingsRecentFilesAndProjectsSurviveARestart) {
  form.reset();
  form = Restart();
  form->edtInterpolationWidth->setText("45");
  form->tbInterpolatorStyle->setValue(12);
  form->MethodChoice->setCurrentIndex(1);
  form->TracerChoice->setCurrentIndex(2);
  form->SmoothContours->setChecked(true);
  form->edtIsoStep->setText("50");
  form->edtTrackName->setText("Lake Trip");
  form->cbReduceWaypoints->setChecked(true);
  form->cbAddOffset->setChecked(true);
  host.ColorReplies = {TColor{0x00AA00}, TColor{0x400000}};
  SendMouse(form->imgShallowColor, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
  SendMouse(form->imgDeepColor, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
  form->cbAddOffset->setChecked(false);
  AddFiles({kSurvey, kShoreKml});
  AddFiles({kShoreGpx});
  form->resize(1100, 780);
  // "Start over" keeps them.
  Click(*form, "btnStartOver");
  EXPECT_EQ(form->edtIsoStep->text(), "50");
  EXPECT_EQ(form->Session().Project().clShallowWater(), 0x00AA00u);

  form = Restart();
  EXPECT_EQ(form->edtInterpolationWidth->text(), "45");
  EXPECT_EQ(form->tbInterpolatorStyle->value(), 12);
  EXPECT_EQ(Text(*form, "lblInterpolateStyle"), "Interpolator Style: 12");
  EXPECT_EQ(form->MethodChoice->currentIndex(), 1);
  EXPECT_FALSE(form->tbInterpolatorStyle->isEnabled()) << "the surface has no style";
  EXPECT_EQ(form->TracerChoice->currentIndex(), 2);
  EXPECT_TRUE(form->SmoothContours->isChecked());
  EXPECT_EQ(form->edtIsoStep->text(), "50");
  EXPECT_EQ(form->edtTrackName->text(), "Lake Trip");
  EXPECT_TRUE(form->cbReduceWaypoints->isChecked());
  EXPECT_FALSE(form->cbAddOffset->isChecked());
  EXPECT_EQ(form->Session().Project().clShallowWater(), 0x00AA00u);
  EXPECT_EQ(form->Session().Project().clDeepWater(), 0x400000u);
  EXPECT_EQ(form->imgShallowColor->pixmap().toImage().pixel(5, 5) & 0xFFFFFF, 0x00AA00u);
  EXPECT_EQ(form->size(), QSize(1100, 780));
  EXPECT_EQ(form->tbInterpolateThrds->value(), 2) << "the workers belong to the machine";

  // Open Recent: the newest set first; choosing one loads it.
  const std::vector<QStringList> recent = form->RecentSets();
  ASSERT_EQ(recent.size(), 2u);
  EXPECT_EQ(recent[0], QStringList{QString::fromStdString(kShoreGpx)});
  EXPECT_EQ(recent[1], (QStringList{QString::fromStdString(kSurvey), QString::fromStdString(kShoreKml)}));
  EXPECT_EQ(form->RecentMenu->actions().size(), 4) << "two sets, a separator, Clear list";
  form->RecentMenu->actions()[1]->trigger();
  EXPECT_EQ(form->Session().Project().Inputs().size(), 2u);
  EXPECT_EQ(form->RecentSets()[0], recent[1]) << "loaded again, it comes first";

  // A project saved from the menu is a recent entry of its own, and opens
  // with its settings into the fields.
  host.SaveReplies = {Path("lake.sondralis")};
  form->Actions.SaveProject->trigger();
  ASSERT_TRUE(fs::exists(Path("lake.sondralis")));
  EXPECT_EQ(form->RecentSets()[0], QStringList{QString::fromStdString(Path("lake.sondralis"))});
  form->edtIsoStep->setText("300");
  form->MethodChoice->setCurrentIndex(0);
  Click(*form, "btnStartOver");
  host.OpenReplies.push_back(std::vector<std::string>{Path("lake.sondralis")});
  form->Actions.OpenProject->trigger();
  EXPECT_EQ(host.OpenFilters.back(), TSession::kProjectFilter);
  EXPECT_EQ(form->Session().Project().Inputs().size(), 2u);
  EXPECT_EQ(form->edtIsoStep->text(), "50") << "the project's step";
  EXPECT_EQ(form->MethodChoice->currentIndex(), 1) << "the project's method";
  // Dropped on the window, a project opens as one.
  Click(*form, "btnStartOver");
  ASSERT_TRUE(Drop(form.get(), {Path("lake.sondralis")}));
  EXPECT_EQ(form->Session().Project().Inputs().size(), 2u);
  EXPECT_EQ(form->Session().ProjectPath(), Path("lake.sondralis"));

  // Help > Reset settings: the start's fields and colours; the recent files stay.
  form->Actions.ResetSettings->trigger();
  EXPECT_EQ(form->edtInterpolationWidth->text(), "30");
  EXPECT_EQ(form->tbInterpolatorStyle->value(), 8);
  EXPECT_EQ(form->MethodChoice->currentIndex(), 0);
  EXPECT_TRUE(form->tbInterpolatorStyle->isEnabled());
  EXPECT_EQ(form->edtIsoStep->text(), "100");
  EXPECT_EQ(form->edtTrackName->text(), "NewTrack");
  EXPECT_FALSE(form->cbReduceWaypoints->isChecked());
  EXPECT_EQ(form->Session().Project().clShallowWater(), clRed);
  EXPECT_EQ(form->PageControl1->size(), QSize(1004, 677));
  form = Restart();
  EXPECT_EQ(form->edtIsoStep->text(), "100");
  EXPECT_EQ(form->Session().Project().clDeepWater(), clBlue);
  EXPECT_EQ(form->RecentSets().size(), 3u);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

// A damaged or hand-edited settings file never starts the window in a state
// its fields could not reach.
// Answers the next "Export..." dialog: Fill looks at it and sets its
// boxes, then it is accepted (or cancelled).
void AnswerExportDialog(TForm1& form, std::function<void(TExportDialog&)> Fill, bool Accept = true) {
  QTimer::singleShot(0, [&form, Fill, Accept] {
    auto* dialog = form.findChild<TExportDialog*>(QStringLiteral("ExportDialog"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    Fill(*dialog);
    if (Accept) dialog->accept();
    else dialog->reject();
  });
}

// "Export..." offers what the map can give now, writes what was ticked into
// the folder chosen, and offers the same choices again after a restart.
TEST_F(KeptSettingsTest, ExportWritesTheChosenFilesAndKeepsTheChoice) {
  form.reset();
  form = Restart();
  AddFiles({kSurvey, kShoreKml});
  EXPECT_FALSE(Enabled(*form, "ExportMapButton")) << "nothing to export before the first map";
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(WaitForInterpolation(*form));
  EXPECT_TRUE(Enabled(*form, "ExportContoursButton"));

  // Cancelled: no folder is asked for.
  AnswerExportDialog(*form, [](TExportDialog& d) { d.GeoTIFF->setChecked(true); }, false);
  Click(*form, "ExportMapButton");
  EXPECT_EQ(host.FolderRequests, 0);

  // Before "ISO Map" the contour files cannot be made: greyed, and left out
  // even when ticked.
  const std::string out = Path("export");
  host.FolderReplies = {out};
  // While it writes, the window is drawn and shows the run with its Cancel.
  bool looked = false;
  AnswerExportDialog(*form, [&](TExportDialog& d) {
    QTimer::singleShot(0, [&] {
      looked = true;
      EXPECT_EQ(form->RunLabel->text(), "Exporting");
      EXPECT_TRUE(form->CancelButton->isVisible());
      EXPECT_FALSE(Enabled(*form, "ExportMapButton") || Enabled(*form, "btnAddFiles"));
    });
    EXPECT_FALSE(d.GeoPackage->isEnabled());
    EXPECT_TRUE(d.ContoursNote->isVisible());
    EXPECT_FALSE(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled()) << "nothing ticked";
    d.GeoTIFF->setChecked(true);
    d.Report->setChecked(true);
    d.GeoPackage->setChecked(true);
    d.Safety->setChecked(true);
    d.SafetyDepth->setValue(300);
  });
  form->Actions.ExportMap->trigger();
  ASSERT_TRUE(WaitForRun(*form));
  EXPECT_TRUE(looked);
  EXPECT_EQ(host.FolderRequests, 1);
  EXPECT_TRUE(fs::exists(out + "/depth.tif") && fs::exists(out + "/report.csv") && fs::exists(out + "/report.json"));
  EXPECT_FALSE(fs::exists(out + "/contours.gpkg"));
  ASSERT_FALSE(host.Informations.empty());
  EXPECT_EQ(host.Informations.back().rfind("Exported into " + out, 0), 0u) << host.Informations.back();
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();

  // After a restart the dialog offers the same; with contours traced the
  // GeoPackage comes too, and the files of the first export are replaced
  // after a question.
  form = Restart();
  AddFiles({kSurvey, kShoreKml});
  Click(*form, "btnInterpolate");
  ASSERT_TRUE(WaitForInterpolation(*form));
  Click(*form, "btnIsoMap");
  host.FolderReplies = {out};
  host.ReplaceReplies = {true};
  AnswerExportDialog(*form, [](TExportDialog& d) {
    EXPECT_TRUE(d.GeoTIFF->isChecked() && d.Report->isChecked() && d.Safety->isChecked());
    EXPECT_EQ(d.SafetyDepth->value(), 300);
    EXPECT_FALSE(d.PDF->isChecked() || d.MBTiles->isChecked() || d.Relief->isChecked());
    EXPECT_TRUE(d.GeoPackage->isEnabled() && d.GeoPackage->isChecked());
  });
  Click(*form, "ExportContoursButton");
  ASSERT_TRUE(WaitForRun(*form));
  ASSERT_EQ(host.ReplaceQuestions.size(), 1u);
  EXPECT_NE(host.ReplaceQuestions[0].find("depth.tif"), std::string::npos) << host.ReplaceQuestions[0];
  EXPECT_TRUE(fs::exists(out + "/contours.gpkg"));
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

// Answers the next "Corrections..." dialog: Fill works it, then OK (or
// Cancel).
void AnswerCorrectionsDialog(TForm1& form, std::function<void(TCorrectionsDialog&)> Fill, bool Accept = true) {
  QTimer::singleShot(0, [&form, Fill, Accept] {
    auto* dialog = form.findChild<TCorrectionsDialog*>(QStringLiteral("CorrectionsDialog"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    Fill(*dialog);
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    buttons->button(Accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
  });
}

// "Corrections..." sets what loading does to the next files: a transducer
// depth deepens every reading by itself; Cancel changes nothing; the
// estimate of the levels lists the loaded trips; the choices survive a
// restart and "Reset settings" clears them.
TEST_F(KeptSettingsTest, CorrectionsApplyToTheNextFilesAndAreKept) {
  form.reset();
  form = Restart();
  AddFiles({kSurvey, kShoreKml});
  const int plain = form->Session().Project().MaxDepth();
  Click(*form, "btnStartOver");
  EXPECT_FALSE(form->CorrectionsSummary->isVisible());

  AnswerCorrectionsDialog(*form, [](TCorrectionsDialog& d) {
    EXPECT_FALSE(d.EstimateNow->isEnabled()) << "nothing loaded to estimate";
    d.TransducerDepth->setText("30");
    d.ShoreDepth->setText("none");
    d.KeepOutside->setChecked(true);
  });
  form->Actions.Corrections->trigger();
  EXPECT_EQ(form->Session().Settings.TransducerDepth, "30");
  EXPECT_EQ(form->CorrectionsSummary->text(), "transducer 30 cm, shoreline without depth, soundings outside kept");
  AnswerCorrectionsDialog(*form, [](TCorrectionsDialog& d) { d.TransducerDepth->setText("99"); }, false);
  Click(*form, "CorrectionsButton");
  EXPECT_EQ(form->Session().Settings.TransducerDepth, "30") << "cancelled";

  AddFiles({kSurvey, kShoreKml});
  const TProject& project = form->Session().Project();
  EXPECT_EQ(project.MaxDepth(), plain + 30);
  EXPECT_EQ(project.Settings.Corrections.TransducerCm, 30);
  EXPECT_TRUE(project.Settings.Interpolation.KeepOutside);
  int rows = -1;
  AnswerCorrectionsDialog(*form, [&rows](TCorrectionsDialog& d) {
    EXPECT_FALSE(d.ApplyLevels->isEnabled());
    d.EstimateNow->click();
    rows = d.Levels->rowCount();
    EXPECT_TRUE(d.ApplyLevels->isEnabled());
  });
  Click(*form, "CorrectionsButton");
  EXPECT_GE(rows, 1) << "each trip loaded has its row";

  form = Restart();
  EXPECT_EQ(form->Session().Settings.TransducerDepth, "30");
  EXPECT_TRUE(form->Session().Settings.KeepOutside);
  EXPECT_TRUE(form->CorrectionsSummary->isVisible());
  form->Actions.ResetSettings->trigger();
  EXPECT_EQ(form->Session().Settings.TransducerDepth, "0");
  EXPECT_FALSE(form->CorrectionsSummary->isVisible());
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

TEST_F(KeptSettingsTest, ValuesOutOfRangeGiveTheDefaults) {
  stored->setValue("fields/radius", "1234");
  stored->setValue("fields/style", 40);
  stored->setValue("fields/step", "-5");
  stored->setValue("fields/trackName", "A name of more than twenty characters");
  stored->setValue("colours/shallow", "#zz0000");
  stored->setValue("colours/deep", "#00ff0");
  stored->setValue("folders/addFiles", "/tmp");
  form = Restart();
  EXPECT_EQ(form->edtInterpolationWidth->text(), "30");
  EXPECT_EQ(form->tbInterpolatorStyle->value(), 8);
  EXPECT_EQ(form->edtIsoStep->text(), "100");
  EXPECT_EQ(form->edtTrackName->text(), "NewTrack");
  EXPECT_EQ(form->Session().Project().clShallowWater(), clRed);
  EXPECT_EQ(form->Session().Project().clDeepWater(), clBlue);

  // Eight sets at most, newest first, a set loaded again moving up.
  TWindowSettings kept(stored.get());
  for (int i = 0; i < 10; ++i) kept.AddRecentSet({QStringLiteral("/lake/%1.gpx").arg(i)});
  kept.AddRecentSet({QStringLiteral("/lake/5.gpx")});
  const std::vector<QStringList> sets = kept.RecentSets();
  ASSERT_EQ(sets.size(), 8u);
  EXPECT_EQ(sets[0].front(), "/lake/5.gpx");
  EXPECT_EQ(sets[1].front(), "/lake/9.gpx");
  EXPECT_EQ(sets[7].front(), "/lake/2.gpx");
  EXPECT_EQ(kept.Folder("addFiles"), "/tmp");
  kept.Reset();
  EXPECT_EQ(kept.Folder("addFiles"), "");
  EXPECT_EQ(kept.RecentSets(), sets);
}

// ---------------------------------------------------------------- finer screens

// The map drawn at twice the pixels shows what the map shows: every track
// pixel of the map has track pixels in its 2 x 2 block (or beside it), and
// every track pixel of the finer picture lies within a pixel of one of the
// map's.
TEST_F(WindowTest, FinerPicturesShowTheSameMap) {
  AddFiles({kSurvey, kShoreKml});
  const TGPXDraw& view = form->Session().Project().GPXView();
  const QImage& map = form->Session().Project().GPXImage().Image();
  TCanvas fine;
  ASSERT_TRUE(DrawAtRatio(view, 2, fine));
  const QImage& image = fine.Image();
  ASSERT_EQ(image.size(), map.size() * 2);
  auto ink = [](const QImage& i, int x, int y) {
    return x >= 0 && y >= 0 && x < i.width() && y < i.height() && (i.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
  };
  auto near = [&](const QImage& i, int x, int y, int r) {
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx)
        if (ink(i, x + dx, y + dy)) return true;
    return false;
  };
  int inked = 0, lonely = 0;
  for (int y = 0; y < map.height(); ++y)
    for (int x = 0; x < map.width(); ++x)
      if (ink(map, x, y)) {
        ++inked;
        if (!near(image, 2 * x, 2 * y, 2)) ++lonely;
      }
  EXPECT_GT(inked, 10000);
  EXPECT_EQ(lonely, 0);
  int stray = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (ink(image, x, y) && !near(map, x / 2, y / 2, 1)) ++stray;
  EXPECT_EQ(stray, 0);
  // The pipeline's map and its coverage stay at the view's pixels.
  EXPECT_EQ(view.Width(), form->GPXImage->width());
  EXPECT_EQ(form->Session().Project().DepthMap().ShadowArray.Width(), view.Width());
  TCanvas none;
  EXPECT_FALSE(DrawAtRatio(form->Session().Project().IsoView(), 2, none)) << "no contours to draw yet";
}

}  // namespace
}  // namespace sondralis::testing
