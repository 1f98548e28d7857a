// Runs every test inside the application object, so widgets, timers and hand-overs to
// the main thread work as in the program. The window and start-up tests run inside the
// program's own application object with its error report; the tests of the layers
// without widgets run inside a core application, so that none of them can lean on one.
// Offscreen unless a display was asked for. Each test process gets its own configuration
// folder, so port aliases made by one test never meet those of another running at the
// same time.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#if defined(UEGO_TEST_APPLICATION)
#include "app/Application.h"
using TestApplication = TApplication;
#elif defined(UEGO_TEST_CORE)
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configHome(QDir::tempPath() + "/uego-test-XXXXXX");
    if (!configHome.isValid())
        return 3;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    TestApplication app(argc, argv);
#ifdef UEGO_TEST_APPLICATION
    app.SetTitle(QStringLiteral("4CH Uego Interface"));
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
