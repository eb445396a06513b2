#include "gps/data_load_frm.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "shell/owned_dialog.h"

namespace tessaro::gps {

DataLoadFrm::DataLoadFrm(QWidget* owner, const std::string& programFolder, const std::string& home)
    : QDialog(owner), session_(programFolder)
{
    setWindowTitle(QStringLiteral("GPSデータの読込み"));
    lists_ = std::make_unique<FolderLists>(this, home, programFolder, programFolder, "*.txt");
    lists_->Drive1->setGeometry(10, 10, 260, 24);
    lists_->Dir1->setGeometry(10, 40, 260, 200);
    lists_->File1->setGeometry(280, 10, 220, 200);
    cmbExt = new QComboBox(this);
    cmbExt->setGeometry(280, 216, 220, 24);
    cmbExt->addItems({QStringLiteral("*.txt"), QStringLiteral("*.csv"), QStringLiteral("*.*")});
    auto* chosenLabel = new QLabel(QStringLiteral("読み込むファイル（ダブルクリックで取り消し）"), this);
    chosenLabel->setGeometry(10, 248, 490, 18);
    DataFilesLst = new QListWidget(this);
    DataFilesLst->setGeometry(10, 268, 490, 110);
    LoadGGACmd = new QPushButton(QStringLiteral("OK(&Y)"), this);
    LoadGGACmd->setGeometry(90, 390, 100, 30);
    CancelCmd = new QPushButton(QStringLiteral("キャンセル(&C)"), this);
    CancelCmd->setGeometry(200, 390, 100, 30);
    SampleCmd = new QPushButton(QStringLiteral("サンプル(&S)"), this);
    SampleCmd->setGeometry(310, 390, 100, 30);
    MakeOwnedDialog(this, owner, LoadGGACmd, CancelCmd);
    setFixedSize(510, 430);

    lists_->onFolderChanged = [this] {
        session_.FolderChanged();
        ShowChosen();
    };
    lists_->onFileClicked = [this](const std::string& path) {
        if (!session_.Choose(path)) {
            if (showMessage) showMessage(kAlreadyChosenMessage);
            return;
        }
        ShowChosen();
    };
    lists_->onNotReady = [this] {
        if (showMessage) showMessage(kPlaceNotReadyMessage);
    };
    connect(cmbExt, &QComboBox::currentTextChanged, this,
            [this](const QString& pattern) { lists_->SetPattern(pattern.toStdString()); });
    connect(DataFilesLst, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        session_.Unchoose(DataFilesLst->row(item));
        ShowChosen();
    });
    connect(SampleCmd, &QPushButton::clicked, this, [this] {
        if (!lists_->SetFolder(session_.SampleFolder()) && showMessage) showMessage(kPlaceNotReadyMessage);
    });
    connect(LoadGGACmd, &QPushButton::clicked, this, [this] {
        answered_ = true;
        if (onOk) onOk();
        accept();
    });
}

void DataLoadFrm::ShowChosen()
{
    DataFilesLst->clear();
    for (const std::string& path : session_.Chosen()) DataFilesLst->addItem(QString::fromStdString(path));
}

void DataLoadFrm::reject()
{
    if (!answered_) {
        answered_ = true;
        if (onCancel) onCancel();
    }
    QDialog::reject();
}

void DataLoadFrm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (placed_) return;
    placed_ = true;
    PlaceFrameAtScreenCorner(this);
}

}  // namespace tessaro::gps
