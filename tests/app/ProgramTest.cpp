// The program itself: the built uego-interface started on a virtual X display against the
// controller emulator, driven with the mouse and keyboard through the X server as an
// operator drives it, and ended with its main window's close.
#include "tests/app/XClient.h"
#include "tests/support/BoxWatcher.h"
#include "tools/ControllerEmulator.h"

#include <QDir>
#include <QProcess>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int EmulatorPort = 9;
const QString MainCaption = QStringLiteral("VORLANX UEGO INTERFACE");

// The test program lives in <build>/tests/, the program in <build>/.
QString ProgramPath() {
    return QString::fromStdString(
        (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "uego-interface")
            .string());
}

// An X server of its own (Xvfb), on the first free display, for the length of the test.
// It does not reset when its last client leaves: a reset turns away whoever connects
// meanwhile, and the program, xdotool and the test's own checks come and go.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int ready[2];
        if (::pipe(ready) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ready[1], 3); // -displayfd 3
        const char* argv[] = {"Xvfb",         "-displayfd", "3",   "-screen",  "0",
                              "1280x1024x24", "-nolisten",  "tcp", "-noreset", nullptr};
        const int failed =
            posix_spawnp(&FPid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        if (failed == 0)
            FName = QStringLiteral(":") + ReadNumber(ready[0]);
        else
            FPid = -1;
        ::close(ready[0]);
        if (FName.size() < 2 || !CanConnect(FName)) {
            Stop();
            throw std::runtime_error("Xvfb did not start (scripts/setup installs it)");
        }
    }
    ~VirtualDisplay() { Stop(); }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const QString& Name() const { return FName; }

private:
    void Stop() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
        FPid = -1;
    }

    // The display number Xvfb writes once it accepts clients.
    static QString ReadNumber(int fd) {
        QString number;
        char c = 0;
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 30000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n')
            number += QLatin1Char(c);
        return number;
    }

    pid_t FPid = -1;
    QString FName;
};

// Runs xdotool on the display; its standard output, trimmed.
QString Xdotool(const QString& display, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(30000))
        process.kill();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// A top-level window whose name is exactly `caption`; 0 when none is shown.
unsigned long FindWindow(const QString& display, const QString& caption) {
    const QString found =
        Xdotool(display, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QStringLiteral("^%1$").arg(caption)});
    return found.section(QLatin1Char('\n'), 0, 0).toULong();
}

unsigned long WaitForWindow(const QString& display, const QString& caption) {
    unsigned long window = 0;
    WaitUntil([&] { return (window = FindWindow(display, caption)) != 0; }, 30000);
    return window;
}

void Click(const QString& display, unsigned long window, int x, int y) {
    Xdotool(display,
            {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
             QString::number(x), QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

// Clicks along the menu bar from the left until the window of the item shows: the items'
// places follow from the font, which the test does not assume. After each click the
// program's answer to a ping says the click was handled, and any window it opened shown.
bool ChooseMenuItem(const QString& display, unsigned long mainWindow, const QString& opens) {
    for (int x = 8; x < 300; x += 10) {
        Click(display, mainWindow, x, 8);
        if (!Ping(display, mainWindow))
            return false;
        if (FindWindow(display, opens) != 0)
            return true;
    }
    return false;
}

// What a failure message shows: the visible windows' names and what the program printed.
std::string Trace(const QString& display, QProcess& program) {
    const QString windows =
        Xdotool(display, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QStringLiteral("."),
                          QStringLiteral("getwindowname"), QStringLiteral("%@")});
    return "windows: [" +
           windows.split(QLatin1Char('\n')).join(QStringLiteral(", ")).toStdString() +
           "], program " + (program.state() == QProcess::Running ? "running" : "ended") + ": " +
           program.readAllStandardError().toStdString();
}

// Saves the whole screen as PNG into UEGO_SCREENSHOT_DIR, when that is set.
void SaveScreen(const QString& display, const char* name) {
    const QByteArray dir = qgetenv("UEGO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QProcess import;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    import.setProcessEnvironment(environment);
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"),
                  QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name))});
    import.waitForFinished(30000);
}

// Types the number into the port window's field and presses "Open Port".
void OpenPort(const QString& display, unsigned long portWindow, int number) {
    Xdotool(display,
            {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(portWindow)});
    Click(display, portWindow, 80, 61); // the number field
    Xdotool(display,
            {QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    Xdotool(display, {QStringLiteral("type"), QString::number(number)});
    Click(display, portWindow, 200, 63); // "Open Port"
}

} // namespace

TEST(Program, OpensThePortThroughItsWindowPollsTheControllerAndEndsWithItsClose) {
    const VirtualDisplay display;
    sim::EmulatorOptions options;
    options.port = EmulatorPort;
    options.warmupSeconds = 0;
    sim::ControllerEmulator emulator(options);
    emulator.Start();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.Name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(environment);
    program.start(ProgramPath());
    ASSERT_TRUE(program.waitForStarted(30000)) << "is uego-interface built?";

    const unsigned long mainWindow = WaitForWindow(display.Name(), MainCaption);
    ASSERT_NE(mainWindow, 0u) << Trace(display.Name(), program);
    EXPECT_EQ(WindowClass(display.Name(), mainWindow), QStringLiteral("4CH Uego Interface"))
        << "the application title";
    SaveScreen(display.Name(), "program-main-window.png");

    // The About window, chosen while "Config" is still disabled, and closed again.
    ASSERT_TRUE(ChooseMenuItem(display.Name(), mainWindow, QStringLiteral("About")))
        << Trace(display.Name(), program);
    SaveScreen(display.Name(), "program-about-window.png");
    ASSERT_TRUE(CloseWindow(display.Name(), FindWindow(display.Name(), QStringLiteral("About"))))
        << Trace(display.Name(), program);
    EXPECT_TRUE(
        WaitUntil([&] { return FindWindow(display.Name(), QStringLiteral("About")) == 0; }, 30000));

    ASSERT_TRUE(ChooseMenuItem(display.Name(), mainWindow, QStringLiteral("COM Port Setup")))
        << Trace(display.Name(), program);
    const unsigned long portWindow = FindWindow(display.Name(), QStringLiteral("COM Port Setup"));

    // A number without a device: the error box carries the application title.
    OpenPort(display.Name(), portWindow, 200);
    const unsigned long errorBox =
        WaitForWindow(display.Name(), QStringLiteral("4CH Uego Interface"));
    ASSERT_NE(errorBox, 0u) << Trace(display.Name(), program);
    SaveScreen(display.Name(), "program-error-box.png");
    ASSERT_TRUE(CloseWindow(display.Name(), errorBox)) << Trace(display.Name(), program);
    EXPECT_TRUE(WaitUntil(
        [&] { return FindWindow(display.Name(), QStringLiteral("4CH Uego Interface")) == 0; },
        30000));
    EXPECT_EQ(emulator.LiveRequestCount(), 0u);

    // The emulator's number: live requests arrive, ten a second.
    OpenPort(display.Name(), portWindow, EmulatorPort);
    ASSERT_TRUE(WaitUntil([&] { return emulator.LiveRequestCount() >= 5; }, 30000))
        << Trace(display.Name(), program);
    for (const auto& request : emulator.Requests())
        EXPECT_EQ(request, (std::vector<std::uint8_t>{0xC0, 0x04, 0x26, 0x15}));
    SaveScreen(display.Name(), "program-port-window.png");

    ASSERT_TRUE(CloseWindow(display.Name(), mainWindow)) << Trace(display.Name(), program);
    ASSERT_TRUE(program.waitForFinished(30000)) << "the main window's close ends the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}
