#include "app/main_lumara_frm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QMenuBar>
#include <QMessageBox>

#include "mapview/map_loader.h"
#include "shell/settings.h"

namespace tessaro::app {

namespace {

// Runs one step of a sequence whose steps must not stop each other: a step
// that fails is skipped.
template <typename F>
void Step(F&& f)
{
    try {
        f();
    } catch (...) {
    }
}

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
      overlay_{state, (BasePic = new overlays::BasePic)->Area(), &footprints_, {}}
{
    EndProgram = [] { QCoreApplication::exit(0); };
    state_.ProgramFolder = std::move(programFolder);
    setWindowTitle(QStringLiteral("GPSマップ"));
    setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    BuildControls();
    BuildMenus();
    Load();
}

MainLumaraFrm::~MainLumaraFrm() = default;

void MainLumaraFrm::BuildControls()
{
    auto* c = new QWidget(this);
    setCentralWidget(c);
    c->setFixedSize(1030, 748);

    BasePic->setParent(c);
    BasePic->setGeometry(6, 6, 788, 678);
    // The marks start centred on the middle of the picture.
    BasePic->Area().GPSPointImg.left = -8;
    BasePic->Area().GPSPointImg.top = 8;
    BasePic->Area().PointImg.left = -10;
    BasePic->Area().PointImg.top = 10;

    const int x = 806;  // the panel right of the picture area
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

    connect(EndRecordGGAMenu, &QAction::triggered, this, [this] { EndRecordGGAMenu_Click(); });
    connect(EndRecordDataMenu, &QAction::triggered, this, [this] { EndRecordDataMenu_Click(); });
    connect(EndThisProgramMenu, &QAction::triggered, this, [this] { close(); });
}

void MainLumaraFrm::Load()
{
    NavState& s = state_;
    Step([&] { move(0, 0); });
    s.FirstActivate = true;
    Step([&] { BasePic->setFixedSize(788, 678); });
    Step([&] { s.Scales = BuildScaleTable(); });
    s.ScaleLevel = 16;
    s.ViewCentreEasting = 0.0;
    s.ViewCentreNorthing = 0.0f;
    Step([&] { ReadCurrentSetting(s); });
    Step([&] { mapview::ApplyScaleLevel(s); });
    Step([&] { ReadGPSSetting(s); });
    Step([&] { LoadMapDataToGrid(); });
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
    return QMainWindow::event(e);
}

void MainLumaraFrm::Activate()
{
    // The redraw lets other events run; an activation arriving meanwhile
    // must not start the first activation a second time.
    if (!state_.FirstActivate || activating_) return;
    activating_ = true;
    Step([&] { mapview::FirstActivation(state_, this); });
    Step([&] { ShowAllData(); });
    state_.FirstActivate = false;
    activating_ = false;
}

void MainLumaraFrm::closeEvent(QCloseEvent* e)
{
    Step([&] { WriteCurrentSetting(state_); });
    e->accept();
    if (EndProgram) EndProgram();
}

void MainLumaraFrm::ShowAllData() { overlays::ShowAllData(overlay_); }

void MainLumaraFrm::WaitShowAllData() { overlays::WaitShowAllData(overlay_); }

void MainLumaraFrm::DrawTrailPoint(double px, double py) { overlays::DrawTrailPoint(overlay_, px, py); }

void MainLumaraFrm::RedrawRecordOverlays() { overlays::RedrawRecordOverlays(overlay_); }

void MainLumaraFrm::LoadMapDataToGrid() { mapview::LoadMapDataToGrid(state_); }

void MainLumaraFrm::ResetMapData()
{
    Step([&] { LoadMapDataToGrid(); });
    Step([&] { mapview::SelectNearestMap(state_); });
    Step([&] { mapview::CheckMapQuadrant(state_); });
    Step([&] { mapview::LoadMapImages(state_, this); });
    Step([&] { ShowAllData(); });
}

void MainLumaraFrm::ZoomUpDownCmd_Click(int index)
{
    mapview::ZoomUpDownCmd(state_, index, this);
    ShowAllData();
}

void MainLumaraFrm::MoveImgCmd_Click(int index)
{
    HidePositionMark();
    mapview::MoveImgCmd(state_, index, this);
    ShowAllData();
    ShowPositionMark();
}

void MainLumaraFrm::EndRecordGGAMenu_Click()
{
    // The drawn log stays on the screen until the next full redraw.
    state_.GGALogShown = false;
    GPGGAFileLbl->setVisible(false);
    LoadGPGGAData2Menu->setEnabled(true);
    EndRecordGGAMenu->setEnabled(false);
    for (auto& m : BasePic->Area().MarkPointImg) m.visible = false;
    BasePic->Area().Changed();
}

void MainLumaraFrm::EndRecordDataMenu_Click() { state_.ShowRecordPoints = false; }

// --- picture slots ---

bool MainLumaraFrm::LoadPicture(int slot, const std::string& path)
{
    ++pictureLoads_;
    return BasePic->LoadPhoto(slot, path);
}

void MainLumaraFrm::SendToBack(int slot)
{
    if (slot < 0 || slot >= overlays::PictureArea::kPhotoSlots) return;
    BasePic->Area().SendToBack(BasePic->Area().PhotoImg[static_cast<std::size_t>(slot)]);
}

void MainLumaraFrm::BringToFront(int slot)
{
    if (slot < 0 || slot >= overlays::PictureArea::kPhotoSlots) return;
    BasePic->Area().BringToFront(BasePic->Area().PhotoImg[static_cast<std::size_t>(slot)]);
}

void MainLumaraFrm::SetPlacement(int slot, double left, double top, double width, double height)
{
    if (slot < 0 || slot >= overlays::PictureArea::kPhotoSlots) return;
    auto& item = BasePic->Area().PhotoImg[static_cast<std::size_t>(slot)];
    item.left = left;
    item.top = top;
    item.width = width;
    item.height = height;
    BasePic->Area().Changed();
}

void MainLumaraFrm::SetVisible(int slot, bool visible)
{
    if (slot < 0 || slot >= overlays::PictureArea::kPhotoSlots) return;
    BasePic->Area().PhotoImg[static_cast<std::size_t>(slot)].visible = visible;
    BasePic->Area().Changed();
}

// --- GPS window ---

void MainLumaraFrm::ShowZoneChangeMessage(const std::string& text)
{
    ShowMessage(this, QString::fromStdString(text));
}

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

void MainLumaraFrm::SetRecordIndicatorVisible(bool visible) { RecordSTSHdLbl->setVisible(visible); }

void MainLumaraFrm::HidePositionMark()
{
    BasePic->Area().GPSPointImg.visible = false;
    BasePic->Area().Changed();
}

void MainLumaraFrm::PlacePositionMark(double left, double top)
{
    auto& mark = BasePic->Area().GPSPointImg;
    mark.left = left;
    mark.top = top;
    BasePic->Area().Changed();
}

void MainLumaraFrm::BringPositionMarkToFront() { BasePic->Area().BringToFront(BasePic->Area().GPSPointImg); }

void MainLumaraFrm::ShowPositionMark()
{
    BasePic->Area().GPSPointImg.visible = true;
    BasePic->Area().Changed();
}

// --- map selection ---

int MainLumaraFrm::SelectNearestMap() { return mapview::SelectNearestMap(state_); }

int MainLumaraFrm::CheckMapQuadrant() { return mapview::CheckMapQuadrant(state_); }

void MainLumaraFrm::LoadMapImages() { mapview::LoadMapImages(state_, this); }

}  // namespace tessaro::app
