#include "widgets/AbFlashT.h"

#include "widgets/GGraphicControl.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <stdexcept>

namespace {

std::vector<TFlashEntry>& List() {
    static std::vector<TFlashEntry> list;
    return list;
}

TAbFlashTimer* ProcessTimer = nullptr;
int InstanceCount = 0;
quint32 Counter = 0;

bool ApplicationDestroying() {
    return QCoreApplication::instance() == nullptr || QCoreApplication::closingDown();
}

// At the end of the application: stop ticking and free the timer with its thread.
void DestroyFlashTimer() {
    SetApplicationTerminating();
    delete ProcessTimer;
}

} // namespace

TAbFlashTimer::TAbFlashTimer(QObject* owner) : TAbFlash(owner) {
    if (InstanceCount++ == 0) {
        ProcessTimer = this;
        qAddPostRoutine(DestroyFlashTimer);
        SetOnTimer(FlashTick);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, "Error Message",
                    "Only one TAbFlashTimer per Application!\rRemove it...", QMessageBox::Ok);
    box.exec();
}

TAbFlashTimer::~TAbFlashTimer() {
    --InstanceCount;
    if (ProcessTimer == this) {
        ProcessTimer = nullptr;
        qRemovePostRoutine(DestroyFlashTimer);
    }
}

const std::vector<TFlashEntry>& FlashList() {
    return List();
}

TAbFlashTimer* FlashTimer() {
    return ProcessTimer;
}

quint32 FlashCounter() {
    return Counter;
}

void FlashRegister(TAbGraphicControl* control, int code) {
    std::vector<TFlashEntry>& list = List();
    auto entry = std::find_if(list.begin(), list.end(),
                              [control](const TFlashEntry& e) { return e.Control == control; });
    if (entry != list.end())
        entry->Code = code;
    else
        list.push_back({control, code, std::nullopt});
    if (list.capacity() - list.size() < 2)
        list.reserve(list.capacity() + 10);
    if (!ProcessTimer)
        new TAbFlashTimer();
}

void FlashUnregister(TAbGraphicControl* control) {
    std::vector<TFlashEntry>& list = List();
    std::erase_if(list, [control](const TFlashEntry& e) { return e.Control == control; });
    if (ApplicationDestroying() && list.empty())
        delete ProcessTimer;
}

void FlashTick(QObject*) {
    ++Counter;
    std::vector<TFlashEntry>& list = List();
    for (size_t i = 0; !ApplicationDestroying() && i < list.size(); ++i) {
        const bool phase = (Counter >> list[i].Code & 1) != 0;
        if (list[i].LastPhase == phase)
            continue;
        list[i].LastPhase = phase;
        TFlashMessage message(Counter, phase ? 1 : 0);
        // An arithmetic or range error of one control must not keep the others dark.
        try {
            QCoreApplication::sendEvent(list[i].Control, &message);
        } catch (const std::overflow_error&) {
        } catch (const std::range_error&) {
        } catch (const std::out_of_range&) {
        }
    }
}
