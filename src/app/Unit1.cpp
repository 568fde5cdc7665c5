// Unit1: the main window TForm1 — its seven tabs TabSheet1 .. TabSheet7, their
// controls, and the handlers that run the session's commands.

#include "app/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

#include "app/AboutPage.h"
#include "app/CorrectionsDialog.h"
#include "app/ExportDialog.h"
#include "app/ImagePane.h"
#include "app/TrackBar.h"
#include "app/WindowDialogs.h"
#include "app/WindowSettings.h"
#include "app/WrapCheckBox.h"

namespace sondralis {

namespace {

constexpr int kColumnWidth = 185;
constexpr int kSwatchWidth = 20;
constexpr int kLegendTop = 4;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPixmap Filled(int Width, int Height, TColor Color) {
  QPixmap pixmap(Width, Height);
  pixmap.fill(QColor::fromRgb(TCanvas::ToRGB32(Color)));
  return pixmap;
}

}  // namespace

// ---------------------------------------------------------------- creation

TForm1::TForm1(QWidget* parent, TSessionQuestions* Dialogs, int CPUCount, QSettings* Settings)
    : QMainWindow(parent), fSettings(std::make_unique<TWindowSettings>(Settings)) {
  if (Dialogs) {
    fDialogs = Dialogs;
  } else {
    fOwnDialogs = std::make_unique<TWindowDialogs>(this, fSettings.get());
    fDialogs = fOwnDialogs.get();
  }
  setWindowTitle(QStringLiteral("Quellmor: Sondralis 2D"));
  setAcceptDrops(true);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  // The limit is the tabs': the menu bar and the status bar come on top.
  PageControl1->setMinimumSize(850, 600);
  setCentralWidget(PageControl1);
  CreateSourceTracksTab();
  CreateInterpolatedMapTab();
  CreateIsoContourTab();
  CreateHTContourTab();
  CreateShoreLineTab();
  CreateDebugTab();
  CreateAboutTab();
  ConnectPanes();
  CreateMenus();
  CreateStatusBar();
  CreateStartText();
  resize(StartSize());

  // The log exists now: the session reports the processors it found.
  fSession = std::make_unique<TSession>(*fDialogs, static_cast<TSessionDisplay&>(*this), CPUCount);
  const TProject& project = fSession->Project();
  GPXImage->SetPicture(&project.GPXImage());
  InterpolatedImage->SetPicture(&project.InterpolatedImage());
  IsoMap->SetPicture(&project.IsoMap());
  IsoImage->SetPicture(&project.IsoImage());
  ShoreLine->SetPicture(&project.ShoreLine());

  tbInterpolateThrds->setMinimum(1);
  tbInterpolateThrds->setMaximum(project.CPUCount());
  tbInterpolateThrds->setValue(project.CPUCount());
  tbInterpolateThrdsChange();
  tbInterpolatorStyleChange();

  PageControl1->setCurrentIndex(0);
  PageControl1->setTabVisible(4, false);
  PageControl1->setTabVisible(5, false);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    QWidget* page = PageControl1->widget(index);
    if (page == TabSheet2) TabSheet2Show();
    if (page == TabSheet6) TabSheet6Show();
  });

  // Key presses reach the window before its controls.
  qApp->installEventFilter(this);

  // What the user chose in earlier runs, over the defaults.
  RestoreSettings();
  DrawColorRange();
  UpdateMapInfo();
  ShowButtons();
  ShowCursors();
  ShowLegends();
  ShowActions();
  ShowRun();
  ShowRecent();
  ShowStartText();
  pbInterpolate->hide();
  pbIsoMap->hide();
  // The read-outs appear with their first text.
  for (QLabel* label : {lblTrkCoordinates, lblInterpolCoordinates, lblInterpolDepth, lblIsoCoordinates, lblHTCoordinates})
    label->hide();
}

TForm1::~TForm1() {
  qApp->removeEventFilter(this);
  // The session goes first, while the window can still take the wake-ups
  // of workers that are winding down.
  fSession.reset();
  if (fBusyCursor) QApplication::restoreOverrideCursor();
}

QWidget* TForm1::NewPage(const QString& Name, const QString& Caption, QVBoxLayout*& Column, QWidget*& Panel,
                         TImagePane*& Image, const QString& PanelName, const QString& ImageName) {
  auto* page = new QWidget;
  page->setObjectName(Name);
  auto* row = new QHBoxLayout(page);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  auto* column = new QWidget(page);
  column->setFixedWidth(kColumnWidth);
  fColumns.push_back(column);
  Column = new QVBoxLayout(column);
  Column->setContentsMargins(6, 6, 6, 6);
  Column->setSpacing(4);
  row->addWidget(column);
  Panel = new QWidget(page);
  Panel->setObjectName(PanelName);
  auto* fill = new QVBoxLayout(Panel);
  fill->setContentsMargins(0, 0, 0, 0);
  Image = new TImagePane(ImageName, Panel);
  fill->addWidget(Image);
  row->addWidget(Panel, 1);
  PageControl1->addTab(page, Caption);
  return page;
}

QPushButton* TForm1::NewButton(QVBoxLayout* Column, const char* Name, const QString& Caption, const QString& Hint) {
  auto* button = new QPushButton(Caption);
  button->setObjectName(QLatin1String(Name));
  if (!Hint.isEmpty()) button->setToolTip(Hint);
  if (Column) Column->addWidget(button);
  return button;
}

QLabel* TForm1::NewLabel(QWidget* Parent, const char* Name, const QString& Text) {
  auto* label = new QLabel(Text, Parent);
  label->setObjectName(QLatin1String(Name));
  return label;
}

