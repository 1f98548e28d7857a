// The value model shared by dials and readouts: range, Digit, PPT, limits, overflow,
// sectors, min/max and the loading rule.
#include "widgets/_GClass.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// A bare analog control with the meters' signal range, loaded.
struct TLambdaControl {
    TAbAnalogGControl Control{nullptr};
    std::vector<int> Overflows;
    std::vector<std::pair<bool, bool>> Limits;
    int ValueChanges = 0, MinMaxChanges = 0;

    explicit TLambdaControl(bool load = true) {
        Control.SignalSettings()->SetValueFrom(0.65f);
        Control.SignalSettings()->SetValueTo(1.35f);
        Control.SetLimitUpper(2.0f);
        Control.SetLimitLower(0.5f);
        Control.OnOverflow = [this](QObject*, int ppt) { Overflows.push_back(ppt); };
        Control.OnLimit = [this](QObject*, bool lower, bool upper) {
            Limits.push_back({lower, upper});
        };
        Control.OnValueChange = [this](QObject*) { ++ValueChanges; };
        Control.OnMinMaxChange = [this](QObject*) { ++MinMaxChanges; };
        if (load)
            Control.Loaded();
    }
};

TEST(ValueModel, RangeGivesTheWorkedDigitsAndPositions) {
    struct {
        float Value;
        int Digit, PPT;
        bool UOverflow, LOverflow;
    } const cases[] = {{1.00f, 500, 500, false, false},
                       {1.35f, 1000, 1000, false, false},
                       {0.65f, 0, 0, false, false},
                       {2.0f, 1929, 1000, true, false},
                       {-92.9f, -133643, 0, false, true}};
    TLambdaControl c;
    EXPECT_FLOAT_EQ(c.Control.SignalSettings()->DigitPerValue(), 1000.0f / 0.7f);
    for (const auto& k : cases) {
        c.Control.SetValue(k.Value);
        EXPECT_EQ(c.Control.Value(), k.Value);
        EXPECT_EQ(c.Control.Digit(), k.Digit) << k.Value;
        EXPECT_EQ(c.Control.PPT(), k.PPT) << k.Value;
        EXPECT_EQ(c.Control.UOverflow(), k.UOverflow) << k.Value;
        EXPECT_EQ(c.Control.LOverflow(), k.LOverflow) << k.Value;
    }
}

TEST(ValueModel, OverflowIsReportedOnEnteringAndLeavingOnly) {
    TLambdaControl c;
    c.Control.SetValue(1.0f);
    c.Control.SetValue(2.0f);
    c.Control.SetValue(2.5f);
    EXPECT_EQ(c.Overflows, std::vector<int>{1929});
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.Overflows, (std::vector<int>{1929, 500}));
    EXPECT_FALSE(c.Control.UOverflow());
    c.Control.SetValue(-92.9f);
    EXPECT_EQ(c.Overflows.back(), -133643);
    EXPECT_TRUE(c.Control.LOverflow());
}

TEST(ValueModel, LimitsAreStrict) {
    TLambdaControl c;
    c.Control.SetValue(1.0f);
    c.Limits.clear();
    const struct {
        float Value;
        bool Lower, Upper;
    } cases[] = {
        {2.0f, false, false}, {2.0001f, false, true}, {0.5f, false, false}, {0.4999f, true, false}};
    for (const auto& k : cases) {
        c.Control.SetValue(k.Value);
        EXPECT_EQ(c.Control.ULimit(), k.Upper) << k.Value;
        EXPECT_EQ(c.Control.LLimit(), k.Lower) << k.Value;
    }
    // One event per change of the limit state.
    EXPECT_EQ(c.Limits,
              (std::vector<std::pair<bool, bool>>{{false, true}, {false, false}, {true, false}}));
}

TEST(ValueModel, ZeroLowerLimitAndZeroValueFromAreNudged) {
    TAbAnalogGControl control(nullptr);
    EXPECT_EQ(control.SignalSettings()->ValueFrom(), 0.0f); // never set: stays 0
    control.SetLimitLower(0);
    EXPECT_EQ(control.LimitLower(), 0.0001f);
    control.SignalSettings()->SetValueFrom(5);
    control.SignalSettings()->SetValueFrom(0);
    EXPECT_EQ(control.SignalSettings()->ValueFrom(), 0.000001f);
}

TEST(ValueModel, RangeSettersRefuseEitherCurrentBound) {
    TSignalSettings s;
    s.SetValueFrom(100); // equal to ValueTo: ignored
    EXPECT_EQ(s.ValueFrom(), 0.0f);
    s.SetValueTo(0); // equal to ValueFrom: ignored
    EXPECT_EQ(s.ValueTo(), 100.0f);
}

TEST(ValueModel, TotalsFollowTheSignsOfTheRange) {
    const struct {
        float From, To, Total;
    } cases[] = {{-10, -2, 8}, {-5, 5, 10}, {2, 12, 10}, {0.65f, 1.35f, 1.35f - 0.65f}};
    for (const auto& k : cases) {
        TSignalSettings s;
        s.SetValueTo(k.To);
        s.SetValueFrom(k.From);
        EXPECT_FLOAT_EQ(s.TotalValue(), k.Total) << k.From << ".." << k.To;
        EXPECT_FLOAT_EQ(s.PPTPerValue(), 1000 / k.Total);
    }
}

