#pragma once
// The process's single flash timer and the list of flashing controls it serves: every
// flashing control blinks with a bit of one shared tick counter, so controls of the
// same frequency blink in phase.
#include "widgets/_AbFlash.h"

#include <optional>
#include <vector>

class TAbGraphicControl;

class TAbFlashTimer : public TAbFlash {
public:
    explicit TAbFlashTimer(QObject* owner = nullptr);
    ~TAbFlashTimer() override;
};

struct TFlashEntry {
    TAbGraphicControl* Control;
    int Code;                      // phase bit of the tick counter, 2 (ff8Hz) … 6 (ff05Hz)
    std::optional<bool> LastPhase; // unset until the first message
};

const std::vector<TFlashEntry>& FlashList();
// The process's flash timer; none until the first registration.
TAbFlashTimer* FlashTimer();
quint32 FlashCounter();

void FlashRegister(TAbGraphicControl* control, int code);
void FlashUnregister(TAbGraphicControl* control);
// One tick: advances the counter and sends WM_FLASH to each control whose phase changed.
void FlashTick(QObject* Sender);
