// MainLumaraFrm: the navigator's main window, "GPSマップ". It holds the
// picture area BasePic with the photographs and overlays, the GPS status
// labels, the buttons of the tools and the menu bar; it runs the start-up
// sequence, the first activation and the closing of the program, and offers
// the public operations that other windows call (ResetMapData,
// LoadMapDataToGrid, ShowAllData, WaitShowAllData).
//
// The window works on a NavState it does not own; the handlers of controls
// whose tools are built elsewhere (live tracking, recording, GGA logs,
// pointer tools, stored points, the builder, help) are connected by those
// tools.
#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <functional>
#include <string>

#include "app/gps_com.h"
#include "gps/gga_decoder.h"
#include "gps/gps_setting_frm.h"
#include "gps/gps_setting_session.h"
#include "gps/live_tracking.h"
#include "mapview/map_view.h"
#include "overlays/base_pic.h"
#include "overlays/base_pic_slots.h"
#include "overlays/overlay_drawing.h"
#include "overlays/position_mark.h"
#include "pointer/pointer_tools.h"
#include "points/set_point_frm.h"
#include "recording/record_files.h"
#include "recording/recording_session.h"
#include "state/nav_state.h"

#include <QPointer>
#include <memory>
#include <vector>

namespace tessaro::gps {
class DataLoadFrm;
}  // namespace tessaro::gps

namespace tessaro::builder {
class MapDataSettingFrm;
class DataPositionFrm;
}  // namespace tessaro::builder

namespace tessaro::recording {
class CheckMKPointFrm;
class ShowRecordDataFileFrm;
class RecordStartFrm;
class RecordStopFrm;
}  // namespace tessaro::recording

namespace tessaro::help {
class Help1Frm;
}  // namespace tessaro::help

