#include "help/help_frm.h"

#include <QEvent>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>

#include <utility>

namespace tessaro::help {

namespace {

constexpr int kButtonHeight = 26;
constexpr int kPictureWidth = 400;
constexpr int kPictureHeight = 250;

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

HelpFrm::HelpFrm(const HelpLayout& layout, std::string pictureFolder, QWidget* owner)
    : QWidget(owner, Qt::Window), pages_(layout)
{
    setWindowTitle(Text(layout.title));
    const int width = TwipsToPixels(layout.widthTwips);

    HeaderLbl = new QLabel(Text(layout.header), this);
    HeaderLbl->setGeometry(10, 6, width - 20, 24);
    QFont headerFont = HeaderLbl->font();
    headerFont.setBold(true);
    headerFont.setPointSize(headerFont.pointSize() + 3);
    HeaderLbl->setFont(headerFont);

    const int count = static_cast<int>(layout.steps.size());
    for (int i = 0; i < count; ++i) {
        const HelpStep& step = layout.steps[static_cast<std::size_t>(i)];
        auto* button = new QPushButton(Text(step.caption), this);
        button->setGeometry(20, 36 + i * (kButtonHeight + 2), width - 60, kButtonHeight);
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral("text-align: left; padding-left: 8px;"));
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, i] { DispManualCmd_Click(i); });
        DispManualCmd.push_back(button);
    }

    // The pages, hidden until their button is pressed; the last button has none.
    for (int i = 0; i < count; ++i) {
        const HelpStep& step = layout.steps[static_cast<std::size_t>(i)];
        if (step.pageHeightTwips == 0) {
            ManuPic.push_back(nullptr);
            CloseCmd.push_back(nullptr);
            continue;
        }
        const int pageHeight = TwipsToPixels(step.pageHeightTwips);
        auto* page = new QFrame(this);
        page->setFrameShape(QFrame::Panel);
        page->setAutoFillBackground(true);
        page->setGeometry(0, 0, width, pageHeight);

        auto* header = new QLabel(Text(step.pageHeader), page);
        header->setObjectName(QStringLiteral("PageHeaderLbl"));
        header->setFont(headerFont);
        header->setGeometry(10, 6, width - 20, 24);

        auto* picture = new QLabel(page);
        picture->setObjectName(QStringLiteral("PictureImg"));
        picture->setAlignment(Qt::AlignCenter);
        picture->setGeometry((width - kPictureWidth) / 2, 34, kPictureWidth, kPictureHeight);
        if (!step.picture.empty()) {
            QPixmap pixmap(Text(pictureFolder + "/" + step.picture));
            if (!pixmap.isNull())
                picture->setPixmap(pixmap.scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation));
        }

        auto* close = new QPushButton(QStringLiteral("閉じる(&C)"), page);
        close->setGeometry(width - 110, pageHeight - 36, 90, 28);
        connect(close, &QPushButton::clicked, this, [this, i] { CloseCmd_Click(i); });

        auto* text = new QLabel(Text(step.text), page);
        text->setObjectName(QStringLiteral("PageTextLbl"));
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setGeometry(14, 34 + kPictureHeight + 8, width - 28, pageHeight - kPictureHeight - 86);

        page->hide();
        ManuPic.push_back(page);
        CloseCmd.push_back(close);
    }

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    move(TwipsToPixels(layout.leftTwips), TwipsToPixels(layout.topTwips));
    ApplySize();
}

void HelpFrm::DispManualCmd_Click(int index)
{
    switch (pages_.StepButton(index)) {
    case StepResult::CloseWindow: close(); return;
    case StepResult::Ignored: return;
    case StepResult::ShowPage: ApplyPages(); return;
    }
}

void HelpFrm::CloseCmd_Click(int index)
{
    pages_.ClosePage(index);
    ApplyPages();
}

void HelpFrm::ApplyPages()
{
    for (std::size_t i = 0; i < ManuPic.size(); ++i)
        if (ManuPic[i]) ManuPic[i]->setVisible(pages_.IsVisible(static_cast<int>(i)));
    // Bottom to top, so the page last shown lies over the others.
    for (int i : pages_.Stack()) ManuPic[static_cast<std::size_t>(i)]->raise();
    ApplySize();
}

void HelpFrm::ApplySize()
{
    // The sizes are those of the outer frame; the frame is known once shown.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    resize(TwipsToPixels(pages_.WidthTwips()) - frame.width(), TwipsToPixels(pages_.HeightTwips()) - frame.height());
}

void HelpFrm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ApplySize();
}

bool HelpFrm::eventFilter(QObject* watched, QEvent* event)
{
    // The raised look follows the pointer over a step button.
    if (auto* button = qobject_cast<QPushButton*>(watched)) {
        if (event->type() == QEvent::Enter) button->setFlat(false);
        else if (event->type() == QEvent::Leave) button->setFlat(true);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tessaro::help
