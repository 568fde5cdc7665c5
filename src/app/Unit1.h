// Unit1 (the name of the original design's unit): TForm1, the main window.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>

#include "session/FrontEnd.h"
#include "session/Session.h"

class QCheckBox;
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
  explicit TForm1(QWidget* parent = nullptr, TSessionQuestions* Dialogs = nullptr, int CPUCount = 0);
  ~TForm1() override;

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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
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

  // ---- running commands
  // Runs a session command with the controls read into the settings first;
  // an error that escapes it is shown and the window goes on.
  void Run(const std::function<void()>& command);
  void Guarded(const std::function<void()>& command);
  void ReadControls();
  void InterpolationThreadDone();
  void TabSheet2Show();
  void TabSheet6Show();
  void tbInterpolateThrdsChange();
  void tbInterpolatorStyleChange();
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

  std::unique_ptr<TWindowDialogs> fOwnDialogs;
  TSessionQuestions* fDialogs = nullptr;
  std::unique_ptr<TSession> fSession;
  std::vector<QWidget*> fColumns;  // the control columns of the four working tabs (TabSheet1 .. 4)
  bool fBusyCursor = false;
  bool fPaneSizesStale = false;
  std::atomic<bool> fPollPosted{false};

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

  // ISO Contour
  QPushButton *btnIsoSaveBMP = nullptr, *btnIsoSaveGPX = nullptr, *btnIsoMap = nullptr;
  QLineEdit* edtIsoStep = nullptr;
  QWidget* pnlIsoMap = nullptr;
  TImagePane* IsoMap = nullptr;
  QLabel *lblIsoCoordinates = nullptr, *imgColorRange3 = nullptr, *lblMaxDepth4 = nullptr;
  QLabel* Label10 = nullptr;  // "0 m" at the shallow end of the ISO Contour legend
  QProgressBar* pbIsoMap = nullptr;

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
};

}  // namespace sondralis
