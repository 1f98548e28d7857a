#include "widgets/GBinControl.h"

#include "widgets/AbFlashT.h"

#include <QMouseEvent>
#include <bit>

int FlashCode(TFlashFreq f) {
    return int(f) + 2;
}

namespace {
bool GroupPropagating = false;
}

// The caption starts as the component's name and follows a renaming for as long as the
// two are the same, so a lamp without a caption of its own shows its name.
TAbBinGControl::TAbBinGControl(QWidget* parent) : TAbGraphicControl(parent) {
    connect(this, &QObject::objectNameChanged, this, [this](const QString& name) {
        if (FCaption == FNameShown)
            SetCaption(name);
        FNameShown = name;
    });
}

TAbBinGControl::~TAbBinGControl() {
    FlashUnregister(this);
}

void TAbBinGControl::SetChecked(bool v) {
    if (v == FChecked)
        return;
    FChecked = v;
    if (v && FFlashing)
        FlashRegister(this, FlashCode(FFrequency));
    else
        FlashUnregister(this);
    const qint32 mask = qint32(quint32(1) << FStatusBit);
    if (v)
        SetStatusInt(FMode == mRadioButton ? mask : FStatusInt | mask);
    else if (FMode != mRadioButton)
        SetStatusInt(FStatusInt & ~mask);
    StatusChanged();
    Raise(OnStatusChanged, this);
}

QList<TAbBinGControl*> TAbBinGControl::Group(int index) const {
    QList<TAbBinGControl*> group;
    QWidget* owner = window();
    auto take = [&](QWidget* w) {
        auto* control = dynamic_cast<TAbBinGControl*>(w);
        if (control && control->FGroupIndex == index)
            group.append(control);
    };
    take(owner);
    for (QWidget* w : owner->findChildren<QWidget*>())
        take(w);
    return group;
}

void TAbBinGControl::SetStatusInt(qint32 v) {
    if (v == FStatusInt)
        return;
    FStatusInt = v;
    SetChecked((quint32(v) >> FStatusBit & 1) != 0);
    FFirstCheckedBit = v == 0 ? 32 : std::countr_zero(quint32(v));
    StatusIntChanged();
    Raise(OnStatusIntChanged, this);
    if (FGroupIndex == 0 || GroupPropagating)
        return;
    GroupPropagating = true;
    for (TAbBinGControl* control : Group(FGroupIndex))
        control->SetStatusInt(v);
    GroupPropagating = false;
}

void TAbBinGControl::SetStatusBit(int v) {
    if (v == FStatusBit || v < 0 || v >= 32)
        return;
    FStatusBit = v;
    SetChecked((quint32(FStatusInt) >> v & 1) != 0);
}

void TAbBinGControl::SetGroupIndex(int v) {
    if (v == FGroupIndex || v < 0)
        return;
    FGroupIndex = v;
    // Index 0 is "no group": there is no state to take over.
    if (v != 0)
        SetStatusInt(Group(v).first()->StatusInt());
    GroupIndexChanged();
}

void TAbBinGControl::SetMode(TMode v) {
    FMode = v;
    if (v == mButton)
        SetStatusInt(0);
    else if (v == mRadioButton)
        SetStatusInt(1);
}

void TAbBinGControl::SetFlashing(bool v) {
    if (v == FFlashing)
        return;
    FFlashing = v;
    if (FChecked && v)
        FlashRegister(this, FlashCode(FFrequency));
    else
        FlashUnregister(this);
    StatusChanged();
    Raise(OnStatusChanged, this);
}

void TAbBinGControl::SetFrequency(TFlashFreq v) {
    FFrequency = v;
    if (FChecked && FFlashing)
        FlashRegister(this, FlashCode(v));
}

void TAbBinGControl::SetCaption(const QString& v) {
    if (v == FCaption)
        return;
    FCaption = v;
    ParamChange(this);
}

void TAbBinGControl::ParamChange(QObject*) {}

void TAbBinGControl::StatusChanged() {}

void TAbBinGControl::GroupIndexChanged() {}

void TAbBinGControl::StatusIntChanged() {}

void TAbBinGControl::Flash(bool) {}

void TAbBinGControl::WMFlash(quint32, qint32 LParam) {
    Flash(LParam != 0);
}

void TAbBinGControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    FMouseIsDown = true;
    switch (FMode) {
    case mButton:
        SetChecked(true);
        break;
    case mSwitch:
        SetChecked(!FChecked);
        break;
    case mRadioButton:
        SetStatusInt(qint32(quint32(1) << FStatusBit));
        break;
    case mIndicator:
        break;
    }
}

void TAbBinGControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    // The button is up whatever the mode; an indicator only ignores the click itself.
    FMouseIsDown = false;
    if (FMode == mIndicator)
        return;
    if (FMode == mButton)
        SetChecked(false);
    StatusChanged();
}
