// GPSSettingFrm, "設定": the zone grid, the receiver's port and speed, and
// the serial devices that exist now, from which one can be given to the
// chosen port. Shown without blocking the main window, which owns it (Enter
// answers OK, Escape and the close box Cancel). The window only shows and
// collects; GPSSettingSession decides what OK does and the owner shows its
// messages.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

#include <functional>
#include <vector>

#include "gps/gps_setting_session.h"

namespace tessaro::gps {

class GPSSettingFrm : public QDialog {
    Q_OBJECT
public:
    GPSSettingFrm(QWidget* owner, const GPSSettingSession& session, DeviceRoots roots, std::string user);

    GPSSettingChoice Choice() const;
    // The device list read again (a receiver plugged in meanwhile).
    void ListDevices();
    const std::vector<SerialDevice>& Devices() const { return devices_; }

    // OK: the window closes when the handler returns true.
    std::function<bool()> onOk;

    QGroupBox* MapSystemFlm = nullptr;
    QTableWidget* MapSystemGrid = nullptr;
    QLabel* MapNumLbl = nullptr;
    QLabel* LatLbl = nullptr;
    QLabel* LonLbl = nullptr;
    QLabel* ScaleFacterLbl = nullptr;
    QGroupBox* PortSettingFlm = nullptr;
    QComboBox* GPSPortCmb = nullptr;
    QComboBox* GPSPortSpeedCmb = nullptr;
    QListWidget* SerialDeviceLst = nullptr;   // row 0: keep the port's device
    QLabel* SerialDeviceLbl = nullptr;        // what OK will map, or why it cannot
    QPushButton* RefreshDeviceCmd = nullptr;
    QCheckBox* ChecksumChk = nullptr;         // verify the "*hh" of each GGA sentence
    QLabel* ChecksumDroppedLbl = nullptr;     // sentences dropped in the last run
    QPushButton* OKCmd = nullptr;
    QPushButton* CancelCmd = nullptr;

    void MapSystemGrid_Click(int row);

private:
    void ShowDeviceChoice();

    const GPSSettingSession& session_;
    DeviceRoots roots_;
    std::string user_;
    std::vector<SerialDevice> devices_;
};

}  // namespace tessaro::gps
