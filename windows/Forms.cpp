#include "windows/Forms.h"

#include "widgets/AbNumEdit.h"
#include "windows/FormFonts.h"

#include <QLabel>

namespace {
template <class T> void Destroy(T*& form) {
    delete form;
    form = nullptr;
}
} // namespace

void CreateForms() {
    LoadFormFonts();
    Form1 = new TForm1();
    ConfigForm = new TConfigForm(Form1);
    AboutForm = new TAboutForm(Form1);
    ComPortForm = new TComPortForm(Form1);
    SerialEdit1Form = new TSerialEdit1Form(Form1);
    SerialEdit2Form = new TSerialEdit2Form(Form1);
    SerialEdit3Form = new TSerialEdit3Form(Form1);
    SerialEdit4Form = new TSerialEdit4Form(Form1);
    Form1->Link().SetComPortLED(ComPortForm->ComPortLED);
    Form1->Link().SetConfigControls({{ConfigForm->AbNumEdit1, ConfigForm->AbNumEdit2,
                                      ConfigForm->AbNumEdit3, ConfigForm->AbNumEdit4},
                                     {ConfigForm->SensorSN_Edit1, ConfigForm->SensorSN_Edit2,
                                      ConfigForm->SensorSN_Edit3, ConfigForm->SensorSN_Edit4},
                                     ConfigForm->AbNumCAN1,
                                     ConfigForm->AbNumCAN2,
                                     ConfigForm->VersionLabel1,
                                     ConfigForm->ProgressBar1});
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
