#pragma once
// The input/output error of the files the program writes and reads: the data log, the
// logs the chart opens.
#include <stdexcept>
#include <string>

// An input/output error of the log file, its text naming the error.
class EInOutError : public std::runtime_error {
public:
    EInOutError(int errorCode, const std::string& message)
        : std::runtime_error(message), ErrorCode(errorCode) {}
    static EInOutError FromErrno(int error);
    const int ErrorCode;
};
