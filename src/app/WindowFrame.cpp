// Unit1, around the tabs: the menu bar, the status bar, the text over the
// empty map, the settings kept between runs, the recent files and project
// files, and the maps drawn at the screen's device pixels.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/AboutPage.h"
#include "app/DevicePicture.h"
#include "app/ExampleLake.h"
#include "app/ImagePane.h"
#include "app/TrackBar.h"
#include "app/Unit1.h"
#include "app/WindowSettings.h"

namespace sondralis {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr int kStartWidth = 1004, kStartHeight = 677;

}  // namespace

// ---------------------------------------------------------------- building

void TForm1::CreateMenus() {
  auto item = [this](QMenu* menu, const QString& caption, const QKeySequence& keys, auto handler) {
    auto* action = menu->addAction(caption);
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  // An item that runs a button's handler and is enabled as the button is.
  auto follower = [&](QMenu* menu, const QString& caption, const QKeySequence& keys, QPushButton* button,
                      void (TForm1::*handler)()) {
    QAction* action = item(menu, caption, keys, handler);
    fFollowers.emplace_back(action, button);
    return action;
  };

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  Actions.AddFiles = follower(file, QStringLiteral("Add Files..."), QKeySequence::Open, btnAddFiles,
                              &TForm1::btnAddFilesClick);
  Actions.Corrections = follower(file, QStringLiteral("Corrections..."), {}, CorrectionsButton,
                                 &TForm1::CorrectionsClick);
  Actions.OpenProject = follower(file, QStringLiteral("Open Project..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                                 btnAddFiles, &TForm1::OpenProjectClick);
  RecentMenu = file->addMenu(QStringLiteral("Open Recent"));
  Actions.SaveProject = follower(file, QStringLiteral("Save Project..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
                                 btnAddFiles, &TForm1::SaveProjectClick);
  file->addSeparator();
  Actions.SaveTracks = follower(file, QStringLiteral("Save Tracks..."), QKeySequence::Save, btnTrkSaveGPX,
                                &TForm1::btnTrkSaveGPXClick);
  Actions.SaveAsHT = follower(file, QStringLiteral("Save as HT-File..."), {}, btnTrkSaveHT, &TForm1::btnTrkSaveHTClick);
  QMenu* exports = file->addMenu(QStringLiteral("Export"));
  Actions.ExportDepthImage = follower(exports, QStringLiteral("Depth Map Image..."), {}, btnInterpolSaveBMP,
                                      &TForm1::btnInterpolSaveBMPClick);
  Actions.ExportContourImage = follower(exports, QStringLiteral("Contour Image..."), {}, btnIsoSaveBMP,
                                        &TForm1::btnIsoSaveBMPClick);
  Actions.ExportContourTracks = follower(exports, QStringLiteral("Contour Tracks (GPX)..."), {}, btnIsoSaveGPX,
                                         &TForm1::btnIsoSaveGPXClick);
  Actions.ExportChart = follower(exports, QStringLiteral("Chart Picture (PNG)..."), {}, SaveChartButton,
                                 &TForm1::SaveChartClick);
  Actions.ExportHT = follower(exports, QStringLiteral("HT Files for the Unit..."), QKeySequence(Qt::CTRL | Qt::Key_E),
                              btnCreateHT, &TForm1::btnCreateHTClick);
  exports->addSeparator();
  Actions.ExportMap = follower(exports, QStringLiteral("Map for Other Programs..."), {}, ExportMapButton,
                               &TForm1::ExportClick);
  file->addSeparator();
  Actions.StartOver = follower(file, QStringLiteral("Start over"), {}, btnStartOver, &TForm1::btnStartOverClick);
  Actions.Quit = item(file, QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), &QWidget::close);

  // The View items act on the map of the tab shown; ShowActions follows the
  // buttons of that map.
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  Actions.Fit = item(view, QStringLiteral("Fit to Screen"), QKeySequence(Qt::CTRL | Qt::Key_0), [this] {
    if (HTMapShown()) btnHtFitClick();
    else btnTrkFitClick();
  });
  Actions.ZoomIn = item(view, QStringLiteral("Zoom In"), QKeySequence::ZoomIn, [this] {
    if (HTMapShown()) Guarded([this] { fSession->ZoomAtPoint(TPane::HTTracks, IsoImage->width() / 2, IsoImage->height() / 2, 1); });
    else btnTrkZoomInClick();
  });
  Actions.ZoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  Actions.ZoomOut = item(view, QStringLiteral("Zoom Out"), QKeySequence::ZoomOut, [this] {
    if (HTMapShown()) Guarded([this] { fSession->ZoomAtPoint(TPane::HTTracks, IsoImage->width() / 2, IsoImage->height() / 2, -1); });
    else btnTrkZoomOutClick();
  });
  Actions.ZoomArea = item(view, QStringLiteral("Zoom Area"), {}, [this] {
    if (HTMapShown()) btnHtZoomClick();
    else btnTrkZoomClick();
  });
  view->addSeparator();
  // F11 shows them as well, and keeps its own meaning: it never hides.
  Actions.AdvancedTabs = item(view, QStringLiteral("Show advanced tabs"), {}, [this](bool shown) {
    PageControl1->setTabVisible(4, shown);
    PageControl1->setTabVisible(5, shown);
    if (shown) PageControl1->setTabVisible(6, true);
  });
  Actions.AdvancedTabs->setCheckable(true);

  QMenu* map = menuBar()->addMenu(QStringLiteral("&Map"));
  Actions.Interpolate =
      follower(map, QStringLiteral("Interpolate"), QKeySequence(Qt::Key_F5), btnInterpolate, &TForm1::btnInterpolateClick);
  Actions.CheckAccuracy = follower(map, QStringLiteral("Check accuracy"), {}, CheckAccuracyButton,
                                   &TForm1::CheckAccuracyClick);
  Actions.IsoMap = follower(map, QStringLiteral("ISO Map"), QKeySequence(Qt::Key_F6), btnIsoMap, &TForm1::btnIsoMapClick);
  Actions.CreateHT = follower(map, QStringLiteral("Create HT-File"), {}, btnCreateHT, &TForm1::btnCreateHTClick);
  map->addSeparator();
  Actions.Cancel = item(map, QStringLiteral("Cancel"), QKeySequence(Qt::Key_Escape), &TForm1::CancelClick);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  Actions.HowTo = item(help, QStringLiteral("How to map a lake"), QKeySequence::HelpContents, &TForm1::HowToClick);
  Actions.About = item(help, QStringLiteral("About"), {}, &TForm1::AboutClick);
  help->addSeparator();
  Actions.ResetSettings = item(help, QStringLiteral("Reset settings"), {}, &TForm1::ResetSettingsClick);

  // The shortcuts work wherever the focus is in the window.
  for (QAction* action : menuBar()->actions()) addAction(action);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { ShowActions(); });
}

void TForm1::CreateStatusBar() {
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QLatin1String(name));
    // Long texts are cut, never widen the window.
    l->setMinimumWidth(1);
    return l;
  };
  PositionReadout = label("PositionReadout");
  DepthReadout = label("DepthReadout");
  LastRunLabel = label("LastRunLabel");
  RunLabel = label("RunLabel");
  RunProgress = new QProgressBar(this);
  RunProgress->setObjectName(QStringLiteral("RunProgress"));
  RunProgress->setMaximumWidth(160);
  RunProgress->setMaximumHeight(16);
  RunProgress->setTextVisible(false);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setToolTip(QStringLiteral("Stop the run; the previous picture and contours stay (Esc)."));
  connect(CancelButton, &QPushButton::clicked, this, &TForm1::CancelClick);
  statusBar()->addWidget(PositionReadout, 3);
  statusBar()->addWidget(DepthReadout, 1);
  statusBar()->addWidget(LastRunLabel, 3);
  statusBar()->addPermanentWidget(RunLabel);
  statusBar()->addPermanentWidget(RunProgress);
  statusBar()->addPermanentWidget(CancelButton);
  statusBar()->setSizeGripEnabled(true);
}

