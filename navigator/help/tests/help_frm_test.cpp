#include "help/help_frm.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tessaro::help {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "help_frm_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: a QApplication torn down among the statics at exit
    // takes Qt's input devices with it after Qt itself is gone.
    static QApplication* app = QApplication::instance() ? static_cast<QApplication*>(QApplication::instance())
                                                        : new QApplication(argc, argv);
    return *app;
}

// The page lying on top of all others that are shown, or -1.
int TopVisiblePage(HelpFrm& w)
{
    QWidget* top = nullptr;
    for (QObject* child : w.children())
        if (auto* page = qobject_cast<QFrame*>(child); page && page->isVisible()) top = page;
    for (std::size_t i = 0; i < w.ManuPic.size(); ++i)
        if (w.ManuPic[i] && w.ManuPic[i] == top) return static_cast<int>(i);
    return -1;
}

int OuterHeight(HelpFrm& w) { return w.frameGeometry().height(); }

void PressEveryButton(HelpFrm& w, const HelpLayout& layout)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("設定手順"));
    EXPECT_EQ(w.HeaderLbl->text(), QString::fromStdString(layout.header));
    EXPECT_EQ(w.frameGeometry().width(), TwipsToPixels(layout.widthTwips));
    EXPECT_EQ(OuterHeight(w), TwipsToPixels(layout.heightTwips));
    EXPECT_EQ(TopVisiblePage(w), -1);

    const int last = static_cast<int>(layout.steps.size()) - 1;
    for (int i = 0; i < last; ++i) {
        const HelpStep& step = layout.steps[static_cast<std::size_t>(i)];
        EXPECT_EQ(w.DispManualCmd[static_cast<std::size_t>(i)]->text(), QString::fromStdString(step.caption));
        QTest::mouseClick(w.DispManualCmd[static_cast<std::size_t>(i)], Qt::LeftButton);
        EXPECT_EQ(TopVisiblePage(w), i) << step.caption;
        EXPECT_EQ(OuterHeight(w), TwipsToPixels(step.pageHeightTwips + kPageMarginTwips)) << step.caption;
        QFrame* page = w.ManuPic[static_cast<std::size_t>(i)];
        EXPECT_EQ(page->pos(), QPoint(0, 0));
        EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("PageHeaderLbl"))->text(),
                  QString::fromStdString(step.pageHeader));
        EXPECT_FALSE(page->findChild<QLabel*>(QStringLiteral("PageTextLbl"))->text().isEmpty());
        EXPECT_EQ(w.CloseCmd[static_cast<std::size_t>(i)]->text(), QStringLiteral("閉じる(&C)"));
    }
    // The first page, opened first, comes back over all the others.
    w.DispManualCmd_Click(0);
    EXPECT_EQ(TopVisiblePage(w), 0);
    // Closing pages from the top down uncovers the one shown before.
    QTest::mouseClick(w.CloseCmd[0], Qt::LeftButton);
    EXPECT_EQ(TopVisiblePage(w), last - 1);
    for (int i = last - 1; i >= 1; --i) {
        QTest::mouseClick(w.CloseCmd[static_cast<std::size_t>(i)], Qt::LeftButton);
        EXPECT_EQ(TopVisiblePage(w), i > 1 ? i - 1 : -1);  // page 0 is closed already
    }
    EXPECT_EQ(OuterHeight(w), TwipsToPixels(layout.heightTwips));

    QTest::mouseClick(w.DispManualCmd[static_cast<std::size_t>(last)], Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
}

TEST(HelpWindows, EveryButtonOfBothWindows)
{
    App();
    Help1Frm one("", nullptr);
    PressEveryButton(one, Help1Layout());
    Help2Frm two("", nullptr);
    PressEveryButton(two, Help2Layout());
}

// Each page shows the picture its layout names, read from the folder given;
// one larger than the room is shrunk into it, a missing one leaves the place
// empty.
TEST(HelpWindows, PagesShowTheirPictures)
{
    App();
    for (const HelpLayout* layout : {&Help1Layout(), &Help2Layout()}) {
        QTemporaryDir folder;
        const int pages = static_cast<int>(layout->steps.size()) - 1;
        const int missing = pages - 1;
        for (int i = 0; i < pages; ++i) {
            if (i == missing) continue;
            // The first picture is twice the room, the others fill it.
            QImage picture(i == 0 ? QSize(800, 500) : QSize(400, 250), QImage::Format_RGB32);
            picture.fill(QColor(10 * i, 100, 200));
            ASSERT_TRUE(picture.save(folder.filePath(QString::fromStdString(
                layout->steps[static_cast<std::size_t>(i)].picture))));
        }
        HelpFrm w(*layout, folder.path().toStdString(), nullptr);
        for (int i = 0; i < pages; ++i) {
            const HelpStep& step = layout->steps[static_cast<std::size_t>(i)];
            ASSERT_FALSE(step.picture.empty()) << step.caption;
            w.DispManualCmd_Click(i);
            auto* shown = w.ManuPic[static_cast<std::size_t>(i)]->findChild<QLabel*>(QStringLiteral("PictureImg"));
            ASSERT_TRUE(shown) << step.caption;
            const QPixmap pixmap = shown->pixmap();
            if (i == missing) {
                EXPECT_TRUE(pixmap.isNull()) << step.caption;
                continue;
            }
            ASSERT_FALSE(pixmap.isNull()) << step.caption;
            EXPECT_EQ(pixmap.size(), QSize(400, 250)) << step.caption;
            EXPECT_EQ(pixmap.toImage().pixelColor(200, 125), QColor(10 * i, 100, 200)) << step.caption;
            // The picture lies inside its page, above the text.
            const QRect at = shown->geometry();
            EXPECT_TRUE(w.ManuPic[static_cast<std::size_t>(i)]->rect().contains(at)) << step.caption;
            EXPECT_LE(at.bottom(), w.ManuPic[static_cast<std::size_t>(i)]
                                       ->findChild<QLabel*>(QStringLiteral("PageTextLbl"))
                                       ->geometry()
                                       .top())
                << step.caption;
        }
    }
}

TEST(HelpWindows, HoverEscapeAndSecondOpen)
{
    App();
    QWidget owner;
    owner.show();
    QPointer<Help1Frm> slot;
    Help1Frm* first = OpenHelp(slot, "", &owner);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    EXPECT_EQ(first->pos(), QPoint(200, 0));
    EXPECT_FALSE(first->isModal());

    QPushButton* button = first->DispManualCmd[2];
    EXPECT_TRUE(button->isFlat());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(button, &enter);
    EXPECT_FALSE(button->isFlat());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_TRUE(button->isFlat());

    // A second open keeps the one window and its pages.
    first->DispManualCmd_Click(3);
    EXPECT_EQ(OpenHelp(slot, "", &owner), first);
    EXPECT_TRUE(first->Pages().IsVisible(3));

    QTest::keyClick(first, Qt::Key_Escape);
    QTRY_VERIFY(slot.isNull());  // closed and deleted
    Help1Frm* again = OpenHelp(slot, "", &owner);
    EXPECT_TRUE(again->Pages().Stack().empty());
    again->close();
}

}  // namespace
}  // namespace tessaro::help
