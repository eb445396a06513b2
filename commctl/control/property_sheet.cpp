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
#include <QPointer>

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

// ---------------------------------------------------------------------------
// The shared values

SharedPages::SharedPages(com::IControl& control, std::filesystem::path profile) : set(control, std::move(profile))
{
    tell = [this](const QString& text) {
        QWidget* parent = nullptr;
        for (const auto& w : widgets)
            if (w) parent = w->window();
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8("TolvexComm コントロールのプロパティ"), text,
                        QMessageBox::Ok, parent);
        box.exec();
    };
    set.Load();
}

void SharedPages::Refresh()
{
    for (const auto& w : widgets)
        if (w) w->Refresh();
}

void SharedPages::Refused(const Refusal& refusal)
{
    QString text = FromUtf8(refusal.message);
    if (refusal.field != kNoField) {
        text = Label(*set.Fields()[refusal.field].field) + QString::fromUtf8(": ") + text;
        for (const auto& w : widgets) {
            if (!w || !w->Shows(refusal.field)) continue;
            // Bring the field's page to the front: in a tab of the sheet.
            for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
                if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
                    tabs->setCurrentWidget(w);
                    break;
                }
            w->FieldWidget(refusal.field)->setFocus();
        }
    }
    tell(text);
}

bool SharedPages::Apply()
{
    const auto refused = set.Apply();
    Refresh();
    if (refused.empty()) return true;
    Refused(refused.front());
    return false;
}

// ---------------------------------------------------------------------------
// One page

PageWidget::PageWidget(std::shared_ptr<SharedPages> shared, PageId page, QWidget* parent)
    : QWidget(parent), shared_(std::move(shared)), page_(page)
{
    shared_->widgets.emplace_back(this);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    std::vector<QCheckBox*> checks;
    const auto fields = shared_->set.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const PageField& field = *fields[i].field;
        if (field.page != page || field.hidden) continue;
        QWidget* w = MakeField(i);
        bound_.push_back({i, w});
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
            if (auto refusal = shared_->set.SaveDefaults()) shared_->Refused(*refusal);
        });
        connect(reset_, &QPushButton::clicked, this, [this] {
            if (!shared_->set.ResetDefaults()) {
                shared_->tell(QString::fromUtf8("プロファイル %1 の既定値を消去できません。")
                                  .arg(QString::fromStdString(shared_->set.profile().string())));
                return;
            }
            shared_->Refresh();
        });
        connect(about_, &QPushButton::clicked, this, [this] {
            auto r = shared_->set.control().Invoke(com::dispid::kAboutBox, com::InvokeKind::Method, {});
            if (!r.ok()) MakeAboutBox(this)->exec();
        });
    }
    layout->addStretch(1);
    Refresh();
}

QWidget* PageWidget::MakeField(std::size_t i)
{
    const FieldState& f = shared_->set.Fields()[i];
    const QString name = QString::fromUtf8(f.field->name);
    switch (f.field->kind) {
    case FieldKind::Check: {
        auto* check = new QCheckBox(Label(*f.field));
        check->setObjectName(name);
        connect(check, &QCheckBox::toggled, this, [this, i](bool on) {
            shared_->set.SetChecked(i, on);
            Edited();
        });
        return check;
    }
    case FieldKind::Combo: {
        auto* combo = new QComboBox;
        combo->setObjectName(name);
        for (const auto& item : f.items) combo->addItem(FromUtf8(item));
        connect(combo, &QComboBox::activated, this, [this, i](int index) {
            shared_->set.SetIndex(i, index);
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
            shared_->set.SetText(i, text.toStdString());
            Edited();
        };
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, changed);
        connect(combo, &QComboBox::textActivated, this, changed);
        return combo;
    }
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
        shared_->set.SetText(i, text.toStdString());
        Edited();
    });
    return edit;
}

QWidget* PageWidget::FieldWidget(std::size_t field) const
{
    for (const auto& b : bound_)
        if (b.field == field) return b.widget;
    return nullptr;
}

bool PageWidget::IsPageDirty() const
{
    for (const auto& f : shared_->set.Fields())
        if (f.changed && (f.field->page == page_ || page_ == PageId::Emulation)) return true;
    return false;
}

void PageWidget::Refresh()
{
    const auto fields = shared_->set.Fields();
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
    UpdateExtras();
    if (onEdited) onEdited();
}

void PageWidget::Edited()
{
    UpdateExtras();
    if (onEdited) onEdited();
}

