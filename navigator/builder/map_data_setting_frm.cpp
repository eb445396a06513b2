#include "builder/map_data_setting_frm.h"

#include <QAction>
#include <QComboBox>
#include <QEnterEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableWidget>

#include <cstdio>

#include "shell/folder_lists.h"
#include "shell/owned_dialog.h"
#include "shell/values.h"
#include "shell/wait.h"

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

const QColor kWhite(255, 255, 255), kHighlight(208, 208, 255), kSuspect(255, 208, 208);

QPixmap PixmapOf(const RgbPicture& p)
{
    if (p.width <= 0 || p.height <= 0) return {};
    return QPixmap::fromImage(QImage(p.rgb.data(), p.width, p.height, 3 * p.width, QImage::Format_RGB888).copy());
}

}  // namespace

// The window's side of a full read: messages, the progress bar and the pause
// that keeps the window live; a close request stops the read.
class MapDataSettingFrm::ReadView : public FullReadView {
public:
    explicit ReadView(MapDataSettingFrm& w) : w_(w) {}
    void Message(const std::string& text) override
    {
        if (w_.showMessage_) w_.showMessage_(Q(text));
    }
    void Progress(int value) override { w_.ProgressBar1->setValue(value); }
    bool Pause() override
    {
        if (!w_.closeRequested_) WaitSeconds(w_.readPause_);
        return !w_.closeRequested_;
    }

private:
    MapDataSettingFrm& w_;
};

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

    BuildCorrectionFrames();

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
        LeaveCorrection();
        setting_.OKCmd();
        accept();
    });
    // Cancel (and Escape) closes without saving; the close box saves as OK does.
    connect(CancelCmd, &QPushButton::clicked, this, [this] {
        LeaveCorrection();
        setting_.CancelCmd();
        reject();
    });
    connect(SampleCmd, &QPushButton::clicked, this, [this] {
        LeaveCorrection();
        const std::string sample = setting_.state.ProgramFolder + "/MapPicSample";
        if (!lists_->SetFolder(sample) && showMessage_) showMessage_(QString::fromUtf8(kPlaceNotReadyMessage));
    });
    connect(InitializeCmd, &QPushButton::clicked, this, [this] { ReadAll(false); });
    connect(SetLonLatAndHeightCmd, &QPushButton::clicked, this, [this] { ReadAll(true); });
    connect(DispDataPositionCmd, &QPushButton::clicked, this, [this] { ShowViewer(); });
    connect(HelpCmd, &QPushButton::clicked, this, [this] {
        LeaveCorrection();
        help::OpenHelp(help_, setting_.state.ProgramFolder + "/help", this);
    });
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
    if (reading_ || (process && setting_.FormStarting)) return;
    LeaveCorrection();
    if (process) MissDataLbl->hide();
    // Nothing of the window may change the table or close the window under
    // the read; closing asks the read to stop.
    reading_ = true;
    SetBusy(true);
    ProgressBar1->show();
    ProgressMsgLbl->show();
    ProgressBar1->setValue(0);
    ReadView view(*this);
    if (process) setting_.SetLonLatAndHeightCmd(&view);
    else setting_.InitializeCmd(&view);
    reading_ = false;
    SetBusy(false);
    ProgressBar1->hide();
    ProgressMsgLbl->hide();
    // The read may have switched the threshold option.
    SearchTypeOpt[static_cast<std::size_t>(setting_.SearchTypeOpt)]->setChecked(true);
    PixelTxt->setText(QString::number(setting_.PixelTxt));
    if (closeRequested_) {
        // A half-read table is never saved over the index.
        setting_.CancelCmd();
        done(QDialog::Rejected);
        return;
    }
    ShowTable();
    ShowDiagnostics();
}

void MapDataSettingFrm::SetBusy(bool busy)
{
    for (QWidget* w : std::initializer_list<QWidget*>{OKCmd, CancelCmd, InitializeCmd, SetLonLatAndHeightCmd, SampleCmd,
                                                     DispDataPositionCmd, HelpCmd, MapFileGrid, lists_->Drive1,
                                                     lists_->Dir1, lists_->File1, SearchTypeOpt[0]->parentWidget()})
        w->setEnabled(!busy);
}

