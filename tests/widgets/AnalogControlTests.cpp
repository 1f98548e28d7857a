// The analog control shows its value model: the model's events reach the control's
// handlers with the control as Sender, only after loading, and the model's changes run
// the control's overridable hooks, where the dial and the readout redraw.
#include "widgets/_GClass.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Records every hook the model runs on the control, in order.
class TRecordingControl : public TAbAnalogGControl {
public:
    using TAbAnalogGControl::TAbAnalogGControl;
    std::vector<std::string> Hooks;

protected:
    void ValueChanged() override {
        Hooks.push_back("ValueChanged");
        TAbAnalogGControl::ValueChanged();
    }
    void OverflowChanged(int PPT) override {
        Hooks.push_back("OverflowChanged " + std::to_string(PPT));
    }
    void LimitChanged() override { Hooks.push_back("LimitChanged"); }
    void MinMaxChanged(QObject* Sender) override {
        Hooks.push_back("MinMaxChanged");
        TAbAnalogGControl::MinMaxChanged(Sender);
    }
    void ParamChange(QObject* Sender) override {
        Hooks.push_back("ParamChange");
        TAbAnalogGControl::ParamChange(Sender);
    }
};

// A control with the meters' range, its events recorded with their Sender.
struct TLambdaControl {
    TRecordingControl Control{nullptr};
    std::vector<std::string> Events;

    explicit TLambdaControl(bool load = true) {
        Control.SignalSettings()->SetValueFrom(0.65f);
        Control.SignalSettings()->SetValueTo(1.35f);
        Control.SetLimitUpper(2.0f);
        Control.SetLimitLower(0.5f);
        auto record = [this](QObject* Sender, const std::string& what) {
            Events.push_back(what + (Sender == &Control ? "" : " from another sender"));
        };
        Control.OnValueChange = [=](QObject* s) { record(s, "ValueChange"); };
        Control.OnOverflow = [=](QObject* s, int ppt) {
            record(s, "Overflow " + std::to_string(ppt));
        };
        Control.OnLimit = [=](QObject* s, bool lower, bool upper) {
            record(s, std::string("Limit ") + (lower ? "lower" : "") + (upper ? "upper" : ""));
        };
        Control.OnSectorChange = [=](QObject* s, bool, bool, bool, bool) {
            record(s, "SectorChange");
        };
        Control.OnMinMaxChange = [=](QObject* s) { record(s, "MinMaxChange"); };
        Control.OnSettingsChange = [=](QObject* s) { record(s, "SettingsChange"); };
        Control.OnPosChanged = [=](QObject* s) { record(s, "PosChanged"); };
        if (load)
            Control.Loaded();
        Control.Hooks.clear();
    }
};

using TStrings = std::vector<std::string>;

TEST(AnalogControl, ModelEventsCarryTheControlAsSender) {
    TLambdaControl c;
    // The starting value 50 was above the upper limit; the first value after loading is
    // minimum and maximum without a notification.
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.Events, (TStrings{"Limit ", "ValueChange"}));
    c.Events.clear();
    // Out of sector 2, above the upper limit and the range, a new maximum.
    c.Control.SetValue(2.5f);
    EXPECT_EQ(c.Events, (TStrings{"SectorChange", "Limit upper", "Overflow 2643", "MinMaxChange",
                                  "ValueChange", "ValueChange"}));
    EXPECT_EQ(c.Control.PPT(), 1000);
    EXPECT_EQ(c.Control.Digit(), 2643);
    EXPECT_TRUE(c.Control.UOverflow());
    EXPECT_TRUE(c.Control.ULimit());
    EXPECT_EQ(c.Control.MinMax()->Max(), 2.5f);
}

TEST(AnalogControl, ModelRunsTheControlsHooks) {
    TLambdaControl c;
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.Control.Hooks, (TStrings{"ValueChanged", "LimitChanged"}));
    c.Control.Hooks.clear();
    c.Control.SetValue(2.5f);
    EXPECT_EQ(c.Control.Hooks, (TStrings{"ValueChanged", "LimitChanged", "OverflowChanged 2643",
                                         "MinMaxChanged", "ValueChanged"}));
    c.Control.Hooks.clear();
    c.Control.SetValue(2.5f); // unchanged: nothing at all
    EXPECT_TRUE(c.Control.Hooks.empty());
}

TEST(AnalogControl, NoEventBeforeLoaded) {
    TLambdaControl c(false);
    c.Control.SetValue(1.0f);
    c.Control.SetValue(2.5f);
    c.Control.move(10, 20);
    c.Control.SetValue(0.3f);
    c.Control.SignalSettings()->SetValueTo(2.65f);
    EXPECT_TRUE(c.Events.empty());
    EXPECT_EQ(c.Control.PPT(), 0);
    EXPECT_TRUE(c.Control.LOverflow());
    c.Control.Loaded();
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.Events, (TStrings{"SectorChange", "Limit ", "Overflow 175", "ValueChange"}));
}

TEST(AnalogControl, SettingsChangesAfterLoadingRunParamChange) {
    TLambdaControl c;
    c.Control.SetValue(1.0f);
    c.Events.clear();
    c.Control.Hooks.clear();
    c.Control.SignalSettings()->SetValueTo(2.65f);
    c.Control.SectorSettings()->SetSector1To(100);
    c.Control.Font()->SetHeight(-13);
    EXPECT_EQ(c.Control.Hooks, (TStrings{"ParamChange", "ParamChange", "ParamChange"}));
    EXPECT_EQ(c.Events, (TStrings{"SettingsChange", "SettingsChange", "SettingsChange"}));
    EXPECT_EQ(c.Control.Digit(), 175);
}

TEST(AnalogControl, MovingIsReportedWithTheNextValue) {
    TLambdaControl c;
    c.Control.move(10, 20);
    EXPECT_TRUE(c.Events.empty());
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.Events.front(), "PosChanged");
    c.Events.clear();
    c.Control.SetValue(1.1f); // not moved since: no report
    EXPECT_EQ(c.Events, (TStrings{"MinMaxChange", "ValueChange", "ValueChange"}));
}

} // namespace
