// The map library builder's window "マップ画像の設定": the folder lists, the
// photograph table, the buttons and the recogniser's diagnostic grids. A thin
// form over MapDataSetting (builder/map_data_setting.h).
#pragma once

#include <QDialog>
#include <QPushButton>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "builder/map_data_setting.h"

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

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FolderChanged();
    void TellRefused();
    void ReadAll(bool process);

    MapDataSetting setting_;
    std::unique_ptr<FolderLists> lists_;
    std::function<void()> resetMapData_;
    std::function<void(const QString&)> showMessage_;
    bool closed_ = false;
};

}  // namespace tessaro::builder
