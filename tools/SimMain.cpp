// uego-sim: the controller on a pseudo-terminal, offered as port COMn until interrupted.
#include "tools/ControllerEmulator.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

constexpr const char* HelpText = R"(Usage: uego-sim [OPTION]...
Plays the four-channel lambda sensor controller on a pseudo-terminal and offers it
to the UEGO Interface as port COMn.

  --port N              port number to offer (1..255, default 1; 0 offers none)
  --warmup SECONDS      report sensor warm-up for this long after start (default 3)
  --firmware BYTE       firmware version byte (0..255, default 23, shown as V2.3)
  --pattern NAME        how lambda moves: engine (default), sweep or constant
  --lambda L1,L2,L3,L4  the four lambda values (0..65.535); implies --pattern constant
  --supply RAW          supply voltage byte (0..255, default 196, about 12.3 V)
  --memory ADDR=HEX     store bytes at a controller address, e.g. 0x10=03BF (repeatable)
  --resistor N=CODE     resistor code of channel N (1..4), e.g. 1=959 (repeatable)
  --serial N=TEXT       serial number of channel N, at most 5 characters (repeatable)
  --can ADDR            CAN address (0..65535)
  --slave-can ADDR      slave CAN address (0..65535)
  --fault NAME          switch a fault on (repeatable): silent, corrupt-checksum,
                        split-replies, late-replies, stray-bytes, hang-up
  --late-ms MS          delay of late replies in milliseconds (default 150)
  --baud RATE           pace the line at RATE bit/s (50..4000000): each byte takes ten
                        bits' time in each direction; without it, answers at once
  --latency-timer MS    hand the sent bytes over only at the ticks of a free-running
                        timer of MS milliseconds, as a USB adapter does (0..255,
                        default 0: at once)
  --help                show this help and exit
  --version             show the program's version and exit

Runs until interrupted (Ctrl+C or SIGTERM), then removes the port alias.
)";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Bad(std::string_view option, std::string_view value, std::string_view why) {
    throw UsageError(std::string(option) + ": '" + std::string(value) + "' " + std::string(why));
}

// Decimal, or hexadecimal with a 0x prefix.
long ParseInteger(std::string_view option, std::string_view text, long min, long max) {
    int base = 10;
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        base = 16;
        digits.remove_prefix(2);
    }
    long value = 0;
    const auto [end, error] = std::from_chars(digits.begin(), digits.end(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.end())
        Bad(option, text, "is not a whole number");
    if (value < min || value > max)
        Bad(option, text,
            "is out of range (" + std::to_string(min) + ".." + std::to_string(max) + ")");
    return value;
}

double ParseNumber(std::string_view option, std::string_view text, double min, double max) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value);
    if (text.empty() || error != std::errc() || end != text.end())
        Bad(option, text, "is not a number");
    if (!(value >= min && value <= max)) {
        std::ostringstream range;
        range << "is out of range (" << min << ".." << max << ")";
        Bad(option, text, range.str());
    }
    return value;
}

// "N=VALUE" → {N, VALUE}.
std::pair<std::string_view, std::string_view> SplitPair(std::string_view option,
                                                        std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        Bad(option, text, "needs the form KEY=VALUE");
    return {text.substr(0, equals), text.substr(equals + 1)};
}

void StoreWord(sim::EmulatorOptions& options, int address, long value) {
    options.memory[static_cast<std::size_t>(address)] = static_cast<std::uint8_t>(value >> 8);
    options.memory[static_cast<std::size_t>(address) + 1] = static_cast<std::uint8_t>(value);
}

void SetMemory(sim::EmulatorOptions& options, std::string_view text) {
    const auto [addressText, hex] = SplitPair("--memory", text);
    const long address = ParseInteger("--memory", addressText, 0, 255);
    if (hex.empty() || hex.size() % 2 != 0)
        Bad("--memory", hex, "needs an even number of hexadecimal digits");
    if (address + static_cast<long>(hex.size() / 2) > 256)
        Bad("--memory", text, "runs past the end of the 256-byte memory");
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned byte = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
        if (error != std::errc() || end != hex.data() + i + 2)
            Bad("--memory", hex, "is not hexadecimal");
        options.memory[static_cast<std::size_t>(address) + i / 2] = static_cast<std::uint8_t>(byte);
    }
}

