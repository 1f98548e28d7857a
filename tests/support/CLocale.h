#pragma once
// The C locale's numbers, dates and times while a test runs, so that it can expect texts
// written out in full: the date-time 46000.5 (9 December 2025, noon) reads "12/09/25" and
// "12:00:00", and 0.98765 is logged as "0.988".
#include <clocale>
#include <string>

class CLocaleScope {
public:
    CLocaleScope()
        : FTime(std::setlocale(LC_TIME, nullptr)), FNumeric(std::setlocale(LC_NUMERIC, nullptr)) {
        std::setlocale(LC_TIME, "C");
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CLocaleScope() {
        std::setlocale(LC_TIME, FTime.c_str());
        std::setlocale(LC_NUMERIC, FNumeric.c_str());
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    std::string FTime;
    std::string FNumeric;
};
