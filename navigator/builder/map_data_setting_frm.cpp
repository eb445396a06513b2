#include "builder/map_data_setting_frm.h"

#include <QComboBox>
#include <QEnterEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableWidget>

#include <cstdio>

#include "shell/folder_lists.h"
#include "shell/owned_dialog.h"

namespace tessaro::builder {

namespace {

constexpr int TwipsToPixels(int twips) { return twips / 15; }

// The ten widths of MapFileGrid [twips].
constexpr std::array<int, 10> kGridWidths = {500, 1500, 1300, 1300, 1000, 1000, 1000, 1000, 1000, 1000};

QTableWidget* MakeGrid(QWidget* parent, int rows, int columns, int x, int y, int w, int h)
{
    auto* g = new QTableWidget(rows, columns, parent);
    g->setGeometry(x, y, w, h);
    g->verticalHeader()->setVisible(false);
    g->horizontalHeader()->setVisible(false);
    g->verticalHeader()->setDefaultSectionSize(18);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return g;
}

void SetCell(QTableWidget* g, int r, int c, const QString& text)
{
    auto* item = g->item(r, c);
    if (!item) {
        item = new QTableWidgetItem;
        g->setItem(r, c, item);
    }
    item->setText(text);
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

HoverButton::HoverButton(const QString& text, QWidget* parent) : QPushButton(text, parent) { SetLook(false); }

void HoverButton::SetLook(bool hover)
{
    emphasised_ = hover;
    setStyleSheet(hover ? QStringLiteral("background-color: rgb(192,192,255); color: rgb(0,0,208); "
                                         "border: 2px solid rgb(0,0,208);")
                        : QStringLiteral("background-color: rgb(208,208,255); color: rgb(0,0,208); "
                                         "border: 1px solid rgb(128,128,160);"));
}

void HoverButton::enterEvent(QEnterEvent* event)
{
    SetLook(true);
    QPushButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event)
{
    SetLook(false);
    QPushButton::leaveEvent(event);
}

MapDataSettingFrm::MapDataSettingFrm(QWidget* owner, NavState& state, std::function<void()> resetMapData,
                                     std::function<void(const QString&)> showMessage, const std::string& home)
    : QDialog(owner), setting_(state), resetMapData_(std::move(resetMapData)), showMessage_(std::move(showMessage))
{
    setWindowTitle(QStringLiteral("マップ画像の設定"));
    setting_.Load();

    lists_ = std::make_unique<FolderLists>(this, home, state.ProgramFolder, state.MapPicFolder, "*.*");
    lists_->Drive1->setGeometry(10, 10, 240, 24);
    lists_->Dir1->setGeometry(10, 38, 240, 170);
    lists_->File1->setGeometry(10, 212, 240, 150);

    MapFileGrid = MakeGrid(this, 2, 10, 260, 10, 760, 352);
    MapFileGrid->horizontalHeader()->setVisible(true);
    for (int c = 0; c < 10; ++c) MapFileGrid->setColumnWidth(c, TwipsToPixels(kGridWidths[static_cast<std::size_t>(c)]));
    QStringList headers;
    for (const char* h : mapview::kMapFileHeaders) headers << QString::fromUtf8(h);
    MapFileGrid->setHorizontalHeaderLabels(headers);

    OKCmd = new HoverButton(QStringLiteral("OK(&Y)"), this);
    OKCmd->setGeometry(10, 372, 100, 30);
    CancelCmd = new HoverButton(QStringLiteral("ｷｬﾝｾﾙ(&N)"), this);
    CancelCmd->setGeometry(116, 372, 100, 30);
    InitializeCmd = new QPushButton(QStringLiteral("初期化(&I)"), this);
    InitializeCmd->setGeometry(222, 372, 100, 30);
    SetLonLatAndHeightCmd = new QPushButton(QStringLiteral("処理(&S)"), this);
    SetLonLatAndHeightCmd->setToolTip(QStringLiteral("画像ファイルからの中心緯度経度の読込み"));
    SetLonLatAndHeightCmd->setGeometry(328, 372, 100, 30);
    SampleCmd = new HoverButton(QStringLiteral("サンプル(&S)"), this);
    SampleCmd->setGeometry(434, 372, 100, 30);
    DispDataPositionCmd = new HoverButton(QStringLiteral("データ位置関係"), this);
    DispDataPositionCmd->setGeometry(540, 372, 110, 30);
    HelpCmd = new QPushButton(QStringLiteral("ヘルプ(&H)"), this);
    HelpCmd->setGeometry(656, 372, 90, 30);

    auto* frame = new QGroupBox(QStringLiteral("変換タイプ"), this);
    frame->setGeometry(756, 366, 264, 66);
    for (int i = 0; i < 5; ++i) {
        SearchTypeOpt[static_cast<std::size_t>(i)] = new QRadioButton(QString::number(i + 1), frame);
        SearchTypeOpt[static_cast<std::size_t>(i)]->setGeometry(8 + 36 * i, 18, 34, 20);
        connect(SearchTypeOpt[static_cast<std::size_t>(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (!on) return;
            setting_.SelectSearchType(i);
            PixelTxt->setText(QString::number(setting_.PixelTxt));
        });
    }
    PixelTxt = new QLineEdit(frame);
    PixelTxt->setGeometry(196, 18, 60, 22);
    connect(PixelTxt, &QLineEdit::textEdited, this, [this](const QString& t) {
        bool ok = false;
        const int v = t.toInt(&ok);
        if (ok && v >= 0 && v <= 255) setting_.PixelTxt = v;
    });
    auto* note = new QLabel(QStringLiteral("読込みがよくない場合に変える"), frame);
    note->setGeometry(8, 42, 250, 18);

    ProgressMsgLbl = new QLabel(QStringLiteral("処理中ですお待ち下さい。"), this);
    ProgressMsgLbl->setGeometry(10, 410, 200, 20);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(210, 410, 300, 20);
    MissDataLbl = new QLabel(QStringLiteral("異状データあり"), this);
    MissDataLbl->setGeometry(520, 410, 120, 20);
    MissDataLbl->setStyleSheet(QStringLiteral("color: rgb(208,0,0);"));

    // Diagnostic grids of the recogniser.
    auto* diag = new QLabel(QStringLiteral("文字認識の作業表"), this);
    diag->setGeometry(10, 438, 300, 18);
    UnderPicGrid = MakeGrid(this, 1, 6, 10, 458, 250, 150);
    for (int c = 0; c < 6; ++c) UnderPicGrid->setColumnWidth(c, TwipsToPixels(600));
    VPixecGrid = MakeGrid(this, 16, 2, 266, 458, 70, 150);
    VPixecGrid->setColumnWidth(0, TwipsToPixels(300));
    VPixecGrid->setColumnWidth(1, TwipsToPixels(400));
    StartWidthGrid = MakeGrid(this, 11, 2, 342, 458, 76, 150);
    StartWidthGrid->setColumnWidth(0, TwipsToPixels(500));
    StartWidthGrid->setColumnWidth(1, TwipsToPixels(500));
    LonLatGrid = MakeGrid(this, 2, 17, 424, 458, 596, 44);
    LonLatGrid->setRowHeight(0, TwipsToPixels(300));
    for (int c = 0; c < 17; ++c) {
        LonLatGrid->setColumnWidth(c, 34);
        SetCell(LonLatGrid, 0, c, QString::number(c));
    }
    HeightGrid = MakeGrid(this, 2, 21, 424, 506, 596, 44);
    HeightGrid->setRowHeight(0, TwipsToPixels(300));
    for (int c = 0; c < 21; ++c) {
        HeightGrid->setColumnWidth(c, 28);
        SetCell(HeightGrid, 0, c, QString::number(c));
    }
    auto* chr = new QLabel(QStringLiteral("列"), this);
    chr->setGeometry(424, 556, 20, 22);
    ColNumTxt = new QLineEdit(this);
    ColNumTxt->setGeometry(444, 556, 50, 22);
    GetChrCmd = new QPushButton(QStringLiteral("GetChr"), this);
    GetChrCmd->setGeometry(500, 556, 70, 22);
    GetChrTxt = new QLineEdit(this);
    GetChrTxt->setGeometry(576, 556, 60, 22);
    MatchRateTxt = new QLineEdit(this);
    MatchRateTxt->setGeometry(660, 556, 70, 22);
    MatchNumTxt = new QLineEdit(this);
    MatchNumTxt->setGeometry(736, 556, 40, 22);
    NonMatchNumTxt = new QLineEdit(this);
    NonMatchNumTxt->setGeometry(782, 556, 40, 22);
    for (QLineEdit* e : {GetChrTxt, MatchRateTxt, MatchNumTxt, NonMatchNumTxt}) e->setReadOnly(true);
    BitMapGrid = MakeGrid(this, 20, WorkTables::kStripColumns, 10, 614, 1010, 160);
    BitMapGrid->hide();
    // Columns 0..300 and rows 0..19 of 100 twips each.
    for (QHeaderView* h : {BitMapGrid->horizontalHeader(), BitMapGrid->verticalHeader()}) {
        h->setMinimumSectionSize(1);
        h->setSectionResizeMode(QHeaderView::Fixed);
        h->setDefaultSectionSize(7);
    }
    BitMapGrid->setShowGrid(false);
    BitMapGrid->show();

    MakeOwnedDialog(this, owner, OKCmd, nullptr);
    setFixedSize(1030, 784);
    move(x(), 0);

    ProgressBar1->hide();
    ProgressMsgLbl->hide();
    MissDataLbl->hide();

    lists_->onFolderChanged = [this] { FolderChanged(); };
    lists_->onNotReady = [this] {
        if (showMessage_) showMessage_(QString::fromUtf8(kPlaceNotReadyMessage));
    };
    connect(OKCmd, &QPushButton::clicked, this, [this] {
        setting_.OKCmd();
        accept();
    });
    // Cancel (and Escape) closes without saving; the close box saves as OK does.
    connect(CancelCmd, &QPushButton::clicked, this, [this] {
        setting_.CancelCmd();
        reject();
    });
    connect(SampleCmd, &QPushButton::clicked, this, [this] {
        const std::string sample = setting_.state.ProgramFolder + "/MapPicSample";
        if (!lists_->SetFolder(sample) && showMessage_) showMessage_(QString::fromUtf8(kPlaceNotReadyMessage));
    });
    connect(InitializeCmd, &QPushButton::clicked, this, [this] { ReadAll(false); });
    connect(SetLonLatAndHeightCmd, &QPushButton::clicked, this, [this] { ReadAll(true); });
    connect(BitMapGrid, &QTableWidget::cellClicked, this,
            [this](int, int column) { ColNumTxt->setText(QString::number(column)); });
    connect(GetChrCmd, &QPushButton::clicked, this, [this] {
        const int start = ColNumTxt->text().toInt();
        // The character that starts at that column: its segment, or the
        // columns of ink from there on.
        int width = 0;
        for (const Segment& s : setting_.Tables.segments)
            if (s.start == start) width = s.width;
        if (width == 0)
            while (start + width < WorkTables::kStripColumns && start >= 0 &&
                   setting_.Tables.columnMass[static_cast<std::size_t>(start + width)] > 0)
                ++width;
        GetChrTxt->setText(width > 0 ? QString::number(ReadLatLonCharacter(setting_.Tables, start, width).digit)
                                     : QString());
    });

    ShowTable();
    TellRefused();
}

MapDataSettingFrm::~MapDataSettingFrm() = default;

void MapDataSettingFrm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!setting_.FormStarting) return;
    // Selecting option 3 sets the threshold to 180.
    SearchTypeOpt[2]->setChecked(true);
    setting_.FirstActivation();
    PixelTxt->setText(QString::number(setting_.PixelTxt));
}

void MapDataSettingFrm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        CancelCmd->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MapDataSettingFrm::FolderChanged()
{
    setting_.ChangeFolder(lists_->Folder());
    MissDataLbl->hide();
    ShowTable();
    TellRefused();
}

void MapDataSettingFrm::TellRefused()
{
    if (setting_.RefusedNames.empty() || !showMessage_) return;
    QString text = QStringLiteral("次のファイルは名前に「,」かシフトJISにない文字があるため、取り込みません。");
    for (const std::string& n : setting_.RefusedNames) text += QStringLiteral("\n") + Q(n);
    showMessage_(text);
}

void MapDataSettingFrm::ReadAll(bool process)
{
    if (process && setting_.FormStarting) return;
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    ProgressMsgLbl->show();
    if (process) setting_.SetLonLatAndHeightCmd();
    else setting_.InitializeCmd();
    ProgressBar1->hide();
    ProgressMsgLbl->hide();
    ShowTable();
    ShowDiagnostics();
}

void MapDataSettingFrm::ShowTable()
{
    const auto& rows = setting_.Rows();
    MapFileGrid->clearContents();
    MapFileGrid->setRowCount(std::max<int>(static_cast<int>(rows.size()), 1));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < 10; ++c) SetCell(MapFileGrid, r, c, Q(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
    MissDataLbl->setVisible(setting_.MissDataLbl);
}

void MapDataSettingFrm::ShowDiagnostics()
{
    const WorkTables& tb = setting_.Tables;
    UnderPicGrid->setRowCount(static_cast<int>(tb.runs.size()));
    for (int i = 0; i < static_cast<int>(tb.runs.size()); ++i) {
        const LayoutRun& r = tb.runs[static_cast<std::size_t>(i)];
        SetCell(UnderPicGrid, i, 0, QString::number(r.start));
        SetCell(UnderPicGrid, i, 1, QString::number(r.length));
        SetCell(UnderPicGrid, i, 2, QString::number(r.distance));
        SetCell(UnderPicGrid, i, 3, r.kind == ' ' ? QString() : QString(QChar(r.kind)));
        SetCell(UnderPicGrid, i, 4, r.gap ? QStringLiteral("X") : QString());
        SetCell(UnderPicGrid, i, 5, r.group ? QStringLiteral("C") : QString());
    }
    for (int k = 0; k < 16; ++k) {
        SetCell(VPixecGrid, k, 0, QString::number(tb.rowProfile[static_cast<std::size_t>(k)][0]));
        SetCell(VPixecGrid, k, 1, QString::number(tb.rowProfile[static_cast<std::size_t>(k)][1]));
    }
    for (int c = 0; c < 17; ++c) SetCell(LonLatGrid, 1, c, Q(tb.latLonDigits[static_cast<std::size_t>(c)]));
    for (int c = 0; c < 21; ++c)
        SetCell(HeightGrid, 1, c, c < static_cast<int>(tb.heightCells.size()) ? Q(tb.heightCells[static_cast<std::size_t>(c)]) : QString());
    StartWidthGrid->setRowCount(std::max<int>(static_cast<int>(tb.altitudeSegments.size()), 1));
    StartWidthGrid->clearContents();
    for (int i = 0; i < static_cast<int>(tb.altitudeSegments.size()); ++i) {
        SetCell(StartWidthGrid, i, 0, QString::number(tb.altitudeSegments[static_cast<std::size_t>(i)].start));
        SetCell(StartWidthGrid, i, 1, QString::number(tb.altitudeSegments[static_cast<std::size_t>(i)].width));
    }
    for (int c = 0; c < WorkTables::kStripColumns; ++c)
        for (int r = 0; r < 15; ++r) {
            auto* item = BitMapGrid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                BitMapGrid->setItem(r, c, item);
            }
            item->setBackground(tb.inkStrip[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] ? Qt::black : Qt::white);
        }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.3f", tb.matchRate);
    MatchRateTxt->setText(QString::fromLatin1(rate));
    MatchNumTxt->setText(QString::number(tb.matchSegment));
    NonMatchNumTxt->setText(QString::number(tb.matchWidth));
}

void MapDataSettingFrm::done(int result)
{
    if (!closed_) {
        closed_ = true;
        std::string error;
        if (!setting_.Close(&error) && showMessage_)
            showMessage_(QStringLiteral("マップデータを保存できません。\n") + Q(error));
        if (resetMapData_) resetMapData_();
    }
    QDialog::done(result);
}

}  // namespace tessaro::builder