void TForm1::CreateStartText() {
  fExampleFolder = FindExampleFolder(QCoreApplication::applicationDirPath());
  StartText = new QLabel(GPXImage);
  StartText->setObjectName(QStringLiteral("StartText"));
  StartText->setTextFormat(Qt::RichText);
  StartText->setWordWrap(true);
  StartText->setAlignment(Qt::AlignCenter);
  StartText->setText(sondralis::StartText(!fExampleFolder.isEmpty()));
  StartText->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  // A little larger than the controls' text: the first thing to read.
  QFont font = StartText->font();
  font.setPointSizeF(font.pointSizeF() * 1.25);
  StartText->setFont(font);
  QPalette palette = StartText->palette();
  palette.setColor(QPalette::WindowText, QColor(0x40, 0x40, 0x40));
  StartText->setPalette(palette);
  connect(StartText, &QLabel::linkActivated, this, [this](const QString& link) {
    if (link == QLatin1String(kExampleLink)) OpenExample();
  });
}

// ---------------------------------------------------------------- showing

QSize TForm1::StartSize() const {
  // The tabs keep their own size; the menu bar and the status bar come on
  // top of it.
  return {kStartWidth, kStartHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height()};
}

bool TForm1::HTMapShown() const { return PageControl1->currentWidget() == TabSheet4; }

