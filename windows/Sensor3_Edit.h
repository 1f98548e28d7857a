#pragma once
// The serial-number editor of channel 3.
#include "windows/SensorEditForms.h"
using TSerialEdit3Form = TSerialEditFormOf<3>;
extern TSerialEdit3Form* SerialEdit3Form;