// A label over a map: it lets the mouse through to the map.
QLabel* TForm1::NewOverlay(QWidget* Parent, const char* Name, const QString& Text) {
  QLabel* label = NewLabel(Parent, Name, Text);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->setAutoFillBackground(true);
  label->setMargin(1);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

QLineEdit* TForm1::NewEdit(const char* Name, const QString& Text, int MaxLength, bool DigitsOnly, const QString& Hint) {
  auto* edit = new QLineEdit(Text);
  edit->setObjectName(QLatin1String(Name));
  edit->setMaxLength(MaxLength);
  if (DigitsOnly) edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  if (!Hint.isEmpty()) edit->setToolTip(Hint);
  return edit;
}

QLabel* TForm1::NewStrip(QWidget* Parent, const char* Name, int Width, int Height) {
  QLabel* strip = NewLabel(Parent, Name);
  strip->setFixedSize(Width, Height);
  return strip;
}

QProgressBar* TForm1::NewProgressBar(QWidget* Parent, const char* Name) {
  auto* bar = new QProgressBar(Parent);
  bar->setObjectName(QLatin1String(Name));
  bar->setTextVisible(false);
  bar->setFixedHeight(16);
  return bar;
}

void TForm1::CreateSourceTracksTab() {
  QVBoxLayout* column = nullptr;
  TabSheet1 = NewPage(QStringLiteral("TabSheet1"), QStringLiteral("Source Tracks"), column, pnlTracks, GPXImage,
                      QStringLiteral("pnlTracks"), QStringLiteral("GPXImage"));
  btnAddFiles = NewButton(
      column, "btnAddFiles", QStringLiteral("Add Files..."),
      QStringLiteral("Add KML or GPX files without depth reading (i.e. exported from Google Earth) to specify a "
                     "shoreline and islands. Load GPX files downloaded from your Humminbird echo via HumminbirdPC "
                     "to get depth recordings... The options below will be applied on the track you'll load now."));
  cbAddDepth = new TWrapCheckBox(QStringLiteral("cbAddDepth"), QStringLiteral("Enter depth when loading data /wo depth"));
  cbAddDepth->setToolTip(QStringLiteral(
      "This will allow you, to load KML or GPX tracks and enter the depth for every track in a dialog. So you will "
      "be able to copy existing depth maps into your Humminbird device (You don't have to map! Yust add the files, "
      "enter the depth and export on this tab with \"Save as HT-File...\")"));
  column->addWidget(cbAddDepth);
  cbAddOffset = new TWrapCheckBox(QStringLiteral("cbAddOffset"), QStringLiteral("Enter depth offset (+/-)"));
  cbAddOffset->setToolTip(QStringLiteral(
      "After enabling this checkbox, you will be asked to enter a depth offset which is applied to the track. The "
      "depth offset could be either positive or negative."));
  column->addWidget(cbAddOffset);
  column->addSpacing(8);
  btnTrkZoomIn = NewButton(column, "btnTrkZoomIn", QStringLiteral("Zoom In"));
  btnTrkZoomOut = NewButton(column, "btnTrkZoomOut", QStringLiteral("Zoom Out"));
  btnTrkFit = NewButton(column, "btnTrkFit", QStringLiteral("Fit to Screen"));
  btnTrkZoom = NewButton(column, "btnTrkZoom", QStringLiteral("Zoom Area"), QStringLiteral("Select a screen area to magnify."));
  column->addSpacing(8);
  btnTrkSaveGPX = NewButton(column, "btnTrkSaveGPX", QStringLiteral("Save Tracks..."),
                            QStringLiteral("Save all loaded data (shoreline and depth records) in a GPX file. You "
                                           "could load this file the next time using \"Add files...\""));
  btnTrkDelete = NewButton(column, "btnTrkDelete", QStringLiteral("Remove Wayoints"),
                           QStringLiteral("Select a area, where all waypoints will be deleted."));
  btnTrkSaveHT = NewButton(
      column, "btnTrkSaveHT", QStringLiteral("Save as HT-File..."),
      QStringLiteral("Convert the current loaded tracks into a HT-File, which could be uploaded into your Humminbird "
                     "echo and displayed as a depth track. Use this after adding files with manual entered depth to "
                     "get i.e. a copy of a depth map into your Humminbird"));
  column->addSpacing(8);
  btnStartOver = NewButton(column, "btnStartOver", QStringLiteral("Start over"),
                           QStringLiteral("Clear all loaded data and start over."));
  column->addSpacing(8);
  CorrectionsButton = NewButton(column, "CorrectionsButton", QStringLiteral("Corrections..."),
                                QStringLiteral("The transducer's depth, spikes, the water level of each trip and the "
                                               "shoreline's depth: applied to the files you add next."));
  CorrectionsSummary = NewLabel(nullptr, "CorrectionsSummary");
  CorrectionsSummary->setWordWrap(true);
  column->addWidget(CorrectionsSummary);
  column->addStretch(1);
  lblMaxDepth = NewLabel(nullptr, "lblMaxDepth");
  lblMapSize = NewLabel(nullptr, "lblMapSize");
  lblImageSize = NewLabel(nullptr, "lblImageSize");
  lblResolution = NewLabel(nullptr, "lblResolution");
  for (QLabel* label : {lblMaxDepth, lblMapSize, lblImageSize, lblResolution}) column->addWidget(label);

  // The legend in the map's top-left corner: 0 m, the shallow swatch, the
  // strip, the deep swatch and the deepest depth.
  Label1 = NewOverlay(GPXImage, "Label1", QStringLiteral("0 m"));
  imgShallowColor = NewStrip(GPXImage, "imgShallowColor", kSwatchWidth, TSession::kLegendHeight);
  imgColorRange1 = NewStrip(GPXImage, "imgColorRange1", TSession::kSourceLegendWidth, TSession::kLegendHeight);
  imgDeepColor = NewStrip(GPXImage, "imgDeepColor", kSwatchWidth, TSession::kLegendHeight);
  lblMaxDepth2 = NewOverlay(GPXImage, "lblMaxDepth2");
  imgShallowColor->setCursor(Qt::PointingHandCursor);
  imgDeepColor->setCursor(Qt::PointingHandCursor);
  imgShallowColor->installEventFilter(this);
  imgDeepColor->installEventFilter(this);
  lblTrkCoordinates = NewOverlay(GPXImage, "lblTrkCoordinates");
  lblTrkCoordinates->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TForm1::CreateInterpolatedMapTab() {
  QVBoxLayout* column = nullptr;
  TabSheet2 = NewPage(QStringLiteral("TabSheet2"), QStringLiteral("Interpolated Map"), column, pnlInterpolatedImage,
                      InterpolatedImage, QStringLiteral("pnlInterpolatedImage"), QStringLiteral("InterpolatedImage"));
  btnInterpolSaveBMP = NewButton(column, "btnInterpolSaveBMP", QStringLiteral("Save Image..."));
  column->addSpacing(8);
  lblInterpolateThrds = NewLabel(nullptr, "lblInterpolateThrds", QStringLiteral("CPUs for calculation:"));
  column->addWidget(lblInterpolateThrds);
  tbInterpolateThrds = new TTrackBar(QStringLiteral("tbInterpolateThrds"));
  tbInterpolateThrds->setToolTip(QStringLiteral("Number of CPU cores the mapping process will use."));
  column->addWidget(tbInterpolateThrds);
  connect(tbInterpolateThrds, &QSlider::valueChanged, this, [this] { tbInterpolateThrdsChange(); });
  btnInterpolate = NewButton(column, "btnInterpolate", QStringLiteral("Interpolate"),
                             QStringLiteral("Start the interpolation process with the parameters set below."));
  column->addSpacing(8);
  column->addWidget(NewLabel(nullptr, "Label4", QStringLiteral("Extrapolation Radius")));
  auto* radius = new QHBoxLayout;
  edtInterpolationWidth = NewEdit("edtInterpolationWidth", QStringLiteral("30"), 3, true,
                                  QStringLiteral("This will specify the distance of extrapolation to the left and "
                                                 "right side of any recorded track "));
  edtInterpolationWidth->setMaximumWidth(48);
  radius->addWidget(edtInterpolationWidth);
  radius->addWidget(NewLabel(nullptr, "Label5", QStringLiteral("px")));
  btnApplyInterpolationRadius = NewButton(nullptr, "btnApplyInterpolationRadius", QStringLiteral("Apply"));
  radius->addWidget(btnApplyInterpolationRadius);
  column->addLayout(radius);
  column->addSpacing(8);
  lblInterpolateStyle = NewLabel(nullptr, "lblInterpolateStyle", QStringLiteral("Interpolator Style:"));
  column->addWidget(lblInterpolateStyle);
  tbInterpolatorStyle = new TTrackBar(QStringLiteral("tbInterpolatorStyle"));
  tbInterpolatorStyle->setRange(2, 14);
  tbInterpolatorStyle->setValue(8);
  tbInterpolatorStyle->setToolTip(QStringLiteral("Using this slider, you can influence the mapping style."));
  column->addWidget(tbInterpolatorStyle);
  connect(tbInterpolatorStyle, &QSlider::valueChanged, this, [this] { tbInterpolatorStyleChange(); });
  auto* ends = new QHBoxLayout;
  ends->addWidget(NewLabel(nullptr, "Label7", QStringLiteral("smooth")));
  ends->addStretch(1);
  ends->addWidget(NewLabel(nullptr, "Label8", QStringLiteral("hard")));
  column->addLayout(ends);
  // After the Parts' controls, so their tab order stays as it is.
  column->addSpacing(8);
  MethodLabel = NewLabel(nullptr, "MethodLabel", QStringLiteral("Method:"));
  column->addWidget(MethodLabel);
  MethodChoice = new QComboBox;
  MethodChoice->setObjectName(QStringLiteral("MethodChoice"));
  // The items in the order of TInterpolationMethod.
  MethodChoice->addItem(QStringLiteral("Shepard"));
  MethodChoice->addItem(QStringLiteral("Surface"));
  MethodChoice->setToolTip(QStringLiteral(
      "How the depths between the soundings are found. Shepard weighs the nearby soundings as the style slider "
      "says. Surface fits a smooth bottom through them, closer to the truth where the lines lie far apart. "
      "\"Check accuracy\" tells which suits your survey."));
  column->addWidget(MethodChoice);
  MethodLabel->setBuddy(MethodChoice);
  connect(MethodChoice, &QComboBox::currentIndexChanged, this, [this] { MethodChoiceChange(); });
  CheckAccuracyButton = NewButton(
      column, "CheckAccuracyButton", QStringLiteral("Check accuracy"),
      QStringLiteral("Maps the lake again five times, each time without a fifth of the tracks, and compares the "
                     "depths left out with the map: the error of each method in centimetres."));
  ExportMapButton = NewButton(column, "ExportMapButton", QStringLiteral("Export..."),
                              QStringLiteral("Writes the map for other programs into a folder: GIS files, a chart to "
                                             "print or for phone apps, fishing spots, the lake report."));
  column->addStretch(1);
  lblMapSize1 = NewLabel(nullptr, "lblMapSize1");
  lblMaxDepth1 = NewLabel(nullptr, "lblMaxDepth1");
  lblImageSize1 = NewLabel(nullptr, "lblImageSize1");
  lblResolution1 = NewLabel(nullptr, "lblResolution1");
  for (QLabel* label : {lblMapSize1, lblMaxDepth1, lblImageSize1, lblResolution1}) column->addWidget(label);

  Label6 = NewOverlay(InterpolatedImage, "Label6", QStringLiteral("0 m"));
  imgColorRange2 = NewStrip(InterpolatedImage, "imgColorRange2", TSession::kLegendWidth, TSession::kLegendHeight);
  lblMaxDepth3 = NewOverlay(InterpolatedImage, "lblMaxDepth3");
  lblInterpolCoordinates = NewOverlay(InterpolatedImage, "lblInterpolCoordinates");
  lblInterpolDepth = NewOverlay(InterpolatedImage, "lblInterpolDepth");
  for (QLabel* label : {lblInterpolCoordinates, lblInterpolDepth}) {
    // White on black, readable over the picture.
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  pbInterpolate = NewProgressBar(InterpolatedImage, "pbInterpolate");
}

void TForm1::CreateIsoContourTab() {
  QVBoxLayout* column = nullptr;
  TabSheet3 = NewPage(QStringLiteral("TabSheet3"), QStringLiteral("ISO Contour"), column, pnlIsoMap, IsoMap,
                      QStringLiteral("pnlIsoMap"), QStringLiteral("IsoMap"));
  btnIsoSaveBMP = NewButton(column, "btnIsoSaveBMP", QStringLiteral("Save Image..."));
  btnIsoSaveGPX = NewButton(column, "btnIsoSaveGPX", QStringLiteral("Save Tracks..."));
  column->addSpacing(8);
  column->addWidget(NewLabel(nullptr, "Label9", QStringLiteral("Step size")));
  auto* step = new QHBoxLayout;
  edtIsoStep = NewEdit("edtIsoStep", QStringLiteral("100"), 4, true);
  edtIsoStep->setMaximumWidth(56);
  step->addWidget(edtIsoStep);
  step->addWidget(NewLabel(nullptr, "Label11", QStringLiteral("cm")));
  step->addStretch(1);
  column->addLayout(step);
  btnIsoMap = NewButton(column, "btnIsoMap", QStringLiteral("ISO Map"));
  // After the Parts' controls, so their tab order stays as it is.
  column->addSpacing(8);
  column->addWidget(NewLabel(nullptr, "TracerLabel", QStringLiteral("Contours:")));
  TracerChoice = new QComboBox;
  TracerChoice->setObjectName(QStringLiteral("TracerChoice"));
  TracerChoice->addItems({QStringLiteral("By the method"), QStringLiteral("Pixel lines"), QStringLiteral("Chart lines")});
  TracerChoice->setToolTip(QStringLiteral(
      "Pixel lines follow the depth picture's pixels (for Shepard's maps); chart lines follow the depths themselves, "
      "never cross and carry depth labels (for Surface maps). \"By the method\" picks the one that suits the map."));
  column->addWidget(TracerChoice);
  auto* ring = new QHBoxLayout;
  ring->addWidget(NewLabel(nullptr, "RingLabel", QStringLiteral("Drop rings under")));
  RingLimit = NewEdit("RingLimit", QString(), 4, true,
                      QStringLiteral("Closed rings shorter than this many pixels are left out; empty: the lines' own "
                                     "default (none for pixel lines, 8 for chart lines)."));
  RingLimit->setMaximumWidth(48);
  ring->addWidget(RingLimit);
  ring->addWidget(NewLabel(nullptr, "RingUnit", QStringLiteral("px")));
  ring->addStretch(1);
  column->addLayout(ring);
  SmoothContours = new TWrapCheckBox(QStringLiteral("SmoothContours"), QStringLiteral("Smooth (safe for a boat)"));
  SmoothContours->setToolTip(QStringLiteral("Smooths the chart lines; a line only ever moves towards deeper water."));
  column->addWidget(SmoothContours);
  ContourLabels = new TWrapCheckBox(QStringLiteral("ContourLabels"), QStringLiteral("Depth labels"));
  ContourLabels->setChecked(true);
  ContourLabels->setToolTip(QStringLiteral("The depth on the chart lines, in the picture and in contours.kml."));
  column->addWidget(ContourLabels);
  SaveChartButton = NewButton(column, "SaveChartButton", QStringLiteral("Save Chart..."),
                              QStringLiteral("The map as a chart picture (PNG): depths, contours with labels, "
                                             "shoreline, legend, scale bar, north arrow."));
  ChartTracks = new TWrapCheckBox(QStringLiteral("ChartTracks"), QStringLiteral("Survey tracks on the chart"));
  column->addWidget(ChartTracks);
  column->addSpacing(8);
  ExportContoursButton = NewButton(column, "ExportContoursButton", QStringLiteral("Export..."),
                                   QStringLiteral("Writes the map and its contour lines for other programs into a "
                                                  "folder: GIS files, a chart to print or for phone apps, fishing "
                                                  "spots, the lake report."));
  column->addStretch(1);

  Label10 = NewOverlay(IsoMap, "Label10", QStringLiteral("0 m"));
  imgColorRange3 = NewStrip(IsoMap, "imgColorRange3", TSession::kLegendWidth, TSession::kLegendHeight);
  lblMaxDepth4 = NewOverlay(IsoMap, "lblMaxDepth4");
  lblIsoCoordinates = NewOverlay(IsoMap, "lblIsoCoordinates");
  lblIsoCoordinates->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  pbIsoMap = NewProgressBar(IsoMap, "pbIsoMap");
}

void TForm1::CreateHTContourTab() {
  QVBoxLayout* column = nullptr;
  TabSheet4 = NewPage(QStringLiteral("TabSheet4"), QStringLiteral("HT Contour"), column, pnlHtTracks, IsoImage,
                      QStringLiteral("pnlHtTracks"), QStringLiteral("IsoImage"));
  column->addWidget(NewLabel(nullptr, "Label12", QStringLiteral("Track Name")));
  edtTrackName = NewEdit("edtTrackName", QStringLiteral("NewTrack"), 20, false);
  column->addWidget(edtTrackName);
  cbReduceWaypoints = new TWrapCheckBox(QStringLiteral("cbReduceWaypoints"), QStringLiteral("Reduce Waypoints"));
  cbReduceWaypoints->setToolTip(QStringLiteral(
      "Instead of creating multiple HT-files when a map needs more than the available 20000 points, after checking "
      "this box, the program will try to reduce the number of points by deleting some of them."));
  column->addWidget(cbReduceWaypoints);
  btnCreateHT = NewButton(column, "btnCreateHT", QStringLiteral("Create HT-File"));
  lblHTState = NewLabel(nullptr, "lblHTState");
  column->addWidget(lblHTState);
  column->addSpacing(8);
  btnHtFit = NewButton(column, "btnHtFit", QStringLiteral("Fit to Screen"));
  btnHtZoom = NewButton(column, "btnHtZoom", QStringLiteral("Zoom Area"));
  btnHtZoom->setCheckable(true);  // shown pressed while a rectangle is to be dragged
  column->addStretch(1);
  lblWritePoints = NewLabel(nullptr, "lblWritePoints");
  lblGeneratedPoints = NewLabel(nullptr, "lblGeneratedPoints");
  lblNumIsoTracks = NewLabel(nullptr, "lblNumIsoTracks");
  column->addWidget(lblWritePoints);
  column->addWidget(lblGeneratedPoints);
  column->addWidget(lblNumIsoTracks);

  lblHTCoordinates = NewOverlay(IsoImage, "lblHTCoordinates");
  lblHTCoordinates->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TForm1::CreateShoreLineTab() {
  TabSheet6 = new QWidget;
  TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
  auto* row = new QHBoxLayout(TabSheet6);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addSpacing(kColumnWidth);
  ShoreLine = new TImagePane(QStringLiteral("ShoreLine"), TabSheet6);
  row->addWidget(ShoreLine, 1);
  PageControl1->addTab(TabSheet6, QStringLiteral("ShoreLine"));
}

void TForm1::CreateDebugTab() {
  TabSheet5 = new QWidget;
  TabSheet5->setObjectName(QStringLiteral("TabSheet5"));
  auto* layout = new QVBoxLayout(TabSheet5);
  memDebug = new QPlainTextEdit(TabSheet5);
  memDebug->setObjectName(QStringLiteral("memDebug"));
  memDebug->setReadOnly(true);
  memDebug->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memDebug->viewport()->installEventFilter(this);
  layout->addWidget(memDebug);
  PageControl1->addTab(TabSheet5, QStringLiteral("Debug"));
}

void TForm1::CreateAboutTab() {
  TabSheet7 = new QWidget;
  TabSheet7->setObjectName(QStringLiteral("TabSheet7"));
  auto* layout = new QVBoxLayout(TabSheet7);
  memAbout = new QTextBrowser(TabSheet7);
  memAbout->setObjectName(QStringLiteral("memAbout"));
  memAbout->setHtml(AboutText());
  layout->addWidget(memAbout);
  PageControl1->addTab(TabSheet7, QStringLiteral("About"));
}

void TForm1::ConnectPanes() {
  auto down = [this](TPane pane) {
    return [this, pane](int X, int Y, bool Left) {
      if (Left) Guarded([&] { fSession->MouseDown(pane, X, Y); });
    };
  };
  auto move = [this](TPane pane) {
    return [this, pane](int X, int Y, bool Left) {
      Guarded([&] { fSession->MouseMove(pane, X, Y, Left); });
      ShowReadout(pane, X, Y);
    };
  };
  auto up = [this](TPane pane) {
    return [this, pane](int X, int Y, bool Alt) { Guarded([&] { fSession->MouseUp(pane, X, Y, Alt); }); };
  };
  auto wheel = [this](TPane pane) {
    return [this, pane](int X, int Y, double Notches) {
      Guarded([&] { fSession->ZoomAtPoint(pane, X, Y, Notches); });
    };
  };
  // GPXImageMouseDown, GPXImageMouseMove, GPXImageMouseUp and the wheel.
  GPXImage->OnMouseDown = down(TPane::Tracks);
  GPXImage->OnMouseMove = move(TPane::Tracks);
  GPXImage->OnMouseUp = up(TPane::Tracks);
  GPXImage->OnWheel = wheel(TPane::Tracks);
  GPXImage->OnResize = [this] { pnlTracksResize(); };
  // IsoImageMouseDown, IsoImageMouseMove, IsoImageMouseUp and the wheel.
  IsoImage->OnMouseDown = down(TPane::HTTracks);
  IsoImage->OnMouseMove = move(TPane::HTTracks);
  IsoImage->OnMouseUp = up(TPane::HTTracks);
  IsoImage->OnWheel = wheel(TPane::HTTracks);
  IsoImage->OnResize = [this] { pnlHtTracksResize(); };
  // InterpolatedImageMouseMove, IsoMapMouseMove.
  InterpolatedImage->OnMouseMove = move(TPane::Interpolated);
  InterpolatedImage->OnResize = [this] { pnlInterpolatedImageResize(); };
  IsoMap->OnMouseMove = move(TPane::IsoMap);
  IsoMap->OnResize = [this] { pnlIsoMapResize(); };
  InterpolatedImage->SetBackground(palette().color(QPalette::Window));
  IsoMap->SetBackground(palette().color(QPalette::Window));
  ShoreLine->SetBackground(palette().color(QPalette::Window));
  // The two maps of tracks are drawn anew at the screen's pixels.
  GPXImage->DevicePicture = [this](qreal ratio) { return DevicePicture(TPane::Tracks, ratio); };
  IsoImage->DevicePicture = [this](qreal ratio) { return DevicePicture(TPane::HTTracks, ratio); };

  connect(btnTrkSaveGPX, &QPushButton::clicked, this, &TForm1::btnTrkSaveGPXClick);
  connect(btnAddFiles, &QPushButton::clicked, this, &TForm1::btnAddFilesClick);
  connect(btnTrkFit, &QPushButton::clicked, this, &TForm1::btnTrkFitClick);
  connect(btnTrkZoom, &QPushButton::clicked, this, &TForm1::btnTrkZoomClick);
  connect(btnTrkZoomIn, &QPushButton::clicked, this, &TForm1::btnTrkZoomInClick);
  connect(btnTrkZoomOut, &QPushButton::clicked, this, &TForm1::btnTrkZoomOutClick);
  connect(btnTrkDelete, &QPushButton::clicked, this, &TForm1::btnTrkDeleteClick);
  connect(btnTrkSaveHT, &QPushButton::clicked, this, &TForm1::btnTrkSaveHTClick);
  connect(btnStartOver, &QPushButton::clicked, this, &TForm1::btnStartOverClick);
  connect(btnApplyInterpolationRadius, &QPushButton::clicked, this, &TForm1::btnApplyInterpolationRadiusClick);
  connect(btnInterpolate, &QPushButton::clicked, this, &TForm1::btnInterpolateClick);
  connect(CheckAccuracyButton, &QPushButton::clicked, this, &TForm1::CheckAccuracyClick);
  connect(CorrectionsButton, &QPushButton::clicked, this, &TForm1::CorrectionsClick);
  connect(SaveChartButton, &QPushButton::clicked, this, &TForm1::SaveChartClick);
  connect(ExportMapButton, &QPushButton::clicked, this, &TForm1::ExportClick);
  connect(ExportContoursButton, &QPushButton::clicked, this, &TForm1::ExportClick);
  connect(btnInterpolSaveBMP, &QPushButton::clicked, this, &TForm1::btnInterpolSaveBMPClick);
  connect(btnIsoMap, &QPushButton::clicked, this, &TForm1::btnIsoMapClick);
  connect(btnIsoSaveBMP, &QPushButton::clicked, this, &TForm1::btnIsoSaveBMPClick);
  connect(btnIsoSaveGPX, &QPushButton::clicked, this, &TForm1::btnIsoSaveGPXClick);
  connect(btnCreateHT, &QPushButton::clicked, this, &TForm1::btnCreateHTClick);
  connect(btnHtFit, &QPushButton::clicked, this, &TForm1::btnHtFitClick);
  connect(btnHtZoom, &QPushButton::clicked, this, &TForm1::btnHtZoomClick);
}

// ---------------------------------------------------------------- running commands

void TForm1::ReadControls() {
  TSessionSettings& s = fSession->Settings;
  s.InterpolationWidth = edtInterpolationWidth->text().toStdString();
  s.InterpolatorStyle = tbInterpolatorStyle->value();
  s.InterpolateThrds = tbInterpolateThrds->value();
  s.InterpolationMethod = MethodChoice->currentIndex() == 1 ? TInterpolationMethod::Surface : TInterpolationMethod::Shepard;
  s.IsoStep = edtIsoStep->text().toStdString();
  const int tracer = TracerChoice->currentIndex();
  s.IsoTracer = tracer == 1   ? std::optional(TContourTracer::Pixel)
                : tracer == 2 ? std::optional(TContourTracer::Chart)
                              : std::nullopt;
  s.IsoMinRing = RingLimit->text().toStdString();
  s.IsoSmooth = SmoothContours->isChecked();
  s.IsoLabels = ContourLabels->isChecked();
  s.ChartTracks = ChartTracks->isChecked();
  s.TrackName = edtTrackName->text().toStdString();
  s.ReduceWaypoints = cbReduceWaypoints->isChecked();
  s.AddDepth = cbAddDepth->isChecked();
  s.AddOffset = cbAddOffset->isChecked();
}

void TForm1::Guarded(const std::function<void()>& command) {
  if (!fSession) return;
  try {
    command();
  } catch (const std::exception& e) {
    fDialogs->ShowError(e.what());
  } catch (...) {
    fDialogs->ShowError("The command ended with an unknown error.");
  }
  // Whatever happened, the window shows the session as it is now.
  ShowBusy();
  ShowButtons();
  ShowActions();
  ShowRun();
  ShowStartText();
  // Sizes that changed while the session held the window still.
  if (fPaneSizesStale && fSession->WindowEnabled() && !fSession->CommandRunning()) {
    fPaneSizesStale = false;
    for (TPane pane : {TPane::Tracks, TPane::Interpolated, TPane::IsoMap, TPane::HTTracks}) ResizePane(pane);
  }
}

void TForm1::Run(const std::function<void()>& command) {
  Guarded([&] {
    ReadControls();
    command();
  });
}

bool TForm1::Operable() const {
  if (!PageControl1->tabBar()->isEnabled()) return false;
  for (const QWidget* column : fColumns)
    if (!column->isEnabled()) return false;
  return true;
}

// ---------------------------------------------------------------- Source Tracks

void TForm1::btnAddFilesClick() {
  RunLoading([this] { fSession->AddFiles(); });
}

void TForm1::LoadFiles(const std::vector<std::string>& Paths) {
  RunLoading([&] { fSession->AddFiles(Paths); });
}

void TForm1::btnTrkSaveGPXClick() {
  Run([this] { fSession->SaveTracks(); });
}
void TForm1::btnTrkFitClick() {
  Run([this] { fSession->TrkFit(); });
}
void TForm1::btnTrkZoomClick() {
  Run([this] { fSession->TrkZoomArea(); });
}
void TForm1::btnTrkZoomInClick() {
  Run([this] { fSession->TrkZoomIn(); });
}
void TForm1::btnTrkZoomOutClick() {
  Run([this] { fSession->TrkZoomOut(); });
}
void TForm1::btnTrkDeleteClick() {
  Run([this] { fSession->TrkRemoveWaypoints(); });
}
void TForm1::btnTrkSaveHTClick() {
  Run([this] { fSession->SaveAsHTFile(); });
}
void TForm1::btnStartOverClick() {
  Run([this] { fSession->StartOver(); });
}

// ---------------------------------------------------------------- Interpolated Map

void TForm1::btnApplyInterpolationRadiusClick() {
  Run([this] { fSession->ApplyInterpolationRadius(); });
}
void TForm1::TabSheet2Show() {
  Run([this] { fSession->ShowInterpolatedMap(); });
}
void TForm1::TabSheet6Show() {
  Run([this] { fSession->ShowShoreLine(); });
}

void TForm1::btnInterpolateClick() {
  Run([this] { fSession->StartInterpolation(); });
}

// Runs on this thread after the workers woke the window: takes what they
// finished and, after the last one, shows the picture.
void TForm1::InterpolationThreadDone() {
  fPollPosted = false;
  Guarded([this] { fSession->Poll(); });
}

void TForm1::btnInterpolSaveBMPClick() {
  Run([this] { fSession->SaveInterpolatedImage(); });
}

void TForm1::tbInterpolateThrdsChange() {
  lblInterpolateThrds->setText(Q(TSession::InterpolateThrdsText(tbInterpolateThrds->value())));
}

void TForm1::tbInterpolatorStyleChange() {
  lblInterpolateStyle->setText(Q(TSession::InterpolatorStyleText(tbInterpolatorStyle->value())));
}

void TForm1::MethodChoiceChange() {
  if (!fSession) return;
  fSession->Settings.InterpolationMethod =
      MethodChoice->currentIndex() == 1 ? TInterpolationMethod::Surface : TInterpolationMethod::Shepard;
  tbInterpolatorStyle->setEnabled(fSession->StyleApplies());
}

void TForm1::SaveChartClick() {
  Run([this] { fSession->SaveChart(); });
}

void TForm1::CorrectionsClick() {
  if (!fSession || !fSession->CanStartCommand()) return;
  ReadControls();
  TCorrectionsDialog dialog(this, *fSession);
  dialog.exec();
  ShowCorrections();
}

void TForm1::ShowCorrections() {
  if (!CorrectionsSummary || !fSession) return;
  const TSessionSettings& s = fSession->Settings;
  QStringList on;
  if (!s.TransducerDepth.empty() && s.TransducerDepth != "0")
    on << QStringLiteral("transducer %1 cm").arg(Q(s.TransducerDepth));
  if (s.Despike) on << QStringLiteral("spikes removed");
  if (s.DepthFromElevation) on << QStringLiteral("depth from elevation");
  if (!s.LevelTable.empty()) on << QStringLiteral("gauge table");
  if (s.AutoLevel) on << QStringLiteral("levels estimated");
  if (s.ShoreDepth == "none") on << QStringLiteral("shoreline without depth");
  else if (s.ShoreDepth != "0") on << QStringLiteral("shoreline at %1 cm").arg(Q(s.ShoreDepth));
  if (s.KeepOutside) on << QStringLiteral("soundings outside kept");
  CorrectionsSummary->setText(on.isEmpty() ? QString() : on.join(QStringLiteral(", ")));
  CorrectionsSummary->setVisible(!on.isEmpty());
}

void TForm1::CheckAccuracyClick() {
  Run([this] { fSession->StartCheckAccuracy(); });
}

void TForm1::ExportClick() {
  if (!fSession || !fSession->CanStartCommand()) return;
  TExportDialog dialog(this, fExportChoice, fSession->Project().ContoursTraced());
  if (dialog.exec() != QDialog::Accepted) return;
  const TExportChoice choice = dialog.Choice();
  fExportChoice = dialog.Ticked();
  fSettings->SaveExportChoice(fExportChoice);
  Run([&] { fSession->StartExportMap(choice); });
}

// ---------------------------------------------------------------- ISO Contour, HT Contour

void TForm1::btnIsoMapClick() {
  Run([this] { fSession->RunIsoMap(); });
}
void TForm1::btnIsoSaveBMPClick() {
  Run([this] { fSession->SaveIsoImage(); });
}
void TForm1::btnIsoSaveGPXClick() {
  Run([this] { fSession->SaveIsoTracks(); });
}
void TForm1::btnCreateHTClick() {
  Run([this] { fSession->CreateHTFile(); });
}

void TForm1::btnHtFitClick() {
  Run([this] { fSession->HtFit(); });
}
void TForm1::btnHtZoomClick() {
  Run([this] { fSession->HtZoomArea(); });
}

// ---------------------------------------------------------------- colours, log, keys, drops

void TForm1::imgShallowColorClick() {
  Guarded([this] { fSession->ChooseShallowColor(); });
}

void TForm1::imgDeepColorClick() {
  Guarded([this] { fSession->ChooseDeepColor(); });
}

void TForm1::memDebugDblClick() { memDebug->clear(); }

void TForm1::FormKeyDown(int Key, Qt::KeyboardModifiers /*Shift*/) {
  if (Key != Qt::Key_F11) return;
  for (int index : {4, 5, 6}) PageControl1->setTabVisible(index, true);
  if (Actions.AdvancedTabs) Actions.AdvancedTabs->setChecked(true);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      // Every key press meant for this window passes here first.
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget && widget->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        FormKeyDown(key->key(), key->modifiers());
      }
      break;
    }
    case QEvent::MouseButtonPress:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if ((watched == imgShallowColor || watched == imgDeepColor) && !static_cast<QWidget*>(watched)->isEnabled())
          return true;
        if (watched == imgShallowColor) {
          imgShallowColorClick();
          return true;
        }
        if (watched == imgDeepColor) {
          imgDeepColorClick();
          return true;
        }
      }
      break;
    case QEvent::MouseButtonDblClick:
      if (watched == memDebug->viewport()) {
        memDebugDblClick();
        return true;
      }
      break;
    default: break;
  }
  return QMainWindow::eventFilter(watched, event);
}

