#include "property_sheet.h"

#include "control_window.h"
#include "ini_file.h"
#include "serial/comm_engine.h"

#include <tolvexcomm/dispids.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <map>

namespace tolvex::control {

namespace {

// What each field is called on its page.
const std::map<std::string_view, const char*> kLabels = {
    {"AnswerBack", "応答文字列 (AnswerBack)"},
    {"Rows", "行数 (Rows)"},
    {"Columns", "桁数 (Columns)"},
    {"ScrollRows", "スクロール行数 (ScrollRows)"},
    {"Appearance", "外観 (Appearance)"},
    {"BackColor", "背景色 (BackColor)"},
    {"ForeColor", "文字色 (ForeColor)"},
    {"AutoScroll", "自動スクロール (AutoScroll)"},
    {"CaptureMode", "キャプチャ方式 (CaptureMode)"},
    {"ColorFilter", "色フィルタ (ColorFilter)"},
    {"Emulation", "エミュレーション (Emulation)"},
    {"KeyTranslation", "キー変換 (KeyTranslation)"},
    {"Backspace", "バックスペース (Backspace)"},
    {"CursorType", "カーソル形状 (CursorType)"},
    {"Echo", "エコー (Echo)"},
    {"AutoSize", "自動サイズ (AutoSize)"},
    {"SmoothScroll", "スムーズスクロール (SmoothScroll)"},
    {"FontName", "フォント名"},
    {"FontSize", "サイズ [ポイント]"},
    {"FontBold", "太字"},
    {"FontItalic", "斜体"},
    {"FontUnderline", "下線"},
    {"FontStrikeThru", "取り消し線"},
    {"CommPort", "ポート番号 (CommPort)"},
    {"Settings", "通信設定 (Settings)"},
    {"AutoProcess", "自動処理 (AutoProcess)"},
    {"HandShaking", "フロー制御 (Handshaking)"},
    {"RTSEnable", "RTS を有効にする (RTSEnable)"},
    {"DTREnable", "DTR を有効にする (DTREnable)"},
    {"InBufferSize", "受信バッファ [バイト] (InBufferSize)"},
    {"InputLen", "読み取り長 (InputLen)"},
    {"InTimeOut", "受信タイムアウト [ms] (InTimeout)"},
    {"OutBufferSize", "送信バッファ [バイト] (OutBufferSize)"},
    {"RThreshold", "受信しきい値 (RThreshold)"},
    {"SThreshold", "送信しきい値 (SThreshold)"},
    {"ParityReplace", "パリティ置換文字 (ParityReplace)"},
    {"NullDiscard", "NULL を捨てる (NullDiscard)"},
    {"XferProtocol", "転送プロトコル (XferProtocol)"},
    {"XferStatusDialog", "状態ダイアログ (XferStatusDialog)"},
    {"AutoZModem", "ZModem を自動で受信する (AutoZModem)"},
    {"XferCarrierAbort", "キャリア断で中止する (XferCarrierAbort)"},
};

QString Label(const PageField& field)
{
    auto it = kLabels.find(field.name);
    return QString::fromUtf8(it != kLabels.end() ? it->second : field.name);
}

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

PropertySheet::PropertySheet(com::IControl& control, std::filesystem::path profile, QWidget* parent)
    : QDialog(parent), pages_(control, std::move(profile))
{
    setObjectName("PropertySheet");
    setWindowTitle(QString::fromUtf8("TolvexComm コントロールのプロパティ"));
    setModal(true);
    tell = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
        box.exec();
    };
    pages_.Load();

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    for (const auto& page : PropertyPages()) tabs_->addTab(MakePage(page.id), QString::fromUtf8(page.caption));
    layout->addWidget(tabs_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QString::fromUtf8("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
    apply_ = buttons->addButton(QString::fromUtf8("適用(&A)"), QDialogButtonBox::ApplyRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    layout->addWidget(buttons);
    Refresh();
}

QWidget* PropertySheet::MakePage(PageId page)
{
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    auto* form = new QFormLayout;
    std::vector<QCheckBox*> checks;
    const auto fields = pages_.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const PageField& field = *fields[i].field;
        if (field.page != page || field.hidden) continue;
        QWidget* w = MakeField(i);
        bound_.push_back({i, w, tabs_->count()});
        if (auto* check = qobject_cast<QCheckBox*>(w)) {
            checks.push_back(check);
        } else if (std::string_view(field.name) == "CommPort") {
            // The device the port number stands for, as the port opens it.
            auto* row = new QHBoxLayout;
            portDevice_ = new QLabel;
            portDevice_->setObjectName("PortDevice");
            row->addWidget(w);
            row->addWidget(portDevice_, 1);
            form->addRow(Label(field), row);
        } else {
            form->addRow(Label(field), w);
        }
    }
    layout->addLayout(form);
    for (QCheckBox* check : checks) layout->addWidget(check);
    if (page == PageId::Font) {
        fontSample_ = new QLabel(QString::fromUtf8("AaBbYyZz あいう アイウ 通信"));
        fontSample_->setObjectName("FontSample");
        fontSample_->setMinimumHeight(48);
        fontSample_->setFrameShape(QFrame::StyledPanel);
        auto* group = new QGroupBox(QString::fromUtf8("見本"));
        auto* inner = new QVBoxLayout(group);
        inner->addWidget(fontSample_);
        layout->addWidget(group);
    }
    if (page == PageId::Emulation) {
        auto* row = new QHBoxLayout;
        save_ = new QPushButton(QString::fromUtf8("保存"));
        reset_ = new QPushButton(QString::fromUtf8("ﾘｾｯﾄ"));
        about_ = new QPushButton(QString::fromUtf8("About"));
        for (auto* b : {save_, reset_, about_}) {
            b->setAutoDefault(false);
            row->addWidget(b);
        }
        row->addStretch(1);
        layout->addLayout(row);
        // None of the three marks the page changed.
        connect(save_, &QPushButton::clicked, this, [this] {
            if (auto refusal = pages_.SaveDefaults()) Refused(*refusal);
        });
        connect(reset_, &QPushButton::clicked, this, [this] {
            if (!pages_.ResetDefaults()) {
                tell(QString::fromUtf8("プロファイル %1 の既定値を消去できません。")
                         .arg(QString::fromStdString(pages_.profile().string())));
                return;
            }
            Refresh();
        });
        connect(about_, &QPushButton::clicked, this, [this] {
            auto r = pages_.control().Invoke(com::dispid::kAboutBox, com::InvokeKind::Method, {});
            if (!r.ok()) MakeAboutBox(this)->exec();
        });
    }
    layout->addStretch(1);
    return widget;
}

QWidget* PropertySheet::MakeField(std::size_t i)
{
    const FieldState& f = pages_.Fields()[i];
    const QString name = QString::fromUtf8(f.field->name);
    switch (f.field->kind) {
    case FieldKind::Check: {
        auto* check = new QCheckBox(Label(*f.field));
        check->setObjectName(name);
        connect(check, &QCheckBox::toggled, this, [this, i](bool on) {
            pages_.SetChecked(i, on);
            Edited();
        });
        return check;
    }
    case FieldKind::Combo: {
        auto* combo = new QComboBox;
        combo->setObjectName(name);
        for (const auto& item : f.items) combo->addItem(FromUtf8(item));
        connect(combo, &QComboBox::activated, this, [this, i](int index) {
            pages_.SetIndex(i, index);
            Edited();
        });
        return combo;
    }
    default:
        break;
    }
    if (f.field->fontPart == 0) {
        // The font name: the fonts installed, or any name typed.
        auto* combo = new QComboBox;
        combo->setObjectName(name);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(QFontDatabase::families());
        auto changed = [this, i](const QString& text) {
            pages_.SetText(i, text.toStdString());
            Edited();
        };
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, changed);
        connect(combo, &QComboBox::textActivated, this, changed);
        return combo;
    }
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
        pages_.SetText(i, text.toStdString());
        Edited();
    });
    return edit;
}

