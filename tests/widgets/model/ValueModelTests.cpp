// The value model of dials and readouts on its own, without a widget, inside a core
// application: range, Digit, PPT, limits, overflow, sectors, min/max, hint and the
// loading rule.
#include "widgets/GAnalogValue.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// The meters' signal range and limits, with every event recorded.
struct TLambdaValue {
    TAbAnalogValue Model;
    std::vector<int> Overflows;
    std::vector<std::pair<bool, bool>> Limits;
    std::vector<std::vector<bool>> Sectors;
    int ValueChanges = 0, MinMaxChanges = 0, SettingsChanges = 0;

    explicit TLambdaValue(bool load = true) {
        Model.SignalSettings()->SetValueFrom(0.65f);
        Model.SignalSettings()->SetValueTo(1.35f);
        Model.SetLimitUpper(2.0f);
        Model.SetLimitLower(0.5f);
        Model.OnOverflow = [this](QObject*, int ppt) { Overflows.push_back(ppt); };
        Model.OnLimit = [this](QObject*, bool lower, bool upper) {
            Limits.push_back({lower, upper});
        };
        Model.OnSectorChange = [this](QObject*, bool s1, bool s2, bool s3, bool enter) {
            Sectors.push_back({s1, s2, s3, enter});
        };
        Model.OnValueChange = [this](QObject*) { ++ValueChanges; };
        Model.OnMinMaxChange = [this](QObject*) { ++MinMaxChanges; };
        Model.OnSettingsChange = [this](QObject*) { ++SettingsChanges; };
        if (load)
            Model.Loaded();
    }
};

TEST(ValueModel, RangeGivesTheWorkedDigitsAndPositions) {
    struct {
        float Value;
        int Digit, PPT;
        bool UOverflow, LOverflow;
    } const cases[] = {{1.00f, 500, 500, false, false}, {1.35f, 1000, 1000, false, false},
                       {0.65f, 0, 0, false, false},     {0.825f, 250, 250, false, false},
                       {2.0f, 1929, 1000, true, false}, {-92.9f, -133643, 0, false, true}};
    TLambdaValue v;
    EXPECT_FLOAT_EQ(v.Model.SignalSettings()->DigitPerValue(), 1000.0f / 0.7f);
    for (const auto& k : cases) {
        v.Model.SetValue(k.Value);
        EXPECT_EQ(v.Model.Value(), k.Value);
        EXPECT_EQ(v.Model.Digit(), k.Digit) << k.Value;
        EXPECT_EQ(v.Model.PPT(), k.PPT) << k.Value;
        EXPECT_EQ(v.Model.UOverflow(), k.UOverflow) << k.Value;
        EXPECT_EQ(v.Model.LOverflow(), k.LOverflow) << k.Value;
    }
}

TEST(ValueModel, ValueTextFollowsTheFormat) {
    const struct {
        const char* Format;
        float Value;
        const char* Text;
    } cases[] = {{"##0.0", 50, "50.0"},
                 {"#0.000", 0.982f, "0.982"},
                 {"#0.0", -92.9f, "-92.9"},
                 {"0.000", 1.35f, "1.350"}};
    for (const auto& k : cases) {
        TLambdaValue v;
        v.Model.SignalSettings()->SetValueFormat(k.Format);
        v.Model.SetValue(k.Value);
        v.Model.Refresh(); // 50 is the starting value: SetValue alone would not format it
        EXPECT_EQ(v.Model.ValueStr(), k.Text) << k.Format;
    }
}

TEST(ValueModel, OverflowIsReportedOnEnteringAndLeavingOnly) {
    TLambdaValue v;
    v.Model.SetValue(1.0f);
    v.Model.SetValue(2.0f);
    v.Model.SetValue(2.5f);
    EXPECT_EQ(v.Overflows, std::vector<int>{1929});
    v.Model.SetValue(1.0f);
    EXPECT_EQ(v.Overflows, (std::vector<int>{1929, 500}));
    EXPECT_FALSE(v.Model.UOverflow());
    v.Model.SetValue(-92.9f);
    EXPECT_EQ(v.Overflows.back(), -133643);
    EXPECT_TRUE(v.Model.LOverflow());
    // Straight from below to above the range: one event, the flags swap.
    v.Model.SetValue(2.0f);
    EXPECT_EQ(v.Overflows, (std::vector<int>{1929, 500, -133643, 1929}));
    EXPECT_TRUE(v.Model.UOverflow());
    EXPECT_FALSE(v.Model.LOverflow());
}