namespace {

std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  return paths;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).empty() && fSession && fSession->CanStartCommand()) event->acceptProposedAction();
}

// Dropped files load as if they were chosen in "Add Files...".
void TForm1::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = LocalFiles(event->mimeData());
  if (paths.empty() || !fSession || !fSession->CanStartCommand()) return;
  event->acceptProposedAction();
  // A project dropped alone opens as File > Open Project... would.
  if (paths.size() == 1 && IsProjectFile(paths.front())) OpenProjectFile(paths.front());
  else LoadFiles(paths);
}

// ---------------------------------------------------------------- panes

void TForm1::ResizePane(TPane pane) {
  const TImagePane* image = pane == TPane::Tracks         ? GPXImage
                            : pane == TPane::Interpolated ? InterpolatedImage
                            : pane == TPane::IsoMap       ? IsoMap
                                                          : IsoImage;
  if (!fSession->WindowEnabled()) {
    fPaneSizesStale = true;
    return;
  }
  Guarded([&] { fSession->ResizePane(pane, image->width(), image->height()); });
  // The HT Contour page is laid out only once it is shown; until then its
  // map is as large as the Source Tracks map, whose page is built alike.
  if (pane == TPane::Tracks && !IsoImage->isVisible())
    Guarded([&] { fSession->ResizePane(TPane::HTTracks, image->width(), image->height()); });
}

