// SetPointFrm, "ﾎﾟｲﾝﾄの設定": the points of a point file in a grid; a click
// on a row marks that point on the photo map. Shown without blocking the
// main window, which owns it. SetPointSession decides which file is loaded;
// the owner shows the messages and marks the point.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTableWidget>

#include <functional>
#include <string>
#include <vector>

#include "points/set_point_session.h"

namespace tessaro::points {

class SetPointFrm : public QDialog {
    Q_OBJECT
public:
    SetPointFrm(QWidget* owner, std::string programFolder);

    // The file dialog of "開く"; returns the chosen path, empty when
    // cancelled (tests replace it).
    std::function<std::string()> ChooseFile;
    // A row was clicked: the point to mark.
    std::function<void(const StoredPoint&)> onPoint;
    // Messages for the user.
    std::function<void(const std::string&)> onMessage;

    QTableWidget* PointGrid = nullptr;
    QPushButton* OKCmd = nullptr;
    QPushButton* CloseCmd = nullptr;

    // Loads the file remembered last (called once the handlers are set).
    void LoadRemembered();
    void OKCmd_Click();
    void PointGrid_Click(int row);

private:
    void Show(const PointList& list);
    void Tell(const std::vector<std::string>& messages);
    std::string AskForFile();

    SetPointSession session_;
    std::vector<PointRow> rows_;
};

}  // namespace tessaro::points