TEST(ValueModel, LimitsAreStrict) {
    TLambdaValue v;
    v.Model.SetValue(1.0f);
    v.Limits.clear();
    const struct {
        float Value;
        bool Lower, Upper;
    } cases[] = {
        {2.0f, false, false}, {2.0001f, false, true}, {0.5f, false, false}, {0.4999f, true, false}};
    for (const auto& k : cases) {
        v.Model.SetValue(k.Value);
        EXPECT_EQ(v.Model.ULimit(), k.Upper) << k.Value;
        EXPECT_EQ(v.Model.LLimit(), k.Lower) << k.Value;
    }
    // One event per change of the limit state.
    EXPECT_EQ(v.Limits,
              (std::vector<std::pair<bool, bool>>{{false, true}, {false, false}, {true, false}}));
}

TEST(ValueModel, NewLimitsAreCheckedAgainstTheKeptValue) {
    TLambdaValue v;
    v.Model.SetValue(1.0f);
    v.Limits.clear();
    v.Model.SetLimitUpper(0.9f);
    EXPECT_TRUE(v.Model.ULimit());
    v.Model.SetLimitLower(1.1f);
    EXPECT_TRUE(v.Model.LLimit());
    EXPECT_EQ(v.Limits, (std::vector<std::pair<bool, bool>>{{false, true}, {true, true}}));
}

TEST(ValueModel, DefaultValueIsWithinTheDefaultLimitsFromTheStart) {
    TAbAnalogValue model;
    EXPECT_EQ(model.Value(), 50.0f);
    EXPECT_EQ(model.Digit(), 500);
    EXPECT_EQ(model.PPT(), 500);
    EXPECT_FALSE(model.ULimit());
    EXPECT_FALSE(model.LLimit());
}

TEST(ValueModel, ZeroLowerLimitAndZeroValueFromAreNudged) {
    TAbAnalogValue model;
    EXPECT_EQ(model.SignalSettings()->ValueFrom(), 0.0f); // never set: stays 0
    model.SetLimitLower(0);
    EXPECT_EQ(model.LimitLower(), 0.0001f);
    model.SignalSettings()->SetValueFrom(5);
    model.SignalSettings()->SetValueFrom(0);
    EXPECT_EQ(model.SignalSettings()->ValueFrom(), 0.000001f);
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
    } cases[] = {{-10, -2, 8}, {-5, 5, 10}, {2, 12, 10}, {0.65f, 1.35f, 0.7f}};
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

// Without a digital span there are no positions to divide into: the value is kept and
// mapped, and its position stays at the start of the scale.
TEST(ValueModel, DigitalRangeWithoutSpanPutsTheValueAtTheStart) {
    const struct { int From, To, Digit; } cases[] = {{0, 0, 0}, {500, 200, 350}};
    for (const auto& k : cases) {
        TLambdaValue v;
        v.Model.SignalSettings()->SetDigitalFrom(k.From);
        v.Model.SignalSettings()->SetDigitalTo(k.To);
        v.Model.SetValue(1.0f);
        EXPECT_EQ(v.Model.Value(), 1.0f);
        EXPECT_EQ(v.Model.ValueStr(), "1.0");
        EXPECT_EQ(v.Model.Digit(), k.Digit) << k.From << ".." << k.To;
        EXPECT_EQ(v.Model.PPT(), 0) << k.From << ".." << k.To;
        EXPECT_FALSE(v.Model.UOverflow() || v.Model.LOverflow());
    }
}

TEST(ValueModel, SameValueTwiceRaisesOnce) {
    TLambdaValue v;
    v.Model.SetValue(1.0f);
    v.Model.SetValue(1.0f);
    EXPECT_EQ(v.ValueChanges, 1);
}

TEST(ValueModel, FirstValueAfterLoadingIsMinAndMaxWithoutNotification) {
    TLambdaValue v(false);
    v.Model.SetValue(-92.9f); // during loading
    v.Model.Loaded();
    EXPECT_EQ(v.Model.MinMax()->Min(), 9999999.0f);
    EXPECT_EQ(v.Model.MinMax()->Max(), -9999999.0f);
    v.Model.SetValue(1.0f);
    EXPECT_EQ(v.Model.MinMax()->Min(), 1.0f);
    EXPECT_EQ(v.Model.MinMax()->Max(), 1.0f);
    EXPECT_EQ(v.Model.MinPPT(), 500);
    EXPECT_EQ(v.Model.MaxPPT(), 500);
    EXPECT_EQ(v.MinMaxChanges, 0);
    EXPECT_EQ(v.ValueChanges, 1);
    // A new extreme: one min/max event and the value pipeline once more from inside.
    v.Model.SetValue(1.1f);
    EXPECT_EQ(v.MinMaxChanges, 1);
    EXPECT_EQ(v.ValueChanges, 3);
    EXPECT_EQ(v.Model.MinMax()->Max(), 1.1f);
    EXPECT_EQ(v.Model.MaxPPT(), 643);
    EXPECT_EQ(v.Model.MinPPT(), 500);
}