namespace tessaro::app {

// The window keeps its layout and the wiring of its controls; live tracking
// (gps::LiveTracking), the recording (recording::RecordingSession), the
// photograph slots and the position mark (overlays) do the work.
class MainLumaraFrm : public QMainWindow,
                      public gps::GpsWindow,
                      public gps::MapSelection,
                      public gps::OverlayDrawing,
                      public gps::RecordLineSink,
                      public gps::TrackingView,
                      public pointer::PointerWindow {
    Q_OBJECT
public:
    // Builds the window and runs its load sequence with `programFolder` as
    // ProgramFolder.
    MainLumaraFrm(NavState& state, std::string programFolder, QWidget* parent = nullptr);
    ~MainLumaraFrm() override;

    NavState& State() { return state_; }

    // --- public operations ---
    void ShowAllData() override;
    void WaitShowAllData();
    void LoadMapDataToGrid();
    void ResetMapData();
    void DrawTrailPoint(double px, double py) override;
    void RedrawRecordOverlays() override;
    // Marks one stored point: its coordinates into the boxes, the marker on
    // it (the name is not shown).
    void SetPointData(const std::string& name, double easting, double northing);

    // The activation handler: the first call chooses and loads the
    // photographs around the view centre and draws everything; later calls
    // do nothing.
    void Activate();

    // Button handlers of the view.
    void ZoomUpDownCmd_Click(int index);
    void MoveImgCmd_Click(int index);
    // Navigation on the picture: wheel notches zoom like the zoom buttons
    // (away from the user: in); a drag by (dx, dy) picture units pans with
    // the redraw of the pan buttons. The arrow keys and + / - act like the
    // pan and zoom buttons.
    void BasePic_WheelSteps(int steps);
    void BasePic_Dragged(double dx, double dy);

    // What ends the program after closing (replaced by tests).
    std::function<void()> EndProgram;
    // The pauses of the redraws (WaitSeconds unless replaced).
    void SetWait(std::function<void(double)> wait) { overlay_.wait = std::move(wait); }

    // Stopped / running look of the tracking button.
    void SetStartGPSLook(bool running);

    // --- live tracking ---
    // The control instance GPSCom (null when the control could not be
    // loaded: the tracking button then tells why and stays stopped).
    // The window loads the real control when it is built; tests replace it
    // (a null port with the loader's error stands for a failed load).
    std::unique_ptr<GpsComPort> GPSCom;
    void SetGpsCom(std::unique_ptr<GpsComPort> port, std::string loadError = {});
    // The file that holds GPSCom's design-time properties.
    static std::string GpsComBagFile(const std::string& programFolder);
    void StartGPSCmd_Click();
    void ClearGPSDataCmd_Click();
    void GPSCom_OnComm();
    // Hands one received line to the decoder when it is a GGA sentence.
    void HandleReceivedLine(const std::string& line);
    // Whether a fix of the current tracking run is known: the position mark
    // shows only then, at that fix.
    bool FixKnown() const { return tracking_.FixKnown(); }
    void SettingGPSMenu_Click();
    void DownloadMapSettingMenu_Click();
    QPointer<builder::MapDataSettingFrm> MapDataSettingFrm;
    QPointer<help::Help1Frm> Help1Frm;
    // The position relation viewer of the loaded map index ("表示画像").
    QPointer<builder::DataPositionFrm> DataPositionFrm;

    // --- GGA log ---
    // "読込み表示(&G)": opens the log window (once; again it comes to the front).
    void LoadGPGGAData2Menu_Click();
    QPointer<gps::DataLoadFrm> DataLoadFrm;
    // Run by DispGGATmr one second after a load: draws the loaded log.
    void ShowGPGGAData();
    // Loads and shows GGA logs at once, as the log window's OK and its
    // timer would (the program's --log).
    void LoadGGALogs(const std::vector<std::string>& paths);

    // --- review ---
    // "記録データ(&R)" > "読込み表示(&D)": the record file list (once).
    void DispRecordDataMenu_Click();
    QPointer<recording::ShowRecordDataFileFrm> ShowRecordDataFileFrm;
    // The mark-point list follows ShowMKPointRbn: open while it is pressed.
    QPointer<recording::CheckMKPointFrm> CheckMKPointFrm;
    void ShowMKPointRbn_Toggled(bool pressed);

    // The GPS settings dialog while it is open, and where it looks for
    // serial devices (tests use a private folder).
    QPointer<gps::GPSSettingFrm> GPSSettingFrm;
    gps::DeviceRoots SerialDeviceRoots;
    // Called after each decoded GGA sentence (the latency benchmark and the
    // demo listen here).
    std::function<void(const gps::PositionFix&)> onFixDecoded;

    // --- pointer tools ---
    // The tool buttons (pressed or released; pressing one releases the
    // other), the mouse on the picture area and its photographs (x, y in
    // picture units, `photoSlot` -1 for the bare area), the position buttons.
    void ClickPicRbn_Toggled(bool pressed);
    void DispXYRbn_Toggled(bool pressed);
    void BasePic_MouseDown(Qt::MouseButton button, double x, double y, int photoSlot);
    void BasePic_MouseMove(double x, double y, int photoSlot);
    void ShowLonLatPointCmd_Click(int index);
    // "ポイント": the point window (opened once; a second press brings it
    // to the front).
    void OpenFileCmd_Click();
    QPointer<points::SetPointFrm> SetPointFrm;

    // --- recording ---
    void StartRecordCmd_Click();
    void RecordSTSHdLbl_Click();
    // The blink phase of the indicator: lit, or blank (still there and
    // clickable, drawn without background and text).
    bool RecordIndicatorLit() const { return recordIndicatorLit_; }
    // The clock used for day folders and record headers (tests fix it).
    std::function<recording::LocalDateTime()> Clock;
    QPointer<recording::RecordStartFrm> RecordStartFrm;
    QPointer<recording::RecordStopFrm> RecordStopFrm;
    const std::string& RecordFileName() const { return recording_.FileName(); }
    const std::string& RecordFolder() const { return recording_.Folder(); }
    void WriteRecordLine(const std::string& line) override;

    // Modal messages of this window (OK button, no icon). When set, this is
    // called instead and nothing blocks (tests, the demo's automation).
    std::function<void(const QString&)> onMessage;
    void Message(const QString& text);

    // --- controls (names as the other windows know them) ---
    overlays::BasePic* BasePic = nullptr;
    QLabel* GPSHd1Lbl = nullptr;
    QLabel* GPSHd2Lbl = nullptr;
    QLabel* GPSTimeLbl = nullptr;
    QLabel* GPSSaetNumLbl = nullptr;
    QLabel* DispPublicXlbl = nullptr;
    QLabel* DispPublicYlbl = nullptr;
    QLabel* GPSStatusLbl = nullptr;
    QPushButton* StartGPSCmd = nullptr;
    QPushButton* ClearGPSDataCmd = nullptr;
    QPushButton* StartRecordCmd = nullptr;
    QLabel* RecordSTSHdLbl = nullptr;
    QLabel* RecordIntervalLbl = nullptr;
    QLabel* RecordFileNameLbl = nullptr;
    QLabel* CheckNumLbl = nullptr;
    QLabel* NameFileLbl = nullptr;
    QLabel* RecordDataNameLbl = nullptr;
    QLabel* RecordTxtNameLbl = nullptr;
    QLabel* GPGGAFileLbl = nullptr;
    std::array<QPushButton*, 2> ZoomUpDownCmd{};
    std::array<QPushButton*, 4> MoveImgCmd{};
    QPushButton* MapImageRbn = nullptr;
    QPushButton* ShowMKPointRbn = nullptr;
    QPushButton* OpenFileCmd = nullptr;
    QPushButton* DispXYRbn = nullptr;
    QPushButton* ClickPicRbn = nullptr;
    QLabel* MeasDistHdLbl = nullptr;
    QLabel* MeasDistLbl = nullptr;
    QLabel* PublicXLbl = nullptr;
    QLineEdit* MapXTxt = nullptr;
    QLineEdit* MapYTxt = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* LatDTxt = nullptr;
    QLineEdit* LatMTxt = nullptr;
    QLineEdit* LatSTxt = nullptr;
    QLineEdit* LonDTxt = nullptr;
    QLineEdit* LonMTxt = nullptr;
    QLineEdit* LonSTxt = nullptr;
    std::array<QPushButton*, 2> ShowLonLatPointCmd{};
    QTimer* DispGGATmr = nullptr;

    // --- menus ---
    QMenu* FileMenu = nullptr;
    QMenu* FileOpenMenu = nullptr;
    QAction* LoadGPGGAData2Menu = nullptr;
    QAction* EndRecordGGAMenu = nullptr;
    QMenu* DispRecordFileListMenu = nullptr;
    QAction* DispRecordDataMenu = nullptr;
    QAction* EndRecordDataMenu = nullptr;
    QAction* SettingGPSMenu = nullptr;
    QAction* DownloadMapSettingMenu = nullptr;
    QAction* HelpMenu = nullptr;
    QAction* EndThisProgramMenu = nullptr;

    // --- gps::GpsWindow ---
    void ClosePort() override;
    void OpenPort() override;
    void ShowZoneChangeMessage(const std::string& text) override;
    void SetLabel(gps::FixLabel label, const std::string& text) override;
    void SetRecordIndicatorVisible(bool visible) override;
    void HidePositionMark() override;
    void PlacePositionMark(double left, double top) override;
    void BringPositionMarkToFront() override;
    void ShowPositionMark() override;

    // --- gps::MapSelection ---
    int SelectNearestMap() override;
    int CheckMapQuadrant() override;
    void LoadMapImages() override;

    // Number of picture loads asked of the slots so far.
    int PictureLoads() const { return slots_.Loads(); }

    // --- gps::TrackingView ---
    void ShowRunning(bool running) override { SetStartGPSLook(running); }
    void NoPort() override;
    void PortOpenRefused(int portNo, const gps::ComError& why) override;
    void ShowReceiverState(const std::string& text) override;

    // --- pointer::PointerWindow ---
    void SetMeasureText(const std::string& text) override;
    void SetCoordinateBoxes(const std::string& easting, const std::string& northing) override;
    void SetDegreeBoxes(const pointer::DmsTexts& lat, const pointer::DmsTexts& lon) override;
    void SetPositionButtonsEnabled(bool enabled) override;
    void UseMeasuringPointer(bool on) override;
    void RedrawAll() override { ShowAllData(); }
    void CentreViewOn(double easting, double northing) override;
    void Message(const std::string& text) override { Message(QString::fromStdString(text)); }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // The guard of the two settings menus: shows why and returns true while a
    // recording or live tracking runs.
    bool RefuseWhileRecordingOrTracking();
    void BuildControls();
    void BuildViewNavigation();
    void BuildMenus();
    void Load();
    void EndRecordGGAMenu_Click();
    void EndRecordDataMenu_Click();
    bool RecordStartOk();
    void RecordStartCancel();
    void RecordStopOk();
    void SetRecordIndicatorLook(bool writing);
    void ApplyRecordIndicatorLook();
    // Puts the window's frame (title bar included) at the top left corner of
    // its screen's available area.
    void PlaceFrameAtScreenCorner();
    // The position mark at the picture position of the last fix.
    void PlacePositionMarkAtFix();
    bool GPSSettingOk();
    // After the zone changed: what is kept in the old zone's metres moves to
    // the new zone or is dropped, and the map index is loaded in the new one.
    void ZoneChanged(const geodesy::CurrentZone& oldZone);
    // A pan: the position mark hidden, the view moved by `move`, the full
    // redraw, the mark shown again.
    void RedrawMoved(const std::function<void()>& move);

    NavState& state_;
    overlays::MapIndexFootprints footprints_;
    overlays::OverlayContext overlay_;
    overlays::BasePicSlots slots_;
    overlays::PositionMark mark_;
    bool activating_ = false;

    bool framePlaced_ = false;
    std::string gpsComError_;  // why GPSCom could not be loaded
    bool recordWriting_ = true;
    bool recordIndicatorLit_ = true;

    gps::LiveTracking tracking_;
    recording::RecordingSession recording_;
    pointer::PointerTools pointer_;
    std::unique_ptr<gps::GPSSettingSession> gpsSetting_;
};

// A modal message with an OK button and no icon.
void ShowMessage(QWidget* parent, const QString& text);

}  // namespace tessaro::app
