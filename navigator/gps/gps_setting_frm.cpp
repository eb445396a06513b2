#include "gps/gps_setting_frm.h"

#include <QHeaderView>

#include "shell/owned_dialog.h"

namespace tessaro::gps {

namespace {

// 2000 twips from the left, 1000 from the top of the screen.
constexpr int kLeft = 133;
constexpr int kTop = 67;
// Column widths of the zone grid: 700, 4400, 700 and 900 twips.
constexpr int kColumnWidths[] = {47, 293, 47, 60};
constexpr int kRowHeight = 19;

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 18);
    return l;
}

QLabel* ValueBox(QWidget* parent, int x, int y, int w)
{
    auto* l = new QLabel(parent);
    l->setGeometry(x, y, w, 22);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

}  // namespace

GPSSettingFrm::GPSSettingFrm(QWidget* owner, const GPSSettingSession& session, DeviceRoots roots, std::string user)
    : QDialog(owner), session_(session), roots_(std::move(roots)), user_(std::move(user))
{
    setWindowTitle(QStringLiteral("設定"));

    MapSystemFlm = new QGroupBox(QStringLiteral("測地系設定"), this);
    MapSystemFlm->setGeometry(8, 6, 600, 424);
    MapSystemGrid = new QTableWidget(kZoneRows, 4, MapSystemFlm);
    MapSystemGrid->setGeometry(8, 20, 452, kZoneRows * kRowHeight + 4);
    MapSystemGrid->horizontalHeader()->hide();
    MapSystemGrid->verticalHeader()->hide();
    MapSystemGrid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    MapSystemGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MapSystemGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    MapSystemGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    MapSystemGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MapSystemGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int c = 0; c < 4; ++c) MapSystemGrid->setColumnWidth(c, kColumnWidths[c]);
    for (int r = 0; r < kZoneRows; ++r) {
        const ZoneRowTexts& t = ZoneRows()[static_cast<std::size_t>(r)];
        const char* cells[] = {t.number, t.prefectures, t.lat, t.lon};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(QString::fromUtf8(cells[c]));
            // Row 0 is the grid's heading row.
            if (r == 0) item->setBackground(palette().button());
            MapSystemGrid->setItem(r, c, item);
        }
    }

    Caption(MapSystemFlm, QStringLiteral("日本測地系"), 474, 24, 110);
    MapNumLbl = ValueBox(MapSystemFlm, 474, 44, 110);
    Caption(MapSystemFlm, QStringLiteral(" 緯度"), 474, 76, 110);
    LatLbl = ValueBox(MapSystemFlm, 474, 96, 110);
    Caption(MapSystemFlm, QStringLiteral(" 経度"), 474, 128, 110);
    LonLbl = ValueBox(MapSystemFlm, 474, 148, 110);
    Caption(MapSystemFlm, QStringLiteral("縮尺係数"), 474, 180, 110);
    ScaleFacterLbl = ValueBox(MapSystemFlm, 474, 200, 110);
    ScaleFacterLbl->setText(QStringLiteral("0.9999"));

    PortSettingFlm = new QGroupBox(QStringLiteral("GPS入力ポート設定"), this);
    PortSettingFlm->setGeometry(8, 436, 600, 244);
    Caption(PortSettingFlm, QStringLiteral("ポートNo."), 10, 22, 200);
    GPSPortCmb = new QComboBox(PortSettingFlm);
    GPSPortCmb->setGeometry(10, 42, 300, 24);
    for (int p = 1; p <= kPortCount; ++p)
        GPSPortCmb->addItem(QString::fromStdString(PortEntryText(p, session_.Profile())));
    Caption(PortSettingFlm, QStringLiteral("スピード"), 326, 22, 200);
    GPSPortSpeedCmb = new QComboBox(PortSettingFlm);
    GPSPortSpeedCmb->setGeometry(326, 42, 140, 24);
    for (const char* speed : SpeedTexts()) GPSPortSpeedCmb->addItem(QString::fromLatin1(speed));

    Caption(PortSettingFlm, QStringLiteral("接続されているシリアルデバイス"), 10, 76, 300);
    RefreshDeviceCmd = new QPushButton(QStringLiteral("再検出"), PortSettingFlm);
    RefreshDeviceCmd->setGeometry(506, 72, 84, 24);
    SerialDeviceLst = new QListWidget(PortSettingFlm);
    SerialDeviceLst->setGeometry(10, 98, 580, 66);
    SerialDeviceLbl = new QLabel(PortSettingFlm);
    SerialDeviceLbl->setGeometry(10, 166, 580, 44);
    SerialDeviceLbl->setWordWrap(true);
    SerialDeviceLbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ChecksumChk = new QCheckBox(QStringLiteral("チェックサムを検査する"), PortSettingFlm);
    ChecksumChk->setToolTip(QStringLiteral("チェックサムが一致しない文は捨てます"));
    ChecksumChk->setGeometry(10, 212, 250, 24);
    ChecksumDroppedLbl = new QLabel(PortSettingFlm);
    ChecksumDroppedLbl->setGeometry(270, 212, 320, 24);

    OKCmd = new QPushButton(QStringLiteral("OK(&Y)"), this);
    OKCmd->setGeometry(396, 688, 100, 30);
    CancelCmd = new QPushButton(QStringLiteral("キャンセル(&C)"), this);
    CancelCmd->setGeometry(508, 688, 100, 30);
    MakeOwnedDialog(this, owner, OKCmd, CancelCmd);
    setFixedSize(616, 726);
    move(kLeft, kTop);

    const GPSSettingView v = session_.Initial();
    GPSPortCmb->setCurrentIndex(v.portIndex);
    GPSPortSpeedCmb->setCurrentIndex(v.speedIndex);
    MapNumLbl->setText(QString::fromStdString(v.mapNum));
    LatLbl->setText(QString::fromStdString(v.lat));
    LonLbl->setText(QString::fromStdString(v.lon));
    if (v.zoneRow >= 0) MapSystemGrid->selectRow(v.zoneRow);
    ChecksumChk->setChecked(v.checksumTest);
    ChecksumDroppedLbl->setText(QString::fromStdString(ChecksumDroppedText(v.checksumDropped)));
    ListDevices();

    connect(MapSystemGrid, &QTableWidget::cellClicked, this, [this](int row, int) { MapSystemGrid_Click(row); });
    connect(MapSystemGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { MapSystemGrid_Click(row); });
    connect(SerialDeviceLst, &QListWidget::currentRowChanged, this, [this](int) { ShowDeviceChoice(); });
    connect(GPSPortCmb, &QComboBox::currentIndexChanged, this, [this](int) { ShowDeviceChoice(); });
    connect(RefreshDeviceCmd, &QPushButton::clicked, this, [this] { ListDevices(); });
    connect(OKCmd, &QPushButton::clicked, this, [this] {
        if (onOk && !onOk()) return;
        accept();
    });
}