void TForm1::pnlTracksResize() {
  PlaceAtRightEdge(lblTrkCoordinates, GPXImage);
  ShowStartText();
  if (fSession) ResizePane(TPane::Tracks);
}

void TForm1::pnlInterpolatedImageResize() {
  PlaceOverlays();
  if (fSession) ResizePane(TPane::Interpolated);
}

void TForm1::pnlIsoMapResize() {
  PlaceOverlays();
  if (fSession) ResizePane(TPane::IsoMap);
}

void TForm1::pnlHtTracksResize() {
  PlaceAtRightEdge(lblHTCoordinates, IsoImage);
  if (fSession) ResizePane(TPane::HTTracks);
}

void TForm1::PlaceAtRightEdge(QLabel* Label, const QWidget* Pane) {
  if (Label->text().isEmpty()) {
    Label->hide();
    return;
  }
  Label->adjustSize();
  Label->move(Pane->width() - Label->width(), 0);
  Label->show();
  if (Label == lblInterpolCoordinates) {
    // The depth under the mouse sits just left of its coordinates.
    lblInterpolDepth->adjustSize();
    lblInterpolDepth->move(Label->x() - lblInterpolDepth->width() - 2, 0);
    lblInterpolDepth->setVisible(!lblInterpolDepth->text().isEmpty());
  }
}

