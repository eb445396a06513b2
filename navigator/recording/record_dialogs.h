// The two small windows of a recording, both titled "記録ファイル" and shown
// without blocking the main window, which owns them (they stay above it;
// Enter answers OK, Escape and the close box answer Cancel):
//
//   RecordStartFrm  the file name (RecordFileTxt) and the interval in fixes
//                   per line (RecordTimingCmb, "1" to "20")
//   RecordStopFrm   asks whether to end the recording of RecordFileTxt
//
// The windows only show and collect; the main window decides what OK and
// Cancel do (OK may be refused, and the window then stays open).
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <string>

namespace tessaro::recording {

class RecordStartFrm : public QDialog {
    Q_OBJECT
public:
    // `interval` (1..20) is selected; `proposedName` fills the name box.
    RecordStartFrm(QWidget* owner, int interval, const std::string& proposedName);

    std::string FileName() const;
    int Interval() const { return RecordTimingCmb->currentIndex() + 1; }

    // OK: closes the window when the handler returns true.
    std::function<bool()> onOk;
    std::function<void()> onCancel;

    QLabel* Label1 = nullptr;
    QLineEdit* RecordFileTxt = nullptr;
    QComboBox* RecordTimingCmb = nullptr;
    QPushButton* OKCmd = nullptr;
    QPushButton* CancelCmd = nullptr;

    // Cancel, Escape and the close box: onCancel once, then the window
    // closes.
    void reject() override;

private:
    bool answered_ = false;
};

class RecordStopFrm : public QDialog {
    Q_OBJECT
public:
    RecordStopFrm(QWidget* owner, const std::string& fileName);

    std::function<void()> onOk;
    std::function<void()> onCancel;

    QLabel* Label1 = nullptr;
    QLineEdit* RecordFileTxt = nullptr;
    QPushButton* OKCmd = nullptr;
    QPushButton* CancelCmd = nullptr;

    // Cancel, Escape and the close box: onCancel once, then the window
    // closes.
    void reject() override;

private:
    bool answered_ = false;
};

}  // namespace tessaro::recording
