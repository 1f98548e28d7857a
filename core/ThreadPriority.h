#pragma once
// The priorities of the program's worker threads (the port's and the flash timer's).
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
