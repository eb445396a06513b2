// The position relation viewer "画像データ位置表示": the footprints of a map
// library's photographs side by side in a drawing area and the rows in a
// grid; a click on a row draws its footprint in red. A thin window over the
// geometry of builder/position_view.h.
#pragma once

#include <QDialog>
#include <QWidget>

#include <vector>

#include "builder/position_view.h"

class QPushButton;
class QTableWidget;

namespace tessaro::builder {

// The drawing area DataPositionPic: 550 x 440 units, origin at the centre, y
// up, drawn to whatever size the widget has.
class PositionPic : public QWidget {
public:
    explicit PositionPic(QWidget* parent);
    void Show(const std::vector<mapview::MapFileRow>* rows, const ViewerLayout* layout, int highlighted);
    int Highlighted() const { return highlighted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const std::vector<mapview::MapFileRow>* rows_ = nullptr;
    const ViewerLayout* layout_ = nullptr;
    int highlighted_ = -1;  // index into rows_, -1 none
};

class DataPositionFrm : public QDialog {
public:
    // `rows` are the index rows (without the header row) of the builder's
    // table (mode 1) or of the main window's loaded index (mode 2).
    DataPositionFrm(QWidget* owner, ViewerSource mode, const std::vector<mapview::MapFileRow>& rows);

    ViewerSource Mode() const { return mode_; }
    const ViewerLayout& Layout() const { return layout_; }
    const std::vector<mapview::MapFileRow>& Rows() const { return rows_; }

    QTableWidget* DataGrid = nullptr;
    PositionPic* DataPositionPic = nullptr;
    QPushButton* CloseCmd = nullptr;

private:
    ViewerSource mode_;
    std::vector<mapview::MapFileRow> rows_;  // DataGrid's rows
    ViewerLayout layout_;
};

}  // namespace tessaro::builder
