#pragma once
// The program's windows: each exists once, from start-up to the end of the run, and is
// reached program-wide through the reference named after it.
#include "windows/Sensor1_Edit.h"
#include "windows/Sensor2_Edit.h"
#include "windows/Sensor3_Edit.h"
#include "windows/Sensor4_Edit.h"
#include "windows/Unit1NC.h"
#include "windows/Unit2.h"
#include "windows/Unit4.h"
#include "windows/Unit7.h"

// Loads the forms' fonts, then creates the windows in their order: Form1, ConfigForm,
// AboutForm, ComPortForm, SerialEdit1Form … SerialEdit4Form. None is shown.
void CreateForms();
// Destroys them in the opposite order and clears the references.
void DestroyForms();
