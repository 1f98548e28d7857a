#pragma once
// The lines of uego-log's precise format: a header row, then per record the local time in
// ISO 8601 with milliseconds and UTC offset, the seconds since the start, the four lambdas,
// the supply voltage and the warm-up flag, comma-separated with a decimal point:
// "2025-12-09T14:03:27.120+01:00,12.340,0.988,1.023,0.850,1.000,12.55,0".
#include <array>
#include <string_view>

struct TPreciseRecord {
    long long UtcSecond = 0; // whole seconds since 1970-01-01 UTC
    double Fraction = 0;     // and the part of the second after it
    long long LocalDay = 0;  // the local date, in days since 1970-01-01
    int OffsetSeconds = 0;   // local time minus UTC
    std::array<float, 4> Lambda{};
    float SupplyVolts = 0;
    bool WarmUp = false;
};

bool IsPreciseLogHeader(std::string_view line);

bool ParsePreciseRecord(std::string_view line, TPreciseRecord& record);
