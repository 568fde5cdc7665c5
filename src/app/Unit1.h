// Unit1 (the name of the original design's unit): TForm1, the main window.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QMainWindow>
#include <QStringList>

#include "session/FrontEnd.h"
#include "session/Session.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QMenu;
class QSettings;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QVBoxLayout;

namespace sondralis {

class TImagePane;
class TTrackBar;
class TWindowDialogs;
class TWindowSettings;

// The items of the menu bar. Each runs the same handler as the button of
// its name and is enabled when that button is; the View items act on the
// map of the tab shown (HT Contour, else Source Tracks).
struct TMenuActions {
  // File
  QAction *AddFiles = nullptr, *Corrections = nullptr, *OpenProject = nullptr, *SaveProject = nullptr, *SaveTracks = nullptr,
          *SaveAsHT = nullptr, *ExportDepthImage = nullptr, *ExportContourImage = nullptr,
          *ExportContourTracks = nullptr, *ExportChart = nullptr, *ExportHT = nullptr, *ExportMap = nullptr, *StartOver = nullptr,
          *Quit = nullptr;
  // View
  QAction *Fit = nullptr, *ZoomIn = nullptr, *ZoomOut = nullptr, *ZoomArea = nullptr, *AdvancedTabs = nullptr;
  // Map
  QAction *Interpolate = nullptr, *CheckAccuracy = nullptr, *IsoMap = nullptr, *CreateHT = nullptr,
          *Cancel = nullptr;
  // Help
  QAction *HowTo = nullptr, *About = nullptr, *ResetSettings = nullptr;
};

// TForm1 (in Unit1, the names of the original design): the main window,
// seven tabs of controls and map panes over one session. Every handler
// reads the controls into the session's settings, calls one session command
// and leaves the showing of the result to the session's notifications,
// which arrive through this window's TSessionDisplay side: labels, progress
// bars, log lines and the parts of the state that changed.
//
// The session asks its questions of the dialogs: Qt dialogs
// (TWindowDialogs), or the scripted replies of a test. The window never
// waits for an interpolation worker: the workers wake it with a queued call
// that polls the session.
class TForm1 : public QMainWindow, private TSessionDisplay {
 public:
  // Dialogs null: Qt dialogs. CPUCount 0: the processors of the machine.
  // Settings: the store of what the window keeps between runs (its size,
  // the fields, the colours, the dialogs' folders, the recent files); null
  // keeps nothing and starts with the defaults.
  explicit TForm1(QWidget* parent = nullptr, TSessionQuestions* Dialogs = nullptr, int CPUCount = 0,
                  QSettings* Settings = nullptr);
  ~TForm1() override;

  // Puts the window where it was when it closed last, else at its start
  // size in the middle of the screen.
  void PlaceOnScreen();

  TSession& Session() { return *fSession; }
  const TSession& Session() const { return *fSession; }
  // The user can operate the window (no load or interpolation holds it).
  bool Operable() const;

  // The commands, as the controls run them.
  void btnAddFilesClick();
  void btnTrkSaveGPXClick();
  void btnTrkFitClick();
  void btnTrkZoomClick();
  void btnTrkZoomInClick();
  void btnTrkZoomOutClick();
  void btnTrkDeleteClick();
  void btnTrkSaveHTClick();
  void btnStartOverClick();
  void btnApplyInterpolationRadiusClick();
  void btnInterpolateClick();
  void btnInterpolSaveBMPClick();
  void btnIsoMapClick();
  void btnIsoSaveBMPClick();
  void btnIsoSaveGPXClick();
  void btnCreateHTClick();
  void btnHtFitClick();
  void btnHtZoomClick();
  void imgShallowColorClick();
  void imgDeepColorClick();
  void memDebugDblClick();
  // F11, with any modifier keys, shows the ShoreLine, Debug and About tabs.
  void FormKeyDown(int Key, Qt::KeyboardModifiers Shift);
  // Loads files as "Add Files..." does after its dialog (dropped files too).
  void LoadFiles(const std::vector<std::string>& Paths);

