#pragma once
// The serial-number editor of channel 2.
#include "windows/SensorEditForms.h"
using TSerialEdit2Form = TSerialEditFormOf<2>;
extern TSerialEdit2Form* SerialEdit2Form;