void MapDataSettingFrm::BuildCorrectionFrames()
{
    const QString caption = QStringLiteral("「Enter」を押して入力します。");
    auto box = [](QWidget* parent, const QString& text, int x, int w) {
        auto* e = new QLineEdit(text, parent);
        e->setGeometry(x, 24, w, 22);
        return e;
    };
    auto okButton = [](QWidget* parent, int x) {
        auto* b = new QPushButton(QStringLiteral("OK"), parent);
        b->setGeometry(x, 23, 44, 24);
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::ClickFocus);  // Tab stays among the boxes
        return b;
    };
    auto refused = [](QWidget* parent) {
        auto* l = new QLabel(parent);
        l->setGeometry(8, 50, 214, 18);
        l->setStyleSheet(QStringLiteral("color: rgb(208,0,0);"));
        return l;
    };
    auto guard = [this](QWidget* parent, int x) {
        auto* g = new QLineEdit(parent);
        g->setGeometry(x, 2, 1, 1);
        g->setFrame(false);
        g->installEventFilter(this);
        return g;
    };
    SetLatDataFlm = new QGroupBox(caption, this);
    SetLatDataFlm->setGeometry(610, 60, 230, 74);
    BackwordTxt[0] = guard(SetLatDataFlm, 1);
    LatDegTxt = box(SetLatDataFlm, QStringLiteral("35"), 8, 40);
    LatMinTxt = box(SetLatDataFlm, QStringLiteral("00"), 52, 40);
    LatSecTxt = box(SetLatDataFlm, QStringLiteral("00.00"), 96, 76);
    OK1Cmd = okButton(SetLatDataFlm, 178);
    ForwordTxt[0] = guard(SetLatDataFlm, 3);
    EntryRefusedLbl[0] = refused(SetLatDataFlm);

    SetLonDataFlm = new QGroupBox(caption, this);
    SetLonDataFlm->setGeometry(610, 60, 230, 74);
    BackwordTxt[1] = guard(SetLonDataFlm, 1);
    LonDegTxt = box(SetLonDataFlm, QStringLiteral("139"), 8, 40);
    LonMinTxt = box(SetLonDataFlm, QStringLiteral("00"), 52, 40);
    LonSecTxt = box(SetLonDataFlm, QStringLiteral("00.00"), 96, 76);
    OK2Cmd = okButton(SetLonDataFlm, 178);
    ForwordTxt[1] = guard(SetLonDataFlm, 3);
    EntryRefusedLbl[1] = refused(SetLonDataFlm);

    HeightSetFlm = new QGroupBox(caption, this);
    HeightSetFlm->setGeometry(610, 60, 230, 74);
    auto* heading = new QLabel(QStringLiteral("高度(m)"), HeightSetFlm);
    heading->setGeometry(8, 24, 50, 22);
    HeightTxt = box(HeightSetFlm, QStringLiteral("300"), 60, 112);
    OK3Cmd = okButton(HeightSetFlm, 178);
    EntryRefusedLbl[2] = refused(HeightSetFlm);

    for (QGroupBox* g : {SetLatDataFlm, SetLonDataFlm, HeightSetFlm}) g->setAutoFillBackground(true);
    for (int f = 0; f < 2; ++f) {
        QLineEdit* const boxes[3] = {f ? LonDegTxt : LatDegTxt, f ? LonMinTxt : LatMinTxt, f ? LonSecTxt : LatSecTxt};
        setTabOrder(BackwordTxt[static_cast<std::size_t>(f)], boxes[0]);
        setTabOrder(boxes[0], boxes[1]);
        setTabOrder(boxes[1], boxes[2]);
        setTabOrder(boxes[2], ForwordTxt[static_cast<std::size_t>(f)]);
    }
    for (QLineEdit* e : {LatDegTxt, LatMinTxt, LatSecTxt, LonDegTxt, LonMinTxt, LonSecTxt, HeightTxt}) e->installEventFilter(this);
    connect(OK1Cmd, &QPushButton::clicked, this, [this] { EnterPosition(2); });
    connect(OK2Cmd, &QPushButton::clicked, this, [this] { EnterPosition(3); });
    connect(OK3Cmd, &QPushButton::clicked, this, [this] { EnterAltitude(); });

    ImageDataLbl = new QLabel(QStringLiteral("画像イメージ"), this);
    ImageDataLbl->setGeometry(430, 436, 80, 18);
    LonLatPicAreaPic = new QLabel(this);
    LonLatPicAreaPic->setGeometry(512, 437, 251, 16);
    HeightPicAreaPic = new QLabel(this);
    HeightPicAreaPic->setGeometry(770, 437, 250, 16);
    for (QWidget* w : std::initializer_list<QWidget*>{SetLatDataFlm, SetLonDataFlm, HeightSetFlm, ImageDataLbl,
                                                     LonLatPicAreaPic, HeightPicAreaPic}) {
        w->hide();
        if (qobject_cast<QLabel*>(w)) w->installEventFilter(this);
    }

    MapFileGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    MapFileGrid->viewport()->installEventFilter(this);
    for (QWidget* w : std::initializer_list<QWidget*>{lists_->Drive1, lists_->Dir1->viewport(), lists_->File1->viewport()})
        w->installEventFilter(this);
    connect(MapFileGrid, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (PressButton == 1) OpenCorrection(row + 1, column);
    });
    Edit2Menu = new QMenu(this);
    DeleteDataMenu = Edit2Menu->addAction(QStringLiteral("削除(&D)"));
    connect(DeleteDataMenu, &QAction::triggered, this, [this] {
        if (!setting_.DeleteRow(menuRow_)) return;
        LeaveCorrection();
        SelRow = SelCol = 0;
        ShowTable();
    });
}