void TForm1::PlaceOverlays() {
  // The legends in the top-left corners.
  const int labelLeft = 4, stripLeft = 32;
  Label1->move(labelLeft, kLegendTop - 1);
  imgShallowColor->move(stripLeft, kLegendTop);
  // A small gap sets the two swatches, which take clicks, apart from the strip.
  imgColorRange1->move(imgShallowColor->geometry().right() + 3, kLegendTop);
  imgDeepColor->move(imgColorRange1->geometry().right() + 3, kLegendTop);
  lblMaxDepth2->adjustSize();
  lblMaxDepth2->move(imgDeepColor->geometry().right() + 4, kLegendTop - 1);
  for (auto [zero, strip, depth] : {std::tuple{Label6, imgColorRange2, lblMaxDepth3},
                                    std::tuple{Label10, imgColorRange3, lblMaxDepth4}}) {
    zero->move(labelLeft, kLegendTop - 1);
    strip->move(stripLeft, kLegendTop);
    depth->adjustSize();
    depth->move(strip->geometry().right() + 4, kLegendTop - 1);
  }
  // The progress bars along the bottom.
  for (QProgressBar* bar : {pbInterpolate, pbIsoMap}) {
    const QWidget* pane = bar->parentWidget();
    bar->setGeometry(0, pane->height() - bar->height(), pane->width(), bar->height());
  }
  PlaceAtRightEdge(lblInterpolCoordinates, InterpolatedImage);
  PlaceAtRightEdge(lblIsoCoordinates, IsoMap);
}

