#include "app/help_pictures.h"

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <tuple>
#include <utility>

#include "app/main_lumara_frm.h"
#include "builder/data_position_frm.h"
#include "builder/map_data_setting_frm.h"
#include "gps/gps_setting_frm.h"
#include "gps/nmea_feeder.h"
#include "help/help_frm.h"
#include "help/help_pages.h"
#include "mapview/map_view.h"
#include "recording/record_dialogs.h"
#include "recording/review_dialogs.h"

namespace tessaro::app {

namespace {

namespace fs = std::filesystem;

const QSize kPictureSize(kPictureWidth, kPictureHeight);

// A receiver that delivers what it is handed at once, as one receive
// notification: tracking and recording run their real path without a device
// or a clock.
class ReplayReceiver : public GpsComPort {
public:
    bool SetCommPort(int) override { return true; }
    bool SetSettings(const std::string&) override { return true; }
    bool SetInBufferCount(int) override { return true; }
    bool SetInTimeout(int) override { return true; }
    bool SetRThreshold(int) override { return true; }
    bool SetInputLen(int) override { return true; }
    bool SetPortOpen(bool open) override
    {
        open_ = open;
        return true;
    }
    bool PortOpen() override { return open_; }
    int CommEvent() override { return gps::kReceiveEvent; }
    int InBufferCount() override { return static_cast<int>(queued_.size()); }
    std::string Input() override { return std::exchange(queued_, {}); }