TEST(ValueModel, MinAndMaxCanBeSetAndReset) {
    TLambdaValue v;
    v.Model.SetValue(1.0f);
    v.Model.SetMin(0.8f, 45000.5);
    EXPECT_EQ(v.Model.MinMax()->Min(), 0.8f);
    EXPECT_EQ(v.Model.MinMax()->MinDateTime(), 45000.5);
    EXPECT_EQ(v.Model.MinPPT(), 214);
    v.Model.SetMax(1.35f, 45001.25);
    EXPECT_EQ(v.Model.MaxPPT(), 1000);
    EXPECT_EQ(v.MinMaxChanges, 2);
    v.Model.SetMax(1.35f, 45002); // unchanged extreme: nothing
    EXPECT_EQ(v.MinMaxChanges, 2);
    EXPECT_EQ(v.Model.MinMax()->MaxDateTime(), 45001.25);
    v.Model.ResetMinMax();
    EXPECT_EQ(v.Model.MinMax()->Min(), 1.0f);
    EXPECT_EQ(v.Model.MinMax()->Max(), 1.0f);
    EXPECT_EQ(v.Model.MinPPT(), 500);
    EXPECT_EQ(v.Model.MaxPPT(), 500);
    EXPECT_EQ(v.MinMaxChanges, 3);
}

TEST(ValueModel, NoEventBeforeLoaded) {
    TLambdaValue v(false);
    v.Model.SetValue(1.0f);
    v.Model.SetValue(2.0f);
    v.Model.SetMax(5.0f, 45000);
    v.Model.SignalSettings()->SetValueTo(2.65f);
    EXPECT_EQ(v.ValueChanges, 0);
    EXPECT_EQ(v.MinMaxChanges, 0);
    EXPECT_EQ(v.SettingsChanges, 0);
    EXPECT_TRUE(v.Overflows.empty());
    EXPECT_TRUE(v.Limits.empty());
    EXPECT_TRUE(v.Sectors.empty());
    EXPECT_TRUE(v.Model.UOverflow()); // the state itself is kept
    EXPECT_EQ(v.Model.Digit(), 1929); // the range change is not applied to the value yet
    v.Model.Loaded();
    v.Model.SetValue(1.0f);
    EXPECT_EQ(v.ValueChanges, 1);
    EXPECT_EQ(v.Overflows, std::vector<int>{175});
}

TEST(ValueModel, SectorsAreCheckedIndependently) {
    TLambdaValue v;
    TSectorSettings* s = v.Model.SectorSettings();
    s->SetSector1From(0);
    s->SetSector1To(600);
    s->SetSector2From(400);
    s->SetSector2To(1000);
    s->SetSector3From(450);
    s->SetSector3To(550);
    v.Model.SetValue(1.0f); // PPT 500: inside all three; it was in sector 2 already
    EXPECT_TRUE(v.Model.InSector1() && v.Model.InSector2() && v.Model.InSector3());
    EXPECT_EQ(v.Sectors, (std::vector<std::vector<bool>>{{true, false, false, true},
                                                         {false, false, true, true}}));
    v.Sectors.clear();
    v.Model.SetValue(0.7f); // PPT 71: sector 1 only
    EXPECT_TRUE(v.Model.InSector1());
    EXPECT_FALSE(v.Model.InSector2() || v.Model.InSector3());
    EXPECT_EQ(v.Sectors, (std::vector<std::vector<bool>>{{false, true, false, false},
                                                         {false, false, true, false}}));
}

TEST(ValueModel, SetDigitDerivesTheValue) {
    const struct {
        int Digit;
        float Value;
        int PPT;
    } cases[] = {{250, 0.825f, 250}, {1000, 1.35f, 1000}, {-133643, -92.9001f, 0}};
    TLambdaValue v;
    for (const auto& k : cases) {
        v.Model.SetDigit(k.Digit);
        EXPECT_NEAR(v.Model.Value(), k.Value, 1e-4) << k.Digit;
        EXPECT_EQ(v.Model.PPT(), k.PPT) << k.Digit;
    }
}