void MapDataSettingFrm::LeaveCorrection()
{
    for (QWidget* w : std::initializer_list<QWidget*>{SetLatDataFlm, SetLonDataFlm, HeightSetFlm, ImageDataLbl,
                                                     LonLatPicAreaPic, HeightPicAreaPic})
        w->hide();
    SelCol = 0;
    highlightRow_ = highlightCol_ = 0;
    ShowColours();
}

void MapDataSettingFrm::OpenCorrection(int row, int column)
{
    SelRow = row;
    SelCol = column;
    if (column < 2 || column > 4 || row < 1 || row > setting_.MapRowCount) return;
    highlightRow_ = row;
    highlightCol_ = column;
    ShowColours();

    QGroupBox* frame = column == 2 ? SetLatDataFlm : column == 3 ? SetLonDataFlm : HeightSetFlm;
    // Beside the row, inside the window.
    const QRect cell = MapFileGrid->visualRect(MapFileGrid->model()->index(row - 1, column));
    const QPoint at = MapFileGrid->viewport()->mapTo(this, cell.bottomLeft());
    frame->move(std::min(at.x() + cell.width() + 8, width() - frame->width() - 4),
                std::clamp(at.y() - frame->height() / 2, 4, MapFileGrid->geometry().bottom() - frame->height()));

    const StripPreview strips = setting_.PreviewStrips(row);
    LonLatPicAreaPic->setPixmap(PixmapOf(strips.latLon));
    HeightPicAreaPic->setPixmap(PixmapOf(strips.altitude));
    LonLatPicAreaPic->show();
    HeightPicAreaPic->show();
    ImageDataLbl->show();
    ShowDiagnostics();

    const std::string& text = setting_.Rows()[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column)];
    for (QLabel* l : EntryRefusedLbl) l->clear();
    QLineEdit* first = HeightTxt;
    if (column == 4) {
        HeightTxt->setText(Q(text));
    } else {
        FieldDataArray f;
        try {
            SplitFields(text, "-", f);
        } catch (const SplitOverflow&) {
        }
        QLineEdit* const boxes[3] = {column == 2 ? LatDegTxt : LonDegTxt, column == 2 ? LatMinTxt : LonMinTxt,
                                     column == 2 ? LatSecTxt : LonSecTxt};
        for (int i = 0; i < 3; ++i) boxes[i]->setText(Q(f[static_cast<std::size_t>(i)]));
        first = boxes[0];
    }
    for (QGroupBox* g : {SetLatDataFlm, SetLonDataFlm, HeightSetFlm}) g->setVisible(g == frame);
    frame->raise();
    first->setFocus();
    first->selectAll();
    EditRow = row;
    EditCol = column;
}

void MapDataSettingFrm::EnterPosition(int column)
{
    const bool lat = column == 2;
    const std::string d = (lat ? LatDegTxt : LonDegTxt)->text().toStdString();
    const std::string m = (lat ? LatMinTxt : LonMinTxt)->text().toStdString();
    const std::string sec = (lat ? LatSecTxt : LonSecTxt)->text().toStdString();
    if (!setting_.CorrectPosition(SelRow, column, d, m, sec)) {
        EntryRefusedLbl[lat ? 0 : 1]->setText(QString::fromUtf8(kCommaRefusedMessage));
        return;
    }
    // The check repaints every cell, the corrected one included.
    LeaveCorrection();
    MapFileGrid->setCurrentCell(SelRow - 1, column);
    ShowTable();
}

void MapDataSettingFrm::EnterAltitude()
{
    if (!setting_.CorrectAltitude(SelRow, HeightTxt->text().toStdString())) {
        EntryRefusedLbl[2]->setText(QString::fromUtf8(kCommaRefusedMessage));
        return;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{SetLatDataFlm, SetLonDataFlm, HeightSetFlm, ImageDataLbl,
                                                     LonLatPicAreaPic, HeightPicAreaPic})
        w->hide();
    ShowTable();  // the highlight stays on the corrected cell
}

