// The map library builder's window "マップ画像の設定": the folder lists, the
// photograph table, the buttons and the recogniser's diagnostic grids. A thin
// form over MapDataSetting (builder/map_data_setting.h).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "builder/data_position_frm.h"
#include "help/help_frm.h"
#include "builder/map_data_setting.h"

class QAction;
class QMenu;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QTableWidget;
class QGroupBox;

namespace tessaro {
class FolderLists;
}

namespace tessaro::builder {

// A button with the builder's hover look: RGB(192,192,255) under the pointer,
// RGB(208,208,255) otherwise, text RGB(0,0,208).
class HoverButton : public QPushButton {
public:
    HoverButton(const QString& text, QWidget* parent);
    bool Emphasised() const { return emphasised_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetLook(bool hover);
    bool emphasised_ = false;
};

class MapDataSettingFrm : public QDialog {
    Q_OBJECT
public:
    // `resetMapData` is the main window's ResetMapData, called when the window
    // closes; `showMessage` shows a message box.
    MapDataSettingFrm(QWidget* owner, NavState& state, std::function<void()> resetMapData,
                      std::function<void(const QString&)> showMessage, const std::string& home);
    ~MapDataSettingFrm() override;

    MapDataSetting& Setting() { return setting_; }
    // Fills the table and the diagnostic grids from the setting.
    void ShowTable();
    void ShowDiagnostics();

    FolderLists* Lists() { return lists_.get(); }
    QTableWidget* MapFileGrid = nullptr;
    QTableWidget* UnderPicGrid = nullptr;
    QTableWidget* VPixecGrid = nullptr;
    QTableWidget* LonLatGrid = nullptr;
    QTableWidget* HeightGrid = nullptr;
    QTableWidget* BitMapGrid = nullptr;
    QTableWidget* StartWidthGrid = nullptr;
    HoverButton* OKCmd = nullptr;
    HoverButton* CancelCmd = nullptr;
    QPushButton* InitializeCmd = nullptr;
    QPushButton* SetLonLatAndHeightCmd = nullptr;
    HoverButton* SampleCmd = nullptr;
    HoverButton* DispDataPositionCmd = nullptr;
    QPushButton* HelpCmd = nullptr;
    QPushButton* GetChrCmd = nullptr;
    std::array<QRadioButton*, 5> SearchTypeOpt{};
    QLineEdit* PixelTxt = nullptr;
    QLineEdit* ColNumTxt = nullptr;
    QLineEdit* GetChrTxt = nullptr;
    QLineEdit* MatchRateTxt = nullptr;
    QLineEdit* MatchNumTxt = nullptr;
    QLineEdit* NonMatchNumTxt = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* ProgressMsgLbl = nullptr;
    QLabel* MissDataLbl = nullptr;

    // Manual correction: the three entry frames with their boxes, the focus
    // guards that keep Tab inside the latitude and longitude frames, the two
    // strip pictures and the grid's context menu.
    QGroupBox* SetLatDataFlm = nullptr;
    QGroupBox* SetLonDataFlm = nullptr;
    QGroupBox* HeightSetFlm = nullptr;
    QLineEdit* LatDegTxt = nullptr;
    QLineEdit* LatMinTxt = nullptr;
    QLineEdit* LatSecTxt = nullptr;
    QLineEdit* LonDegTxt = nullptr;
    QLineEdit* LonMinTxt = nullptr;
    QLineEdit* LonSecTxt = nullptr;
    QLineEdit* HeightTxt = nullptr;
    QPushButton* OK1Cmd = nullptr;
    QPushButton* OK2Cmd = nullptr;
    QPushButton* OK3Cmd = nullptr;
    std::array<QLineEdit*, 2> ForwordTxt{};   // latitude frame, longitude frame
    std::array<QLineEdit*, 2> BackwordTxt{};
    std::array<QLabel*, 3> EntryRefusedLbl{};  // one per frame
    QLabel* LonLatPicAreaPic = nullptr;
    QLabel* HeightPicAreaPic = nullptr;
    QLabel* ImageDataLbl = nullptr;
    QMenu* Edit2Menu = nullptr;
    QAction* DeleteDataMenu = nullptr;

    // Grid rows are counted from 1 (row 0 is the header row), as the table's
    // own numbers are.
    int SelRow = 0, SelCol = 0;
    int EditRow = 0, EditCol = 0;
    int PressButton = 0, PressRow = 0, PressCol = 0;

    // Hides the entry frames and the strips and takes the highlight away.
    void LeaveCorrection();
    // The colour of a cell of MapFileGrid (grid row from 1).
    QColor CellColour(int row, int column) const;
    // The pause after each photograph of a full read (0.3 s; tests use 0).
    void SetReadPause(double seconds) { readPause_ = seconds; }
    bool ReadRunning() const { return reading_; }
    DataPositionFrm* Viewer() const { return viewer_; }
    help::Help2Frm* Help() const { return help_; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class ReadView;
    void FolderChanged();
    void TellRefused();
    void ReadAll(bool process);
    void SetBusy(bool busy);
    void ShowColours();
    void BuildCorrectionFrames();
    void OpenCorrection(int gridRow, int column);
    void EnterPosition(int column);
    void EnterAltitude();
    void ShowViewer();

    MapDataSetting setting_;
    std::unique_ptr<FolderLists> lists_;
    std::function<void()> resetMapData_;
    std::function<void(const QString&)> showMessage_;
    bool closed_ = false;
    bool reading_ = false;
    bool closeRequested_ = false;  // the window was closed while a read ran
    double readPause_ = 0.3;
    // The cell that carries the correction highlight, 0 when none.
    int highlightRow_ = 0, highlightCol_ = 0;
    int menuRow_ = 0;  // the row Edit2Menu was opened for
    QPointer<DataPositionFrm> viewer_;
    QPointer<help::Help2Frm> help_;
};

}  // namespace tessaro::builder
