// The windows of the review: the record file list ("記録データファイルリスト")
// and the mark-point list ("MKﾎﾟｲﾝﾄデータ"). Thin forms: the list and the
// load are RecordReviewSession's, the rows of the marks MarkListRows'.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "recording/record_review.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tessaro::recording {

class ShowRecordDataFileFrm : public QDialog {
    Q_OBJECT
public:
    ShowRecordDataFileFrm(QWidget* owner, const std::string& dataRoot);

    RecordReviewSession& Session() { return session_; }
    // "表示(&D)" (the window then closes).
    std::function<void()> onOk;
    // The GPX export's target file (empty: cancelled; a save dialog unless
    // replaced) and where its messages go.
    std::function<std::string()> chooseGpxTarget;
    std::function<void(const std::string&)> showMessage;

    QTableWidget* RecordedFileListGrid = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* DatDataNameLbl = nullptr;
    QPushButton* OKCmd = nullptr;
    QPushButton* CancelCmd = nullptr;
    QPushButton* ExportGpxCmd = nullptr;  // the selected file as GPX

    void ExportGpx();

private:
    RecordReviewSession session_;
    std::string dataRoot_;
};

class CheckMKPointFrm : public QDialog {
    Q_OBJECT
public:
    // The list of the marks as they are now.
    CheckMKPointFrm(QWidget* owner, const overlays::OverlayLists& lists);

    QTableWidget* MKPointGrid = nullptr;
    QPushButton* CloseCmd = nullptr;
};

}  // namespace tessaro::recording