  // The commands of the menus that have no button.
  void OpenProjectClick();
  void OpenProjectFile(const std::string& Path);
  void SaveProjectClick();
  // Loads the file set at Index of File > Open Recent (a project file is
  // opened as one).
  void OpenRecent(int Index);
  // "Cancel" in the status bar, Map > Cancel and Esc: stops the long run.
  void CancelClick();
  void ResetSettingsClick();
  // "Save Chart..." of the ISO Contour tab and File > Export.
  void SaveChartClick();
  // "Corrections..." of the Source Tracks tab and the File menu.
  void CorrectionsClick();
  // "Check accuracy" on the Interpolated Map tab and in the Map menu.
  void CheckAccuracyClick();
  // "Export..." of the Interpolated Map and ISO Contour tabs and File >
  // Export > Map for Other Programs...: the choices in a dialog (kept
  // between runs), then the session's export into a folder.
  void ExportClick();
  void HowToClick();
  void AboutClick();
  // "Open the example": loads the example lake as "Add Files..." would.
  void OpenExample();
  // The folder of the example lake, empty when the program has none.
  const QString& ExampleFolder() const { return fExampleFolder; }
  // The file sets of Open Recent, newest first.
  std::vector<QStringList> RecentSets() const;
  // Writes what the window keeps to its store (also when it closes).
  void StoreSettings();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // ---- TSessionDisplay: what the session tells the window
  void Log(const std::string& line) override;
  void ProcessEvents() override;
  void SetLabel(TLabel label, const std::string& text) override;
  void SetProgress(TProgressBar bar, const TProgress& progress) override;
  void Changed(TChange what) override;
  void WakeUp() override;


  // ---- building the window
  void CreateSourceTracksTab();
  void CreateInterpolatedMapTab();
  void CreateIsoContourTab();
  void CreateHTContourTab();
  void CreateShoreLineTab();
  void CreateDebugTab();
  void CreateAboutTab();
  QWidget* NewPage(const QString& Name, const QString& Caption, QVBoxLayout*& Column, QWidget*& Panel,
                   TImagePane*& Image, const QString& PanelName, const QString& ImageName);
  QPushButton* NewButton(QVBoxLayout* Column, const char* Name, const QString& Caption, const QString& Hint = {});
  QLabel* NewLabel(QWidget* Parent, const char* Name, const QString& Text = {});
  QLabel* NewOverlay(QWidget* Parent, const char* Name, const QString& Text = {});
  QLineEdit* NewEdit(const char* Name, const QString& Text, int MaxLength, bool DigitsOnly, const QString& Hint = {});
  QLabel* NewStrip(QWidget* Parent, const char* Name, int Width, int Height);
  QProgressBar* NewProgressBar(QWidget* Parent, const char* Name);
  void ConnectPanes();
  // The menu bar, the status bar and the text over the empty map.
  void CreateMenus();
  void CreateStatusBar();
  void CreateStartText();

  // ---- running commands
  // Runs a session command with the controls read into the settings first;
  // an error that escapes it is shown and the window goes on.
  void Run(const std::function<void()>& command);
  void Guarded(const std::function<void()>& command);
  // Runs a command that may load files; the files it loaded become a set of
  // Open Recent.
  void RunLoading(const std::function<void()>& command);
  void ReadControls();
  // The fields show the session's settings.
  void WriteControls();
  void RestoreSettings();
  void ShowRecent();
  // The tab whose map the View menu acts on.
  bool HTMapShown() const;
  // The window's size at the start: the tabs at their start size with the
  // menu bar and the status bar around them.
  QSize StartSize() const;
  void InterpolationThreadDone();
  void TabSheet2Show();
  void TabSheet6Show();
  void tbInterpolateThrdsChange();
  void tbInterpolatorStyleChange();
  // The method chosen; the style slider applies to Shepard's alone.
  void MethodChoiceChange();
  void ResizePane(TPane pane);
  void pnlTracksResize();
  void pnlInterpolatedImageResize();
  void pnlIsoMapResize();
  void pnlHtTracksResize();

