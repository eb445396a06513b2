#include "recording/review_dialogs.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <filesystem>

#include "gps/gpx.h"
#include "shell/owned_dialog.h"

namespace tessaro::recording {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QTableWidget* MakeGrid(QWidget* parent, const QStringList& header, const std::vector<int>& widths)
{
    auto* grid = new QTableWidget(parent);
    grid->setColumnCount(static_cast<int>(header.size()));
    grid->setHorizontalHeaderLabels(header);
    grid->verticalHeader()->setVisible(false);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    for (std::size_t i = 0; i < widths.size(); ++i) grid->setColumnWidth(static_cast<int>(i), widths[i]);
    return grid;
}

}  // namespace

ShowRecordDataFileFrm::ShowRecordDataFileFrm(QWidget* owner, const std::string& dataRoot)
    : QDialog(owner), session_(dataRoot), dataRoot_(dataRoot)
{
    setWindowTitle(QStringLiteral("記録データファイルリスト"));
    // Column widths 2000, 2000 and 200 twips.
    RecordedFileListGrid =
        MakeGrid(this, {QStringLiteral("記録日"), QStringLiteral("記録データ"), QString()}, {133, 133, 13});
    RecordedFileListGrid->setGeometry(10, 10, 300, 300);
    RecordedFileListGrid->setToolTip(QStringLiteral("表示するデータをクリックして下さい。"));
    const auto& rows = session_.Rows();
    RecordedFileListGrid->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        RecordedFileListGrid->setItem(static_cast<int>(i), 0, new QTableWidgetItem(Q(rows[i].dateText)));
        RecordedFileListGrid->setItem(static_cast<int>(i), 1, new QTableWidgetItem(Q(rows[i].fileName)));
    }
    Label1 = new QLabel(QStringLiteral("表示記録データファイル"), this);
    Label1->setGeometry(10, 318, 300, 18);
    DatDataNameLbl = new QLabel(this);
    DatDataNameLbl->setGeometry(10, 338, 300, 18);
    OKCmd = new QPushButton(QStringLiteral("表示(&D)"), this);
    OKCmd->setGeometry(10, 366, 90, 28);
    CancelCmd = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&N)"), this);
    CancelCmd->setGeometry(115, 366, 90, 28);
    ExportGpxCmd = new QPushButton(QStringLiteral("GPX書き出し(&X)"), this);
    ExportGpxCmd->setGeometry(220, 366, 90, 28);
    MakeOwnedDialog(this, owner, OKCmd, CancelCmd);
    setFixedSize(320, 404);

    connect(RecordedFileListGrid, &QTableWidget::cellClicked, this, [this](int row, int column) {
        session_.Click(row, column);
        DatDataNameLbl->setText(Q(session_.Selected()));
    });
    connect(OKCmd, &QPushButton::clicked, this, [this] {
        if (onOk) onOk();
        accept();
    });
    chooseGpxTarget = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("GPX書き出し"), QString(),
                                            QStringLiteral("GPX (*.gpx)"))
            .toStdString();
    };
    connect(ExportGpxCmd, &QPushButton::clicked, this, [this] { ExportGpx(); });
}

void ShowRecordDataFileFrm::ExportGpx()
{
    if (session_.Selected().empty()) {
        if (showMessage) showMessage("GPXに書き出す記録データファイルをクリックして下さい。");
        return;
    }
    std::string target = chooseGpxTarget ? chooseGpxTarget() : std::string();
    if (target.empty()) return;
    if (std::filesystem::path(target).extension().empty()) target += ".gpx";
    const std::string source = (std::filesystem::path(dataRoot_) / session_.Selected()).string();
    const gps::GpxExport result = gps::ExportGpxFile({source}, target, true);
    std::string text;
    for (const std::string& m : result.messages) text += (text.empty() ? "" : "\n") + m;
    if (showMessage) showMessage(text);
}

CheckMKPointFrm::CheckMKPointFrm(QWidget* owner, const overlays::OverlayLists& lists) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("MKﾎﾟｲﾝﾄデータ"));
    // Column widths 500, 900, 1200 and 1200 twips.
    MKPointGrid = MakeGrid(this,
                           {QStringLiteral("No."), QStringLiteral("時刻"), QStringLiteral("点間距離(m)"),
                            QStringLiteral("積算距離(m)")},
                           {33, 60, 80, 80});
    MKPointGrid->setGeometry(10, 10, 300, 300);
    MKPointGrid->horizontalHeader()->setStretchLastSection(true);
    const auto rows = MarkListRows(lists);
    MKPointGrid->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string cells[] = {rows[i].number, rows[i].time, rows[i].distance, rows[i].total};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(Q(cells[c]));
            if (c >= 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            MKPointGrid->setItem(static_cast<int>(i), c, item);
        }
    }
    CloseCmd = new QPushButton(QStringLiteral("閉じる"), this);
    CloseCmd->setGeometry(115, 318, 90, 28);
    MakeOwnedDialog(this, owner, CloseCmd, CloseCmd);
    setFixedSize(320, 356);
    // At 9000 x 3000 twips from the screen's corner.
    move(600, 200);
    connect(CloseCmd, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace tessaro::recording
