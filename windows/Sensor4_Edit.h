#pragma once
// The serial-number editor of channel 4.
#include "windows/SensorEditForms.h"
using TSerialEdit4Form = TSerialEditFormOf<4>;
extern TSerialEdit4Form* SerialEdit4Form;
