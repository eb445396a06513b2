#include "recording/record_dialogs.h"

#include "shell/owned_dialog.h"

namespace tessaro::recording {

namespace {

// Both windows stand at 9000 x 3000 twips from the screen's corner.
constexpr int kLeft = 600;
constexpr int kTop = 200;

void SetUpWindow(QDialog* w, QWidget* owner, QPushButton* ok, QPushButton* cancel, int width, int height)
{
    MakeOwnedDialog(w, owner, ok, cancel);
    w->setWindowTitle(QStringLiteral("記録ファイル"));
    w->setFixedSize(width, height);
    w->move(kLeft, kTop);
}

}  // namespace

RecordStartFrm::RecordStartFrm(QWidget* owner, int interval, const std::string& proposedName) : QDialog(owner)
{
    Label1 = new QLabel(QStringLiteral("記録ファイル名　　　記録間隔　　　　　秒"), this);
    Label1->setGeometry(10, 8, 280, 18);
    RecordFileTxt = new QLineEdit(QString::fromStdString(proposedName), this);
    RecordFileTxt->setGeometry(10, 30, 180, 24);
    RecordTimingCmb = new QComboBox(this);
    RecordTimingCmb->setGeometry(200, 30, 60, 24);
    for (int i = 1; i <= 20; ++i) RecordTimingCmb->addItem(QString::number(i));
    RecordTimingCmb->setCurrentIndex(interval >= 1 && interval <= 20 ? interval - 1 : 0);
    OKCmd = new QPushButton(QStringLiteral("OK(&Y)"), this);
    OKCmd->setGeometry(60, 70, 80, 28);
    CancelCmd = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&N)"), this);
    CancelCmd->setGeometry(160, 70, 80, 28);
    SetUpWindow(this, owner, OKCmd, CancelCmd, 300, 110);

    connect(OKCmd, &QPushButton::clicked, this, [this] {
        if (onOk && !onOk()) return;
        answered_ = true;
        accept();
    });
}

std::string RecordStartFrm::FileName() const { return RecordFileTxt->text().toStdString(); }

void RecordStartFrm::reject()
{
    if (!answered_) {
        answered_ = true;
        if (onCancel) onCancel();
    }
    QDialog::reject();
}

RecordStopFrm::RecordStopFrm(QWidget* owner, const std::string& fileName) : QDialog(owner)
{
    Label1 = new QLabel(QStringLiteral("記録を終了しますか？"), this);
    Label1->setGeometry(10, 8, 280, 18);
    RecordFileTxt = new QLineEdit(QString::fromStdString(fileName), this);
    RecordFileTxt->setGeometry(10, 30, 280, 24);
    RecordFileTxt->setReadOnly(true);
    OKCmd = new QPushButton(QStringLiteral("OK(&Y)"), this);
    OKCmd->setGeometry(60, 70, 80, 28);
    CancelCmd = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&N)"), this);
    CancelCmd->setGeometry(160, 70, 80, 28);
    SetUpWindow(this, owner, OKCmd, CancelCmd, 300, 110);

    connect(OKCmd, &QPushButton::clicked, this, [this] {
        answered_ = true;
        if (onOk) onOk();
        accept();
    });
}

void RecordStopFrm::reject()
{
    if (!answered_) {
        answered_ = true;
        if (onCancel) onCancel();
    }
    QDialog::reject();
}

}  // namespace tessaro::recording
