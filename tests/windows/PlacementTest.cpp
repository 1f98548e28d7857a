// Where the windows appear: the main window's frame centred on the screen, the secondary
// windows centred on the main window, frame on frame, from their first showing on. Only a
// window manager frames windows, so the checks run again on an X server of its own with a
// window manager, where the frames come late.
#include "tests/windows/WindowsRig.h"
#include "windows/Modeless.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {
const char* const InnerRun = "UEGO_PLACEMENT_UNDER_WINDOW_MANAGER";

QByteArray XOutput(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

// The window's frame as the X server has it: the window's own place and the decoration
// the window manager announces around it. The toolkit learns of the frame only some time
// after; offscreen it is the toolkit's.
QRect Frame(const QWidget* window) {
    if (qEnvironmentVariableIsEmpty(InnerRun))
        return window->frameGeometry();
    const QString id = QString::number(window->winId());
    int place[4] = {}; // left, top, width, height
    const char* const labels[4] = {
        "Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
    for (const QByteArray& line :
         XOutput(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).split('\n'))
        for (int i = 0; i < 4; ++i)
            if (line.trimmed().startsWith(labels[i]))
                place[i] = line.mid(line.indexOf(':') + 1).trimmed().toInt();
    const QByteArray extents = XOutput(
        QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
    const QList<QByteArray> sides = extents.mid(extents.indexOf('=') + 1).split(',');
    if (!extents.contains('=') || sides.size() != 4)
        return QRect(place[0], place[1], place[2], place[3]);
    const int left = sides[0].trimmed().toInt(), right = sides[1].trimmed().toInt(),
              top = sides[2].trimmed().toInt(), bottom = sides[3].trimmed().toInt();
    return QRect(place[0] - left, place[1] - top, place[2] + left + right, place[3] + top + bottom);
}

bool Framed(const QWidget* window) {
    return Frame(window).size() != window->size();
}

std::pair<int, int> Centre(const QWidget* window) {
    const QPoint c = Frame(window).center();
    return {c.x(), c.y()};
}

std::string Where(const QWidget* window) {
    const QRect f = Frame(window), g = window->geometry();
    return window->objectName().toStdString() + " frame " + std::to_string(f.x()) + ',' +
           std::to_string(f.y()) + ' ' + std::to_string(f.width()) + 'x' +
           std::to_string(f.height()) + " client " + std::to_string(g.x()) + ',' +
           std::to_string(g.y());
}

// Shows the window and waits until its frame rests centred on the main window's; on a
// timeout, reports where it stands.
void Open(QWidget* window, const std::function<void()>& open) {
    open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    WaitUntil([&] { return Framed(window) == Framed(Form1) && Centre(window) == Centre(Form1); });
    EXPECT_EQ(Framed(window), Framed(Form1)) << Where(window);
    EXPECT_EQ(Centre(window), Centre(Form1)) << Where(window) << " / " << Where(Form1);
    // The screen as the window manager shows it, at the window's first showing.
    const QByteArray dir = qgetenv("UEGO_SCREENSHOT_DIR");
    const QString shot =
        QDir(QString::fromLocal8Bit(dir)).filePath(window->objectName() + "-placed.png");
    if (!dir.isEmpty() && !qEnvironmentVariableIsEmpty(InnerRun) && !QFile::exists(shot))
        QGuiApplication::primaryScreen()->grabWindow(0).save(shot);
}

// An X server and a window manager of their own, stopped with the test.
class FramingDisplay {
public:
    FramingDisplay() {
        FServer.start(QStringLiteral("Xvfb"),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                       QStringLiteral("-noreset")});
        while (!FServer.canReadLine() && FServer.waitForReadyRead(30000)) {
        }
        Name = QStringLiteral(":") + QString::fromLatin1(FServer.readLine()).trimmed();
        Environment.insert(QStringLiteral("DISPLAY"), Name);
        Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        FManager.setProcessEnvironment(Environment);
        FManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    }
    ~FramingDisplay() {
        for (QProcess* p : {&FManager, &FServer}) {
            p->terminate();
            p->waitForFinished(30000);
        }
    }

    // The window manager has announced itself on the root window.
    bool Managed() const {
        QProcess xprop;
        xprop.setProcessEnvironment(Environment);
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        xprop.waitForFinished(30000);
        return xprop.readAllStandardOutput().contains("window id");
    }

    QString ManagerOutput() {
        return QString::fromLocal8Bit(FManager.readAll()) + FManager.errorString();
    }
    QString Name;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();

private:
    QProcess FServer, FManager;
};
} // namespace

TEST(Placement, SecondaryWindowsOpenCentredOnTheMainWindow) {
    WindowsRig rig;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    ASSERT_TRUE(WaitUntil([] { return Framed(Form1) || qEnvironmentVariableIsEmpty(InnerRun); }));
    for (int showing = 1; showing <= 2; ++showing) {
        Open(ConfigForm, [] { Form1->Config1Click(); });
        ConfigForm->close();
        Open(SerialEdit2Form, [] { ShowModeless(SerialEdit2Form); });
        SerialEdit2Form->close();
        Open(AboutForm, [] { Form1->About1->trigger(); });
        AboutForm->close();
    }
}

TEST(Placement, MainWindowOpensCentredOnTheScreen) {
    WindowsRig rig;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (screen.width() < Form1->frameGeometry().width() ||
        screen.height() < Form1->frameGeometry().height())
        GTEST_SKIP() << "the screen is smaller than the window, which keeps it from its centre";
    const QPoint c = screen.center();
    const std::pair<int, int> centre{c.x(), c.y()};
    WaitUntil([&] {
        return (Framed(Form1) || qEnvironmentVariableIsEmpty(InnerRun)) && Centre(Form1) == centre;
    });
    EXPECT_TRUE(Framed(Form1) || qEnvironmentVariableIsEmpty(InnerRun));
    EXPECT_EQ(Centre(Form1), centre) << Where(Form1);
}

TEST(Placement, WindowsOpenCentredUnderAWindowManager) {
    if (!qEnvironmentVariableIsEmpty(InnerRun))
        GTEST_SKIP() << "this is the run under the window manager";
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        GTEST_SKIP() << "no window manager here (scripts/setup installs openbox)";
    FramingDisplay display;
    ASSERT_TRUE(WaitUntil([&] { return display.Managed(); }, 30000))
        << "openbox did not start on " << display.Name.toStdString()
        << display.ManagerOutput().toStdString();
    QProcess inner;
    QProcessEnvironment environment = display.Environment;
    environment.insert(QString::fromLatin1(InnerRun), QStringLiteral("1"));
    inner.setProcessEnvironment(environment);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(
        QStringLiteral("/proc/self/exe"),
        {QStringLiteral("--gtest_filter=Placement.SecondaryWindowsOpenCentredOnTheMainWindow:"
                        "Placement.MainWindowOpensCentredOnTheScreen")});
    ASSERT_TRUE(inner.waitForFinished(120000));
    EXPECT_EQ(inner.exitCode(), 0) << inner.readAll().toStdString();
}