void PageWidget::UpdateExtras()
{
    PropertyPageSet& set = shared_->set;
    if (portDevice_) {
        bool ok = false;
        const int port = QString::fromStdString(set.Field("CommPort").text).trimmed().toInt(&ok);
        if (!ok || port < 1) {
            portDevice_->clear();
        } else {
            const auto& profile = set.profile();
            const std::string device = serial::MapPortToDevice(
                port, [&profile](std::string_view key) { return profile::ReadProfileString("Ports", key, profile); });
            portDevice_->setText(QString::fromUtf8("→ %1").arg(QString::fromStdString(device)));
        }
    }
    if (fontSample_) {
        QFont font(FromUtf8(set.Field("FontName").text));
        const double size = QString::fromStdString(set.Field("FontSize").text).toDouble();
        if (size > 0 && size <= 1638) font.setPointSizeF(size);
        font.setBold(set.Field("FontBold").checked);
        font.setItalic(set.Field("FontItalic").checked);
        font.setUnderline(set.Field("FontUnderline").checked);
        font.setStrikeOut(set.Field("FontStrikeThru").checked);
        fontSample_->setFont(font);
    }
}

// ---------------------------------------------------------------------------
// The sheet

PropertySheet::PropertySheet(com::IControl& control, std::filesystem::path profile, QWidget* parent)
    : QDialog(parent), shared_(std::make_shared<SharedPages>(control, std::move(profile)))
{
    setObjectName("PropertySheet");
    setWindowTitle(QString::fromUtf8("TolvexComm コントロールのプロパティ"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QString::fromUtf8("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
    apply_ = buttons->addButton(QString::fromUtf8("適用(&A)"), QDialogButtonBox::ApplyRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    layout->addWidget(buttons);

    for (const auto& page : PropertyPages()) {
        auto* w = new PageWidget(shared_, page.id);
        w->onEdited = [this] { apply_->setEnabled(shared_->set.AnyChanged()); };
        pages_.push_back(w);
        tabs_->addTab(w, QString::fromUtf8(page.caption));
    }
    apply_->setEnabled(shared_->set.AnyChanged());
}

PageWidget* PropertySheet::Page(PageId page) const
{
    for (PageWidget* w : pages_)
        if (w->page() == page) return w;
    return nullptr;
}

QWidget* PropertySheet::FieldWidget(std::string_view name) const
{
    const std::size_t i = shared_->set.Find(name);
    for (PageWidget* w : pages_)
        if (QWidget* field = w->FieldWidget(i)) return field;
    return nullptr;
}

QPushButton* PropertySheet::SaveButton() const { return Page(PageId::Emulation)->SaveButton(); }
QPushButton* PropertySheet::ResetButton() const { return Page(PageId::Emulation)->ResetButton(); }
QPushButton* PropertySheet::AboutButton() const { return Page(PageId::Emulation)->AboutButton(); }

bool PropertySheet::Apply() { return shared_->Apply(); }

void PropertySheet::accept()
{
    if (Apply()) QDialog::accept();
}

// ---------------------------------------------------------------------------
// The pages of the page classes

namespace {

// The sets of the pages alive, one per control.
std::map<com::IControl*, std::weak_ptr<SharedPages>>& LiveSets()
{
    static std::map<com::IControl*, std::weak_ptr<SharedPages>> sets;
    return sets;
}

class PropertyPage final : public com::IPropertyPage {
public:
    PropertyPage(const PageDescription& description, com::IControl* control)
        : description_(description), control_(control)
    {
        control_->AddRef();
        auto& sets = LiveSets();
        auto found = sets.find(control);
        if (found != sets.end()) shared_ = found->second.lock();
        if (!shared_) {
            shared_ = std::make_shared<SharedPages>(*control, profile::ProfilePath());
            sets[control] = shared_;
        }
    }

    void Release() override { delete this; }
    const char* Caption() const override { return description_.caption; }
    const char* HelpText() const override { return description_.helpText; }
    const char* HelpFile() const override { return kPageHelpFile; }
    int HelpContext() const override { return description_.helpContext; }
    QWidget* Activate(QWidget* parent) override
    {
        if (!widget_) widget_ = new PageWidget(shared_, description_.id, parent);
        return widget_.data();
    }
    bool IsPageDirty() const override
    {
        if (widget_) return widget_->IsPageDirty();
        for (const auto& f : shared_->set.Fields())
            if (f.changed && (f.field->page == description_.id || description_.id == PageId::Emulation)) return true;
        return false;
    }
    com::Status Apply() override { return shared_->Apply() ? com::kOk : com::kFalse; }

private:
    ~PropertyPage() override
    {
        delete widget_.data();
        const bool last = shared_.use_count() == 1;
        shared_.reset();
        if (last) LiveSets().erase(control_);
        control_->Release();
    }

    const PageDescription& description_;
    com::IControl* control_;
    std::shared_ptr<SharedPages> shared_;
    QPointer<PageWidget> widget_;
};

}  // namespace

com::Status MakePropertyPage(const char* clsid, com::IControl* control, com::IPropertyPage** page)
{
    if (!page) return com::kPointer;
    *page = nullptr;
    if (!control || !clsid) return com::kPointer;
    for (const auto& cls : com::kPageClasses) {
        if (!profile::EqualsNoCase(cls.clsid, clsid)) continue;
        for (const auto& description : PropertyPages())
            if (description.className && std::string_view(description.className) == cls.className) {
                *page = new PropertyPage(description, control);
                return com::kOk;
            }
    }
    return com::kClassNotAvailable;
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
