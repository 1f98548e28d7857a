// Start-up: the windows, the main window's frame and menu, the timers. The application
// title that the program sets is checked on the program itself (ProgramTest).
#include "windows/Forms.h"

#include <QAction>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>

class Startup : public ::testing::Test {
protected:
    void SetUp() override { CreateForms(); }
    void TearDown() override { DestroyForms(); }
};

TEST_F(Startup, MainWindowFrame) {
    ASSERT_NE(Form1, nullptr);
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("VORLANX UEGO INTERFACE"));
    EXPECT_EQ(Form1->centralWidget()->size(), QSize(894, 534));
    EXPECT_FALSE(Form1->isVisible()) << "creating a window does not show it";
}

TEST_F(Startup, MenuBarHasThreeItemsWithConfigDisabled) {
    const QList<QAction*> items = Form1->menuBar()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), QStringLiteral("ComPort"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Config"));
    EXPECT_EQ(items[2]->text(), QStringLiteral("About"));
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    EXPECT_TRUE(items[2]->isEnabled());
    for (QAction* item : items)
        EXPECT_EQ(item->menu(), nullptr) << "no drop-down lists";
}

TEST_F(Startup, SecondaryWindowsExistHiddenWithTheirCaptions) {
    ASSERT_NE(AboutForm, nullptr);
    ASSERT_NE(ComPortForm, nullptr);
    EXPECT_EQ(AboutForm->windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(ComPortForm->windowTitle(), QStringLiteral("COM Port Setup"));
    EXPECT_FALSE(AboutForm->isVisible());
    EXPECT_FALSE(ComPortForm->isVisible());
}

TEST_F(Startup, MenuItemsShowTheirWindowsModeless) {
    Form1->show();
    Form1->ComPortMenu->trigger();
    EXPECT_TRUE(ComPortForm->isVisible());
    EXPECT_FALSE(ComPortForm->isModal());
    Form1->About1->trigger();
    EXPECT_TRUE(AboutForm->isVisible());
    EXPECT_FALSE(AboutForm->isModal());
    AboutForm->close();
    EXPECT_FALSE(AboutForm->isVisible()) << "closing only hides";
    EXPECT_NE(AboutForm, nullptr);
}

TEST_F(Startup, TimersHaveTheirIntervalsAndOnlyTimer2Runs) {
    EXPECT_EQ(Form1->Timer1->interval(), 100);
    EXPECT_EQ(Form1->Timer2->interval(), 100);
    EXPECT_FALSE(Form1->Timer1->isActive());
    EXPECT_TRUE(Form1->Timer2->isActive());
}
