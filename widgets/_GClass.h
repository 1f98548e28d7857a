#pragma once
// The instruments' shared unit: colours, settings objects, bevels, the scale, and the
// graphic, analog and binary control bases, each in a file of its own.
#include "core/DateTime.h"
#include "core/Numbers.h"
#include "widgets/GAnalogControl.h"
#include "widgets/GBevel.h"
#include "widgets/GBinControl.h"
#include "widgets/GColors.h"
#include "widgets/GGraphicControl.h"
#include "widgets/GPersistent.h"
#include "widgets/GScaleSettings.h"
#include "widgets/GSignalSettings.h"
#include "widgets/GTypes.h"
