// The window "GPSデータの読込み": places, folders and log files to choose
// from, the chosen files, OK, Cancel and the sample logs. The decisions are
// DataLoadSession's; the main window runs the load on OK.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "gps/data_load.h"
#include "shell/folder_lists.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace tessaro::gps {

class DataLoadFrm : public QDialog {
    Q_OBJECT
public:
    DataLoadFrm(QWidget* owner, const std::string& programFolder, const std::string& home);

    DataLoadSession& Session() { return session_; }
    FolderLists& Lists() { return *lists_; }

    // OK with the chosen files (the window then closes); Cancel, Escape and
    // the close box call onCancel.
    std::function<void()> onOk;
    std::function<void()> onCancel;
    // Shows a message (OK button only); the main window's message box.
    std::function<void(const std::string&)> showMessage;
    // The file the GPX export writes (empty: cancelled); a save dialog
    // unless replaced (tests).
    std::function<std::string()> chooseGpxTarget;
    // Whether the export verifies checksums (the navigator's setting).
    bool verifyChecksum = true;

    QComboBox* cmbExt = nullptr;
    QListWidget* DataFilesLst = nullptr;
    QPushButton* LoadGGACmd = nullptr;
    QPushButton* CancelCmd = nullptr;
    QPushButton* SampleCmd = nullptr;
    QPushButton* ExportGpxCmd = nullptr;  // the chosen logs as one GPX file

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ShowChosen();
    void ExportGpx();

    DataLoadSession session_;
    std::unique_ptr<FolderLists> lists_;
    bool answered_ = false;
    bool placed_ = false;
};

}  // namespace tessaro::gps
