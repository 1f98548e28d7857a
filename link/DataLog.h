#pragma once
// The data log file: text in the 8-bit code page (Latin-1), lines ended by CR LF, each
// line handed to the operating system as it is written, so a crash loses no record.
#include "widgets/_GClass.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <stdexcept>

// An input/output error of the log file, its text naming the error.
class EInOutError : public std::runtime_error {
public:
    EInOutError(int errorCode, const std::string& message)
        : std::runtime_error(message), ErrorCode(errorCode) {}
    static EInOutError FromErrno(int error);
    const int ErrorCode;
};

class TDataLog {
public:
    TDataLog() = default;
    ~TDataLog();
    TDataLog(const TDataLog&) = delete;
    TDataLog& operator=(const TDataLog&) = delete;

    bool IsOpen() const { return FFile >= 0; }
    // Creates the file (replacing an existing one's content) and opens it for writing.
    // Anything but a regular file is refused with "Not a regular file".
    void Create(const QString& path);
    // Takes over an open descriptor (standard output, say) and closes it at Close.
    void Adopt(int fd);
    // Writes the text and CR LF in one write; characters Latin-1 cannot hold become "?".
    // A line that cannot be written whole leaves no part of itself in a file.
    void WriteLine(const QString& text);
    void Close();

private:
    void CutPartialLine(qsizetype written);

    int FFile = -1;
};

// The text in the 8-bit code page (Latin-1): a character it cannot hold becomes "?".
QByteArray ToCodePage(const QString& text);

// The value rounded to three significant digits, written with three decimals and the
// locale's decimal separator: 0.98765 → 0.988, 65.535 → 65.500.
QString LogValue(double value);

// The first header line: "VORLANX Log V1.0  " and the short date.
QString LogHeaderLine(TDateTime when);
extern const char* const LogColumnLine;
// A record: the long time, then ", " and each channel's lambda as LogValue writes it.
QString LogRecordLine(TDateTime when, const std::array<float, 4>& lambda);
