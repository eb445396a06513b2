#include "gps/data_load_frm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <cctype>
#include <filesystem>

#include "gps/gpx.h"
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
    cmbExt->addItems({QStringLiteral("*.txt"), QStringLiteral("*.csv"), QStringLiteral("*.gpx"), QStringLiteral("*.*")});
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
    ExportGpxCmd = new QPushButton(QStringLiteral("GPX書き出し(&X)"), this);
    ExportGpxCmd->setGeometry(400, 390, 100, 30);
    LoadGGACmd->move(10, 390);
    CancelCmd->move(120, 390);
    SampleCmd->move(230, 390);
    ExportGpxCmd->move(400, 390);
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
    connect(ExportGpxCmd, &QPushButton::clicked, this, [this] { ExportGpx(); });
    chooseGpxTarget = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("GPX書き出し"), QString(),
                                            QStringLiteral("GPX (*.gpx)"))
            .toStdString();
    };
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

void DataLoadFrm::ExportGpx()
{
    std::vector<std::string> logs;
    for (const std::string& path : session_.Chosen()) {
        std::string ext = std::filesystem::path(path).extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".gpx") logs.push_back(path);
    }
    if (logs.empty()) {
        if (showMessage) showMessage("GPXに書き出すログファイルを選んでください。");
        return;
    }
    std::string target = chooseGpxTarget ? chooseGpxTarget() : std::string();
    if (target.empty()) return;
    if (std::filesystem::path(target).extension().empty()) target += ".gpx";
    const GpxExport result = ExportGpxFile(logs, target, verifyChecksum);
    std::string text;
    for (const std::string& m : result.messages) text += (text.empty() ? "" : "\n") + m;
    if (showMessage) showMessage(text);
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
