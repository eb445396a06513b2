#include "xfer_status_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace tolvex::control {

namespace {

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

class DialogWindow final : public StatusWindow {
public:
    explicit DialogWindow(XferStatusDialog* d) : d_(d) {}
    ~DialogWindow() override { delete d_; }
    void Show(const transfer::StatusView& view) override { d_->Show(view); }

private:
    XferStatusDialog* d_;
};

}  // namespace

XferStatusDialog::XferStatusDialog(const QString& title, bool upload, bool modal, std::function<void()> cancel,
                                   QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(title);
    auto* grid = new QGridLayout(this);
    int row = 0;
    auto line = [&](const char* caption) {
        auto* value = new QLabel(this);
        value->setMinimumWidth(260);
        grid->addWidget(new QLabel(QString::fromUtf8(caption), this), row, 0);
        grid->addWidget(value, row, 1, 1, 3);
        ++row;
        return value;
    };
    source_ = line(upload ? "送信ファイル：" : "送信元ファイル：");
    dest_ = line(upload ? "送信先ファイル：" : "受信ファイル：");
    event_ = line("イベント：");
    message_ = line("通信ｽﾃｰﾀｽ：");
    files_ = line("ファイル数：");
    retries_ = line(upload ? "再送要求：" : "再受信回数：");
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    grid->addWidget(progress_, row++, 0, 1, 4);
    bytes_ = line("バイト数：");
    elapsed_ = line("経過時間：");
    speed_ = line("速度／秒：");
    remaining_ = line("残り時間：");
    cancel_ = new QPushButton(QString::fromUtf8("中止(&C)"), this);
    grid->addWidget(cancel_, row, 3);
    connect(cancel_, &QPushButton::clicked, this, [cancel] {
        if (cancel) cancel();
    });
    if (modal && owner) {
        disabled_ = owner->window();
        disabled_->setEnabled(false);
        setEnabled(true);
    }
    show();
}

XferStatusDialog::~XferStatusDialog()
{
    if (disabled_) disabled_->setEnabled(true);
}

void XferStatusDialog::Show(const transfer::StatusView& v)
{
    source_->setText(U(v.source));
    dest_->setText(U(v.dest));
    event_->setText(U(v.event));
    message_->setText(U(v.message));
    files_->setText(QString::number(v.files));
    retries_->setText(QString::number(v.retries));
    progress_->setRange(0, std::max(v.progress_max, 1));
    progress_->setValue(std::min(v.progress, std::max(v.progress_max, 1)));
    bytes_->setText(U(v.bytes));
    elapsed_->setText(U(v.elapsed));
    speed_->setText(U(v.speed));
    remaining_->setText(U(v.remaining));
}

StatusWindowFactory XferStatusDialogFactory()
{
    return [](const std::string& title, bool upload, bool modal,
              std::function<void()> cancel) -> std::unique_ptr<StatusWindow> {
        // Windows need a GUI application; a core application (tolvexctl) has none.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
        QWidget* owner = QApplication::activeWindow();
        return std::make_unique<DialogWindow>(
            new XferStatusDialog(QString::fromStdString(title), upload, modal, std::move(cancel), owner));
    };
}

}  // namespace tolvex::control
