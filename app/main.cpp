// The program's entry: the application object, its title, the windows in their order of
// creation, then the message loop until the main window closes.
#include "app/Application.h"
#include "windows/Forms.h"

#include <cstdio>
#include <optional>
#include <string_view>

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

// The command line is settled before the application object exists, so that the help, the
// version and a refused argument need no display. The exit status when the program ends here.
std::optional<int> AnswerCommandLine(int argc, char** argv) {
    if (argc < 2)
        return std::nullopt;
    const std::string_view argument = argv[1];
    if (argument == "--help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (argument == "--version") {
        std::printf("uego-interface %s\n", UEGO_VERSION);
        return 0;
    }
    std::fprintf(stderr, "uego-interface: %s '%s'\nTry 'uego-interface --help'.\n",
                 argument.starts_with('-') ? "unknown option" : "unexpected argument", argv[1]);
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerCommandLine(argc, argv))
        return *status;
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("4CH Uego Interface"));
    CreateForms();
    Form1->show();
    const int result = TApplication::exec();
    DestroyForms();
    return result;
}
