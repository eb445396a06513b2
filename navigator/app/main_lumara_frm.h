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

#include "gps/gga_decoder.h"
#include "mapview/map_view.h"
#include "overlays/base_pic.h"
#include "overlays/overlay_drawing.h"
#include "shell/run_state.h"

namespace tessaro::app {

class MainLumaraFrm : public QMainWindow,
                      public mapview::PictureSlots,
                      public gps::GpsWindow,
                      public gps::MapSelection,
                      public gps::OverlayDrawing {
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
    void RedrawRecordOverlays();

    // The activation handler: the first call chooses and loads the
    // photographs around the view centre and draws everything; later calls
    // do nothing.
    void Activate();

    // Button handlers of the view.
    void ZoomUpDownCmd_Click(int index);
    void MoveImgCmd_Click(int index);

    // What ends the program after closing (replaced by tests).
    std::function<void()> EndProgram;
    // The pauses of the redraws (WaitSeconds unless replaced).
    void SetWait(std::function<void(double)> wait) { overlay_.wait = std::move(wait); }

    // Stopped / running look of the tracking button.
    void SetStartGPSLook(bool running);

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

    // --- mapview::PictureSlots ---
    bool LoadPicture(int slot, const std::string& path) override;
    void SendToBack(int slot) override;
    void BringToFront(int slot) override;
    void SetPlacement(int slot, double left, double top, double width, double height) override;
    void SetVisible(int slot, bool visible) override;

    // --- gps::GpsWindow ---
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
    int PictureLoads() const { return pictureLoads_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildControls();
    void BuildMenus();
    void Load();
    void EndRecordGGAMenu_Click();
    void EndRecordDataMenu_Click();

    NavState& state_;
    overlays::MapIndexFootprints footprints_;
    overlays::OverlayContext overlay_;
    int pictureLoads_ = 0;
    bool activating_ = false;
};

// A modal message with an OK button and no icon.
void ShowMessage(QWidget* parent, const QString& text);

}  // namespace tessaro::app
