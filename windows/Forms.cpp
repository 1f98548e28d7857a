#include "windows/Forms.h"

#include "windows/FormFonts.h"

void CreateForms() {
    LoadFormFonts();
    Form1 = new TForm1();
    AboutForm = new TAboutForm(Form1);
    ComPortForm = new TComPortForm(Form1);
    Form1->Link().SetComPortLED(ComPortForm->ComPortLED);
}

void DestroyForms() {
    delete ComPortForm;
    ComPortForm = nullptr;
    delete AboutForm;
    AboutForm = nullptr;
    delete Form1;
    Form1 = nullptr;
}
