#include "logger/LogOptions.h"

#include <cmath>
#include <functional>
#include <map>

const char* const LogVersionText = "uego-log 1.0\n";

const char* const LogUsageText = R"(Usage: uego-log [OPTION]...
Logs the four lambda channels of the controller on port COMn, without a window.

  --port N            port number (1..255, default 1), numbered as in the main window:
                      the alias ~/.config/uego-interface/ports/COMn, else COM1..32 are
                      /dev/ttyS0..31, COM33..64 /dev/ttyUSB0..31, COM65..96 /dev/ttyACM0..31
  --rate HZ           requests a second (0.1..1000, default 10), or max: the next request
                      as soon as the answer is complete, or when it is given up
  --answer-timeout MS with --rate max, how long an answer may take (1..60000, default 50):
                      long enough for a USB adapter's latency timer; at a fixed rate an
                      answer has until the next request
  --out FILE          where the records go; - or none for standard output
  --format NAME       design (default): the main window's log, header lines included;
                      precise: a header row, then ISO 8601 local time with milliseconds,
                      elapsed seconds, the four lambda values, supply volts and warm-up flag
  --duration SECONDS  stop after this long (default: until interrupted)
  --quiet             no status line and no notices on standard error; errors still show
  --help              show this help and exit
  --version           show the version and exit

A record is written for each valid answer, as one whole line. SIGINT and SIGTERM end the
run after the record in hand and exit 0. An unplugged adapter is reported once; logging
resumes by itself when the port is back. Exit status: 0 done, 1 port or file failure,
2 bad options.
)";

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
    if (text == QLatin1String("design"))
        return TLogFormat::Design;
    if (text == QLatin1String("precise"))
        return TLogFormat::Precise;
    Bad(QStringLiteral("--format"), text, QStringLiteral("is not one of design, precise"));
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

bool IsFlag(const QString& name) {
    return name == QLatin1String("--help") || name == QLatin1String("--version") ||
           name == QLatin1String("--quiet");
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
        if (IsFlag(name) && value)
            throw EUsageError(QStringLiteral("%1 takes no value").arg(name).toStdString());
        if (name == QLatin1String("--help"))
            return TLogCommand::Help;
        if (name == QLatin1String("--version"))
            return TLogCommand::Version;
        if (name == QLatin1String("--quiet")) {
            read.Quiet = true;
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
    options = read;
    return TLogCommand::Run;
}
