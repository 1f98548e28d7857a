#pragma once
// The port's settings groups (flow control, special characters, queue sizes and
// timeouts), which report their changes to the owning component, and the settings
// store description.
#include "serial/VaTypes.h"

#include <functional>
#include <string>

// Base of the settings groups: an update bracket and a change notification.
class TVaPersistent {
public:
    virtual ~TVaPersistent() = default;

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    // Installed by the owning component.
    std::function<void(TVaPersistent* Sender)> OnChange;

protected:
    TVaPersistent() = default;
    // A copy takes the values only, not the owner's handler.
    TVaPersistent(const TVaPersistent&) {}
    TVaPersistent& operator=(const TVaPersistent&) { return *this; }
    // Fires OnChange unless inside an update bracket.
    void Changed();
    // Stores value into field and notifies when it differs.
    template <typename T> void SetChanged(T& field, T value) {
        if (field == value)
            return;
        field = value;
        Changed();
    }

private:
    int FUpdateCount = 0;
};

class TVaFlowControl : public TVaPersistent {
public:
    void Assign(const TVaFlowControl& source);

    bool OutCtsFlow() const { return FOutCtsFlow; }
    bool OutDsrFlow() const { return FOutDsrFlow; }
    TVaControlDtr ControlDtr() const { return FControlDtr; }
    TVaControlRts ControlRts() const { return FControlRts; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DsrSensitivity() const { return FDsrSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }

    void SetOutCtsFlow(bool value) { SetChanged(FOutCtsFlow, value); }
    void SetOutDsrFlow(bool value) { SetChanged(FOutDsrFlow, value); }
    void SetControlDtr(TVaControlDtr value) { SetChanged(FControlDtr, value); }
    void SetControlRts(TVaControlRts value) { SetChanged(FControlRts, value); }
    void SetXonXoffOut(bool value) { SetChanged(FXonXoffOut, value); }
    void SetXonXoffIn(bool value) { SetChanged(FXonXoffIn, value); }
    void SetDsrSensitivity(bool value) { SetChanged(FDsrSensitivity, value); }
    void SetTxContinueOnXoff(bool value) { SetChanged(FTxContinueOnXoff, value); }

private:
    bool FOutCtsFlow = false;
    bool FOutDsrFlow = false;
    TVaControlDtr FControlDtr = dtrDisabled;
    TVaControlRts FControlRts = rtsDisabled;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDsrSensitivity = false;
    bool FTxContinueOnXoff = false;
};

// Each setter notifies, even when the value is unchanged.
class TVaEventChars : public TVaPersistent {
public:
    void Assign(const TVaEventChars& source);

    std::uint8_t XonChar() const { return FXonChar; }
    std::uint8_t XoffChar() const { return FXoffChar; }
    std::uint8_t ErrorChar() const { return FErrorChar; }
    std::uint8_t EventChar() const { return FEventChar; }
    std::uint8_t EofChar() const { return FEofChar; }

    void SetXonChar(std::uint8_t value) { Store(FXonChar, value); }
    void SetXoffChar(std::uint8_t value) { Store(FXoffChar, value); }
    void SetErrorChar(std::uint8_t value) { Store(FErrorChar, value); }
    void SetEventChar(std::uint8_t value) { Store(FEventChar, value); }
    void SetEofChar(std::uint8_t value) { Store(FEofChar, value); }

private:
    void Store(std::uint8_t& field, std::uint8_t value) {
        field = value;
        Changed();
    }

    std::uint8_t FXonChar = 17;
    std::uint8_t FXoffChar = 19;
    std::uint8_t FErrorChar = 0;
    std::uint8_t FEventChar = 0;
    std::uint8_t FEofChar = 0;
};

// Queue sizes, timeouts and XON/XOFF limits. The timeouts are plain fields.
class TVaBuffers : public TVaPersistent {
public:
    void Assign(const TVaBuffers& source);

    TVaIntW ReadSize() const { return FReadSize; }
    TVaIntW WriteSize() const { return FWriteSize; }
    TVaIntW ReadTimeout() const { return FReadTimeout; }
    TVaIntW WriteTimeout() const { return FWriteTimeout; }
    TVaIntW XonLimit() const { return FXonLimit; }
    TVaIntW XoffLimit() const { return FXoffLimit; }

    void SetReadSize(TVaIntW value) { SetChanged(FReadSize, InRange(value)); }
    void SetWriteSize(TVaIntW value) { SetChanged(FWriteSize, InRange(value)); }
    void SetReadTimeout(TVaIntW value) { FReadTimeout = InRange(value); }
    void SetWriteTimeout(TVaIntW value) { FWriteTimeout = InRange(value); }
    void SetXonLimit(TVaIntW value) { SetChanged(FXonLimit, InRange(value)); }
    void SetXoffLimit(TVaIntW value) { SetChanged(FXoffLimit, InRange(value)); }

private:
    static TVaIntW InRange(TVaIntW value) { return value < 0 ? 0 : value; }

    TVaIntW FReadSize = 4096;
    TVaIntW FWriteSize = 2048;
    TVaIntW FReadTimeout = 1000;
    TVaIntW FWriteTimeout = 1000;
    TVaIntW FXonLimit = 1024;
    TVaIntW FXoffLimit = 1024;
};

// Where settings would be kept; held only, never used for loading or saving.
class TSettingsStore {
public:
    void Assign(const TSettingsStore& source) { *this = source; }

    std::string Key;
    TSettingsLocation Location = slINIFile;
    TRegRoot RegRoot = rrCURRENTUSER;
    std::string Section;
};
