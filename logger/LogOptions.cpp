#include "logger/LogOptions.h"

#include <cmath>
#include <functional>
#include <map>

const char* const LogVersionText = "uego-log " UEGO_VERSION "\n";

const char* const LogUsageText = R"(Usage: uego-log [OPTION]...
Logs the four lambda channels of the controller on port COMn, without a window.

  --port N            port number (1..255, default 1), numbered as in the main window:
                      the alias ~/.config/uego-interface/ports/COMn, else COM1..32 are
                      /dev/ttyS0..31, COM33..64 /dev/ttyUSB0..31, COM65..96 /dev/ttyACM0..31
  --wait-for-port     wait for a port whose device is not there yet (an adapter still
                      being plugged in or set up), then log; said once, not at every try
  --rate HZ           requests a second (0.1..1000, default 10), or max: the next request
                      as soon as the answer is complete, or when it is given up
  --answer-timeout MS how soon after its request an answer must begin, at any rate
                      (1..60000, default 50): long enough for a USB adapter's latency
                      timer. After an answer given up, the next request waits until the
                      line has been quiet for half a second (or twice MS, if longer), so
                      that a late answer is never taken for a later request's
  --out FILE          where the records go; - or none for standard output; /dev/null
                      for a dry run. An existing FILE is left alone unless one of:
  --append            continue an existing FILE of the same format (no second header)
  --force             replace an existing FILE
  --format NAME       window (default): the main window's log, header lines included;
                      precise: a header row, then ISO 8601 local time with milliseconds,
                      elapsed seconds, the four lambda values, supply volts and warm-up flag;
                      sheet: for a spreadsheet under the same regional settings: local date
                      and time, the four lambda values and supply volts, with ";" and the
                      decimal comma where that is the decimal separator, else "," and the
                      point; no record while the sensor warms up
  --duration SECONDS  stop after this long (default: until interrupted)
  --quiet             no status line and no notices on standard error; errors, an
                      unplugged adapter and a silent controller still show
  --help              show this help and exit
  --version           show the version and exit

A record is written for each valid answer, as one whole line; a file is flushed to disk
at least once a second. SIGINT and SIGTERM end the run after the record in hand and exit
0. A reader of standard output that went away ends the run quietly through SIGPIPE, as
with any filter. An unplugged adapter is reported once; logging resumes by itself when
the port is back.
Exit status: 0 done; 1 the port failed, or no record was written; 2 bad options, an
existing FILE without --append or --force, or a FILE that is not a regular file;
3 an output fault, which a restart cannot mend (a full disk, a file that cannot be
written).
)";

QString LogFormatName(TLogFormat format) {
    switch (format) {
    case TLogFormat::Precise:
        return QStringLiteral("precise");
    case TLogFormat::Sheet:
        return QStringLiteral("sheet");
    case TLogFormat::Window:
        break;
    }
    return QStringLiteral("window");
}

namespace {

[[noreturn]] void Bad(const QString& option, const QString& value, const QString& why) {
    throw EUsageError(QStringLiteral("%1: '%2' %3").arg(option, value, why).toStdString());
}

double ParseNumber(const QString& option, const QString& text, double min, double max) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        Bad(option, text, QStringLiteral("is not a number"));
    if (value < min || value > max)
        Bad(option, text,
            QStringLiteral("is out of range (%1..%2)")
                .arg(QString::number(min, 'g', 12), QString::number(max, 'g', 12)));
    return value;
}

int ParsePort(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        Bad(QStringLiteral("--port"), text, QStringLiteral("is not a whole number"));
    if (value < 1 || value > 255)
        Bad(QStringLiteral("--port"), text, QStringLiteral("is out of range (1..255)"));
    return value;
}

void SetRate(TLogOptions& options, const QString& text) {
    options.MaxRate = text == QLatin1String("max");
    if (!options.MaxRate)
        options.Rate = ParseNumber(QStringLiteral("--rate"), text, 0.1, 1000);
}