void SetResistor(sim::EmulatorOptions& options, std::string_view text) {
    const auto [channel, code] = SplitPair("--resistor", text);
    const long n = ParseInteger("--resistor", channel, 1, 4);
    StoreWord(options, static_cast<int>(0x10 * n), ParseInteger("--resistor", code, 0, 65535));
}

// The controller keeps serial numbers in the 8-bit code page (Latin-1); the command line
// comes as UTF-8. Characters beyond Latin-1 become '?'.
std::string ToLatin1(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            continue;
        }
        const std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        unsigned code = lead & (0x3F >> extra);
        for (std::size_t k = 0; k < extra && i + 1 < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        out += code <= 0xFF ? static_cast<char>(code) : '?';
    }
    return out;
}

void SetSerial(sim::EmulatorOptions& options, std::string_view text) {
    const auto [channel, serialText] = SplitPair("--serial", text);
    const long n = ParseInteger("--serial", channel, 1, 4);
    const std::string serial = ToLatin1(serialText);
    if (serial.size() > 5)
        Bad("--serial", serialText, "is longer than 5 characters");
    const auto field = options.memory.begin() + 0x10 * n + 8;
    std::fill(field, field + 5, 0);
    std::copy(serial.begin(), serial.end(), field);
}

void SetLambda(sim::EmulatorOptions& options, std::string_view text) {
    std::string_view rest = text;
    for (std::size_t channel = 0; channel < 4; ++channel) {
        const std::size_t comma = rest.find(',');
        if ((channel < 3) == (comma == std::string_view::npos))
            Bad("--lambda", text, "needs four values separated by commas");
        options.lambda[channel] = ParseNumber("--lambda", rest.substr(0, comma), 0, 65.535);
        rest = comma == std::string_view::npos ? "" : rest.substr(comma + 1);
    }
}

sim::LambdaPattern ParsePattern(std::string_view text) {
    static const std::map<std::string_view, sim::LambdaPattern> names{
        {"engine", sim::LambdaPattern::Engine},
        {"sweep", sim::LambdaPattern::Sweep},
        {"constant", sim::LambdaPattern::Constant}};
    const auto it = names.find(text);
    if (it == names.end())
        Bad("--pattern", text, "is not one of engine, sweep, constant");
    return it->second;
}

sim::Fault ParseFault(std::string_view text) {
    static const std::map<std::string_view, sim::Fault> names{
        {"silent", sim::Fault::Silent},
        {"corrupt-checksum", sim::Fault::CorruptChecksum},
        {"split-replies", sim::Fault::SplitReplies},
        {"late-replies", sim::Fault::LateReplies},
        {"stray-bytes", sim::Fault::StrayBytes},
        {"hang-up", sim::Fault::HangUp}};
    const auto it = names.find(text);
    if (it == names.end())
        Bad("--fault", text,
            "is not one of silent, corrupt-checksum, split-replies, late-replies, "
            "stray-bytes, hang-up");
    return it->second;
}

// The options as they are read, and whether the lambda values came without a pattern.
struct CommandLine {
    sim::EmulatorOptions options;
    bool patternGiven = false;
    bool lambdaGiven = false;
};

using OptionHandler = void (*)(CommandLine&, std::string_view);

std::uint8_t ParseByte(std::string_view option, std::string_view text) {
    return static_cast<std::uint8_t>(ParseInteger(option, text, 0, 255));
}

