// Prints how long start-up spends loading the forms' fonts, and how long making one bold
// face of the bitmap "MS Sans Serif" strike takes (median of several runs).
#include "windows/BitmapBold.h"
#include "windows/FormFonts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QElapsedTimer timer;
    timer.start();
    const int added = LoadFormFonts();
    const double loading = double(timer.nsecsElapsed()) / 1e6;

    QFont regular(QStringLiteral("MS Sans Serif"));
    regular.setPixelSize(13);
    std::vector<double> runs;
    qsizetype bytes = 0;
    for (int i = 0; i < 9; ++i) {
        timer.restart();
        bytes = BoldStrikeFace(regular).size();
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::nth_element(runs.begin(), runs.begin() + 4, runs.end());
    std::printf("form fonts loaded: %d files in %.1f ms (bold faces made included)\n", added,
                loading);
    std::printf("one bold strike face: %.1f ms median of 9, %lld bytes\n", runs[4],
                static_cast<long long>(bytes));
}