// ---------------------------------------------------------------- showing the session

QLabel* TForm1::LabelOf(TLabel label) const {
  switch (label) {
    case TLabel::HTState: return lblHTState;
    case TLabel::WritePoints: return lblWritePoints;
    case TLabel::NumIsoTracks: return lblNumIsoTracks;
    case TLabel::GeneratedPoints: return lblGeneratedPoints;
    case TLabel::TrkCoordinates: return lblTrkCoordinates;
    case TLabel::InterpolCoordinates: return lblInterpolCoordinates;
    case TLabel::IsoCoordinates: return lblIsoCoordinates;
    case TLabel::HTCoordinates: return lblHTCoordinates;
    case TLabel::InterpolDepth: return lblInterpolDepth;
  }
  return nullptr;
}

// The information labels of the Source Tracks map and the legends.
void TForm1::UpdateMapInfo() {
  const TMapInfo& info = fSession->Project().MapInfo();
  lblMaxDepth->setText(Q(info.MaxDepthText));
  lblMaxDepth1->setText(Q(info.MaxDepthText));
  lblMaxDepth2->setText(Q(info.SourceLegendText));
  lblMaxDepth3->setText(Q(info.LegendText));
  lblMaxDepth4->setText(Q(info.LegendText));
  lblMapSize->setText(Q(info.AreaText));
  lblMapSize1->setText(Q(info.AreaText));
  lblImageSize->setText(Q(info.ScreenSizeText));
  lblImageSize1->setText(Q(info.ScreenSizeText));
  lblResolution->setText(Q(info.ResolutionText));
  lblResolution1->setText(Q(info.ResolutionText));
  lblMaxDepth2->setVisible(!lblMaxDepth2->text().isEmpty());
  ShowLegends();
  PlaceOverlays();
}

