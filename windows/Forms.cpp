#include "windows/Forms.h"

#include "widgets/AbLED.h"
#include "widgets/AbNumEdit.h"
#include "windows/FormFonts.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

namespace {
// The port window's lamp and the configuration window's fields show what the link tells.
void BindLinkToOtherWindows(TDeviceLink& link) {
    link.OnPortOpen = [](bool open) { ComPortForm->ComPortLED->SetChecked(open); };
    link.OnReadProgressShown = [](bool shown) { ConfigForm->ProgressBar1->setVisible(shown); };
    link.OnReadProgress = [](int position) { ConfigForm->ShowProgress(position); };
    link.OnVersionText = [](const QString& text) { ConfigForm->ShowVersion(text); };
    link.OnConfiguration = [](const TConfigValues& values) {
        ConfigForm->ShowConfiguration(values);
    };
}

template <class T> void Destroy(T*& form) {
    delete form;
    form = nullptr;
}
} // namespace

void CreateForms() {
    LoadFormFonts();
    Form1 = new TForm1();
    ConfigForm = new TConfigForm(Form1->Link(), Form1);
    AboutForm = new TAboutForm(Form1);
    ComPortForm = new TComPortForm(Form1->Link(), Form1);
    SerialEdit1Form = new TSerialEdit1Form(Form1->Link(), Form1);
    SerialEdit2Form = new TSerialEdit2Form(Form1->Link(), Form1);
    SerialEdit3Form = new TSerialEdit3Form(Form1->Link(), Form1);
    SerialEdit4Form = new TSerialEdit4Form(Form1->Link(), Form1);
    BindLinkToOtherWindows(Form1->Link());
    for (int n = 1; n <= 4; ++n)
        SerialEditForm(n)->OnSent = [n](const QString& cut) {
            ConfigForm->SensorSN_Edit(n)->setText(cut);
        };
}

void DestroyForms() {
    Destroy(SerialEdit4Form);
    Destroy(SerialEdit3Form);
    Destroy(SerialEdit2Form);
    Destroy(SerialEdit1Form);
    Destroy(ComPortForm);
    Destroy(AboutForm);
    Destroy(ConfigForm);
    Destroy(Form1);
}
