#include "link/ControllerPort.h"

#include "serial/VaComm.h"

void SetUpControllerPort(TVaComm& port) {
    port.SetDeviceName("COM%d");
    port.SetBaudrate(br19200);
    port.FlowControl()->SetControlDtr(dtrDisabled);
    port.FlowControl()->SetControlRts(rtsDisabled);
}