  // ---- showing the session
  void UpdateMapInfo();
  void DrawColorRange();
  void ShowButtons();
  // The wait cursor, and everything the user can operate enabled or not.
  void ShowBusy();
  void ShowCursors();
  void ShowLegends();
  void ShowWindowSize();
  QLabel* LabelOf(TLabel label) const;
  // Keeps a coordinate label's right end at the right edge of its pane.
  void PlaceAtRightEdge(QLabel* Label, const QWidget* Pane);
  void PlaceOverlays();
  // The menu items enabled as their buttons are.
  void ShowActions();
  // The long run in the status bar: what it does, its progress, Cancel.
  void ShowRun();
  void ShowLastRun();
  // The status bar's position and depth under the mouse on a pane.
  void ShowReadout(TPane pane, int X, int Y);
  void ShowStartText();
  void ShowCorrections();
  // The Source Tracks or HT Contour map drawn at the screen's device
  // pixels, or null to show the map's own picture.
  const QImage* DevicePicture(TPane pane, qreal Ratio);

  std::unique_ptr<TWindowSettings> fSettings;
  std::unique_ptr<TWindowDialogs> fOwnDialogs;
  TSessionQuestions* fDialogs = nullptr;
  std::unique_ptr<TSession> fSession;
  std::vector<QWidget*> fColumns;  // the control columns of the four working tabs (TabSheet1 .. 4)
  bool fBusyCursor = false;
  bool fPaneSizesStale = false;
  std::atomic<bool> fPollPosted{false};
  QString fExampleFolder;
  // The menu items that follow a button, with that button.
  std::vector<std::pair<QAction*, QWidget*>> fFollowers;
  // The maps at device pixels, redrawn when their map changed.
  struct TDevicePicture {
    TCanvas Canvas;
    QImage Image;
    unsigned Drawn = 0;    // the map's change count it shows
    unsigned Changes = 1;  // the map's change count
    qreal Ratio = 0;
  };
  TDevicePicture fTracksPicture, fHTPicture;
  // The choices of the last export, offered again.
  TExportChoice fExportChoice;

 public:
  // The controls, by the names of the original design: a prefix for the
  // kind of control (btn button, lbl label, edt edit box, cb check box, tb
  // slider, pb progress bar, pnl panel, img image) and the numbered names
  // the form designer gave the rest.
  QTabWidget* PageControl1 = nullptr;  // the tabs
  QWidget* TabSheet1 = nullptr;  // tab "Source Tracks"
  QWidget* TabSheet2 = nullptr;  // tab "Interpolated Map"
  QWidget* TabSheet3 = nullptr;  // tab "ISO Contour"
  QWidget* TabSheet4 = nullptr;  // tab "HT Contour"
  QWidget* TabSheet5 = nullptr;  // tab "Debug" (hidden until F11)
  QWidget* TabSheet6 = nullptr;  // tab "ShoreLine" (hidden until F11)
  QWidget* TabSheet7 = nullptr;  // tab "About"

  // Source Tracks
  QPushButton *btnAddFiles = nullptr, *btnTrkZoomIn = nullptr, *btnTrkZoomOut = nullptr, *btnTrkFit = nullptr,
              *btnTrkZoom = nullptr, *btnTrkSaveGPX = nullptr, *btnTrkDelete = nullptr, *btnTrkSaveHT = nullptr,
              *btnStartOver = nullptr;
  QCheckBox *cbAddDepth = nullptr, *cbAddOffset = nullptr;
  QLabel *lblMaxDepth = nullptr, *lblMapSize = nullptr, *lblImageSize = nullptr, *lblResolution = nullptr;
  QWidget* pnlTracks = nullptr;
  TImagePane* GPXImage = nullptr;
  QLabel *lblTrkCoordinates = nullptr, *imgShallowColor = nullptr, *imgColorRange1 = nullptr,
         *imgDeepColor = nullptr, *lblMaxDepth2 = nullptr;
  QLabel* Label1 = nullptr;  // "0 m" at the shallow end of the Source Tracks legend
  // Added below "Start over": the corrections of the next files, and what
  // they are now.
  QPushButton* CorrectionsButton = nullptr;
  QLabel* CorrectionsSummary = nullptr;

