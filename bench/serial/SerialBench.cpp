// The port component beside QSerialPort on one pseudo-terminal pair, in one run:
// (a) time from a byte written at the far end to the received-character handler running
//     on the main thread (median and 99th percentile);
// (b) throughput of byte-by-byte writes to the far end;
// (c) after the far end hung up: how soon the port closed itself, whether the main thread
//     ever stalled, and the CPU used.
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <semaphore>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 10;
constexpr int kLatencyBytes = 10000;
constexpr int kWarmUpBytes = 100;
constexpr int kWriteBytes = 200000;

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The far end: the master of a pseudo-terminal pair.
struct FarEnd {
    FarEnd() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            ::ptsname_r(master, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave = name;
    }
    ~FarEnd() { HangUp(); }
    void HangUp() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    int master = -1;
    std::string slave;
};

// What the measurements need of a port.
class BenchPort {
public:
    virtual ~BenchPort() = default;
    virtual const char* Name() const = 0;
    virtual void Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual void OnReceived(std::function<void()> handler) = 0;
    virtual void TakeReceived() = 0;
    virtual void PutByte(std::uint8_t b) = 0;
};

class OurPort : public BenchPort {
public:
    const char* Name() const override { return "TVaComm"; }
    void Open(const std::string& path) override {
        FComm.SetDeviceName(path);
        FComm.SetBaudrate(br19200);
        FComm.Open();
    }
    void Close() override { FComm.Close(); }
    void OnReceived(std::function<void()> handler) override {
        FComm.OnRxChar = [handler](QObject*, std::uint32_t) { handler(); };
    }
    void TakeReceived() override { FComm.ReadText(); }
    void PutByte(std::uint8_t b) override { FComm.WriteChar(b); }
    TVaComm& Comm() { return FComm; }

private:
    TVaComm FComm;
};

class QtPort : public BenchPort {
public:
    const char* Name() const override { return "QSerialPort"; }
    void Open(const std::string& path) override {
        FPort.setPortName(QString::fromStdString(path));
        if (!FPort.open(QIODevice::ReadWrite))
            throw std::runtime_error("QSerialPort: " + FPort.errorString().toStdString());
        FPort.setBaudRate(19200);
        FPort.setDataBits(QSerialPort::Data8);
        FPort.setParity(QSerialPort::NoParity);
        FPort.setStopBits(QSerialPort::OneStop);
        FPort.setFlowControl(QSerialPort::NoFlowControl);
    }
    void Close() override { FPort.close(); }
    void OnReceived(std::function<void()> handler) override {
        QObject::disconnect(&FPort, &QSerialPort::readyRead, nullptr, nullptr);
        QObject::connect(&FPort, &QSerialPort::readyRead, handler);
    }
    void TakeReceived() override { FPort.readAll(); }
    void PutByte(std::uint8_t b) override { FPort.putChar(static_cast<char>(b)); }

private:
    QSerialPort FPort;
};

struct Latency {
    double median;
    double p99;
};

