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

// "ComPort", "Config" and "About", then "Chart" for the lambda chart.
TEST_F(Startup, MenuBarHasFourItemsWithConfigDisabled) {
    const QList<QAction*> items = Form1->menuBar()->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), QStringLiteral("ComPort"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Config"));
    EXPECT_EQ(items[2]->text(), QStringLiteral("About"));
    EXPECT_EQ(items[3]->text(), QStringLiteral("Chart"));
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    EXPECT_TRUE(items[2]->isEnabled());
    EXPECT_TRUE(items[3]->isEnabled());
    for (QAction* item : items)
        EXPECT_EQ(item->menu(), nullptr) << "no drop-down lists";
}

TEST_F(Startup, SecondaryWindowsExistHiddenWithTheirCaptionsInCreationOrder) {
    const std::pair<QWidget*, const char*> windows[] = {
        {ConfigForm, "Configuration"},
        {AboutForm, "About"},
        {ComPortForm, "COM Port Setup"},
        {SerialEdit1Form, "Sensor 1 Serial Number"},
        {SerialEdit2Form, "Sensor 2 Serial Number"},
        {SerialEdit3Form, "Sensor 3 Serial Number"},
        {SerialEdit4Form, "Sensor 4 Serial Number"},
    };
    QList<QWidget*> created;
    for (QObject* child : Form1->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->isWindow())
            created.append(w);
    ASSERT_EQ(created.size(), qsizetype(std::size(windows)));
    for (std::size_t i = 0; i < std::size(windows); ++i) {
        const auto& [window, caption] = windows[i];
        ASSERT_NE(window, nullptr) << caption;
        EXPECT_EQ(created[qsizetype(i)], window) << caption << " created in its turn";
        EXPECT_EQ(window->windowTitle(), QString::fromLatin1(caption));
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(Startup, MenuItemsShowTheirWindowsModeless) {
    Form1->show();
    Form1->ComPortMenu->trigger();
    EXPECT_TRUE(ComPortForm->isVisible());
    EXPECT_FALSE(ComPortForm->isModal());
    Form1->About1->trigger();
    EXPECT_TRUE(AboutForm->isVisible());
    EXPECT_FALSE(AboutForm->isModal());
    Form1->Config1Click();
    EXPECT_TRUE(ConfigForm->isVisible());
    EXPECT_FALSE(ConfigForm->isModal());
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

TEST_F(Startup, MainAndAboutWindowsCarryTheProgramsIcon) {
    for (QWidget* window : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(AboutForm)}) {
        const QIcon icon = window->windowIcon();
        ASSERT_FALSE(icon.isNull()) << window->objectName().toStdString();
        for (int size : {16, 32, 48, 64, 128, 256})
            EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    }
}
