// The control's window: About box and design-time caption.
#include "control_fixture.h"

#include "control/control_window.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>

#include <cstdlib>

namespace tolvex::control::testing {
namespace {

// One application for the whole run, never destroyed: Qt does not take
// being torn down from exit handlers.
QApplication& App()
{
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

TEST(WindowTest, AboutBoxShowsTitleVersionAndOk)
{
    App();
    auto box = MakeAboutBox(nullptr);
    EXPECT_EQ(box->windowTitle(), "About TolvexComm OLE Control");
    EXPECT_TRUE(box->isModal());
    QStringList lines;
    for (auto* label : box->findChildren<QLabel*>()) lines << label->text();
    EXPECT_TRUE(lines.join("\n").contains("Version 3.0J")) << lines.join("|").toStdString();
    EXPECT_TRUE(lines.contains(QString::fromUtf8("通信用コントロール ")));
    auto* buttons = box->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Ok);
}

TEST(WindowTest, AboutBoxMethodRunsModallyAndReturns)
{
    App();
    ::setenv("TOLVEXCOMM_ABOUT_AUTOCLOSE", "1", 1);
    TempDir dir;
    RecordingSite site;
    ControlParts parts;
    parts.makeWindow = QtWindowFactory();
    auto c = MakeControl(site, dir.path() / "none.ini", parts);
    auto r = c->Invoke(com::dispid::kAboutBox, com::InvokeKind::Method, {});
    EXPECT_TRUE(r.ok());
    EXPECT_NE(Get(*c, com::dispid::kHWnd).value.integer(), 0);
    ASSERT_NE(c->Window(), nullptr);
    EXPECT_EQ(c->Window()->size(), QSize(32, 32));
    // A property is not a method and the method takes no arguments.
    Variant arg = Variant::I2(1);
    EXPECT_EQ(c->Invoke(com::dispid::kAboutBox, com::InvokeKind::Get, {}).status, com::kMemberNotFound);
    EXPECT_EQ(c->Invoke(com::dispid::kAboutBox, com::InvokeKind::Method, std::span(&arg, 1)).status,
              com::kBadParamCount);
    ::unsetenv("TOLVEXCOMM_ABOUT_AUTOCLOSE");
}

TEST(WindowTest, DesignCaptionNamesTheControlAndVersion)
{
    EXPECT_EQ(DesignCaption(), "Varnek Tolvexcomm Communications Control Version 3.0J");
}

}  // namespace
}  // namespace tolvex::control::testing