const std::map<std::string_view, OptionHandler> Handlers{
    {"--port",
     [](CommandLine& c, std::string_view v) {
         c.options.port = static_cast<int>(ParseInteger("--port", v, 0, 255));
     }},
    {"--warmup",
     [](CommandLine& c, std::string_view v) {
         c.options.warmupSeconds = ParseNumber("--warmup", v, 0, 1e6);
     }},
    {"--firmware",
     [](CommandLine& c, std::string_view v) {
         c.options.firmwareVersion = ParseByte("--firmware", v);
     }},
    {"--pattern",
     [](CommandLine& c, std::string_view v) {
         c.options.pattern = ParsePattern(v);
         c.patternGiven = true;
     }},
    {"--lambda",
     [](CommandLine& c, std::string_view v) {
         SetLambda(c.options, v);
         c.lambdaGiven = true;
     }},
    {"--supply",
     [](CommandLine& c, std::string_view v) { c.options.supplyRaw = ParseByte("--supply", v); }},
    {"--memory", [](CommandLine& c, std::string_view v) { SetMemory(c.options, v); }},
    {"--resistor", [](CommandLine& c, std::string_view v) { SetResistor(c.options, v); }},
    {"--serial", [](CommandLine& c, std::string_view v) { SetSerial(c.options, v); }},
    {"--can",
     [](CommandLine& c, std::string_view v) {
         StoreWord(c.options, 0x02, ParseInteger("--can", v, 0, 65535));
     }},
    {"--slave-can",
     [](CommandLine& c, std::string_view v) {
         StoreWord(c.options, 0x0A, ParseInteger("--slave-can", v, 0, 65535));
     }},
    {"--fault",
     [](CommandLine& c, std::string_view v) {
         c.options.faults |= static_cast<unsigned>(ParseFault(v));
     }},
    {"--late-ms",
     [](CommandLine& c, std::string_view v) {
         c.options.lateMs = static_cast<int>(ParseInteger("--late-ms", v, 0, 600000));
     }},
    {"--baud",
     [](CommandLine& c, std::string_view v) {
         c.options.baud = static_cast<int>(ParseInteger("--baud", v, 50, 4000000));
     }},
    {"--latency-timer",
     [](CommandLine& c, std::string_view v) {
         c.options.latencyTimerMs = static_cast<int>(ParseInteger("--latency-timer", v, 0, 255));
     }},
};

enum class Command { Run, Help, Version };

// Fills options from the command line, unless it asks for the help or the version.
Command ParseArguments(int argc, char** argv, sim::EmulatorOptions& options) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string_view name = argv[i];
        std::optional<std::string_view> value;
        if (const std::size_t equals = name.find('=');
            name.starts_with("--") && equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "--help")
            return Command::Help;
        if (name == "--version")
            return Command::Version;
        const auto handler = Handlers.find(name);
        if (handler == Handlers.end())
            throw UsageError("unknown option '" + std::string(name) + "'");
        if (!value && i + 1 >= argc)
            throw UsageError(std::string(name) + " needs a value");
        handler->second(line, value ? *value : std::string_view(argv[++i]));
    }
    if (line.lambdaGiven && !line.patternGiven)
        line.options.pattern = sim::LambdaPattern::Constant;
    options = line.options;
    return Command::Run;
}

// Blocks the stop signals in every thread, so that only sigwait below receives them.
sigset_t BlockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

} // namespace

int main(int argc, char** argv) {
    sim::EmulatorOptions options;
    try {
        switch (ParseArguments(argc, argv, options)) {
        case Command::Help:
            std::cout << HelpText;
            return 0;
        case Command::Version:
            std::cout << "uego-sim " UEGO_VERSION "\n";
            return 0;
        case Command::Run:
            break;
        }
    } catch (const UsageError& error) {
        std::cerr << "uego-sim: " << error.what() << "\nTry 'uego-sim --help'.\n";
        return 2;
    }
    const sigset_t signals = BlockStopSignals();
    sim::ControllerEmulator emulator(options);
    try {
        emulator.Start();
    } catch (const std::exception& error) {
        std::cerr << "uego-sim: " << error.what() << '\n';
        return 1;
    }
    std::cout << "uego-sim: controller on " << emulator.SlavePath() << '\n';
    if (options.port > 0)
        std::cout << "uego-sim: offered as COM" << options.port << " (" << emulator.AliasPath()
                  << ")\n";
    std::cout << std::flush;
    int signal = 0;
    sigwait(&signals, &signal);
    emulator.Stop();
    return 0;
}