void GPSSettingFrm::MapSystemGrid_Click(int row)
{
    std::string number, lat, lon;
    if (row < 0) return;
    GPSSettingSession::RowLabels(row, number, lat, lon);
    MapNumLbl->setText(QString::fromStdString(number));
    LatLbl->setText(QString::fromStdString(lat));
    LonLbl->setText(QString::fromStdString(lon));
}

void GPSSettingFrm::ListDevices()
{
    devices_ = ListSerialDevices(roots_, user_);
    if (auto gpsd = LocalGpsd(roots_)) devices_.push_back(std::move(*gpsd));
    SerialDeviceLst->blockSignals(true);
    SerialDeviceLst->clear();
    SerialDeviceLst->addItem(QStringLiteral("（ポートの割り当てを変えない）"));
    for (const SerialDevice& d : devices_) {
        QString text = QString::fromStdString(d.label.empty() ? d.path : d.label);
        if (d.node != d.path) text += QStringLiteral("  → ") + QString::fromStdString(d.node);
        if (!d.accessible) text += QStringLiteral("  （権限なし）");
        SerialDeviceLst->addItem(text);
    }
    SerialDeviceLst->setCurrentRow(0);
    SerialDeviceLst->blockSignals(false);
    ShowDeviceChoice();
}

void GPSSettingFrm::ShowDeviceChoice()
{
    const int row = SerialDeviceLst->currentRow();
    if (row < 1 || row > static_cast<int>(devices_.size())) {
        SerialDeviceLbl->setText(devices_.empty() ? QStringLiteral("シリアルデバイスが見つかりません。"
                                                                   "受信機をつないで「再検出」を押してください。")
                                                  : QString());
        return;
    }
    const SerialDevice& d = devices_[static_cast<std::size_t>(row - 1)];
    if (!d.accessible) {
        SerialDeviceLbl->setText(QString::fromStdString(d.problem));
        return;
    }
    SerialDeviceLbl->setText(QStringLiteral("OKを押すと、Com%1 を %2 に割り当てます。")
                                 .arg(GPSPortCmb->currentIndex() + 1)
                                 .arg(QString::fromStdString(d.path)));
}

GPSSettingChoice GPSSettingFrm::Choice() const
{
    GPSSettingChoice c;
    c.mapNum = MapNumLbl->text().toStdString();
    c.lat = LatLbl->text().toStdString();
    c.lon = LonLbl->text().toStdString();
    c.portIndex = GPSPortCmb->currentIndex();
    c.speedIndex = GPSPortSpeedCmb->currentIndex();
    c.checksumTest = ChecksumChk->isChecked();
    const int row = SerialDeviceLst->currentRow();
    if (row >= 1 && row <= static_cast<int>(devices_.size())) c.device = devices_[static_cast<std::size_t>(row - 1)];
    return c;
}

}  // namespace tessaro::gps