void TForm1::ShowActions() {
  if (!Actions.AddFiles || !fSession) return;
  for (auto [action, button] : fFollowers) action->setEnabled(button->isEnabled());
  const bool ht = HTMapShown();
  Actions.Fit->setEnabled((ht ? btnHtFit : btnTrkFit)->isEnabled());
  Actions.ZoomIn->setEnabled((ht ? btnHtFit : btnTrkZoomIn)->isEnabled());
  Actions.ZoomOut->setEnabled((ht ? btnHtFit : btnTrkZoomOut)->isEnabled());
  Actions.ZoomArea->setEnabled((ht ? btnHtZoom : btnTrkZoom)->isEnabled());
  Actions.Cancel->setEnabled(fSession->Cancellable());
  Actions.ResetSettings->setEnabled(btnStartOver->isEnabled());
  Actions.About->setEnabled(fSession->WindowEnabled());
  RecentMenu->setEnabled(btnAddFiles->isEnabled() && !RecentMenu->isEmpty());
}

void TForm1::ShowRun() {
  if (!CancelButton || !fSession) return;
  const bool running = fSession->Cancellable();
  RunLabel->setText(Q(fSession->RunningText()));
  const TProgress progress = fSession->RunningProgress();
  // Without a measure of the run the bar just shows that it goes.
  RunProgress->setRange(0, std::max(0, progress.Max));
  RunProgress->setValue(std::clamp(progress.Position, 0, std::max(0, progress.Max)));
  for (QWidget* w : std::initializer_list<QWidget*>{RunLabel, RunProgress, CancelButton}) w->setVisible(running);
  CancelButton->setEnabled(running);
  if (Actions.Cancel) Actions.Cancel->setEnabled(running);
}

void TForm1::ShowLastRun() {
  const std::string text = fSession->LastRunText();
  LastRunLabel->setText(text.empty() ? QString() : QStringLiteral("Last run: ") + Q(text));
}

void TForm1::ShowReadout(TPane pane, int X, int Y) {
  if (!fSession) return;
  PositionReadout->setText(Q(fSession->PositionText(pane, X, Y)));
  const std::string depth = fSession->DepthTextAt(pane, X, Y);
  DepthReadout->setText(depth.empty() ? QString() : QStringLiteral("Depth ") + Q(depth));
}

void TForm1::ShowStartText() {
  if (!StartText || !fSession) return;
  const bool empty = !fSession->Project().FileLoaded();
  StartText->setVisible(empty);
  if (!empty) return;
  const int width = std::min(460, std::max(100, GPXImage->width() - 40));
  StartText->setFixedWidth(width);
  StartText->adjustSize();
  StartText->move((GPXImage->width() - StartText->width()) / 2, (GPXImage->height() - StartText->height()) / 2);
}