// The swatches and the three legend strips in the present colours.
void TForm1::DrawColorRange() {
  imgShallowColor->setPixmap(Filled(kSwatchWidth, TSession::kLegendHeight, fSession->Project().clShallowWater()));
  imgDeepColor->setPixmap(Filled(kSwatchWidth, TSession::kLegendHeight, fSession->Project().clDeepWater()));
  for (QLabel* strip : {imgColorRange1, imgColorRange2, imgColorRange3})
    strip->setPixmap(QPixmap::fromImage(fSession->ColorRange(strip->width()).Image()));
}

void TForm1::ShowButtons() {
  const TButtonStates& b = fSession->Buttons();
  btnAddFiles->setEnabled(b.btnAddFiles);
  btnStartOver->setEnabled(b.btnStartOver);
  CorrectionsButton->setEnabled(b.btnAddFiles);
  // A disabled swatch is drawn greyed and takes no click.
  imgShallowColor->setEnabled(b.imgShallowColor);
  imgDeepColor->setEnabled(b.imgDeepColor);
  imgShallowColor->setCursor(b.imgShallowColor ? Qt::PointingHandCursor : Qt::ArrowCursor);
  imgDeepColor->setCursor(b.imgDeepColor ? Qt::PointingHandCursor : Qt::ArrowCursor);
  btnTrkZoomIn->setEnabled(b.btnTrkZoomIn);
  btnTrkZoomOut->setEnabled(b.btnTrkZoomOut);
  btnTrkFit->setEnabled(b.btnTrkFit);
  btnTrkZoom->setEnabled(b.btnTrkZoom);
  btnTrkSaveGPX->setEnabled(b.btnTrkSaveGPX);
  btnTrkDelete->setEnabled(b.btnTrkDelete);
  btnTrkSaveHT->setEnabled(b.btnTrkSaveHT);
  btnInterpolate->setEnabled(b.btnInterpolate);
  btnInterpolSaveBMP->setEnabled(b.btnInterpolSaveBMP);
  CheckAccuracyButton->setEnabled(b.btnCheckAccuracy);
  // An export needs a depth map and no run going, as "Save Image..." does.
  ExportMapButton->setEnabled(b.btnInterpolSaveBMP);
  ExportContoursButton->setEnabled(b.btnInterpolSaveBMP);
  btnIsoMap->setEnabled(b.btnIsoMap);
  btnIsoSaveBMP->setEnabled(b.btnIsoSaveBMP);
  btnIsoSaveGPX->setEnabled(b.btnIsoSaveGPX);
  SaveChartButton->setEnabled(b.btnIsoSaveChart);
  btnCreateHT->setEnabled(b.btnCreateHT);
  btnHtFit->setEnabled(b.btnHtFit);
  btnHtZoom->setEnabled(b.btnHtZoom);
  btnHtZoom->setChecked(b.btnHtZoomDown);
}

