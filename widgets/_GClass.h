#pragma once
// The instruments' shared unit, gathered from its parts: colours, settings objects, bevels,
// the round scale, and the graphic, analog and binary control bases.
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