    void Deliver(const std::string& bytes)
    {
        if (!open_) return;
        queued_ += bytes;
        if (onComm) onComm();
    }

private:
    bool open_ = false;
    std::string queued_;
};

void WriteLines(const fs::path& file, const std::vector<std::string>& lines)
{
    std::ofstream out(file, std::ios::binary);
    for (const std::string& l : lines) out << l << "\r\n";
}

// Lets posted events (layouts, repaints, deferred deletes) run.
void Settle()
{
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// `shot` scaled to fit the picture size (aspect kept, smooth), centred on
// the window colour.
QImage Fit(const QImage& shot)
{
    QImage out(kPictureSize, QImage::Format_RGB32);
    out.fill(QApplication::palette().window().color());
    const QImage scaled = shot.scaled(kPictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&out);
    p.drawImage((kPictureWidth - scaled.width()) / 2, (kPictureHeight - scaled.height()) / 2, scaled);
    return out;
}

QImage Crop(const QImage& shot, const QRect& part) { return Fit(shot.copy(part)); }

QImage Grab(QWidget* w)
{
    Settle();
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The mouse as the user works it, delivered straight to the widget.
void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : button;
    QMouseEvent e(type, QPointF(at), target->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

void Click(QWidget* target, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(target, QEvent::MouseButtonPress, at, button);
    SendMouse(target, QEvent::MouseButtonRelease, at, button);
}

// A double click as a user makes it: a click, then the second press.
void DoubleClick(QWidget* target, QPoint at)
{
    Click(target, at);
    SendMouse(target, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    SendMouse(target, QEvent::MouseButtonRelease, at, Qt::LeftButton);
}

// A panel control's rectangle in the main window's pixels.
QRect InWindow(MainLumaraFrm& w, QWidget* control)
{
    return QRect(control->mapTo(&w, QPoint(0, 0)), control->size());
}

// The picture-unit position of a ground point as a pixel of BasePic.
QPoint PixelOf(MainLumaraFrm& w, double easting, double northing)
{
    const pointer::PicturePoint at = mapview::PlaneToPicture(w.State(), easting, northing);
    return w.BasePic->ToPixel(at.x, at.y).toPoint();
}

// --- the diagrams of the screenshot source ---

struct Diagram {
    QImage image{kPictureSize, QImage::Format_RGB32};
    QPainter p;
    QFont font{QStringLiteral("Noto Sans CJK JP"), 9};

    Diagram()
    {
        image.fill(QColor(236, 236, 236));
        p.begin(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setFont(font);
    }
    // The screenshot source's window filling the picture, with its menu bar
    // and the menu `open` highlighted; `client` is the room below the title.
    std::vector<QRect> EarthWindow(int open, QRect& client)
    {
        client = Window(QRect(4, 4, 392, 242), QStringLiteral("GoogleEarth"));
        return MenuBar(QRect(client.left(), client.top(), client.width(), 20),
                       {QStringLiteral("ファイル"), QStringLiteral("編集"), QStringLiteral("表示"),
                        QStringLiteral("ツール"), QStringLiteral("ヘルプ")},
                       open);
    }
    QImage Done()
    {
        p.end();
        return image;
    }
    void Box(const QRect& r, const QColor& fill, const QColor& line = QColor(90, 90, 90))
    {
        p.setPen(line);
        p.setBrush(fill);
        p.drawRect(r);
    }
    void Text(const QRect& r, const QString& s, int flags = Qt::AlignLeft | Qt::AlignVCenter,
              const QColor& colour = Qt::black)
    {
        p.setPen(colour);
        p.drawText(r, flags, s);
    }
    // A window frame with its title bar; returns the client rectangle.
    QRect Window(const QRect& r, const QString& title)
    {
        Box(r, QColor(250, 250, 250));
        Box(QRect(r.left(), r.top(), r.width(), 20), QColor(70, 100, 150));
        Text(QRect(r.left() + 6, r.top(), r.width() - 12, 20), title, Qt::AlignLeft | Qt::AlignVCenter, Qt::white);
        return r.adjusted(1, 21, -1, -1);
    }
    // A menu bar with `items`; the one at `active` drawn selected. Returns
    // the rectangle of each item.
    std::vector<QRect> MenuBar(const QRect& bar, const std::vector<QString>& items, int active)
    {
        Box(bar, QColor(245, 245, 245), QColor(180, 180, 180));
        std::vector<QRect> at;
        int x = bar.left() + 4;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const int w = p.fontMetrics().horizontalAdvance(items[i]) + 14;
            const QRect r(x, bar.top() + 1, w, bar.height() - 2);
            if (static_cast<int>(i) == active) Box(r, QColor(200, 215, 240), QColor(120, 150, 200));
            Text(r, items[i], Qt::AlignCenter);
            at.push_back(r);
            x += w;
        }
        return at;
    }
    // A drop-down list of `items` at `topLeft`; the one at `active` selected.
    // Returns the rectangle of each item.
    std::vector<QRect> Menu(QPoint topLeft, int width, const std::vector<QString>& items, int active)
    {
        const int rowHeight = 20;
        Box(QRect(topLeft, QSize(width, rowHeight * static_cast<int>(items.size()) + 4)), Qt::white);
        std::vector<QRect> at;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const QRect r(topLeft.x() + 2, topLeft.y() + 2 + rowHeight * static_cast<int>(i), width - 4, rowHeight);
            if (static_cast<int>(i) == active) Box(r, QColor(200, 215, 240), QColor(120, 150, 200));
            Text(r.adjusted(8, 0, 0, 0), items[i]);
            at.push_back(r);
        }
        return at;
    }
    void CheckBox(QPoint at, const QString& label, bool checked)
    {
        Box(QRect(at, QSize(12, 12)), Qt::white, QColor(60, 60, 60));
        if (checked) {
            p.setPen(QPen(QColor(20, 20, 20), 2));
            p.drawLine(at + QPoint(2, 6), at + QPoint(5, 10));
            p.drawLine(at + QPoint(5, 10), at + QPoint(10, 2));
        }
        Text(QRect(at.x() + 18, at.y() - 4, 300, 20), label);
    }
    void Arrow(QPointF from, QPointF to, const QColor& colour = QColor(220, 30, 30))
    {
        p.setPen(QPen(colour, 2.5));
        p.drawLine(from, to);
        const QLineF line(to, from);
        QLineF a = line;
        a.setLength(10);
        a.setAngle(line.angle() + 28);
        QLineF b = line;
        b.setLength(10);
        b.setAngle(line.angle() - 28);
        QPainterPath head;
        head.moveTo(to);
        head.lineTo(a.p2());
        head.lineTo(b.p2());
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(head);
    }
    void Note(const QRect& r, const QString& s)
    {
        Box(r, QColor(255, 250, 205), QColor(200, 170, 60));
        Text(r.adjusted(6, 0, -4, 0), s, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap);
    }
};

// "ツール" > "オプション": the navigation page with the automatic tilt off,
// and the terrain layer off.
QImage OptionsDiagram()
{
    Diagram d;
    QRect client;
    const auto bar = d.EarthWindow(3, client);
    const auto items = d.Menu(bar[3].bottomLeft() + QPoint(0, 1), 110,
                              {QStringLiteral("ルーラ"), QStringLiteral("GPS"), QStringLiteral("オプション...")}, 2);

    // The layer panel on the left: terrain unticked.
    const QRect layers(client.left() + 6, client.top() + 30, 120, 96);
    d.Box(layers, Qt::white);
    d.Text(QRect(layers.left() + 6, layers.top() + 2, 110, 18), QStringLiteral("レイヤ"));
    d.CheckBox(layers.topLeft() + QPoint(8, 28), QStringLiteral("道路"), true);
    d.CheckBox(layers.topLeft() + QPoint(8, 50), QStringLiteral("境界"), true);
    d.CheckBox(layers.topLeft() + QPoint(8, 72), QStringLiteral("地形"), false);
    d.p.setPen(QPen(QColor(220, 30, 30), 2));
    d.p.setBrush(Qt::NoBrush);
    d.p.drawEllipse(QRect(layers.left() + 2, layers.top() + 66, 70, 24));

    // The options window, navigation page, below the menu.
    const QRect options = d.Window(QRect(150, 118, 244, 126), QStringLiteral("オプション"));
    const QString tabs[] = {QStringLiteral("3Dビュー"), QStringLiteral("ナビゲーション"), QStringLiteral("全般")};
    int x = options.left() + 4;
    for (int i = 0; i < 3; ++i) {
        const int w = d.p.fontMetrics().horizontalAdvance(tabs[i]) + 12;
        d.Box(QRect(x, options.top() + 4, w, 20), i == 1 ? Qt::white : QColor(225, 225, 225));
        d.Text(QRect(x, options.top() + 4, w, 20), tabs[i], Qt::AlignCenter);
        x += w + 2;
    }
    d.CheckBox(options.topLeft() + QPoint(14, 38), QStringLiteral("ズーム時に自動的に傾斜する"), false);
    d.CheckBox(options.topLeft() + QPoint(14, 60), QStringLiteral("マウスのホイールの方向を反転"), false);
    d.Box(QRect(options.right() - 62, options.bottom() - 26, 54, 20), QColor(230, 230, 230));
    d.Text(QRect(options.right() - 62, options.bottom() - 26, 54, 20), QStringLiteral("OK"), Qt::AlignCenter);
    d.Note(QRect(options.left() + 40, options.bottom() - 26, 110, 20), QStringLiteral("チェックを外す"));
    d.Arrow(QPointF(options.left() + 44, options.bottom() - 26), QPointF(options.left() + 22, options.top() + 54));
    d.Arrow(QPointF(items[2].right() + 4, items[2].center().y()), QPointF(options.right() - 30, options.top() - 24));
    return d.Done();
}

// Grid and compass on, north up.
QImage GridDiagram()
{
    Diagram d;
    QRect client;
    const auto bar = d.EarthWindow(2, client);
    const QRect view(client.left(), client.top() + 20, client.width(), client.height() - 20);
    d.Box(view, QColor(120, 150, 110), QColor(120, 150, 110));
    // The grid of latitudes and longitudes.
    d.p.setPen(QPen(QColor(240, 240, 240), 1));
    for (int gx = view.left() + 30; gx < view.right(); gx += 60) d.p.drawLine(gx, view.top(), gx, view.bottom());
    for (int gy = view.top() + 20; gy < view.bottom(); gy += 50) d.p.drawLine(view.left(), gy, view.right(), gy);
    // The compass, north at the top.
    const QPointF c(view.right() - 40, view.top() + 42);
    d.p.setPen(QPen(Qt::white, 2));
    d.p.setBrush(QColor(0, 0, 0, 90));
    d.p.drawEllipse(c, 26, 26);
    QPainterPath needle;
    needle.moveTo(c + QPointF(0, -22));
    needle.lineTo(c + QPointF(6, 0));
    needle.lineTo(c + QPointF(-6, 0));
    needle.closeSubpath();
    d.p.setPen(Qt::NoPen);
    d.p.setBrush(QColor(230, 40, 40));
    d.p.drawPath(needle);
    d.Text(QRect(static_cast<int>(c.x()) - 10, static_cast<int>(c.y()) + 2, 20, 20), QStringLiteral("N"),
           Qt::AlignCenter, Qt::white);
    // The status line with the altitude.
    d.Box(QRect(view.left(), view.bottom() - 17, view.width(), 18), QColor(40, 40, 40), QColor(40, 40, 40));
    d.Text(QRect(view.left() + 8, view.bottom() - 17, view.width() - 16, 18),
           QStringLiteral("35°42'19.45\"N  139°45'00.18\"E     高度  870 m"), Qt::AlignLeft | Qt::AlignVCenter,
           Qt::white);

    d.Menu(bar[2].bottomLeft() + QPoint(0, 1), 130,
           {QStringLiteral("ツールバー"), QStringLiteral("グリッド"), QStringLiteral("ナビゲーション")}, 1);
    d.Note(QRect(view.left() + 150, view.top() + 100, 130, 40), QStringLiteral("北を真上に合わせ、\n合わせたら消す"));
    d.Arrow(QPointF(view.left() + 280, view.top() + 106), c + QPointF(-24, 14));
    return d.Done();
}

// "ファイル" > "保存" > "画像を保存", and the area covered by shifted shots.
QImage SaveDiagram()
{
    Diagram d;
    QRect client;
    const auto bar = d.EarthWindow(0, client);
    const auto file = d.Menu(bar[0].bottomLeft() + QPoint(0, 1), 100,
                             {QStringLiteral("開く..."), QStringLiteral("保存"), QStringLiteral("印刷...")}, 1);
    d.Menu(QPoint(file[1].right() + 2, file[1].top()), 120,
           {QStringLiteral("場所を保存"), QStringLiteral("画像を保存...")}, 1);

    // Shots shifted across and down, overlapping a little, cover the area.
    const QRect area(client.left() + 90, client.top() + 100, 240, 120);
    d.p.setPen(QPen(QColor(60, 110, 60), 1, Qt::DashLine));
    d.p.setBrush(QColor(200, 225, 190));
    d.p.drawRect(area);
    int n = 1;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) {
            const QRect shot(area.left() + 6 + col * 74, area.top() + 6 + row * 54, 84, 56);
            d.p.setPen(QPen(QColor(40, 70, 140), 1.5));
            d.p.setBrush(QColor(255, 255, 255, 120));
            d.p.drawRect(shot);
            d.Text(shot, QStringLiteral("Map%1.jpg").arg(n++, 2, 10, QLatin1Char('0')), Qt::AlignCenter,
                   QColor(40, 70, 140));
        }
    d.Arrow(QPointF(area.left() + 30, area.top() - 8), QPointF(area.right() - 30, area.top() - 8));
    d.Arrow(QPointF(area.right() + 10, area.top() + 20), QPointF(area.right() + 10, area.bottom() - 20));
    d.Note(QRect(client.left() + 240, client.top() + 30, 140, 40), QStringLiteral("別々のファイル名で\n保存する"));
    return d.Done();
}

// --- the program's own windows ---

class Scenario {
public:
    bool Open(const std::string& dataFolder, std::string& error);
    bool Run(std::vector<MadePicture>& pictures, std::string& error);

private:
    QImage Menus();
    QImage GpsSettings();
    QImage Buttons1();
    QImage Buttons2();
    bool Builder(QImage& builder, QImage& correction, QImage& viewer, std::string& error);
    bool Live(QImage& overview, QImage& live, std::string& error);
    bool Records(QImage& list, QImage& measure, std::string& error);

    QTemporaryDir home_{QStringLiteral("/tmp/tessaro-help-pictures-XXXXXX")};
    QTemporaryDir config_;
    NavState state_;
    std::unique_ptr<MainLumaraFrm> w_;
    ReplayReceiver* receiver_ = nullptr;
    std::vector<std::string> messages_;
};

bool Scenario::Open(const std::string& dataFolder, std::string& error)
{
    if (!home_.isValid() || !config_.isValid()) {
        error = "cannot make a scratch folder";
        return false;
    }
    const fs::path home = home_.path().toStdString();
    std::error_code ec;
    fs::copy(dataFolder, home, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
    if (ec || !fs::exists(home / "MapPicSample" / "MapFileData1.dat")) {
        error = "cannot copy the sample data from " + dataFolder;
        return false;
    }
    // Pictures of an older run would show in the help windows' own pictures.
    fs::remove_all(home / "help", ec);
    fs::create_directories(home / "data0");
    // The sample area at scale level 16 in zone 9, the receiver on Com3.
    WriteLines(home / "data0/CurrentSetting.dat",
               {(home / "MapPicSample").string(), " 16 ", "-6636.3,-33281.1", "-6636.3,-33281.1"});
    WriteLines(home / "data0/GPSSetting.dat", {" 9 ", "36-00", "139-50", " 3 ", " 2 ", "4800,n,8,1"});

    // A private port profile: Com3 mapped to a receiver's stable name, and
    // none of the user's mappings.
    qputenv("TOLVEXCOMM_CONFIG_DIR", config_.path().toLocal8Bit());
    for (int port = 1; port <= 16; ++port) qunsetenv(("TOLVEXCOMM_COM" + std::to_string(port)).c_str());
    WriteLines(config_.path().toStdString() + "/tolvexcomm.ini",
               {"[Ports]", "COM3=/dev/serial/by-id/usb-u-blox_GNSS_receiver-if00"});
    QDir().mkpath(config_.path() + "/devices");

    w_ = std::make_unique<MainLumaraFrm>(state_, home.string());
    w_->SetWait([](double) {});
    w_->EndProgram = [] {};
    w_->onMessage = [this](const QString& text) { messages_.push_back(text.toStdString()); };
    w_->Clock = [] { return recording::LocalDateTime{2010, 5, 8, 10, 0, 0}; };
    // Every paint exact: no stretched stand-ins while copies are made.
    w_->BasePic->SetZoomFactors({});
    auto receiver = std::make_unique<ReplayReceiver>();
    receiver_ = receiver.get();
    w_->SetGpsCom(std::move(receiver));
    const std::string devices = config_.path().toStdString() + "/devices";
    w_->SerialDeviceRoots = {devices, devices + "/serial/by-id", devices + "/sys", "localhost", 0};
    w_->show();
    w_->Activate();
    Settle();
    return true;
}

// "ファイル(&F)" open with "GPGGAデータ(&G)" beside it, over the window.
QImage Scenario::Menus()
{
    MainLumaraFrm& w = *w_;
    QImage shot = Grab(&w);
    QMenu* file = w.FileMenu;
    QMenu* log = w.FileOpenMenu;
    file->setActiveAction(log->menuAction());
    log->setActiveAction(w.LoadGPGGAData2Menu);
    file->adjustSize();
    log->adjustSize();
    const QRect item = w.menuBar()->actionGeometry(file->menuAction());
    const QPoint fileAt = w.menuBar()->mapTo(&w, item.bottomLeft() + QPoint(0, 1));
    const QRect logItem = file->actionGeometry(log->menuAction());
    const QPoint logAt = fileAt + QPoint(file->width() - 2, logItem.top());
    QPainter p(&shot);
    p.drawImage(fileAt, file->grab().toImage());
    p.drawImage(logAt, log->grab().toImage());
    p.end();
    file->setActiveAction(nullptr);
    log->setActiveAction(nullptr);
    return shot.copy(QRect(0, 0, kPictureWidth, kPictureHeight));
}

QImage Scenario::GpsSettings()
{
    MainLumaraFrm& w = *w_;
    w.SettingGPSMenu->trigger();
    Settle();
    gps::GPSSettingFrm* d = w.GPSSettingFrm;
    if (!d) return {};
    // The zones from the one chosen down, and the port, its speed and the
    // serial devices.
    const QImage shot = Crop(Grab(d), QRect(8, 186, 600, 375));
    d->CancelCmd->click();
    Settle();
    return shot;
}

// The pan and zoom buttons, "表示画像" and "MKポイントデータ", with the
// edge of the picture area.
QImage Scenario::Buttons1()
{
    MainLumaraFrm& w = *w_;
    const QRect panel = InWindow(w, w.MoveImgCmd[2]).united(InWindow(w, w.ShowMKPointRbn));
    return Grab(&w).copy(QRect(panel.right() + 10 - kPictureWidth, panel.top() - 40, kPictureWidth, kPictureHeight));
}

// The coordinate display under the pointer and the star marker put there.
QImage Scenario::Buttons2()
{
    MainLumaraFrm& w = *w_;
    const QRect boxes = InWindow(w, w.ShowLonLatPointCmd[1]);
    const QRect part(boxes.right() + 10 - kPictureWidth, boxes.bottom() + 8 - kPictureHeight, kPictureWidth,
                     kPictureHeight);
    w.DispXYRbn->click();
    // A point of the picture area inside the part shown.
    const QPoint at = w.BasePic->mapFrom(&w, QPoint(part.left() + 90, part.top() + 70));
    SendMouse(w.BasePic, QEvent::MouseMove, at, Qt::NoButton);
    w.ShowLonLatPointCmd[1]->click();
    Settle();
    const QImage shot = Grab(&w).copy(part);
    w.DispXYRbn->click();  // the display and the marker off
    w.MapXTxt->clear();
    w.MapYTxt->clear();
    for (QLineEdit* box : {w.LatDTxt, w.LatMTxt, w.LatSTxt, w.LonDTxt, w.LonMTxt, w.LonSTxt}) box->clear();
    Settle();
    return shot;
}

bool Scenario::Builder(QImage& builder, QImage& correction, QImage& viewer, std::string& error)
{
    MainLumaraFrm& w = *w_;
    w.DownloadMapSettingMenu->trigger();
    Settle();
    builder::MapDataSettingFrm* b = w.MapDataSettingFrm;
    if (!b) {
        error = "the builder did not open";
        return false;
    }
    b->SetReadPause(0);
    b->SetLonLatAndHeightCmd->click();
    Settle();
    if (b->Setting().MapRowCount != 12) {
        error = "the builder read " + std::to_string(b->Setting().MapRowCount) + " of the 12 sample photographs";
        return false;
    }
    // The folder and file lists, the table and the buttons.
    const QRect upper(0, 0, 760, 475);
    builder = Crop(Grab(b), upper);

    // A double click on the latitude of row 2 opens its entry with the strips.
    QWidget* vp = b->MapFileGrid->viewport();
    const QPoint cell = b->MapFileGrid->visualRect(b->MapFileGrid->model()->index(1, 2)).center();
    DoubleClick(vp, cell);
    Settle();
    if (!b->SetLatDataFlm->isVisible()) {
        error = "the latitude entry did not open";
        return false;
    }
    correction = Crop(Grab(b), QRect(b->width() - 760, 0, 760, 475));
    b->OK1Cmd->click();
    Settle();

    b->DispDataPositionCmd->click();
    Settle();
    if (!b->Viewer()) {
        error = "the position viewer did not open";
        return false;
    }
    QTableWidget* grid = b->Viewer()->DataGrid;
    Click(grid->viewport(), grid->visualRect(grid->model()->index(9, 1)).center());
    viewer = Fit(Grab(b->Viewer()));
    b->Viewer()->close();
    b->CancelCmd->click();
    Settle();
    return true;
}

bool Scenario::Live(QImage& overview, QImage& live, std::string& error)
{
    MainLumaraFrm& w = *w_;
    std::vector<std::string> sets;
    const std::string log = state_.ProgramFolder + "/20100508/20100508_drive.txt";
    if (!gps::LoadSentenceSets(log, sets, &error)) {
        if (error.empty()) error = "cannot read " + log;
        return false;
    }
    w.StartGPSCmd_Click();
    if (!state_.GPSRunning) {
        error = "live tracking did not start";
        return false;
    }
    w.StartRecordCmd_Click();
    if (!w.RecordStartFrm) {
        error = "the recording window did not open";
        return false;
    }
    w.RecordStartFrm->OKCmd->click();
    Settle();
    // All but the last fix of the sample drive.
    for (std::size_t i = 0; i + 1 < sets.size(); ++i) receiver_->Deliver(sets[i]);
    Settle();
    overview = Fit(Grab(&w));
    live = Grab(&w).copy(QRect(w.width() - kPictureWidth, w.menuBar()->height(), kPictureWidth, kPictureHeight));

    // The recording ends, tracking stops, the live track is cleared.
    w.StartRecordCmd_Click();
    if (!w.RecordStopFrm) {
        error = "the recording's stop window did not open";
        return false;
    }
    w.RecordStopFrm->OKCmd->click();
    w.StartGPSCmd_Click();
    w.ClearGPSDataCmd_Click();
    Settle();
    return true;
}

bool Scenario::Records(QImage& list, QImage& measure, std::string& error)
{
    MainLumaraFrm& w = *w_;
    w.DispRecordDataMenu->trigger();
    Settle();
    recording::ShowRecordDataFileFrm* frm = w.ShowRecordDataFileFrm;
    if (!frm || frm->RecordedFileListGrid->rowCount() < 1) {
        error = "the record list shows no file";
        return false;
    }
    emit frm->RecordedFileListGrid->cellClicked(0, 1);
    list = Fit(Grab(frm));
    frm->OKCmd->click();
    Settle();
    NavState& s = state_;
    if (!s.ShowRecordPoints || s.RecordPointCount < 200) {
        error = "the recorded track was not shown";
        return false;
    }

    // Three points measured beside the track, then the time of a recorded point.
    w.ClickPicRbn->click();
    const int last = s.RecordPointCount - 1;
    QRect around;
    for (const auto& [i, dx] : {std::pair{last / 10, -50}, std::pair{last / 2, 60}, std::pair{last * 9 / 10, -50}}) {
        const auto u = static_cast<std::size_t>(i);
        const QPoint at = PixelOf(w, s.RecordPointEasting[u], s.RecordPointNorthing[u]) + QPoint(dx, 0);
        Click(w.BasePic, at);
        around = around.united(QRect(at, QSize(1, 1)));
    }
    const auto u = static_cast<std::size_t>(last * 3 / 10);
    Click(w.BasePic, PixelOf(w, s.RecordPointEasting[u], s.RecordPointNorthing[u]), Qt::RightButton);
    Settle();
    if (!w.BasePic->Area().TimeHdLbl.visible) {
        error = "the recorded point's time did not show";
        return false;
    }
    // The measured line at full size, with the panel's tool button and total
    // in the corner.
    const QRect picture = InWindow(w, w.BasePic);
    QRect part(0, 0, kPictureWidth, kPictureHeight);
    part.moveCenter(around.translated(picture.topLeft()).center());
    part.moveLeft(std::clamp(part.left(), picture.left(), picture.right() - kPictureWidth));
    part.moveTop(std::clamp(part.top(), picture.top(), picture.bottom() - kPictureHeight));
    const QImage shot = Grab(&w);
    measure = shot.copy(part);
    const QRect tool = InWindow(w, w.ClickPicRbn).united(InWindow(w, w.MeasDistLbl)).adjusted(-4, -4, 4, 4);
    QPainter p(&measure);
    const QPoint corner(kPictureWidth - tool.width() - 6, kPictureHeight - tool.height() - 6);
    p.drawImage(corner, shot.copy(tool));
    p.setPen(QColor(60, 60, 60));
    p.drawRect(QRect(corner, tool.size()).adjusted(-1, -1, 0, 0));
    return true;
}

bool Scenario::Run(std::vector<MadePicture>& pictures, std::string& error)
{
    const QImage menus = Menus();
    const QImage gpsSettings = GpsSettings();
    if (gpsSettings.isNull()) {
        error = "the GPS settings dialog did not open";
        return false;
    }
    // Photographs beside the panel for the two pictures of its buttons.
    w_->BasePic_Dragged(260, 0);
    Settle();
    const QImage buttons1 = Buttons1();
    const QImage buttons2 = Buttons2();
    w_->BasePic_Dragged(-260, 0);
    Settle();
    QImage builder, correction, viewer;
    if (!Builder(builder, correction, viewer, error)) return false;
    QImage overview, live;
    if (!Live(overview, live, error)) return false;
    QImage list, measure;
    if (!Records(list, measure, error)) return false;

    const QImage one[] = {overview, menus, gpsSettings, buttons1, buttons2, live, list, measure};
    const QImage two[] = {OptionsDiagram(), GridDiagram(), SaveDiagram(), builder, correction, viewer};
    for (const auto& [layout, images, count] :
         {std::tuple{&help::Help1Layout(), one, std::size(one)}, std::tuple{&help::Help2Layout(), two, std::size(two)}}) {
        std::size_t k = 0;
        for (const help::HelpStep& step : layout->steps) {
            if (step.picture.empty()) continue;
            if (k >= count) {
                error = "no picture is made for " + step.picture;
                return false;
            }
            pictures.push_back({step.picture, images[k++].convertToFormat(QImage::Format_RGB32)});
        }
    }
    for (const std::string& m : messages_) std::fprintf(stderr, "tessaro: %s\n", m.c_str());
    return true;
}

}  // namespace

bool MakeHelpPictures(const std::string& dataFolder, std::vector<MadePicture>& pictures, std::string& error)
{
    Scenario scenario;
    return scenario.Open(dataFolder, error) && scenario.Run(pictures, error);
}

std::vector<MadePicture> MakeHelpWindowShots(const std::string& pictureFolder)
{
    std::vector<MadePicture> shots;
    auto shoot = [&](help::HelpFrm& frm, int page, const char* name) {
        frm.show();
        frm.DispManualCmd_Click(page);
        shots.push_back({name, Grab(&frm)});
        frm.close();
    };
    help::Help1Frm one(pictureFolder, nullptr);
    shoot(one, 0, "help-program.png");
    help::Help2Frm two(pictureFolder, nullptr);
    shoot(two, 3, "help-builder.png");
    return shots;
}

bool SavePictures(const std::vector<MadePicture>& pictures, const QString& folder, std::string& error)
{
    if (!QDir().mkpath(folder)) {
        error = "cannot make " + folder.toStdString();
        return false;
    }
    for (const MadePicture& m : pictures) {
        const QString path = folder + "/" + QString::fromStdString(m.name);
        if (!m.image.save(path, "PNG", 9)) {
            error = "cannot write " + path.toStdString();
            return false;
        }
    }
    return true;
}

}  // namespace tessaro::app