  // Interpolated Map
  QPushButton *btnInterpolSaveBMP = nullptr, *btnInterpolate = nullptr, *btnApplyInterpolationRadius = nullptr;
  QLabel *lblInterpolateThrds = nullptr, *lblInterpolateStyle = nullptr;
  TTrackBar *tbInterpolateThrds = nullptr, *tbInterpolatorStyle = nullptr;
  QLineEdit* edtInterpolationWidth = nullptr;
  QLabel *lblMapSize1 = nullptr, *lblMaxDepth1 = nullptr, *lblImageSize1 = nullptr, *lblResolution1 = nullptr;
  QWidget* pnlInterpolatedImage = nullptr;
  TImagePane* InterpolatedImage = nullptr;
  QLabel *lblInterpolCoordinates = nullptr, *lblInterpolDepth = nullptr, *imgColorRange2 = nullptr,
         *lblMaxDepth3 = nullptr;
  QLabel* Label6 = nullptr;  // "0 m" at the shallow end of the Interpolated Map legend
  QProgressBar* pbInterpolate = nullptr;
  // Added below the style slider: the method of the run (the slider applies
  // to Shepard's only) and the hold-out check of both methods.
  QLabel* MethodLabel = nullptr;
  QComboBox* MethodChoice = nullptr;
  QPushButton* CheckAccuracyButton = nullptr;
  QPushButton* ExportMapButton = nullptr;  // "Export...", also below "ISO Map" as ExportContoursButton

  // ISO Contour
  QPushButton *btnIsoSaveBMP = nullptr, *btnIsoSaveGPX = nullptr, *btnIsoMap = nullptr;
  QLineEdit* edtIsoStep = nullptr;
  QWidget* pnlIsoMap = nullptr;
  TImagePane* IsoMap = nullptr;
  QLabel *lblIsoCoordinates = nullptr, *imgColorRange3 = nullptr, *lblMaxDepth4 = nullptr;
  QLabel* Label10 = nullptr;  // "0 m" at the shallow end of the ISO Contour legend
  QProgressBar* pbIsoMap = nullptr;
  // Added below "ISO Map": contours like a chart (the tracer, the ring
  // limit, smoothing, labels), the chart picture, and the export.
  QComboBox* TracerChoice = nullptr;  // by the method, pixel, chart
  QLineEdit* RingLimit = nullptr;     // pixels; empty: the tracer's default
  QCheckBox *SmoothContours = nullptr, *ContourLabels = nullptr, *ChartTracks = nullptr;
  QPushButton* SaveChartButton = nullptr;
  QPushButton* ExportContoursButton = nullptr;

  // HT Contour
  QLineEdit* edtTrackName = nullptr;
  QCheckBox* cbReduceWaypoints = nullptr;
  QPushButton *btnCreateHT = nullptr, *btnHtFit = nullptr, *btnHtZoom = nullptr;
  QLabel *lblHTState = nullptr, *lblWritePoints = nullptr, *lblGeneratedPoints = nullptr,
         *lblNumIsoTracks = nullptr;
  QWidget* pnlHtTracks = nullptr;
  TImagePane* IsoImage = nullptr;
  QLabel* lblHTCoordinates = nullptr;

  // ShoreLine, Debug, About
  TImagePane* ShoreLine = nullptr;
  QPlainTextEdit* memDebug = nullptr;
  QTextBrowser* memAbout = nullptr;

  // Around the tabs: the menu bar, the status bar (position and depth under
  // the mouse, the last run, a long run's progress with its Cancel), the
  // text over the empty Source Tracks map, and the "How to map a lake" page.
  TMenuActions Actions;
  QMenu* RecentMenu = nullptr;
  QLabel *PositionReadout = nullptr, *DepthReadout = nullptr, *LastRunLabel = nullptr, *RunLabel = nullptr;
  QProgressBar* RunProgress = nullptr;
  QPushButton* CancelButton = nullptr;
  QLabel* StartText = nullptr;
  QDialog* HowToPage = nullptr;
};

}  // namespace sondralis
