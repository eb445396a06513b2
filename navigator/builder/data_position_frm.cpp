#include "builder/data_position_frm.h"

#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>

#include "shell/owned_dialog.h"

namespace tessaro::builder {

namespace {

constexpr double kUnitsWide = 550, kUnitsHigh = 440;
const QColor kGrey(120, 120, 120), kGreen(0, 176, 0), kRed(176, 0, 0);

}  // namespace

PositionPic::PositionPic(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void PositionPic::Show(const std::vector<mapview::MapFileRow>* rows, const ViewerLayout* layout, int highlighted)
{
    rows_ = rows;
    layout_ = layout;
    highlighted_ = highlighted;
    update();
}

void PositionPic::paintEvent(QPaintEvent*)
{
    if (!rows_ || !layout_ || rows_->empty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const double sx = width() / kUnitsWide, sy = height() / kUnitsHigh;
    auto at = [&](double x, double y) { return QPointF((x + kUnitsWide / 2) * sx, (kUnitsHigh / 2 - y) * sy); };
    QFont font = p.font();
    font.setPixelSize(std::max(8, static_cast<int>(11 * sy)));
    p.setFont(font);
    const int ascent = p.fontMetrics().ascent();
    // Texts are placed by their top-left corner.
    auto text = [&](const ViewerText& t) { p.drawText(at(t.x, t.y) + QPointF(0, ascent), QString::fromStdString(t.text)); };

    const ViewerFrame frame = FrameOf(*layout_);
    p.setPen(kGrey);
    for (const ViewerLine& l : frame.lines) p.drawLine(at(l.x0, l.y0), at(l.x1, l.y1));
    for (const ViewerText& t : frame.labels) text(t);
    for (int i = 0; i < static_cast<int>(rows_->size()); ++i) {
        const ViewerBox b = BoxOf((*rows_)[static_cast<std::size_t>(i)], *layout_);
        p.setPen(i == highlighted_ ? kRed : kGreen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(at(b.left, b.top), at(b.right, b.bottom)));
        text(b.name);
    }
}

DataPositionFrm::DataPositionFrm(QWidget* owner, ViewerSource mode, const std::vector<mapview::MapFileRow>& rows)
    : QDialog(owner), mode_(mode)
{
    setWindowTitle(QStringLiteral("画像データ位置表示"));
    for (const auto& r : rows) rows_.push_back(ViewerRow(r));
    layout_ = LayoutOf(rows_);

    DataPositionPic = new PositionPic(this);
    DataPositionPic->setGeometry(8, 8, 550, 440);
    DataGrid = new QTableWidget(static_cast<int>(rows_.size()), mapview::kMapFileColumns, this);
    DataGrid->setGeometry(566, 8, 420, 440);
    DataGrid->verticalHeader()->setVisible(false);
    DataGrid->verticalHeader()->setDefaultSectionSize(18);
    DataGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList headers;
    for (const char* h : mapview::kMapFileHeaders) headers << QString::fromUtf8(h);
    DataGrid->setHorizontalHeaderLabels(headers);
    DataGrid->setColumnWidth(0, 400 / 15);
    DataGrid->setColumnWidth(1, 1300 / 15);
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
        for (int c = 0; c < mapview::kMapFileColumns; ++c)
            DataGrid->setItem(r, c, new QTableWidgetItem(QString::fromStdString(rows_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])));
    CloseCmd = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    CloseCmd->setGeometry(886, 456, 100, 30);
    MakeOwnedDialog(this, owner, CloseCmd, nullptr);
    setFixedSize(994, 494);

    DataPositionPic->Show(&rows_, &layout_, -1);
    connect(CloseCmd, &QPushButton::clicked, this, &QDialog::accept);
    connect(DataGrid, &QTableWidget::cellClicked, this, [this](int row, int) { DataPositionPic->Show(&rows_, &layout_, row); });
}

}  // namespace tessaro::builder
