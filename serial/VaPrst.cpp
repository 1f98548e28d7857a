#include "serial/VaPrst.h"

void TVaPersistent::EndUpdate() {
    if (FUpdateCount > 0)
        --FUpdateCount;
    Changed();
}

void TVaPersistent::Changed() {
    if (FUpdateCount == 0 && OnChange)
        OnChange(this);
}

void TVaFlowControl::Assign(const TVaFlowControl& source) {
    BeginUpdate();
    SetOutCtsFlow(source.FOutCtsFlow);
    SetOutDsrFlow(source.FOutDsrFlow);
    SetControlDtr(source.FControlDtr);
    SetControlRts(source.FControlRts);
    SetXonXoffOut(source.FXonXoffOut);
    SetXonXoffIn(source.FXonXoffIn);
    SetDsrSensitivity(source.FDsrSensitivity);
    SetTxContinueOnXoff(source.FTxContinueOnXoff);
    EndUpdate();
}

void TVaEventChars::Assign(const TVaEventChars& source) {
    BeginUpdate();
    SetXonChar(source.FXonChar);
    SetXoffChar(source.FXoffChar);
    SetErrorChar(source.FErrorChar);
    SetEventChar(source.FEventChar);
    SetEofChar(source.FEofChar);
    EndUpdate();
}

void TVaBuffers::Assign(const TVaBuffers& source) {
    BeginUpdate();
    SetReadSize(source.FReadSize);
    SetWriteSize(source.FWriteSize);
    SetReadTimeout(source.FReadTimeout);
    SetWriteTimeout(source.FWriteTimeout);
    SetXonLimit(source.FXonLimit);
    SetXoffLimit(source.FXoffLimit);
    EndUpdate();
}
