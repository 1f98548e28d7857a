#pragma once
// The controller's line, as every program that talks to it sets it up: ports named by
// number ("COM%d"), 19200 baud, 8 data bits, no parity, one stop bit, DTR and RTS held off.
class TVaComm;

void SetUpControllerPort(TVaComm& port);