void MapDataSettingFrm::ShowViewer()
{
    LeaveCorrection();
    if (viewer_) viewer_->close();
    const auto& rows = setting_.Rows();
    std::vector<mapview::MapFileRow> shown(rows.begin(), rows.begin() + std::min<std::ptrdiff_t>(setting_.MapRowCount, static_cast<std::ptrdiff_t>(rows.size())));
    viewer_ = new DataPositionFrm(this, ViewerSource::Builder, shown);
    viewer_->show();
}

QColor MapDataSettingFrm::CellColour(int row, int column) const
{
    const auto* item = MapFileGrid->item(row - 1, column);
    return item ? item->background().color() : kWhite;
}

void MapDataSettingFrm::ShowColours()
{
    for (int r = 1; r <= MapFileGrid->rowCount(); ++r)
        for (int c = 0; c < 10; ++c) {
            auto* item = MapFileGrid->item(r - 1, c);
            if (!item) continue;
            QColor colour = kWhite;
            if ((c == 2 && setting_.Suspect.latSuspect(r)) || (c == 3 && setting_.Suspect.lonSuspect(r))) colour = kSuspect;
            if (r == highlightRow_ && c == highlightCol_) colour = kHighlight;
            item->setBackground(colour);
        }
}

void MapDataSettingFrm::mousePressEvent(QMouseEvent* event)
{
    LeaveCorrection();
    QDialog::mousePressEvent(event);
}

bool MapDataSettingFrm::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    // Tab cycles inside the open frame: the guards after and before the
    // boxes send the focus round.
    for (int f = 0; f < 2; ++f)
        if (type == QEvent::FocusIn && (watched == ForwordTxt[static_cast<std::size_t>(f)] || watched == BackwordTxt[static_cast<std::size_t>(f)])) {
            const bool forward = watched == ForwordTxt[static_cast<std::size_t>(f)];
            QLineEdit* target = f == 0 ? (forward ? LatDegTxt : LatSecTxt) : (forward ? LonDegTxt : LonSecTxt);
            target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            target->selectAll();
            return false;
        }
    if (type == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            QPushButton* ok = nullptr;
            if (watched == LatDegTxt || watched == LatMinTxt || watched == LatSecTxt) ok = OK1Cmd;
            else if (watched == LonDegTxt || watched == LonMinTxt || watched == LonSecTxt) ok = OK2Cmd;
            else if (watched == HeightTxt) ok = OK3Cmd;
            if (ok) {
                // Enter answers the frame, never the window's OK button.
                ok->click();
                return true;
            }
        }
    }
    if (type == QEvent::MouseButtonPress &&
        (watched == lists_->Drive1 || watched == lists_->Dir1->viewport() || watched == lists_->File1->viewport() ||
         watched == LonLatPicAreaPic || watched == HeightPicAreaPic || watched == ImageDataLbl)) {
        LeaveCorrection();
        return false;
    }
    if (watched == MapFileGrid->viewport() && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex at = MapFileGrid->indexAt(mouse->position().toPoint());
        const int row = at.isValid() ? at.row() + 1 : 0, column = at.isValid() ? at.column() : -1;
        if (type == QEvent::MouseButtonPress) {
            PressButton = mouse->button() == Qt::RightButton ? 2 : mouse->button() == Qt::LeftButton ? 1 : 0;
            PressRow = row;
            PressCol = column;
            if (PressButton == 2 && row > 0) {
                MapFileGrid->setCurrentCell(row - 1, column);
                highlightRow_ = row;
                highlightCol_ = column;
                SelRow = row;
                SelCol = column;
                ShowColours();
                return true;
            }
        } else if (mouse->button() == Qt::RightButton) {
            if (PressButton == 2 && SelRow >= 2 && SelRow <= setting_.MapRowCount) {
                menuRow_ = SelRow;
                Edit2Menu->popup(mouse->globalPosition().toPoint());
            }
            return true;
        } else if (mouse->button() == Qt::LeftButton && PressButton == 1 && PressCol == 4 && PressRow > 0 &&
                   column == 4 && row > PressRow) {
            // Dragging down the altitude column copies the first altitude.
            setting_.FillDownAltitude(PressRow, row);
            ShowTable();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MapDataSettingFrm::ShowTable()
{
    const auto& rows = setting_.Rows();
    MapFileGrid->clearContents();
    MapFileGrid->setRowCount(std::max<int>(static_cast<int>(rows.size()), 1));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < 10; ++c) SetCell(MapFileGrid, r, c, Q(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
    MissDataLbl->setVisible(setting_.MissDataLbl);
    ShowColours();
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
    if (reading_) {
        // Closing during a read stops it; the window closes once the read
        // has returned, without saving.
        closeRequested_ = true;
        return;
    }
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