TLogFormat ParseFormat(const QString& text) {
    for (TLogFormat format : {TLogFormat::Window, TLogFormat::Precise, TLogFormat::Sheet})
        if (text == LogFormatName(format))
            return format;
    Bad(QStringLiteral("--format"), text, QStringLiteral("is not one of window, precise, sheet"));
}

void SetExisting(TLogOptions& options, TExistingOutput existing, const char* name) {
    if (options.Existing != TExistingOutput::Refuse && options.Existing != existing)
        throw EUsageError(std::string(name) + ": --append and --force exclude each other");
    options.Existing = existing;
}

using TValueOption = std::function<void(TLogOptions&, const QString&)>;

const std::map<QString, TValueOption>& ValueOptions() {
    static const std::map<QString, TValueOption> options{
        {QStringLiteral("--port"), [](TLogOptions& o, const QString& v) { o.Port = ParsePort(v); }},
        {QStringLiteral("--rate"), SetRate},
        {QStringLiteral("--out"),
         [](TLogOptions& o, const QString& v) {
             if (v.isEmpty())
                 Bad(QStringLiteral("--out"), v, QStringLiteral("is not a file name"));
             o.Out = v;
         }},
        {QStringLiteral("--format"),
         [](TLogOptions& o, const QString& v) { o.Format = ParseFormat(v); }},
        {QStringLiteral("--answer-timeout"),
         [](TLogOptions& o, const QString& v) {
             const QString option = QStringLiteral("--answer-timeout");
             const double ms = ParseNumber(option, v, 1, 60000);
             if (ms != std::floor(ms))
                 Bad(option, v, QStringLiteral("is not a whole number"));
             o.AnswerTimeoutMs = int(ms);
         }},
        {QStringLiteral("--duration"),
         [](TLogOptions& o, const QString& v) {
             o.Duration = ParseNumber(QStringLiteral("--duration"), v, 0.001, 1e9);
         }},
    };
    return options;
}

using TFlag = std::function<void(TLogOptions&)>;

const std::map<QString, TFlag>& Flags() {
    static const std::map<QString, TFlag> flags{
        {QStringLiteral("--quiet"), [](TLogOptions& o) { o.Quiet = true; }},
        {QStringLiteral("--wait-for-port"), [](TLogOptions& o) { o.WaitForPort = true; }},
        {QStringLiteral("--append"),
         [](TLogOptions& o) { SetExisting(o, TExistingOutput::Append, "--append"); }},
        {QStringLiteral("--force"),
         [](TLogOptions& o) { SetExisting(o, TExistingOutput::Replace, "--force"); }},
    };
    return flags;
}

// --append and --force say what becomes of an existing file, so they need one.
void CheckCombination(const TLogOptions& options) {
    if (options.Existing != TExistingOutput::Refuse && options.ToStandardOutput())
        throw EUsageError(options.Existing == TExistingOutput::Append ? "--append needs --out FILE"
                                                                      : "--force needs --out FILE");
}

} // namespace

TLogCommand ParseLogOptions(const QStringList& arguments, TLogOptions& options) {
    TLogOptions read;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> value;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        }
        const bool help = name == QLatin1String("--help");
        const bool version = name == QLatin1String("--version");
        const auto flag = Flags().find(name);
        if ((help || version || flag != Flags().end()) && value)
            throw EUsageError(QStringLiteral("%1 takes no value").arg(name).toStdString());
        if (help)
            return TLogCommand::Help;
        if (version)
            return TLogCommand::Version;
        if (flag != Flags().end()) {
            flag->second(read);
            continue;
        }
        const auto option = ValueOptions().find(name);
        if (option == ValueOptions().end())
            throw EUsageError(
                name.startsWith(QLatin1Char('-'))
                    ? QStringLiteral("unknown option '%1'").arg(name).toStdString()
                    : QStringLiteral("unexpected argument '%1'").arg(name).toStdString());
        if (!value && i + 1 >= arguments.size())
            throw EUsageError(QStringLiteral("%1 needs a value").arg(name).toStdString());
        option->second(read, value ? *value : arguments[++i]);
    }
    CheckCombination(read);
    options = read;
    return TLogCommand::Run;
}
