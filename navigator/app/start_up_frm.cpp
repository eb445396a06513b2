#include "app/start_up_frm.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QLinearGradient>
#include <QPainter>

namespace tessaro::app {

StartUpFrm::StartUpFrm(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    const QPixmap picture = SplashPicture();
    setFixedSize(picture.size());
    Image1 = new QLabel(this);
    Image1->setPixmap(picture);
    Image1->setGeometry(0, 0, picture.width(), picture.height());
    VersionLbl = new QLabel(QStringLiteral("Ver.3.1"), this);
    VersionLbl->setGeometry(picture.width() - 110, picture.height() - 34, 100, 24);
    VersionLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    VersionLbl->setStyleSheet(QStringLiteral("color: white; font-size: 14px; font-weight: bold;"));
    Timer1 = new QTimer(this);
    connect(Timer1, &QTimer::timeout, this, &StartUpFrm::Timer1_Timer);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

bool StartUpFrm::event(QEvent* e)
{
    // Window managers may not activate a splash window; being shown counts.
    if ((e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) && !started_) {
        started_ = true;
        Timer1->setInterval(400);
        Timer1->start();
    }
    return QWidget::event(e);
}

void StartUpFrm::Timer1_Timer()
{
    ++ticks_;
    if (ticks_ > 6) {
        Timer1->stop();
        close();
        emit Finished();
    }
}

QPixmap StartUpFrm::SplashPicture()
{
    QPixmap pm(480, 300);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 300);
    g.setColorAt(0, QColor(20, 60, 40));
    g.setColorAt(1, QColor(10, 30, 60));
    p.fillRect(pm.rect(), g);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    for (int x = 0; x < 480; x += 24) p.drawLine(x, 0, x - 80, 300);
    for (int y = 0; y < 300; y += 24) p.drawLine(0, y, 480, y + 30);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(230, 0, 0), 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(380, 110), 26, 26);
    p.drawLine(QPointF(380, 70), QPointF(380, 150));
    p.drawLine(QPointF(340, 110), QPointF(420, 110));
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(44);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(30, 80, 300, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("GPSマップ"));
    f.setPixelSize(15);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(32, 140, 400, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("航空写真で見る現在地ナビゲーター"));
    return pm;
}

}  // namespace tessaro::app