TEST(ValueModel, ValueSizeStrIsTheWidestSection) {
    const std::pair<const char*, const char*> cases[] = {
        {"0.000", "0.000"}, {"#0.0", "#0.0"}, {"0.0;-0.00", "-0.00"}, {"000.0;0", "000.0"}};
    for (auto [format, widest] : cases) {
        TSignalSettings s;
        s.SetValueFormat(format);
        EXPECT_EQ(s.ValueSizeStr(), widest) << format;
    }
}

TEST(ValueModel, SameValueTwiceRaisesOnce) {
    TLambdaControl c;
    c.Control.SetValue(1.0f);
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.ValueChanges, 1);
}

TEST(ValueModel, FirstValueAfterLoadingIsMinAndMaxWithoutNotification) {
    TLambdaControl c(false);
    c.Control.SetValue(-92.9f); // during loading
    c.Control.Loaded();
    EXPECT_EQ(c.Control.MinMax()->Min(), MinSentinel);
    EXPECT_EQ(c.Control.MinMax()->Max(), MaxSentinel);
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.Control.MinMax()->Min(), 1.0f);
    EXPECT_EQ(c.Control.MinMax()->Max(), 1.0f);
    EXPECT_EQ(c.Control.MinPPT(), 500);
    EXPECT_EQ(c.MinMaxChanges, 0);
    EXPECT_EQ(c.ValueChanges, 1);
    // A new extreme: one min/max event and the value pipeline once more from inside.
    c.Control.SetValue(1.1f);
    EXPECT_EQ(c.MinMaxChanges, 1);
    EXPECT_EQ(c.ValueChanges, 3);
    EXPECT_EQ(c.Control.MinMax()->Max(), 1.1f);
    EXPECT_EQ(c.Control.MaxPPT(), c.Control.PPT());
}

TEST(ValueModel, NoValueEventBeforeLoaded) {
    TLambdaControl c(false);
    c.Control.SetValue(1.0f);
    c.Control.SetValue(2.0f);
    EXPECT_EQ(c.ValueChanges, 0);
    EXPECT_TRUE(c.Overflows.empty());
    EXPECT_TRUE(c.Limits.empty());
    EXPECT_TRUE(c.Control.UOverflow()); // the state itself is kept
    c.Control.Loaded();
    c.Control.SetValue(1.0f);
    EXPECT_EQ(c.ValueChanges, 1);
    EXPECT_EQ(c.Overflows, std::vector<int>{500});
}

TEST(ValueModel, SectorsAreCheckedIndependently) {
    TLambdaControl c;
    TSectorSettings* s = c.Control.SectorSettings();
    s->SetSector1From(0);
    s->SetSector1To(600);
    s->SetSector2From(400);
    s->SetSector2To(1000);
    s->SetSector3From(450);
    s->SetSector3To(550);
    std::vector<std::vector<bool>> events;
    c.Control.OnSectorChange = [&](QObject*, bool s1, bool s2, bool s3, bool enter) {
        events.push_back({s1, s2, s3, enter});
    };
    c.Control.SetValue(1.0f); // PPT 500: inside all three; it was in sector 2 already
    EXPECT_TRUE(c.Control.InSector1() && c.Control.InSector2() && c.Control.InSector3());
    EXPECT_EQ(events, (std::vector<std::vector<bool>>{{true, false, false, true},
                                                      {false, false, true, true}}));
    events.clear();
    c.Control.SetValue(0.7f); // PPT 71: sector 1 only
    EXPECT_TRUE(c.Control.InSector1());
    EXPECT_FALSE(c.Control.InSector2() || c.Control.InSector3());
    EXPECT_EQ(events, (std::vector<std::vector<bool>>{{false, true, false, false},
                                                      {false, false, true, false}}));
}

TEST(ValueModel, SetDigitDerivesTheValue) {
    TLambdaControl c;
    c.Control.SetDigit(250);
    EXPECT_NEAR(c.Control.Value(), 0.825f, 1e-6);
    EXPECT_EQ(c.Control.PPT(), 250);
}

TEST(ValueModel, HintListsValueExtremesAndNames) {
    TLambdaControl c;
    c.Control.SignalSettings()->SetName1("LAMBDA CH1");
    c.Control.SignalSettings()->SetValueUnit("h");
    c.Control.SignalSettings()->SetValueFormat("#0.000");
    c.Control.SetHintOptions({hoAutoHint, hoValue, hoMin, hoMax, hoName1});
    c.Control.SetValue(0.982f);
    EXPECT_EQ(c.Control.Hint(), "Value= 0.982 h\rMIN= 0.982 h\rMAX= 0.982 h\rLAMBDA CH1");
    c.Control.ResetMinMax();
    EXPECT_EQ(c.Control.MinMax()->Min(), 0.982f);
}

TEST(ValueModel, SettingsChangesAfterLoadingRecalculate) {
    TLambdaControl c;
    int settingsChanges = 0;
    c.Control.OnSettingsChange = [&](QObject*) { ++settingsChanges; };
    c.Control.SetValue(1.0f);
    c.Control.SignalSettings()->SetValueTo(2.65f); // 0.65 .. 2.65
    EXPECT_EQ(settingsChanges, 1);
    EXPECT_EQ(c.Control.Digit(), 175); // re-derived from the kept value
}

} // namespace
