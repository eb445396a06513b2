#include "app/main_lumara_frm.h"

#include "builder/map_data_setting_frm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QStatusBar>
#include <QTimer>
#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <control/ini_file.h>

#include "geodesy/plane_coords.h"
#include "mapview/map_loader.h"
#include "recording/record_dialogs.h"
#include "shell/guarded_step.h"
#include "gps/data_load_frm.h"
#include "help/help_frm.h"
#include "recording/review_dialogs.h"
#include "shell/owned_dialog.h"
#include "settings/settings.h"

namespace tessaro::app {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int w, int h, bool sunken = false)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    if (sunken) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, QColor(255, 255, 255));
        l->setPalette(p);
    }
    return l;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int x, int y, int w, int h,
                        const QString& tip = {}, bool toggle = false)
{
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, w, h);
    if (!tip.isEmpty()) b->setToolTip(tip);
    b->setCheckable(toggle);
    return b;
}

QLineEdit* MakeBox(QWidget* parent, int x, int y, int w, int h)
{
    auto* t = new QLineEdit(parent);
    t->setGeometry(x, y, w, h);
    return t;
}

// The window's contents: the picture area on the left takes the room the
// window gives it; the panel of controls keeps its size in the upper right
// corner. At the default size the picture area is 788 x 678 pixels.
constexpr QSize kDefaultContents(1030, 748);
constexpr QSize kMinimumWindow(1024, 768);
constexpr int kPanelWidth = 230;
constexpr int kPictureMargin = 6;                  // left of and above the picture area
constexpr int kPictureRightGap = kPanelWidth + 6;  // picture area to the right edge
constexpr int kPictureBottomGap = 64;              // picture area to the bottom edge

class Contents : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void(QSize)> onResize;
    QSize sizeHint() const override { return kDefaultContents; }

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        if (onResize) onResize(e->size());
    }
};

void PlaceViewControls(QWidget* picture, QWidget* panel, QSize room)
{
    picture->setGeometry(kPictureMargin, kPictureMargin, std::max(1, room.width() - kPictureMargin - kPictureRightGap),
                         std::max(1, room.height() - kPictureMargin - kPictureBottomGap));
    panel->move(room.width() - kPanelWidth, 0);
}

QAction* MakeItem(QMenu* menu, const QString& text)
{
    QAction* a = menu->addAction(text);
    menu->addSeparator();
    return a;
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("GPSマップ"), text, QMessageBox::Ok, parent);
    box.exec();
}