Latency Summarize(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// One byte at a time from the far end, the next only after the handler has seen the
// last, at random small gaps so the main thread is asleep when a byte arrives. Adds the
// latencies in microseconds to samples.
void MeasureLatency(BenchPort& port, FarEnd& far, int bytes, std::vector<double>& samples) {
    std::vector<double> round;
    round.reserve(static_cast<std::size_t>(bytes) + kWarmUpBytes);
    std::atomic<Clock::time_point> sentAt{};
    std::binary_semaphore seen{0};
    QEventLoop loop;
    port.OnReceived([&] {
        const double us = MicrosecondsSince(sentAt.load());
        port.TakeReceived();
        round.push_back(us);
        seen.release();
    });
    port.Open(far.slave);
    std::thread writer([&] {
        std::mt19937 random(static_cast<unsigned>(samples.size()));
        std::uniform_int_distribution<int> gap(20, 300);
        for (int i = 0; i < bytes + kWarmUpBytes; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
            const std::uint8_t b = static_cast<std::uint8_t>(i);
            sentAt = Clock::now();
            if (::write(far.master, &b, 1) != 1 || !seen.try_acquire_for(std::chrono::seconds(2)))
                break;
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    writer.join();
    port.Close();
    port.OnReceived([] {});
    if (round.size() < static_cast<std::size_t>(bytes) + kWarmUpBytes)
        throw std::runtime_error(std::string(port.Name()) + ": bytes went unreported");
    samples.insert(samples.end(), round.begin() + kWarmUpBytes, round.end());
}

// Bytes written one call each, burst bytes per event-loop turn (as a timer handler
// writes a frame), until the far end has read them all; returns the seconds taken.
double MeasureWrites(BenchPort& port, FarEnd& far, int bytes, int burst) {
    port.Open(far.slave);
    QEventLoop loop;
    std::atomic<long> misplaced = 0;
    std::atomic<Clock::time_point> lastByteAt{};
    std::thread reader([&] {
        long count = 0;
        std::uint8_t chunk[4096];
        while (count < bytes) {
            pollfd fd{far.master, POLLIN, 0};
            if (::poll(&fd, 1, 2000) <= 0)
                break;
            const ssize_t n = ::read(far.master, chunk, sizeof chunk);
            for (ssize_t i = 0; i < n; ++i, ++count)
                if (chunk[i] != static_cast<std::uint8_t>(count))
                    ++misplaced;
        }
        lastByteAt = Clock::now();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    int sent = 0;
    QTimer producer;
    QObject::connect(&producer, &QTimer::timeout, [&] {
        for (int i = 0; i < burst && sent < bytes; ++i, ++sent)
            port.PutByte(static_cast<std::uint8_t>(sent));
        if (sent == bytes)
            producer.stop();
    });
    const Clock::time_point start = Clock::now();
    producer.start(0);
    loop.exec();
    reader.join();
    port.Close();
    if (misplaced > 0)
        throw std::runtime_error(std::string(port.Name()) + ": bytes out of place");
    return std::chrono::duration<double>(lastByteAt.load() - start).count();
}

std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

struct HangUpFigures {
    double closedAfterMs = -1; // until the port had closed itself
    double longestGapMs = 0;   // between two 100 ms ticks
    double cpuMs = 0;          // of the whole process over the second
};

// One second after the far end hung up, while a timer keeps queueing a 4-byte request
// every 100 ms. The port's "disconnected" error reaches the loop here, where the
// program's error report would show it.
HangUpFigures MeasureHangUp(OurPort& port, FarEnd& far) {
    port.Open(far.slave);
    far.HangUp();
    HangUpFigures figures;
    Clock::time_point lastTick = Clock::now();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        figures.longestGapMs = std::max(figures.longestGapMs, MicrosecondsSince(lastTick) / 1000);
        lastTick = Clock::now();
        for (std::uint8_t b : {0xC0, 0x04, 0x26, 0x15})
            port.PutByte(b);
    });
    poll.start(100);
    const Clock::time_point start = Clock::now();
    const auto before = ProcessCpuTime();
    while (Clock::now() - start < std::chrono::seconds(1)) {
        try {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        } catch (const EVaCommError&) {
        }
        if (figures.closedAfterMs < 0 && !port.Comm().Active())
            figures.closedAfterMs = MicrosecondsSince(start) / 1000;
    }
    figures.cpuMs = std::chrono::duration<double, std::milli>(ProcessCpuTime() - before).count();
    port.Close();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        FarEnd far;
        OurPort ours;
        QtPort qt;
        std::printf("serial bench on %s (one pseudo-terminal pair)\n", far.slave.c_str());

        // Rounds alternate between the two ports, so that load from elsewhere on the
        // machine falls on both alike.
        std::vector<double> ourSamples;
        std::vector<double> qtSamples;
        for (int round = 0; round < kRounds; ++round) {
            MeasureLatency(ours, far, kLatencyBytes / kRounds, ourSamples);
            MeasureLatency(qt, far, kLatencyBytes / kRounds, qtSamples);
        }
        const Latency a = Summarize(ourSamples);
        const Latency b = Summarize(qtSamples);
        std::printf("(a) far-end byte -> handler on the main thread, %d bytes each\n",
                    kLatencyBytes);
        std::printf("    %-12s median %7.1f us   p99 %7.1f us\n", ours.Name(), a.median, a.p99);
        std::printf("    %-12s median %7.1f us   p99 %7.1f us\n", qt.Name(), b.median, b.p99);
        std::printf("    ratio TVaComm/QSerialPort: median %.2f, p99 %.2f (below 1: faster)\n",
                    a.median / b.median, a.p99 / b.p99);

        for (int burst : {16, 1024}) {
            double ourSeconds = 0;
            double qtSeconds = 0;
            for (int round = 0; round < kRounds; ++round) {
                ourSeconds += MeasureWrites(ours, far, kWriteBytes / kRounds, burst);
                qtSeconds += MeasureWrites(qt, far, kWriteBytes / kRounds, burst);
            }
            std::printf("(b) byte-by-byte writes, %d bytes each, %d per event-loop turn\n",
                        kWriteBytes, burst);
            std::printf("    %-12s %10.0f bytes/s\n", ours.Name(), kWriteBytes / ourSeconds);
            std::printf("    %-12s %10.0f bytes/s\n", qt.Name(), kWriteBytes / qtSeconds);
            std::printf("    ratio TVaComm/QSerialPort: %.2f (above 1: faster)\n",
                        qtSeconds / ourSeconds);
        }

        const HangUpFigures hangUp = MeasureHangUp(ours, far);
        std::printf("(c) after a hang-up, with a request every 100 ms: closed itself after "
                    "%.1f ms; largest gap between ticks %.1f ms; process CPU over 1 s %.1f ms\n",
                    hangUp.closedAfterMs, hangUp.longestGapMs, hangUp.cpuMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
