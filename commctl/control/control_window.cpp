#include "control_window.h"

#include "terminal/terminal_view.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace tolvex::control {

namespace {

constexpr const char* kControlTitle = "Varnek Tolvexcomm Communications Control";

QColor Colour(int index)
{
    const std::uint32_t bgr = PaletteColour(index);
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::int16_t ShiftState(Qt::KeyboardModifiers m)
{
    return static_cast<std::int16_t>(((m & Qt::ShiftModifier) ? 1 : 0) |
                                     ((m & Qt::ControlModifier) ? 2 : 0) |
                                     ((m & Qt::AltModifier) ? 4 : 0));
}

std::int16_t ButtonState(Qt::MouseButtons b)
{
    return static_cast<std::int16_t>(((b & Qt::LeftButton) ? 1 : 0) |
                                     ((b & Qt::RightButton) ? 2 : 0) |
                                     ((b & Qt::MiddleButton) ? 4 : 0));
}

class ControlWidget final : public QWidget {
public:
    ControlWidget(CTolvexcommCtrl& control, QWidget* parent)
        : QWidget(parent), control_(control), terminal_(control, *this)
    {
    }

    // Repaints at the next frame at the latest, however often it is asked.
    void Changed() { terminal_.Changed(); }
    QSize CellSize() const { return terminal_.CellSize(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (control_.UserMode()) {
            // At run time the terminal draws itself; without one the
            // control is hidden.
            if (!terminal_.Paint(painter)) painter.fillRect(rect(), Colour(control_.BackColor()));
            return;
        }
        if (control_.Emulation() != 0) {
            painter.fillRect(rect(), Colour(control_.BackColor()));
            painter.setPen(Colour(control_.ForeColor()));
            painter.drawText(QPoint(2, fontMetrics().ascent() + 2),
                             QString::fromStdString(DesignCaption()));
        } else {
            // The control's picture: a serial connector drawn over the area.
            painter.fillRect(rect(), QColor(192, 192, 192));
            painter.setPen(Qt::black);
            QRect body = rect().adjusted(3, 6, -4, -7);
            painter.drawRoundedRect(body, 3, 3);
            for (int i = 0; i < 5; ++i) {
                int x = body.left() + (i + 1) * body.width() / 6;
                painter.drawEllipse(QPoint(x, body.center().y()), 1, 1);
            }
        }
        if (control_.Appearance() == 1) {
            painter.setPen(Qt::darkGray);
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

    void mousePressEvent(QMouseEvent* e) override { Mouse(com::eventid::kMouseDown, e); }
    void mouseMoveEvent(QMouseEvent* e) override { Mouse(com::eventid::kMouseMove, e); }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        Mouse(com::eventid::kMouseUp, e);
        if (rect().contains(e->position().toPoint())) control_.FireClick();
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { control_.FireDblClick(); }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (!control_.UserMode() || !terminal_.Key(*e)) QWidget::keyPressEvent(e);
    }
    void resizeEvent(QResizeEvent*) override { terminal_.Resized(); }
    // Tab types a TAB into the terminal rather than moving the focus.
    bool focusNextPrevChild(bool next) override { return !control_.HasTerminal() && QWidget::focusNextPrevChild(next); }

private:
    void Mouse(com::DispId event, QMouseEvent* e)
    {
        const QPoint p = e->position().toPoint();
        const Qt::MouseButtons buttons =
            event == com::eventid::kMouseUp ? Qt::MouseButtons(e->button()) : e->buttons();
        control_.FireMouse(event, ButtonState(buttons), ShiftState(e->modifiers()), p.x(), p.y());
    }

    CTolvexcommCtrl& control_;
    terminal::TerminalView terminal_;
};

class QtWindow final : public WindowSide {
public:
    QtWindow(CTolvexcommCtrl& control, QWidget* parent) : control_(control), widget_(new ControlWidget(control, parent)) {}
    // The container may have destroyed the window with its parent already.
    ~QtWindow() override { delete widget_.data(); }

    QWidget* Widget() override { return widget_.data(); }
    std::int32_t Handle() override
    {
        return widget_ ? static_cast<std::int32_t>(widget_->winId()) : 0;
    }
    void ShowAbout() override { MakeAboutBox(widget_ ? widget_->window() : nullptr)->exec(); }
    void Invalidate() override
    {
        if (widget_) static_cast<ControlWidget*>(widget_.data())->Changed();
    }
    void Beep() override { QApplication::beep(); }
    bool TerminalMetrics(int& cellWidth, int& cellHeight, int& scrollBarWidth, int& border) override
    {
        if (!widget_) return false;
        const QSize cell = static_cast<ControlWidget*>(widget_.data())->CellSize();
        cellWidth = cell.width();
        cellHeight = cell.height();
        scrollBarWidth = widget_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        border = control_.Appearance() == 1 ? 2 : 0;
        return true;
    }
    void Resize(int width, int height) override
    {
        if (widget_) widget_->resize(width, height);
    }
    void SetVisible(bool visible) override
    {
        if (widget_) widget_->setVisible(visible);
    }

private:
    CTolvexcommCtrl& control_;
    QPointer<QWidget> widget_;
};

}  // namespace

std::string DesignCaption()
{
    char text[128];
    std::snprintf(text, sizeof text, "%s Version %d.%dJ", kControlTitle, 3, 0);
    return text;
}

std::unique_ptr<QDialog> MakeAboutBox(QWidget* parent)
{
    auto box = std::make_unique<QDialog>(parent);
    box->setObjectName("AboutBox");
    box->setWindowTitle("About TolvexComm OLE Control");
    box->setModal(true);
    auto* layout = new QVBoxLayout(box.get());
    auto addLine = [&](const QString& text, const char* name) {
        auto* label = new QLabel(text, box.get());
        label->setObjectName(name);
        layout->addWidget(label);
    };
    addLine(QString::fromLatin1(kControlTitle), "title");
    addLine(QStringLiteral("%1  Version 3.0J").arg(QString::fromLatin1(com::kLibraryFile)), "version");
    addLine(QString::fromUtf8("通信用コントロール "), "purpose");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, box.get());
    QObject::connect(buttons, &QDialogButtonBox::accepted, box.get(), &QDialog::accept);
    layout->addWidget(buttons);
    if (std::getenv("TOLVEXCOMM_ABOUT_AUTOCLOSE"))
        QTimer::singleShot(0, box.get(), &QDialog::accept);
    return box;
}

WindowFactory QtWindowFactory()
{
    return [](CTolvexcommCtrl& control, QWidget* parent) -> std::unique_ptr<WindowSide> {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
        return std::make_unique<QtWindow>(control, parent);
    };
}

}  // namespace tolvex::control