MainLumaraFrm::MainLumaraFrm(NavState& state, std::string programFolder, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      footprints_(state.Maps),
      overlay_{state, (BasePic = new overlays::BasePic)->Area(), &footprints_, {}},
      slots_(*BasePic),
      mark_(BasePic->Area()),
      tracking_(state, *this, *this, *this, *this, *this),
      recording_(state),
      pointer_(state, BasePic->Area(), *this)
{
    EndProgram = [] { QCoreApplication::exit(0); };
    state_.ProgramFolder = std::move(programFolder);
    setWindowTitle(QStringLiteral("GPSマップ"));
    setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    Clock = [] {
        const QDateTime now = QDateTime::currentDateTime();
        return recording::LocalDateTime{now.date().year(), now.date().month(), now.date().day(),
                                        now.time().hour(), now.time().minute(), now.time().second()};
    };
    tracking_.onFixDecoded = [this](const gps::PositionFix& fix) {
        if (onFixDecoded) onFixDecoded(fix);
    };
    BuildControls();
    BuildMenus();
    resize(kDefaultContents + QSize(0, menuBar()->sizeHint().height()));
    Load();
}

MainLumaraFrm::~MainLumaraFrm()
{
    recording_.Close();
    // The control goes before the windows it may have placed its own in.
    GPSCom.reset();
}

void MainLumaraFrm::BuildControls()
{
    auto* room = new Contents(this);
    setCentralWidget(room);
    setMinimumSize(kMinimumWindow);
    // The controls right of the picture area, on a panel anchored to the
    // window's right edge.
    auto* c = new QWidget(room);
    c->setGeometry(kDefaultContents.width() - kPanelWidth, 0, kPanelWidth, kDefaultContents.height());
    BasePic->setParent(room);
    PlaceViewControls(BasePic, c, kDefaultContents);
    room->onResize = [this, c](QSize size) { PlaceViewControls(BasePic, c, size); };
    // The marks start centred on the middle of the picture.
    BasePic->Area().GPSPointImg.left = -8;
    BasePic->Area().GPSPointImg.top = 8;
    BasePic->Area().PointImg.left = -10;
    BasePic->Area().PointImg.top = 10;

    const int x = 6;  // left edge of the panel's controls
    GPSHd1Lbl = MakeLabel(c, QStringLiteral("時刻　　    　　　衛星数"), x, 6, 220, 18);
    GPSTimeLbl = MakeLabel(c, {}, x, 26, 118, 22, true);
    GPSSaetNumLbl = MakeLabel(c, {}, x + 122, 26, 44, 22, true);
    GPSStatusLbl = MakeLabel(c, {}, x + 170, 26, 50, 22, true);
    GPSHd2Lbl = MakeLabel(c, QStringLiteral("緯度　　　　　    　経度"), x, 52, 220, 18);
    DispPublicXlbl = MakeLabel(c, {}, x, 72, 106, 22, true);
    DispPublicYlbl = MakeLabel(c, {}, x + 110, 72, 110, 22, true);

    StartGPSCmd = MakeButton(c, QStringLiteral("スタートGPS"), x, 102, 140, 36,
                             QStringLiteral("外部GPSとのデータ入力"));
    ClearGPSDataCmd = MakeButton(c, QStringLiteral("クリア"), x + 145, 102, 75, 36,
                                 QStringLiteral("GPS表示データの消去"));
    StartRecordCmd = MakeButton(c, QStringLiteral("記録開始"), x, 144, 140, 30,
                                QStringLiteral("GPSデータの記録開始"));
    RecordSTSHdLbl = MakeLabel(c, QStringLiteral("記録中"), x + 145, 144, 75, 30);
    RecordSTSHdLbl->setAlignment(Qt::AlignCenter);
    RecordSTSHdLbl->setVisible(false);
    RecordIntervalLbl = MakeLabel(c, {}, x, 178, 220, 18);
    RecordFileNameLbl = MakeLabel(c, {}, x, 198, 220, 18);
    CheckNumLbl = MakeLabel(c, {}, x, 218, 50, 18);
    NameFileLbl = MakeLabel(c, {}, x + 54, 218, 166, 18);
    RecordDataNameLbl = MakeLabel(c, {}, x, 238, 220, 18);
    RecordTxtNameLbl = MakeLabel(c, {}, x, 258, 220, 18);
    GPGGAFileLbl = MakeLabel(c, {}, x, 278, 220, 18);

    // Pan buttons around the two zoom buttons; each pan button sits on the
    // side the photographs slide to.
    MoveImgCmd[2] = MakeButton(c, QStringLiteral("上へシフト"), x + 70, 304, 80, 28);
    MoveImgCmd[3] = MakeButton(c, QStringLiteral("左へシフト"), x, 336, 68, 28);
    ZoomUpDownCmd[0] = MakeButton(c, QStringLiteral("＋"), x + 72, 336, 36, 28, QStringLiteral("拡大"));
    ZoomUpDownCmd[1] = MakeButton(c, QStringLiteral("－"), x + 112, 336, 36, 28, QStringLiteral("縮小"));
    MoveImgCmd[0] = MakeButton(c, QStringLiteral("右へシフト"), x + 152, 336, 68, 28);
    MoveImgCmd[1] = MakeButton(c, QStringLiteral("下へシフト"), x + 70, 368, 80, 28);
    for (int i = 0; i < 2; ++i)
        connect(ZoomUpDownCmd[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
                [this, i] { ZoomUpDownCmd_Click(i); });
    for (int i = 0; i < 4; ++i)
        connect(MoveImgCmd[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
                [this, i] { MoveImgCmd_Click(i); });

    MapImageRbn = MakeButton(c, QStringLiteral("表示画像"), x, 410, 106, 30, {}, true);
    ShowMKPointRbn = MakeButton(c, QStringLiteral("MKポイントデータ"), x + 110, 410, 110, 30, {}, true);
    OpenFileCmd = MakeButton(c, QStringLiteral("ポイント"), x, 446, 106, 30, QStringLiteral("ポイントのリスト"));
    DispXYRbn = MakeButton(c, QStringLiteral("座標表示"), x + 110, 446, 110, 30,
                           QStringLiteral("マウス位置の座標表示"), true);
    ClickPicRbn = MakeButton(c, QStringLiteral("距離測定"), x, 482, 106, 30,
                             QStringLiteral("指定のポイント間の距離"), true);
    MeasDistHdLbl = MakeLabel(c, QStringLiteral("距離(m)"), x + 112, 482, 48, 30);
    MeasDistLbl = MakeLabel(c, {}, x + 160, 486, 60, 22, true);

    PublicXLbl = MakeLabel(c, QStringLiteral("X(m)                Y(m)"), x, 522, 220, 18);
    MapXTxt = MakeBox(c, x, 542, 106, 24);
    MapYTxt = MakeBox(c, x + 110, 542, 110, 24);
    ShowLonLatPointCmd[0] = MakeButton(c, QStringLiteral("入力座標位置の表示"), x, 572, 220, 26);
    Label1 = MakeLabel(c, QStringLiteral("度　　　分　　　　秒"), x + 40, 606, 180, 18);
    Label2 = MakeLabel(c, QStringLiteral("緯度"), x, 626, 36, 24);
    LatDTxt = MakeBox(c, x + 40, 626, 50, 24);
    LatMTxt = MakeBox(c, x + 94, 626, 50, 24);
    LatSTxt = MakeBox(c, x + 148, 626, 72, 24);
    Label3 = MakeLabel(c, QStringLiteral("経度"), x, 654, 36, 24);
    LonDTxt = MakeBox(c, x + 40, 654, 50, 24);
    LonMTxt = MakeBox(c, x + 94, 654, 50, 24);
    LonSTxt = MakeBox(c, x + 148, 654, 72, 24);
    ShowLonLatPointCmd[1] = MakeButton(c, QStringLiteral("入力緯度経度位置の表示"), x, 684, 220, 26);

    DispGGATmr = new QTimer(this);
    DispGGATmr->setSingleShot(true);
    connect(DispGGATmr, &QTimer::timeout, this, [this] { ShowGPGGAData(); });

    connect(ClickPicRbn, &QPushButton::toggled, this, [this](bool on) { ClickPicRbn_Toggled(on); });
    connect(DispXYRbn, &QPushButton::toggled, this, [this](bool on) { DispXYRbn_Toggled(on); });
    connect(OpenFileCmd, &QPushButton::clicked, this, [this] { OpenFileCmd_Click(); });
    for (int i = 0; i < 2; ++i)
        connect(ShowLonLatPointCmd[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
                [this, i] { ShowLonLatPointCmd_Click(i); });
    connect(BasePic, &overlays::BasePic::PictureMousePressed, this,
            [this](Qt::MouseButton button, double x, double y, int slot) { BasePic_MouseDown(button, x, y, slot); });
    // The coordinate display follows the pointer without a button held.
    BasePic->setMouseTracking(true);
    connect(BasePic, &overlays::BasePic::PictureMouseMoved, this,
            [this](double x, double y, int slot) { BasePic_MouseMove(x, y, slot); });

    connect(StartGPSCmd, &QPushButton::clicked, this, [this] { StartGPSCmd_Click(); });
    connect(ShowMKPointRbn, &QPushButton::toggled, this, [this](bool on) { ShowMKPointRbn_Toggled(on); });
    connect(MapImageRbn, &QPushButton::clicked, this, [this] {
        // Opens the viewer on the loaded index; the button does not stay down.
        MapImageRbn->setChecked(false);
        if (DataPositionFrm) DataPositionFrm->close();
        const auto& grid = state_.Maps.MapFileGrid;
        const std::size_t n = std::min(grid.size(), static_cast<std::size_t>(state_.Maps.MapCount) + 1);
        const std::vector<mapview::MapFileRow> rows(grid.begin() + (n > 0 ? 1 : 0), grid.begin() + static_cast<std::ptrdiff_t>(n));
        DataPositionFrm = new builder::DataPositionFrm(this, builder::ViewerSource::MainWindow, rows);
        DataPositionFrm->show();
    });
    connect(ClearGPSDataCmd, &QPushButton::clicked, this, [this] { ClearGPSDataCmd_Click(); });
    connect(StartRecordCmd, &QPushButton::clicked, this, [this] { StartRecordCmd_Click(); });
    RecordSTSHdLbl->setAutoFillBackground(true);
    RecordSTSHdLbl->installEventFilter(this);
    BuildViewNavigation();
}

void MainLumaraFrm::BuildMenus()
{
    // Every item of the file menu and of its two submenus has a separator
    // above it, and each list ends with one.
    FileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    FileMenu->setSeparatorsCollapsible(false);
    FileMenu->addSeparator();
    FileOpenMenu = FileMenu->addMenu(QStringLiteral("GPGGAデータ(&G)"));
    FileMenu->addSeparator();
    DispRecordFileListMenu = FileMenu->addMenu(QStringLiteral("記録データ(&R)"));
    FileMenu->addSeparator();

    FileOpenMenu->setSeparatorsCollapsible(false);
    FileOpenMenu->addSeparator();
    LoadGPGGAData2Menu = MakeItem(FileOpenMenu, QStringLiteral("読込み表示(&G)"));
    EndRecordGGAMenu = MakeItem(FileOpenMenu, QStringLiteral("終了(&E)"));

    DispRecordFileListMenu->setSeparatorsCollapsible(false);
    DispRecordFileListMenu->addSeparator();
    DispRecordDataMenu = MakeItem(DispRecordFileListMenu, QStringLiteral("読込み表示(&D)"));
    EndRecordDataMenu = MakeItem(DispRecordFileListMenu, QStringLiteral("終了(&E)"));

    SettingGPSMenu = menuBar()->addAction(QStringLiteral("GPS設定(&G)"));
    DownloadMapSettingMenu = menuBar()->addAction(QStringLiteral("マップ画像の設定(&M)"));
    HelpMenu = menuBar()->addAction(QStringLiteral("ヘルプ(&H)"));
    EndThisProgramMenu = menuBar()->addAction(QStringLiteral("終了(&E)"));

    connect(LoadGPGGAData2Menu, &QAction::triggered, this, [this] { LoadGPGGAData2Menu_Click(); });
    connect(EndRecordGGAMenu, &QAction::triggered, this, [this] { EndRecordGGAMenu_Click(); });
    connect(EndRecordDataMenu, &QAction::triggered, this, [this] { EndRecordDataMenu_Click(); });
    connect(DispRecordDataMenu, &QAction::triggered, this, [this] { DispRecordDataMenu_Click(); });
    connect(EndThisProgramMenu, &QAction::triggered, this, [this] { close(); });
    connect(SettingGPSMenu, &QAction::triggered, this, [this] { SettingGPSMenu_Click(); });
    connect(DownloadMapSettingMenu, &QAction::triggered, this, [this] { DownloadMapSettingMenu_Click(); });
    connect(HelpMenu, &QAction::triggered, this,
            [this] { help::OpenHelp(Help1Frm, state_.ProgramFolder + "/help", this); });
}

void MainLumaraFrm::Load()
{
    NavState& s = state_;
    // The window is placed at the top left corner when it is first shown
    // (PlaceFrameAtScreenCorner): only then is its frame known.
    s.FirstActivate = true;
    GuardedStep([&] { s.Scales = BuildScaleTable(); });
    s.ScaleLevel = 16;
    s.ViewCentreEasting = 0.0;
    s.ViewCentreNorthing = 0.0f;
    GuardedStep([&] { ReadCurrentSetting(s); });
    // Settings naming no library, or a folder that is gone: the sample library.
    bool onSample = false;
    GuardedStep([&] { onSample = mapview::UseSampleLibraryIfNoneIsUsable(s); });
    GuardedStep([&] { mapview::ApplyScaleLevel(s); });
    GuardedStep([&] { ReadGPSSetting(s); });
    GuardedStep([&] { gps::ReadNavigatorProfile(s); });
    GuardedStep([&] { LoadMapDataToGrid(); });
    if (onSample) GuardedStep([&] { mapview::CentreViewOnLibraryIfOutside(s); });
    s.ViewBoundLeft = static_cast<float>(-overlays::PictureArea::kWidth / 2 + 80);
    s.ViewBoundRight = static_cast<float>(overlays::PictureArea::kWidth / 2 - 80);
    s.ViewBoundTop = static_cast<float>(overlays::PictureArea::kHeight / 2 - 70);
    s.ViewBoundBottom = static_cast<float>(-overlays::PictureArea::kHeight / 2 + 70);

    s.pRecordSTS = 0;
    s.pRecordCount = 0;
    s.RecordingOn = false;
    s.RecordInterval = 1;
    s.RecordBlink = 0;
    s.ShowRecordPoints = false;
    s.GGALogShown = false;
    s.QuadrantEW = 0;
    s.QuadrantNS = 0;

    overlays::PictureArea& area = BasePic->Area();
    RecordDataNameLbl->setVisible(false);
    RecordTxtNameLbl->setVisible(false);
    GPGGAFileLbl->setVisible(false);
    NameFileLbl->setVisible(false);
    area.TimeHdLbl.visible = false;
    DispRecordDataMenu->setEnabled(true);
    EndRecordDataMenu->setEnabled(false);
    EndRecordGGAMenu->setEnabled(false);

    area.BackColor = {96, 96, 96};
    SetStartGPSLook(false);

    for (auto& m : area.MarkPointImg) m.visible = false;
    area.GPSPointImg.visible = false;
    area.PointImg.visible = false;
    s.PointerMode = 0;
    s.CoordInputOn = false;

    DispGGATmr->stop();
    ShowLonLatPointCmd[0]->setEnabled(false);
    ShowLonLatPointCmd[1]->setEnabled(false);
    s.Maps.MapAspect = 1.0f;
    area.Changed();

    // GPSCom lives as long as the window. Without it the navigator still
    // runs; only live tracking is unavailable.
    std::string error;
    GuardedStep([&] { GPSCom = LoadGpsCom(GpsComBagFile(s.ProgramFolder), this, error); });
    SetGpsCom(std::move(GPSCom), error);
    // Start-up shows no message; the tracking button tells the user.
    if (!GPSCom) std::fprintf(stderr, "tessaro: live GPS tracking is unavailable: %s\n", gpsComError_.c_str());
}

std::string MainLumaraFrm::GpsComBagFile(const std::string& programFolder)
{
    return programFolder + "/data0/GPSCom.bag";
}

void MainLumaraFrm::SetGpsCom(std::unique_ptr<GpsComPort> port, std::string loadError)
{
    GPSCom = std::move(port);
    gpsComError_.clear();
    tracking_.SetPort(GPSCom.get());
    if (GPSCom)
        GPSCom->onComm = [this] { GPSCom_OnComm(); };
    else
        gpsComError_ = loadError.empty() ? "通信コントロールが読み込まれていません。" : std::move(loadError);
}

void MainLumaraFrm::Message(const QString& text)
{
    if (onMessage) {
        onMessage(text);
        return;
    }
    ShowMessage(this, text);
}

// --- live tracking ---

void MainLumaraFrm::StartGPSCmd_Click() { tracking_.Toggle(); }

void MainLumaraFrm::NoPort() { Message(QString::fromStdString(ControlLoadFailureMessage(gpsComError_))); }

void MainLumaraFrm::ShowReceiverState(const std::string& text)
{
    // The status bar appears with the first loss of the receiver only.
    if (!text.empty())
        statusBar()->showMessage(QString::fromStdString(text));
    else if (findChild<QStatusBar*>())
        statusBar()->clearMessage();
}

void MainLumaraFrm::PortOpenRefused(int portNo, const gps::ComError& why)
{
    // The user learns which device and why.
    const std::string device = PortDevicePath(portNo);
    Message(QString::fromStdString(PortOpenFailureMessage(portNo, device, why, CheckDevice(device), CurrentUserName())));
}

void MainLumaraFrm::ClearGPSDataCmd_Click() { state_.Track.TrackCount = 0; }

void MainLumaraFrm::GPSCom_OnComm() { tracking_.OnComm(); }

void MainLumaraFrm::HandleReceivedLine(const std::string& line) { tracking_.HandleLine(line); }

void MainLumaraFrm::ClosePort() { tracking_.ClosePort(); }

void MainLumaraFrm::OpenPort() { tracking_.OpenPort(); }

bool MainLumaraFrm::RefuseWhileRecordingOrTracking()
{
    if (state_.RecordingOn) {
        Message(QStringLiteral("データの記録を終了してください。"));
        return true;
    }
    if (state_.GPSRunning) {
        Message(QStringLiteral("GPSを停止して下さい。またデモも停止してください。"));
        return true;
    }
    return false;
}

void MainLumaraFrm::SettingGPSMenu_Click()
{
    if (RefuseWhileRecordingOrTracking()) return;
    state_.Track.TrackCount = 0;
    state_.Track.TrackIndex = 0;
    tracking_.Stop();
    if (GPSSettingFrm) {
        GPSSettingFrm->raise();
        GPSSettingFrm->activateWindow();
        return;
    }
    gpsSetting_ = std::make_unique<gps::GPSSettingSession>(state_, tolvex::profile::ProfilePath());
    auto* frm = new gps::GPSSettingFrm(this, *gpsSetting_, SerialDeviceRoots, CurrentUserName());
    frm->onOk = [this] { return GPSSettingOk(); };
    GPSSettingFrm = frm;
    frm->show();
}

bool MainLumaraFrm::GPSSettingOk()
{
    if (!GPSSettingFrm || !gpsSetting_) return false;
    const gps::GPSSettingOutcome out = gpsSetting_->Confirm(GPSSettingFrm->Choice());
    for (const std::string& m : out.messages) Message(QString::fromStdString(m));
    if (out.close && out.zoneChanged) ZoneChanged(out.oldZone);
    return out.close;
}

void MainLumaraFrm::ZoneChanged(const geodesy::CurrentZone& oldZone)
{
    gps::CarryViewToZone(state_, oldZone);
    pointer_.ForgetPlanePositions();
    ResetMapData();
}

void MainLumaraFrm::DownloadMapSettingMenu_Click()
{
    if (RefuseWhileRecordingOrTracking()) return;
    if (state_.Zone.ZoneNo < 1) {
        Message(QStringLiteral("メニューの「GPS設定」で日本測地系を設定してください。"));
        return;
    }
    state_.Track.TrackCount = 0;
    state_.Track.TrackIndex = 0;
    if (MapDataSettingFrm) {
        MapDataSettingFrm->raise();
        return;
    }
    const char* home = std::getenv("HOME");
    MapDataSettingFrm = new builder::MapDataSettingFrm(
        this, state_, [this] { ResetMapData(); }, [this](const QString& text) { Message(text); }, home ? home : "/");
    MapDataSettingFrm->show();
}

// --- recording ---

void MainLumaraFrm::SetRecordIndicatorLook(bool writing)
{
    recordWriting_ = writing;
    // A click (pause or resume) always leaves the indicator lit.
    recordIndicatorLit_ = true;
    RecordSTSHdLbl->setText(writing ? QStringLiteral("記録中") : QStringLiteral("停止中"));
    ApplyRecordIndicatorLook();
}

void MainLumaraFrm::ApplyRecordIndicatorLook()
{
    // The blank phase of the blink keeps the label on screen, only drawn
    // invisibly, so that it takes a click in both phases.
    QPalette p = RecordSTSHdLbl->palette();
    if (recordIndicatorLit_) {
        p.setColor(QPalette::Window, recordWriting_ ? QColor(192, 0, 0) : QColor(0, 128, 0));
        p.setColor(QPalette::WindowText, recordWriting_ ? QColor(255, 255, 0) : QColor(0, 255, 255));
    } else {
        p.setColor(QPalette::WindowText, Qt::transparent);
    }
    RecordSTSHdLbl->setAutoFillBackground(recordIndicatorLit_);
    RecordSTSHdLbl->setPalette(p);
}

void MainLumaraFrm::StartRecordCmd_Click()
{
    NavState& s = state_;
    StartRecordCmd->setEnabled(false);
    if (!s.RecordingOn) {
        SetRecordIndicatorLook(true);
        // The start window: today's folder, the next free number.
        const recording::StartProposal& proposal = recording_.Prepare(Clock());
        auto* frm = new recording::RecordStartFrm(this, s.RecordInterval, proposal.proposedName);
        frm->onOk = [this] { return RecordStartOk(); };
        frm->onCancel = [this] { RecordStartCancel(); };
        RecordStartFrm = frm;
        frm->show();
    } else {
        auto* frm = new recording::RecordStopFrm(this, recording_.FileName());
        frm->onOk = [this] { RecordStopOk(); };
        frm->onCancel = [this] { StartRecordCmd->setEnabled(true); };
        RecordStopFrm = frm;
        frm->show();
    }
}

bool MainLumaraFrm::RecordStartOk()
{
    NavState& s = state_;
    if (!RecordStartFrm) return false;
    const std::string refused = recording_.Begin(RecordStartFrm->FileName(), RecordStartFrm->Interval(), Clock());
    if (!refused.empty()) {
        Message(QString::fromStdString(refused));
        return false;
    }
    RecordFileNameLbl->setText(QStringLiteral("記録ﾌｧｲﾙ名/") + QString::fromStdString(recording_.FileName()));
    RecordIntervalLbl->setText(QStringLiteral("記録間隔: ") + QString::number(s.RecordInterval) +
                               QStringLiteral("秒"));
    CheckNumLbl->setText(QString::number(recording_.MarkCount()));
    StartRecordCmd->setText(QStringLiteral("記録終了(&E)"));
    StartRecordCmd->setEnabled(true);
    RecordSTSHdLbl->setVisible(true);
    return true;
}

void MainLumaraFrm::RecordStartCancel() { StartRecordCmd->setEnabled(true); }

void MainLumaraFrm::RecordStopOk()
{
    recording_.End();
    RecordFileNameLbl->clear();
    RecordIntervalLbl->clear();
    StartRecordCmd->setText(QStringLiteral("記録開始(&Y)"));
    StartRecordCmd->setEnabled(true);
    RecordSTSHdLbl->setVisible(false);
}

void MainLumaraFrm::WriteRecordLine(const std::string& line)
{
    // Told once per recording; shown after the fix is handled, not inside
    // the decoder.
    const std::string problem = recording_.WriteLine(line);
    if (!problem.empty())
        QTimer::singleShot(0, this, [this, problem] { Message(QString::fromStdString(problem)); });
}

void MainLumaraFrm::RecordSTSHdLbl_Click()
{
    NavState& s = state_;
    if (!s.RecordingOn) return;
    SetRecordIndicatorLook(recording_.TogglePause());
}

bool MainLumaraFrm::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == RecordSTSHdLbl && e->type() == QEvent::MouseButtonRelease) {
        RecordSTSHdLbl_Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void MainLumaraFrm::SetStartGPSLook(bool running)
{
    StartGPSCmd->setText(running ? QStringLiteral("停止GPS") : QStringLiteral("スタートGPS"));
    const char* sheet = running
        ? "QPushButton { color: rgb(128, 255, 255); background-color: rgb(0, 128, 0);"
          " border: 2px outset rgb(0, 96, 0); }"
        : "QPushButton { color: rgb(255, 255, 0); background-color: rgb(128, 64, 0);"
          " border: 2px outset rgb(96, 48, 0); }";
    StartGPSCmd->setStyleSheet(QString::fromLatin1(sheet));
}

bool MainLumaraFrm::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) Activate();
    if (e->type() == QEvent::Show && !framePlaced_ && isWindow()) {
        framePlaced_ = true;
        // Placed once the window system has the window: a position given
        // before would place the contents, and the frame would lie above the
        // screen's edge.
        QTimer::singleShot(0, this, [this] { GuardedStep([&] { PlaceFrameAtScreenCorner(); }); });
    }
    return QMainWindow::event(e);
}

void MainLumaraFrm::PlaceFrameAtScreenCorner() { tessaro::PlaceFrameAtScreenCorner(this); }

void MainLumaraFrm::Activate()
{
    // The redraw lets other events run; an activation arriving meanwhile
    // must not start the first activation a second time.
    if (!state_.FirstActivate || activating_) return;
    activating_ = true;
    GuardedStep([&] { mapview::FirstActivation(state_, &slots_); });
    GuardedStep([&] { ShowAllData(); });
    state_.FirstActivate = false;
    activating_ = false;
}

void MainLumaraFrm::closeEvent(QCloseEvent* e)
{
    GuardedStep([&] { WriteCurrentSetting(state_); });
    // A running recording keeps every line written so far.
    recording_.Close();
    e->accept();
    if (EndProgram) EndProgram();
}

void MainLumaraFrm::ShowAllData()
{
    overlays::ShowAllData(overlay_);
    // Every redraw may have moved the view under the marks.
    PlacePositionMarkAtFix();
    pointer_.PlaceMarkers();
}

void MainLumaraFrm::PlacePositionMarkAtFix()
{
    if (!tracking_.FixKnown()) return;
    mark_.CentreOn(mapview::PlaneToPicture(state_, state_.PosEasting, state_.PosNorthing));
}

void MainLumaraFrm::WaitShowAllData() { overlays::WaitShowAllData(overlay_); }

void MainLumaraFrm::DrawTrailPoint(double px, double py) { overlays::DrawTrailPoint(overlay_, px, py); }

void MainLumaraFrm::RedrawRecordOverlays() { overlays::RedrawRecordOverlays(overlay_); }

void MainLumaraFrm::LoadMapDataToGrid() { mapview::LoadMapDataToGrid(state_); }

void MainLumaraFrm::ResetMapData()
{
    GuardedStep([&] { LoadMapDataToGrid(); });
    GuardedStep([&] { mapview::SelectNearestMap(state_); });
    GuardedStep([&] { mapview::CheckMapQuadrant(state_); });
    GuardedStep([&] { mapview::LoadMapImages(state_, &slots_); });
    GuardedStep([&] { ShowAllData(); });
}

void MainLumaraFrm::ZoomUpDownCmd_Click(int index)
{
    mapview::ZoomUpDownCmd(state_, index, &slots_);
    ShowAllData();
}

void MainLumaraFrm::MoveImgCmd_Click(int index)
{
    RedrawMoved([&] { mapview::MoveImgCmd(state_, index, &slots_); });
}

void MainLumaraFrm::RedrawMoved(const std::function<void()>& move)
{
    // The mark is hidden while the photographs move under it.
    HidePositionMark();
    move();
    ShowAllData();
    ShowPositionMark();
}

// --- pointer tools ---

void MainLumaraFrm::ClickPicRbn_Toggled(bool pressed)
{
    // The two tools exclude each other: the other one is released first.
    if (pressed && DispXYRbn->isChecked()) DispXYRbn->setChecked(false);
    pointer_.MeasuringPressed(pressed);
}

void MainLumaraFrm::DispXYRbn_Toggled(bool pressed)
{
    if (pressed && ClickPicRbn->isChecked()) ClickPicRbn->setChecked(false);
    pointer_.CoordDisplayPressed(pressed);
}

namespace {

const overlays::PictureItem* PhotoItem(overlays::PictureArea& area, int slot)
{
    if (slot < 0 || slot >= overlays::PictureArea::kPhotoSlots) return nullptr;
    return &area.PhotoImg[static_cast<std::size_t>(slot)];
}

}  // namespace

void MainLumaraFrm::BasePic_MouseDown(Qt::MouseButton button, double x, double y, int photoSlot)
{
    const pointer::PicturePoint p = pointer::PointerPosition(x, y, PhotoItem(BasePic->Area(), photoSlot));
    if (button == Qt::LeftButton) pointer_.LeftPressed(p);
    if (button == Qt::RightButton) pointer_.RightPressed(p);
}

void MainLumaraFrm::BasePic_MouseMove(double x, double y, int photoSlot)
{
    pointer_.Moved(pointer::PointerPosition(x, y, PhotoItem(BasePic->Area(), photoSlot)));
}

void MainLumaraFrm::ShowLonLatPointCmd_Click(int index)
{
    if (index == 0) {
        pointer_.ShowTypedCoordinates(MapXTxt->text().toStdString(), MapYTxt->text().toStdString());
    } else {
        pointer_.ShowTypedLatLon({LatDTxt->text().toStdString(), LatMTxt->text().toStdString(),
                                  LatSTxt->text().toStdString()},
                                 {LonDTxt->text().toStdString(), LonMTxt->text().toStdString(),
                                  LonSTxt->text().toStdString()});
    }
}

void MainLumaraFrm::OpenFileCmd_Click()
{
    if (SetPointFrm) {
        SetPointFrm->raise();
        SetPointFrm->activateWindow();
        return;
    }
    auto* frm = new points::SetPointFrm(this, state_.ProgramFolder);
    frm->onPoint = [this](const points::StoredPoint& p) { SetPointData(p.name, p.easting, p.northing); };
    frm->onMessage = [this](const std::string& m) { Message(QString::fromStdString(m)); };
    SetPointFrm = frm;
    frm->show();
    frm->LoadRemembered();
}

void MainLumaraFrm::SetPointData(const std::string&, double easting, double northing)
{
    pointer_.MarkPoint(easting, northing);
}

void MainLumaraFrm::SetMeasureText(const std::string& text) { MeasDistLbl->setText(QString::fromStdString(text)); }

void MainLumaraFrm::SetCoordinateBoxes(const std::string& easting, const std::string& northing)
{
    MapXTxt->setText(QString::fromStdString(easting));
    MapYTxt->setText(QString::fromStdString(northing));
}

void MainLumaraFrm::SetDegreeBoxes(const pointer::DmsTexts& lat, const pointer::DmsTexts& lon)
{
    LatDTxt->setText(QString::fromStdString(lat.degrees));
    LatMTxt->setText(QString::fromStdString(lat.minutes));
    LatSTxt->setText(QString::fromStdString(lat.seconds));
    LonDTxt->setText(QString::fromStdString(lon.degrees));
    LonMTxt->setText(QString::fromStdString(lon.minutes));
    LonSTxt->setText(QString::fromStdString(lon.seconds));
}

void MainLumaraFrm::SetPositionButtonsEnabled(bool enabled)
{
    ShowLonLatPointCmd[0]->setEnabled(enabled);
    ShowLonLatPointCmd[1]->setEnabled(enabled);
}

void MainLumaraFrm::UseMeasuringPointer(bool on)
{
    if (!on) {
        unsetCursor();
        return;
    }
    // Without its icon file the measuring tool keeps the default pointer.
    const QPixmap icon(QString::fromStdString(state_.ProgramFolder + "/ico/RedPosition.ICO"));
    if (!icon.isNull()) setCursor(QCursor(icon));
}

void MainLumaraFrm::CentreViewOn(double easting, double northing)
{
    state_.ViewCentreEasting = easting;
    state_.ViewCentreNorthing = static_cast<float>(northing);
    GuardedStep([&] { mapview::SelectNearestMap(state_); });
    GuardedStep([&] { mapview::CheckMapQuadrant(state_); });
    GuardedStep([&] { mapview::LoadMapImages(state_, &slots_); });
    GuardedStep([&] { ShowAllData(); });
}

// --- navigation on the picture: wheel, drag, keys ---

void MainLumaraFrm::BuildViewNavigation()
{
    BasePic->SetZoomFactors([this] { return mapview::ZoomStepFactors(state_); });
    // A pressed pointer tool takes the clicks on the picture; dragging then
    // does not pan.
    BasePic->SetPanAllowed([this] { return !ClickPicRbn->isChecked() && !DispXYRbn->isChecked(); });
    connect(BasePic, &overlays::BasePic::PictureWheelSteps, this, [this](int steps) { BasePic_WheelSteps(steps); });
    connect(BasePic, &overlays::BasePic::PictureDragged, this,
            [this](double dx, double dy) { BasePic_Dragged(dx, dy); });
    // The keys act like the buttons, as in a map program: an arrow key shows
    // more of the ground that way (the photographs slide the other way).
    // A text box keeps the keys it edits with (left, right, + and -).
    const struct {
        int key;
        bool zoom;
        int index;
    } keys[] = {
        {Qt::Key_Left, false, 0},  {Qt::Key_Right, false, 3}, {Qt::Key_Up, false, 1},
        {Qt::Key_Down, false, 2},  {Qt::Key_Plus, true, 0},   {Qt::Key_Minus, true, 1},
    };
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(QKeySequence(k.key), this);
        const bool zoom = k.zoom;
        const int index = k.index;
        connect(shortcut, &QShortcut::activated, this, [this, zoom, index] {
            if (zoom)
                ZoomUpDownCmd_Click(index);
            else
                MoveImgCmd_Click(index);
        });
    }
}

void MainLumaraFrm::BasePic_WheelSteps(int steps)
{
    // One zoom level per notch; away from the user zooms in.
    for (int i = 0; i < std::abs(steps); ++i) ZoomUpDownCmd_Click(steps > 0 ? 0 : 1);
}

void MainLumaraFrm::BasePic_Dragged(double dx, double dy)
{
    // The redraw of a pan button, for the dragged distance.
    RedrawMoved([&] { mapview::DragImgCmd(state_, dx, dy, &slots_); });
}

void MainLumaraFrm::LoadGPGGAData2Menu_Click()
{
    if (DataLoadFrm) {
        DataLoadFrm->raise();
        DataLoadFrm->activateWindow();
        return;
    }
    const char* home = std::getenv("HOME");
    DataLoadFrm = new gps::DataLoadFrm(this, state_.ProgramFolder, home ? home : "/");
    gps::DataLoadFrm* w = DataLoadFrm;
    w->showMessage = [this](const std::string& text) { Message(QString::fromStdString(text)); };
    w->verifyChecksum = state_.GGAChecksumTest;
    w->onOk = [this, w] {
        for (const std::string& m : w->Session().Load(state_)) Message(QString::fromStdString(m));
        GPGGAFileLbl->setText(QString::fromStdString(w->Session().LogCaption()));
        DispGGATmr->start(1000);
    };
    w->onCancel = [this] { gps::DataLoadSession::Cancel(state_); };
    w->show();
}

void MainLumaraFrm::LoadGGALogs(const std::vector<std::string>& paths)
{
    gps::DataLoadSession session(state_.ProgramFolder);
    for (const std::string& path : paths) session.Choose(path);
    for (const std::string& m : session.Load(state_)) Message(QString::fromStdString(m));
    GPGGAFileLbl->setText(QString::fromStdString(session.LogCaption()));
    ShowGPGGAData();
}

void MainLumaraFrm::ShowGPGGAData()
{
    NavState& s = state_;
    // The recording goes on as it was: a log shown beside it changes nothing
    // of what is recorded.
    s.GGALogShown = s.GGALogLoaded;
    if (s.GGALogShown) {
        // None of the log in view: the view moves to it.
        mapview::CentreViewOnPointsIfNoneInView(s, s.GGAPointEasting, s.GGAPointNorthing, s.GGAPointCount);
        LoadMapImages();
        LoadGPGGAData2Menu->setEnabled(false);
        EndRecordGGAMenu->setEnabled(true);
        GPGGAFileLbl->setVisible(true);
    }
    ShowAllData();
}

void MainLumaraFrm::EndRecordGGAMenu_Click()
{
    state_.GGALogShown = false;
    GPGGAFileLbl->setVisible(false);
    LoadGPGGAData2Menu->setEnabled(true);
    EndRecordGGAMenu->setEnabled(false);
    for (auto& m : BasePic->Area().MarkPointImg) m.visible = false;
    // The log leaves the picture at once.
    ShowAllData();
}

void MainLumaraFrm::EndRecordDataMenu_Click()
{
    // The drawn track stays on the screen until the next full redraw.
    state_.ShowRecordPoints = false;
    DispRecordDataMenu->setEnabled(true);
    EndRecordDataMenu->setEnabled(false);
}

void MainLumaraFrm::DispRecordDataMenu_Click()
{
    if (ShowRecordDataFileFrm) {
        ShowRecordDataFileFrm->raise();
        ShowRecordDataFileFrm->activateWindow();
        return;
    }
    ShowRecordDataFileFrm = new recording::ShowRecordDataFileFrm(this, state_.ProgramFolder + "/data2");
    recording::ShowRecordDataFileFrm* w = ShowRecordDataFileFrm;
    w->showMessage = [this](const std::string& text) { Message(QString::fromStdString(text)); };
    w->onOk = [this, w] {
        NavState& s = state_;
        const recording::RecordLoad load = w->Session().Show(s);
        for (const std::string& m : load.messages) Message(QString::fromStdString(m));
        RecordDataNameLbl->setText(QString::fromStdString(w->Session().SelectedFileName()));
        RecordDataNameLbl->setVisible(s.ShowRecordPoints);
        if (!s.ShowRecordPoints) return;
        DispRecordDataMenu->setEnabled(false);
        EndRecordDataMenu->setEnabled(true);
        mapview::CentreViewOnPointsIfNoneInView(s, s.RecordPointEasting, s.RecordPointNorthing, s.RecordPointCount);
        LoadMapImages();
        WaitShowAllData();
    };
    w->show();
}

void MainLumaraFrm::ShowMKPointRbn_Toggled(bool pressed)
{
    if (!pressed) {
        if (CheckMKPointFrm) CheckMKPointFrm->close();
        return;
    }
    if (CheckMKPointFrm) {
        CheckMKPointFrm->raise();
        return;
    }
    // The list is made afresh each time it opens.
    CheckMKPointFrm = new recording::CheckMKPointFrm(this, state_);
    connect(CheckMKPointFrm, &QDialog::finished, this, [this] { ShowMKPointRbn->setChecked(false); });
    CheckMKPointFrm->show();
}

// --- GPS window ---

void MainLumaraFrm::ShowZoneChangeMessage(const std::string& text) { Message(QString::fromStdString(text)); }

void MainLumaraFrm::SetLabel(gps::FixLabel label, const std::string& text)
{
    QLabel* target = nullptr;
    switch (label) {
    case gps::FixLabel::GPSTimeLbl: target = GPSTimeLbl; break;
    case gps::FixLabel::GPSSaetNumLbl: target = GPSSaetNumLbl; break;
    case gps::FixLabel::DispPublicXlbl: target = DispPublicXlbl; break;
    case gps::FixLabel::DispPublicYlbl: target = DispPublicYlbl; break;
    case gps::FixLabel::GPSStatusLbl: target = GPSStatusLbl; break;
    }
    if (target) target->setText(QString::fromStdString(text));
}

void MainLumaraFrm::SetRecordIndicatorVisible(bool visible)
{
    // The decoder's blink: lit or blank, never hidden.
    recordIndicatorLit_ = visible;
    ApplyRecordIndicatorLook();
    RecordSTSHdLbl->setVisible(true);
}

void MainLumaraFrm::HidePositionMark() { mark_.Hide(); }

void MainLumaraFrm::PlacePositionMark(double left, double top) { mark_.Place(left, top); }

void MainLumaraFrm::BringPositionMarkToFront() { mark_.BringToFront(); }

void MainLumaraFrm::ShowPositionMark()
{
    // Without a fix there is nothing to mark: a mark in the middle of the
    // picture would point at ground the receiver never reported.
    mark_.SetVisible(tracking_.MarkShown());
}

// --- map selection ---

int MainLumaraFrm::SelectNearestMap() { return mapview::SelectNearestMap(state_); }

int MainLumaraFrm::CheckMapQuadrant() { return mapview::CheckMapQuadrant(state_); }

void MainLumaraFrm::LoadMapImages() { mapview::LoadMapImages(state_, &slots_); }

}  // namespace tessaro::app
