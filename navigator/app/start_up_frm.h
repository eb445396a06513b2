// StartUpFrm: the splash window. Once activated it counts 400 ms ticks; the
// seventh tick (about 2.8 s) closes it and reports Finished, on which the
// main window is shown.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace tessaro::app {

class StartUpFrm : public QWidget {
    Q_OBJECT
public:
    explicit StartUpFrm(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* VersionLbl = nullptr;
    QTimer* Timer1 = nullptr;

    int Ticks() const { return ticks_; }
    // One tick of Timer1.
    void Timer1_Timer();

    // The splash picture: an aerial grid with the program's name.
    static QPixmap SplashPicture();

signals:
    void Finished();

protected:
    bool event(QEvent* e) override;

private:
    int ticks_ = 0;
    bool started_ = false;
};

}  // namespace tessaro::app
