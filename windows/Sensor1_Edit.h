#pragma once
// The serial-number editor of channel 1.
#include "windows/SensorEditForms.h"
using TSerialEdit1Form = TSerialEditFormOf<1>;
extern TSerialEdit1Form* SerialEdit1Form;
