// Runs every test inside a QApplication, so widgets, timers and hand-overs to the
// main thread work as in the program. Offscreen unless a display was asked for.
// Each test process gets its own configuration folder, so port aliases made by one
// test never meet those of another running at the same time.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configHome(QDir::tempPath() + "/uego-test-XXXXXX");
    if (!configHome.isValid())
        return 3;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
