#include "points/set_point_frm.h"

#include <QFileDialog>
#include <QHeaderView>

#include "shell/owned_dialog.h"

namespace tessaro::points {

namespace {

// 9000 twips from the left, 3000 from the top; columns of 1500 twips.
constexpr int kLeft = 600;
constexpr int kTop = 200;
constexpr int kColumnWidth = 100;

}  // namespace

SetPointFrm::SetPointFrm(QWidget* owner, std::string programFolder) : QDialog(owner), session_(std::move(programFolder))
{
    setWindowTitle(QStringLiteral("ﾎﾟｲﾝﾄの設定"));
    PointGrid = new QTableWidget(0, 3, this);
    PointGrid->setGeometry(8, 8, 3 * kColumnWidth + 22, 300);
    PointGrid->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("X(m)"), QStringLiteral("Y(m)")});
    PointGrid->verticalHeader()->hide();
    PointGrid->verticalHeader()->setDefaultSectionSize(19);
    for (int c = 0; c < 3; ++c) PointGrid->setColumnWidth(c, kColumnWidth);
    PointGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PointGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PointGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    OKCmd = new QPushButton(QStringLiteral("開く"), this);
    OKCmd->setGeometry(8, 316, 100, 28);
    CloseCmd = new QPushButton(QStringLiteral("閉じる"), this);
    CloseCmd->setGeometry(3 * kColumnWidth + 30 - 100, 316, 100, 28);
    MakeOwnedDialog(this, owner, OKCmd, CloseCmd);
    setFixedSize(3 * kColumnWidth + 38, 352);
    move(kLeft, kTop);

    ChooseFile = [this] { return AskForFile(); };
    connect(OKCmd, &QPushButton::clicked, this, [this] { OKCmd_Click(); });
    connect(PointGrid, &QTableWidget::cellClicked, this, [this](int row, int) { PointGrid_Click(row); });
}

std::string SetPointFrm::AskForFile()
{
    // The patterns offered are those the window accepts, point files first.
    const QString filters = QStringLiteral("ポイントファイル (*.csv *.txt);;CSV ファイル (*.csv);;"
                                           "テキストファイル (*.txt);;全てのファイル (*)");
    const QString start = QString::fromStdString(session_.FileName());
    return QFileDialog::getOpenFileName(this, QStringLiteral("開く"), start, filters).toStdString();
}

void SetPointFrm::LoadRemembered()
{
    std::vector<std::string> messages;
    Show(session_.Open(&messages));
    Tell(messages);
}

void SetPointFrm::OKCmd_Click()
{
    const std::string path = ChooseFile ? ChooseFile() : std::string();
    if (path.empty()) return;
    bool accepted = false;
    std::vector<std::string> messages;
    PointList list = session_.Choose(path, accepted, &messages);
    if (accepted) Show(list);
    Tell(messages);
}

void SetPointFrm::Show(const PointList& list)
{
    rows_ = list.rows;
    PointGrid->clearContents();
    PointGrid->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const PointRow& p = rows_[static_cast<std::size_t>(r)];
        const std::string* cells[] = {&p.name, &p.x, &p.y};
        for (int c = 0; c < 3; ++c)
            PointGrid->setItem(r, c, new QTableWidgetItem(QString::fromStdString(*cells[c])));
    }
}

void SetPointFrm::Tell(const std::vector<std::string>& messages)
{
    for (const std::string& m : messages)
        if (onMessage) onMessage(m);
}

void SetPointFrm::PointGrid_Click(int row)
{
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    if (onPoint) onPoint(PointOf(rows_[static_cast<std::size_t>(row)]));
}

}  // namespace tessaro::points