QWidget* PropertySheet::FieldWidget(std::string_view name) const
{
    const std::size_t i = pages_.Find(name);
    for (const auto& b : bound_)
        if (b.field == i) return b.widget;
    return nullptr;
}

void PropertySheet::Refresh()
{
    const auto fields = pages_.Fields();
    for (const auto& b : bound_) {
        const FieldState& f = fields[b.field];
        const QSignalBlocker block(b.widget);
        if (auto* check = qobject_cast<QCheckBox*>(b.widget)) {
            check->setChecked(f.checked);
        } else if (auto* combo = qobject_cast<QComboBox*>(b.widget)) {
            if (combo->isEditable()) combo->setEditText(FromUtf8(f.text));
            else combo->setCurrentIndex(f.index >= 0 && f.index < combo->count() ? f.index : -1);
        } else if (auto* edit = qobject_cast<QLineEdit*>(b.widget)) {
            edit->setText(FromUtf8(f.text));
        }
    }
    Edited();
}

void PropertySheet::Edited()
{
    apply_->setEnabled(pages_.AnyChanged());
    UpdatePortDevice();
    if (fontSample_) {
        QFont font(FromUtf8(pages_.Field("FontName").text));
        const double size = QString::fromStdString(pages_.Field("FontSize").text).toDouble();
        if (size > 0 && size <= 1638) font.setPointSizeF(size);
        font.setBold(pages_.Field("FontBold").checked);
        font.setItalic(pages_.Field("FontItalic").checked);
        font.setUnderline(pages_.Field("FontUnderline").checked);
        font.setStrikeOut(pages_.Field("FontStrikeThru").checked);
        fontSample_->setFont(font);
    }
}