const QImage* TForm1::DevicePicture(TPane pane, qreal Ratio) {
  if (!fSession) return nullptr;
  const TProject& project = fSession->Project();
  const bool shown = pane == TPane::Tracks ? project.FileLoaded() : project.IsoLoaded();
  if (!shown) return nullptr;
  TDevicePicture& picture = pane == TPane::Tracks ? fTracksPicture : fHTPicture;
  if (picture.Drawn != picture.Changes || picture.Ratio != Ratio) {
    const TGPXDraw& view = pane == TPane::Tracks ? project.GPXView() : project.IsoView();
    if (!DrawAtRatio(view, Ratio, picture.Canvas)) return nullptr;
    picture.Image = picture.Canvas.Image();
    picture.Image.setDevicePixelRatio(Ratio);
    picture.Drawn = picture.Changes;
    picture.Ratio = Ratio;
  }
  return &picture.Image;
}

// ---------------------------------------------------------------- settings, recent files

void TForm1::WriteControls() {
  const TSessionSettings& s = fSession->Settings;
  edtInterpolationWidth->setText(Q(s.InterpolationWidth));
  tbInterpolatorStyle->setValue(s.InterpolatorStyle);
  tbInterpolateThrds->setValue(s.InterpolateThrds);
  MethodChoice->setCurrentIndex(s.InterpolationMethod == TInterpolationMethod::Surface ? 1 : 0);
  tbInterpolatorStyle->setEnabled(fSession->StyleApplies());
  edtIsoStep->setText(Q(s.IsoStep));
  TracerChoice->setCurrentIndex(!s.IsoTracer ? 0 : *s.IsoTracer == TContourTracer::Pixel ? 1 : 2);
  RingLimit->setText(Q(s.IsoMinRing));
  SmoothContours->setChecked(s.IsoSmooth);
  ContourLabels->setChecked(s.IsoLabels);
  ChartTracks->setChecked(s.ChartTracks);
  edtTrackName->setText(Q(s.TrackName));
  cbReduceWaypoints->setChecked(s.ReduceWaypoints);
  cbAddDepth->setChecked(s.AddDepth);
  cbAddOffset->setChecked(s.AddOffset);
}

void TForm1::RestoreSettings() {
  if (!fSettings->Keeps()) return;
  ReadControls();
  TSessionSettings fields = fSession->Settings;
  TColor shallow = fSession->Project().clShallowWater(), deep = fSession->Project().clDeepWater();
  fSettings->LoadFields(fields, shallow, deep);
  fExportChoice = fSettings->ExportChoice();
  fSession->Settings = fields;
  WriteControls();
  ShowCorrections();
  if (shallow != fSession->Project().clShallowWater()) fSession->SetShallowColor(shallow);
  if (deep != fSession->Project().clDeepWater()) fSession->SetDeepColor(deep);
}

void TForm1::StoreSettings() {
  if (!fSettings->Keeps() || !fSession) return;
  ReadControls();
  fSettings->SaveFields(fSession->Settings, fSession->Project().clShallowWater(), fSession->Project().clDeepWater());
  fSettings->SaveGeometry(saveGeometry());
  fSettings->Sync();
}

void TForm1::PlaceOnScreen() {
  if (restoreGeometry(fSettings->Geometry())) return;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void TForm1::closeEvent(QCloseEvent* event) {
  StoreSettings();
  QMainWindow::closeEvent(event);
}

std::vector<QStringList> TForm1::RecentSets() const { return fSettings->RecentSets(); }

void TForm1::ShowRecent() {
  RecentMenu->clear();
  const std::vector<QStringList> sets = fSettings->RecentSets();
  for (int i = 0; i < static_cast<int>(sets.size()); ++i) {
    const QStringList& set = sets[static_cast<std::size_t>(i)];
    QStringList names;
    for (const QString& path : set) names << QFileInfo(path).fileName();
    QAction* action = RecentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(names.join(QStringLiteral(", "))));
    action->setToolTip(set.join(QLatin1Char('\n')));
    connect(action, &QAction::triggered, this, [this, i] { OpenRecent(i); });
  }
  if (!sets.empty()) {
    RecentMenu->addSeparator();
    connect(RecentMenu->addAction(QStringLiteral("Clear list")), &QAction::triggered, this, [this] {
      fSettings->ClearRecentSets();
      ShowRecent();
    });
  }
  ShowActions();
}