TEST(ValueModel, HintListsValueExtremesAndNames) {
    TLambdaValue v;
    v.Model.SignalSettings()->SetName1("LAMBDA CH1");
    v.Model.SignalSettings()->SetName2("BANK 1");
    v.Model.SignalSettings()->SetValueUnit("h");
    v.Model.SignalSettings()->SetValueFormat("#0.000");
    v.Model.SetHintOptions({hoAutoHint, hoValue, hoMin, hoMax, hoName1, hoName2});
    v.Model.SetValue(0.982f);
    v.Model.SetValue(1.047f);
    EXPECT_EQ(v.Model.Hint(), "Value= 1.047 h\rMIN= 0.982 h\rMAX= 1.047 h\rLAMBDA CH1\rBANK 1");
}

TEST(ValueModel, HintStaysWhenAutoHintIsOff) {
    TLambdaValue v;
    v.Model.SetHintOptions({hoAutoHint, hoValue});
    v.Model.SetValue(1.0f);
    EXPECT_EQ(v.Model.Hint(), "Value= 1.0 %");
    v.Model.SetHintOptions({hoValue});
    v.Model.SetValue(1.2f);
    EXPECT_EQ(v.Model.Hint(), "Value= 1.0 %");
    // Turning it on again runs the pipeline, which brings the hint up to date.
    const int before = v.ValueChanges;
    v.Model.SetHintOptions({hoAutoHint, hoValue});
    EXPECT_EQ(v.ValueChanges, before + 1);
    EXPECT_EQ(v.Model.Hint(), "Value= 1.2 %");
}

TEST(ValueModel, SettingsChangesAfterLoadingRecalculate) {
    TLambdaValue v;
    v.Model.SetValue(1.0f);
    v.Model.SignalSettings()->SetValueTo(2.65f); // 0.65 .. 2.65
    EXPECT_EQ(v.SettingsChanges, 1);
    EXPECT_EQ(v.Model.Digit(), 175); // re-derived from the kept value
    v.Model.SectorSettings()->SetSector1To(100);
    EXPECT_EQ(v.SettingsChanges, 2);
}

TEST(ValueModel, LogScaleMapsDecadesEvenly) {
    TLambdaValue v;
    v.Model.SetLogScale(true);
    v.Model.SignalSettings()->SetValueTo(5000); // snapped to the nearest decade
    v.Model.SignalSettings()->SetValueFrom(0.8f);
    EXPECT_EQ(v.Model.SignalSettings()->ValueTo(), 10000.0f);
    EXPECT_EQ(v.Model.SignalSettings()->ValueFrom(), 1.0f);
    const struct {
        float Value;
        int Digit;
    } cases[] = {{10, 250}, {100, 500}, {10000, 1000}, {-1, 1000}, {0, 1000}};
    for (const auto& k : cases) {
        v.Model.SetValue(k.Value);
        EXPECT_EQ(v.Model.Digit(), k.Digit) << k.Value;
        EXPECT_EQ(v.Model.PPT(), k.Digit) << k.Value;
    }
    EXPECT_EQ(v.Model.Value(), 10000.0f); // non-positive values were refused
    v.Model.SetDigit(750);
    EXPECT_FLOAT_EQ(v.Model.Value(), 1000.0f);
}

// A log scale whose range was left at its default start, zero, which has no logarithm:
// the range starts at the smallest value instead, and every value keeps a finite place
// and text, both ways round.
TEST(ValueModel, ALogScaleWithoutAValueFromStaysFinite) {
    for (bool loadFirst : {false, true}) {
        TAbAnalogValue model;
        model.SignalSettings()->SetValueFormat(QStringLiteral("0.000"));
        if (loadFirst)
            model.Loaded();
        model.SetLogScale(true);
        if (!loadFirst)
            model.Loaded();
        EXPECT_EQ(model.SignalSettings()->ValueFrom(), 0.000001f) << loadFirst;
        const struct {
            float Value;
            int Digit;
            const char* Text;
        } cases[] = {{10, 875, "10.000"}, {0.01f, 500, "0.010"}, {100, 1000, "100.000"}};
        for (const auto& k : cases) {
            model.SetValue(k.Value);
            EXPECT_EQ(model.Digit(), k.Digit) << k.Value;
            EXPECT_EQ(model.ValueStr(), QString::fromLatin1(k.Text)) << k.Value;
        }
        model.SetDigit(250);
        EXPECT_FLOAT_EQ(model.Value(), 0.0001f);
        EXPECT_EQ(model.ValueStr(), QStringLiteral("0.000"));
    }
}

} // namespace