void PropertySheet::UpdatePortDevice()
{
    if (!portDevice_) return;
    bool ok = false;
    const int port = QString::fromStdString(pages_.Field("CommPort").text).trimmed().toInt(&ok);
    if (!ok || port < 1) {
        portDevice_->clear();
        return;
    }
    const auto& profile = pages_.profile();
    const std::string device = serial::MapPortToDevice(
        port, [&profile](std::string_view key) { return profile::ReadProfileString("Ports", key, profile); });
    portDevice_->setText(QString::fromUtf8("→ %1").arg(QString::fromStdString(device)));
}

void PropertySheet::Refused(const Refusal& refusal)
{
    QString text = FromUtf8(refusal.message);
    if (refusal.field != kNoField) {
        const FieldState& f = pages_.Fields()[refusal.field];
        text = Label(*f.field) + QString::fromUtf8(": ") + text;
        for (const auto& b : bound_)
            if (b.field == refusal.field) {
                tabs_->setCurrentIndex(b.tab);
                b.widget->setFocus();
            }
    }
    tell(text);
}

bool PropertySheet::Apply()
{
    const auto refused = pages_.Apply();
    Refresh();
    if (refused.empty()) return true;
    Refused(refused.front());
    return false;
}

void PropertySheet::accept()
{
    if (Apply()) QDialog::accept();
}

std::vector<std::filesystem::path> SavePagePictures(PropertySheet& sheet, const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> written;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    static const char* const kNames[] = {"emulation", "font", "general", "advanced", "transfer"};
    const int current = sheet.tabs()->currentIndex();
    const auto pages = PropertyPages();
    for (int i = 0; i < sheet.tabs()->count() && i < static_cast<int>(pages.size()); ++i) {
        sheet.tabs()->setCurrentIndex(i);
        const auto file =
            folder / (std::string("property-page-") + kNames[static_cast<int>(pages[static_cast<std::size_t>(i)].id)] + ".png");
        if (sheet.grab().save(QString::fromStdString(file.string()))) written.push_back(file);
    }
    sheet.tabs()->setCurrentIndex(current);
    return written;
}

}  // namespace tolvex::control
