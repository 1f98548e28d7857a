#pragma once
// A line layer that a test scripts: modem lines, UART counters, driver queue counts and
// hold flags as a real UART would show them, with the bytes carried by a socket pair whose
// other end the test holds as the far end.
#include "serial/VaLine.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The state shared by the test and the line the component owns.
class LineScript {
public:
    LineScript() = default;
    ~LineScript();
    LineScript(const LineScript&) = delete;
    LineScript& operator=(const LineScript&) = delete;

    // What the line has: without counters, modem-line changes are seen by sampling.
    void SetHasCounts(bool value);
    void SetHasModemLines(bool value);
    // Errors the line's calls answer with (0 for success).
    void SetModemError(int error);
    void SetControlError(int error);
    void SetPropertiesError(int error);
    void SetWriteError(int error);
    // The next Close releases the line and then throws, as a line layer's failure would.
    void SetCloseFails();

    // The far end sends bytes; change then runs (under the script's lock) once the
    // line has read past them, as a UART counts an error before its byte is readable.
    void Send(const std::string& bytes, std::function<void(LineScript&)> change = {});
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout);
    // The far end goes away: the line hangs up.
    void HangUp();

    // Runs change under the script's lock, so the line sees all of it at once.
    void Change(const std::function<void(LineScript&)>& change);
    // Changes as the far end makes them, only inside Change or a Send change.
    void SetInput(int tiocmBit, bool on); // CTS, DSR, CAR and RNG, counted as a UART counts
    void Ring();                          // RNG on and off: one ring
    void Break();
    void Count(int TVaLineCounts::*counter);
    void SetOutQueue(int count);
    void SetInQueue(int count);
    void SetHoldFlags(std::uint32_t flags);

    // What the component did.
    int Lines();
    int Opens();
    TVaDCB Applied();
    std::vector<int> Flushes();
    bool BreakOn();
    int Resets();

private:
    friend class ScriptedLine;
    void ApplyDue(); // under FLock

    std::mutex FLock;
    int FNear = -1;
    int FFar = -1;
    bool FHasCounts = true;
    bool FHasModemLines = true;
    int FModemError = 0;
    int FControlError = 0;
    int FPropertiesError = 0;
    int FWriteError = 0;
    bool FCloseFails = false;
    int FResets = 0;
    int FLines = 0;
    TVaLineCounts FCounts;
    int FInQueue = 0;
    int FOutQueue = 0;
    std::uint32_t FHoldFlags = 0;
    bool FBreakOn = false;
    TVaDCB FApplied;
    std::vector<int> FFlushes;
    int FOpens = 0;
    std::size_t FSent = 0;
    std::size_t FRead = 0;
    std::vector<std::pair<std::size_t, std::function<void(LineScript&)>>> FDue;
};

class ScriptedLine : public TVaLine {
public:
    explicit ScriptedLine(std::shared_ptr<LineScript> script) : FScript(std::move(script)) {}
    ~ScriptedLine() override;

    int Open(const std::string& path) override;
    void Close() override;
    int Handle() const override;
    TVaIoResult Read(void* buf, std::size_t count) override;
    TVaIoResult Write(const void* buf, std::size_t count) override;
    int ApplySettings(const TVaDCB& dcb) override;
    int ModemLines(int& lines) override;
    int SetModemLines(int bits, bool on) override;
    int Counts(TVaLineCounts& counts) override;
    int HoldFlags(std::uint32_t& flags) override;
    int InQueue(int& count) override;
    int OutQueue(int& count) override;
    int Flush(int queues) override;
    int SetBreak(bool on) override;
    int SetXon(bool on) override;
    int ResetDev() override;
    // An RS-232 line limited to 115200 bit/s.
    int Properties(TVaCommProp& prop) override;

private:
    void Release();
    int WriteError() const;

    std::shared_ptr<LineScript> FScript;
};
