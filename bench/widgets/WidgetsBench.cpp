// Cost of a value update (the pointer, the number, the lamp) against a full repaint of
// the same widget, each configured as the main window configures it. Prints the ratios.
#include "tests/widgets/MainInstruments.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

struct TBenchForm {
    QWidget Window;
    TAb270Meter* Meter1 = new TAb270Meter(&Window);
    TAbValueInd* ValueInd1 = new TAbValueInd(&Window);
    TAbLED* Online_LED1 = new TAbLED(&Window);

    TBenchForm() {
        Window.resize(894, 534);
        ConfigureMeter(Meter1, 1);
        ValueInd1->move(582, 8);
        ConfigureChannelReadout(ValueInd1, 1);
        Online_LED1->move(624, 304);
        ConfigureOnlineLamp(Online_LED1);
        Window.show();
        QApplication::processEvents();
    }
};

TBenchForm* Form = nullptr;

// Alternates between two values, both already recorded as minimum and maximum, so each
// update is one plain redraw of the value area.
void ValueUpdate(benchmark::State& state, TAbAnalogGControl* control, float a, float b) {
    control->SetValue(a);
    control->SetValue(b);
    bool flip = false;
    for (auto _ : state) {
        control->SetValue(flip ? a : b);
        flip = !flip;
    }
}

void FullRepaint(benchmark::State& state, TAbGraphicControl* control) {
    for (auto _ : state) {
        control->Invalidate();
        control->repaint();
    }
}

void LampUpdate(benchmark::State& state) {
    bool on = false;
    for (auto _ : state) {
        on = !on;
        Form->Online_LED1->SetChecked(on);
    }
}

// Console output as usual, keeping each benchmark's CPU time per iteration: the median
// when repetitions were asked for (--benchmark_repetitions=N), else the single run.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Time;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if ((run.run_type == Run::RT_Iteration && run.repetitions <= 1) ||
                (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median"))
                Time[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const char* what, const std::string& update, const std::string& full,
                    const char* note) const {
        const auto u = Time.find(update), f = Time.find(full);
        if (u == Time.end() || f == Time.end())
            return;
        std::printf("%-20s %8.4f  %s\n", what, u->second / f->second, note);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TBenchForm form;
    Form = &form;
    benchmark::RegisterBenchmark("Meter/ValueUpdate", ValueUpdate, form.Meter1, 0.9f, 1.1f);
    benchmark::RegisterBenchmark("Meter/FullRepaint", FullRepaint, form.Meter1);
    benchmark::RegisterBenchmark("Readout/ValueUpdate", ValueUpdate, form.ValueInd1, 0.982f,
                                 1.017f);
    benchmark::RegisterBenchmark("Readout/FullRepaint", FullRepaint, form.ValueInd1);
    benchmark::RegisterBenchmark("Lamp/StateChange", LampUpdate);
    benchmark::RegisterBenchmark("Lamp/FullRepaint", FullRepaint, form.Online_LED1);
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    std::printf("value update / full repaint of the same widget (CPU time)\n");
    reporter.PrintRatio("meter (pointer):", "Meter/ValueUpdate", "Meter/FullRepaint", "goal < 0.1");
    reporter.PrintRatio("readout (number):", "Readout/ValueUpdate", "Readout/FullRepaint",
                        "goal < 0.1");
    reporter.PrintRatio("lamp (state):", "Lamp/StateChange", "Lamp/FullRepaint", "goal < 0.2");
    benchmark::Shutdown();
    return 0;
}
