#pragma once
// uego-log's command line: what to log, how often, where to and in which format.
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

enum class TLogFormat {
    Window,  // the main window's log, byte for byte
    Precise, // ISO 8601 stamps with milliseconds, elapsed time, supply and warm-up
    Sheet,   // for spreadsheets under the regional settings (core/LogText.h)
};

// What becomes of an output file that already exists.
enum class TExistingOutput {
    Refuse,  // the run does not start
    Replace, // --force
    Append,  // --append: records go on at its end
};

struct TLogOptions {
    int Port = 1;
    double Rate = 10;     // requests a second
    bool MaxRate = false; // the next request as soon as the answer is complete
    // How soon after its request an answer must begin, at any rate, before it is given up:
    // long enough for a USB adapter's latency timer to let the answer through.
    int AnswerTimeoutMs = 50;
    QString Out; // empty or "-": standard output
    TLogFormat Format = TLogFormat::Window;
    std::optional<double> Duration; // seconds; none: until stopped
    bool Quiet = false;
    TExistingOutput Existing = TExistingOutput::Refuse;
    bool WaitForPort = false; // a missing port is waited for rather than an error

    bool ToStandardOutput() const { return Out.isEmpty() || Out == QLatin1String("-"); }
};

// The format's name on the command line.
QString LogFormatName(TLogFormat format);

// A command line that cannot be run; the text names the option and what is wrong.
struct EUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the command line asks for.
enum class TLogCommand { Run, Help, Version };

// Reads the arguments (without the program name) into options. Throws EUsageError.
TLogCommand ParseLogOptions(const QStringList& arguments, TLogOptions& options);

extern const char* const LogUsageText;
extern const char* const LogVersionText;
