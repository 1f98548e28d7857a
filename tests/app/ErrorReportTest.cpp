// The top-level error report: an exception escaping an event handler shows a critical
// box titled with the application title, and the program goes on.
#include "app/Application.h"
#include "tests/support/BoxWatcher.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {
TApplication* App() {
    return static_cast<TApplication*>(QCoreApplication::instance());
}

void ThrowLater(const char* message) {
    QTimer::singleShot(0, [message] { throw std::runtime_error(message); });
}
} // namespace

TEST(ErrorReport, FullStopIsAddedOnlyAfterCharactersSortingAfterIt) {
    struct Case {
        const char* message;
        const char* shown;
    } cases[] = {
        {"File access denied", "File access denied."},
        {"Disk full", "Disk full."},
        {"Specified device not found (/dev/ttyS6).", "Specified device not found (/dev/ttyS6)."},
        {"Can't open specified device /dev/ttyS0 (Error 16, Device or resource busy)",
         "Can't open specified device /dev/ttyS0 (Error 16, Device or resource busy)"},
        {"I/O error 5", "I/O error 5."},
        {"ends with a dash -", "ends with a dash -"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TApplication::ErrorBoxText(QString::fromLatin1(c.message)),
                  QString::fromLatin1(c.shown))
            << c.message;
}

TEST(ErrorReport, HandlerThatThrowsShowsCriticalBoxAndProgramGoesOn) {
    BoxWatcher watcher(50);
    ThrowLater("File access denied");
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 1; }));
    ASSERT_EQ(watcher.seen.size(), 1u);
    EXPECT_EQ(watcher.seen[0].title, QStringLiteral("4CH Uego Interface"));
    EXPECT_EQ(watcher.seen[0].text, QStringLiteral("File access denied."));
    EXPECT_EQ(watcher.seen[0].icon, QMessageBox::Critical);

    bool ranAfter = false;
    QTimer::singleShot(0, [&] { ranAfter = true; });
    EXPECT_TRUE(WaitUntil([&] { return ranAfter; }));
}

TEST(ErrorReport, ErrorRepeatedOnEveryTickShowsOneBoxWhileTimersKeepTicking) {
    QTimer thrower;
    thrower.setInterval(5);
    QObject::connect(&thrower, &QTimer::timeout, [] {
        throw std::runtime_error("Output buffer is full. Please check comm status.");
    });
    int ticks = 0;
    QTimer counter;
    counter.setInterval(5);
    QObject::connect(&counter, &QTimer::timeout, [&] { ++ticks; });

    BoxWatcher watcher(300);
    int ticksWhileOpen = 0;
    watcher.beforeClose = [&](QMessageBox*) {
        ticksWhileOpen = ticks;
        thrower.stop();
    };
    thrower.start();
    counter.start();
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed >= 1; }));
    QCoreApplication::processEvents();

    EXPECT_EQ(watcher.seen.size(), 1u);
    EXPECT_EQ(watcher.mostOpenAtOnce, 1);
    EXPECT_GT(ticksWhileOpen, 5) << "timers must keep ticking while the box is open";
}

TEST(ErrorReport, DifferentErrorWhileBoxIsOpenIsShownAfterIt) {
    BoxWatcher watcher(100);
    QTimer::singleShot(0, [] {
        QTimer::singleShot(20, [] { throw std::runtime_error("Disk full"); });
        QTimer::singleShot(30, [] { throw std::runtime_error("Disk full"); });
        throw std::runtime_error("File access denied");
    });
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 2; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(watcher.seen.size(), 2u);
    EXPECT_EQ(watcher.seen[0].text, QStringLiteral("File access denied."));
    EXPECT_EQ(watcher.seen[1].text, QStringLiteral("Disk full."));
    EXPECT_EQ(watcher.mostOpenAtOnce, 1);
}

TEST(ErrorReport, SameErrorAfterTheBoxClosedIsShownAgain) {
    BoxWatcher watcher(20);
    ThrowLater("Disk full");
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 1; }));
    ThrowLater("Disk full");
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 2; }));
    EXPECT_EQ(watcher.seen.size(), 2u);
    EXPECT_EQ(App()->Title(), QStringLiteral("4CH Uego Interface"));
}
