// The program's entry: the application object, its title, the windows in their order of
// creation, then the message loop until the main window closes.
#include "app/Application.h"
#include "windows/Forms.h"

#include <cstdio>
#include <cstring>

namespace {
const char* const Usage =
    "Usage: uego-interface [--help | --version]\n"
    "Watches and sets up a four-channel wideband lambda (UEGO) sensor controller on a\n"
    "serial line. Everything else is chosen in its windows: the port by number in\n"
    "\"ComPort\", the configuration in \"Config\".\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Port COMn is the alias $XDG_CONFIG_HOME/uego-interface/ports/COMn when it exists\n"
    "(a symbolic link to any serial device); otherwise COM1-COM32 are /dev/ttyS0-31,\n"
    "COM33-COM64 /dev/ttyUSB0-31 and COM65-COM96 /dev/ttyACM0-31. USB serial devices\n"
    "belong to the group dialout.\n";

// The informational options answer without a display and without opening a window.
bool AnswersInformationalOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("uego-interface %s\n", UEGO_VERSION);
            return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char** argv) {
    if (AnswersInformationalOption(argc, argv))
        return 0;
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("4CH Uego Interface"));
    CreateForms();
    Form1->show();
    const int result = application.exec();
    DestroyForms();
    return result;
}