void TForm1::ShowBusy() {
  const bool busy = fSession->Busy();
  if (busy != fBusyCursor) {
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
    fBusyCursor = busy;
  }
  // The tabs and every control column; the maps keep their colours (the
  // session ignores the mouse on them meanwhile), so the legend and the
  // progress bar stay readable.
  const bool enabled = fSession->WindowEnabled();
  PageControl1->tabBar()->setEnabled(enabled);
  for (QWidget* column : fColumns) column->setEnabled(enabled);
}

void TForm1::ShowCursors() {
  auto shape = [](TPaneCursor cursor) {
    switch (cursor) {
      case TPaneCursor::Move: return Qt::SizeAllCursor;
      case TPaneCursor::Cross: return Qt::CrossCursor;
      case TPaneCursor::Default: break;
    }
    return Qt::ArrowCursor;
  };
  GPXImage->setCursor(shape(fSession->Cursor(TPane::Tracks)));
  IsoImage->setCursor(shape(fSession->Cursor(TPane::HTTracks)));
}

void TForm1::ShowLegends() {
  const bool interpolated = fSession->InterpolatedLegendVisible(), iso = fSession->IsoLegendVisible();
  Label6->setVisible(interpolated);
  imgColorRange2->setVisible(interpolated);
  lblMaxDepth3->setVisible(interpolated && !lblMaxDepth3->text().isEmpty());
  Label10->setVisible(iso);
  imgColorRange3->setVisible(iso);
  lblMaxDepth4->setVisible(iso && !lblMaxDepth4->text().isEmpty());
}

// An interpolation holds the window at its size until "Start over".
void TForm1::ShowWindowSize() {
  if (fSession->SizeFrozen()) {
    setFixedSize(size());
  } else {
    // Back to the tabs' own limit.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
}

// ---------------------------------------------------------------- TSessionDisplay

void TForm1::Log(const std::string& line) { memDebug->appendPlainText(Q(line)); }

void TForm1::ProcessEvents() { QCoreApplication::processEvents(); }

void TForm1::SetLabel(TLabel label, const std::string& text) {
  QLabel* control = LabelOf(label);
  if (!control) return;
  control->setText(Q(text));
  switch (label) {
    case TLabel::TrkCoordinates: PlaceAtRightEdge(control, GPXImage); break;
    case TLabel::InterpolCoordinates:
    case TLabel::InterpolDepth: PlaceAtRightEdge(lblInterpolCoordinates, InterpolatedImage); break;
    case TLabel::IsoCoordinates: PlaceAtRightEdge(control, IsoMap); break;
    case TLabel::HTCoordinates: PlaceAtRightEdge(control, IsoImage); break;
    default: break;
  }
}

void TForm1::SetProgress(TProgressBar bar, const TProgress& progress) {
  QProgressBar* control = bar == TProgressBar::Interpolate ? pbInterpolate : pbIsoMap;
  control->setMaximum(std::max(0, progress.Max));
  control->setValue(std::clamp(progress.Position, 0, std::max(0, progress.Max)));
  control->setVisible(progress.Visible);
  ShowRun();
}

void TForm1::Changed(TChange what) {
  if (!fSession) return;
  switch (what) {
    case TChange::Buttons:
      ShowButtons();
      ShowActions();
      break;
    case TChange::Busy:
      ShowBusy();
      ShowActions();
      break;
    case TChange::MapInfo:
      UpdateMapInfo();
      ShowStartText();
      break;
    case TChange::SourcePicture:
      ++fTracksPicture.Changes;
      GPXImage->update();
      break;
    case TChange::InterpolatedPicture: InterpolatedImage->update(); break;
    case TChange::IsoMapPicture: IsoMap->update(); break;
    case TChange::HTPicture:
      ++fHTPicture.Changes;
      IsoImage->update();
      break;
    case TChange::Settings:
      WriteControls();
      ShowCorrections();
      break;
    case TChange::Running: ShowRun(); break;
    case TChange::LastRun: ShowLastRun(); break;
    case TChange::ShoreLinePicture: ShoreLine->update(); break;
    case TChange::Colours: DrawColorRange(); break;
    case TChange::Cursors: ShowCursors(); break;
    case TChange::Legends: ShowLegends(); break;
    case TChange::WindowSize: ShowWindowSize(); break;
    case TChange::Workers: tbInterpolateThrds->SetSelEnd(fSession->ThreadsRunning()); break;
  }
}

// On a worker thread: one queued poll at a time is enough, it takes
// everything the workers posted until then.
void TForm1::WakeUp() {
  if (fPollPosted.exchange(true)) return;
  QMetaObject::invokeMethod(this, [this] { InterpolationThreadDone(); }, Qt::QueuedConnection);
}

}  // namespace sondralis
