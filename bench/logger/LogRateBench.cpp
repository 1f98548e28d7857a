// uego-log against the controller emulator (in this process, so its work is not counted).
// With the line paced at 19200 bit/s, --rate max: the achieved exchange rate beside the
// line's limit, worked out from the bytes of one exchange (4 out, 17 back, ten bits a byte),
// and the logger's CPU time as a share of one core. Then, unpaced, the highest exchange
// rate over a pseudo-terminal, and the paced line with a USB adapter's 16 ms latency timer.
//   log-rate [--seconds N] [--port N]      (default 20 s on port 41)
#include "tools/ControllerEmulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int Baud = 19200;
constexpr int BytesPerExchange = 4 + 17;

struct Run {
    long records = 0;
    double span = 0; // seconds from the first record to the last
    double wall = 0; // seconds the program ran
    double cpu = 0;  // its CPU seconds
    std::size_t requests = 0;
    int status = -1;
};

double Seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// The records of a precise log: how many, and the elapsed seconds of the first and last.
void ReadRecords(const std::string& path, Run& run) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line); // header
    double first = -1, last = 0;
    while (std::getline(file, line)) {
        const std::size_t comma = line.find(',');
        last = std::strtod(line.c_str() + comma + 1, nullptr);
        if (first < 0)
            first = last;
        ++run.records;
    }
    run.span = run.records > 1 ? last - first : 0;
}

Run LogAtMaxRate(int port, int baud, int latencyTimerMs, int seconds) {
    sim::EmulatorOptions options;
    options.port = port;
    options.baud = baud;
    options.latencyTimerMs = latencyTimerMs;
    options.warmupSeconds = 0;
    sim::ControllerEmulator controller(options);
    controller.Start();
    const std::string out = "/tmp/log-rate-" + std::to_string(getpid()) + ".csv";
    std::vector<std::string> args{UEGO_LOG_PATH,
                                  "--port",
                                  std::to_string(port),
                                  "--rate",
                                  "max",
                                  "--format",
                                  "precise",
                                  "--out",
                                  out,
                                  "--duration",
                                  std::to_string(seconds),
                                  "--quiet"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "log-rate: cannot start %s\n", argv[0]);
        return run;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.requests = controller.LiveRequestCount();
    ReadRecords(out, run);
    std::remove(out.c_str());
    return run;
}

double Rate(const Run& run) {
    return run.span > 0 ? double(run.records - 1) / run.span : 0;
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    int port = 41;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--port"))
            port = std::atoi(argv[i + 1]);
    }
    char configHome[] = "/tmp/log-rate-XXXXXX";
    if (!mkdtemp(configHome))
        return 1;
    setenv("XDG_CONFIG_HOME", configHome, 1);

    const double limit = double(Baud) / 10 / BytesPerExchange;
    const Run paced = LogAtMaxRate(port, Baud, 0, seconds);
    std::printf("uego-log --rate max, line paced at %d bit/s, %d s:\n", Baud, seconds);
    std::printf("  line's limit: %d / 10 bits / (4 + 17) bytes = %.2f exchanges/s\n", Baud, limit);
    std::printf("  achieved: %.2f records/s = %.1f %% of the limit (%ld records, %zu requests)\n",
                Rate(paced), 100 * Rate(paced) / limit, paced.records, paced.requests);
    std::printf("  CPU: %.3f s in %.1f s = %.2f %% of one core\n", paced.cpu, paced.wall,
                100 * paced.cpu / paced.wall);

    const Run unpaced = LogAtMaxRate(port, 0, 0, seconds);
    std::printf("uego-log --rate max, unpaced pseudo-terminal, %d s:\n", seconds);
    std::printf("  achieved: %.0f records/s (%ld records, %zu requests)\n", Rate(unpaced),
                unpaced.records, unpaced.requests);
    std::printf("  CPU: %.3f s in %.1f s = %.1f %% of one core\n", unpaced.cpu, unpaced.wall,
                100 * unpaced.cpu / unpaced.wall);

    const Run held = LogAtMaxRate(port, Baud, 16, seconds);
    std::printf("uego-log --rate max, paced line, answers held to a 16 ms latency timer, %d s:\n",
                seconds);
    std::printf("  achieved: %.2f records/s (%ld records, %zu requests)\n", Rate(held),
                held.records, held.requests);
    std::printf("  CPU: %.3f s in %.1f s = %.2f %% of one core\n", held.cpu, held.wall,
                100 * held.cpu / held.wall);
    rmdir(configHome);
    return paced.status == 0 && unpaced.status == 0 && held.status == 0 ? 0 : 1;
}
