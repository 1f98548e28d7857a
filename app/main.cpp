// The program's entry: the application object, its title, the windows in their order of
// creation, then the message loop until the main window closes.
#include "app/Application.h"
#include "windows/Forms.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("4CH Uego Interface"));
    CreateForms();
    Form1->show();
    const int result = application.exec();
    DestroyForms();
    return result;
}