void TForm1::RunLoading(const std::function<void()>& command) {
  if (!fSession) return;
  const std::size_t before = fSession->Project().Inputs().size();
  Run(command);
  const std::vector<TProjectInput>& inputs = fSession->Project().Inputs();
  if (inputs.size() <= before) return;
  QStringList set;
  for (std::size_t i = before; i < inputs.size(); ++i) set << QFileInfo(Q(inputs[i].Path)).absoluteFilePath();
  fSettings->AddRecentSet(set);
  ShowRecent();
}

void TForm1::OpenRecent(int Index) {
  const std::vector<QStringList> sets = fSettings->RecentSets();
  if (Index < 0 || Index >= static_cast<int>(sets.size())) return;
  const QStringList set = sets[static_cast<std::size_t>(Index)];
  if (set.size() == 1 && IsProjectFile(set.front().toStdString())) {
    OpenProjectFile(set.front().toStdString());
    return;
  }
  std::vector<std::string> paths;
  for (const QString& path : set) paths.push_back(path.toStdString());
  LoadFiles(paths);
}

// ---------------------------------------------------------------- commands of the menus

void TForm1::OpenProjectClick() {
  Run([this] { fSession->OpenProject(); });
  if (!fSession->ProjectPath().empty()) {
    fSettings->AddRecentSet({QFileInfo(Q(fSession->ProjectPath())).absoluteFilePath()});
    ShowRecent();
  }
}

void TForm1::OpenProjectFile(const std::string& Path) {
  bool opened = false;
  Run([&] { opened = fSession->OpenProject(Path); });
  if (opened) {
    fSettings->AddRecentSet({QFileInfo(Q(Path)).absoluteFilePath()});
    ShowRecent();
  }
}

void TForm1::SaveProjectClick() {
  std::string saved;
  Run([&] { saved = fSession->SaveProject(); });
  if (!saved.empty()) {
    fSettings->AddRecentSet({QFileInfo(Q(saved)).absoluteFilePath()});
    ShowRecent();
  }
}

void TForm1::CancelClick() {
  if (fSession) fSession->Cancel();
}

void TForm1::ResetSettingsClick() {
  if (!fSession || !fSession->CanStartCommand()) return;
  Guarded([this] { fSession->ResetSettings(); });
  fSettings->Reset();
  fExportChoice = {};
  if (!fSession->SizeFrozen()) {
    resize(StartSize());
    PlaceOnScreen();
  }
}

void TForm1::HowToClick() {
  if (!HowToPage) {
    HowToPage = new QDialog(this);
    HowToPage->setObjectName(QStringLiteral("HowToPage"));
    HowToPage->setWindowTitle(QStringLiteral("How to map a lake"));
    auto* layout = new QVBoxLayout(HowToPage);
    auto* text = new QTextBrowser(HowToPage);
    text->setHtml(HowToMapText());
    layout->addWidget(text);
    HowToPage->resize(560, 460);
  }
  HowToPage->show();
  HowToPage->raise();
}

void TForm1::AboutClick() {
  if (!fSession || !fSession->WindowEnabled()) return;
  PageControl1->setTabVisible(6, true);
  PageControl1->setCurrentWidget(TabSheet7);
}

void TForm1::OpenExample() {
  const QStringList files = ExampleFiles(fExampleFolder);
  if (files.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& path : files) paths.push_back(path.toStdString());
  LoadFiles(paths);
}

}  // namespace sondralis
