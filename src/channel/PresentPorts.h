// The serial ports present on this system, as the system reports them: the
// names under HKLM HARDWARE\DEVICEMAP\SERIALCOMM, with the friendly names of
// the ports' devices ("USB Serial Port (COM12)") where there are any.
#pragma once

#include <vector>

#include "channel/PortList.h"

// TP_PRESENT_PORTS=<ports> adds ports to the list, in the form of
// ParsePresentPorts ("COM12=USB Serial Port (COM12);COM15"): a test switch
// for systems whose port links the system does not report.
constexpr const char* kPresentPortsVariable = "TP_PRESENT_PORTS";

std::vector<PresentPort> ListPresentPorts();

// The port numbers of ListPresentPorts(), each once, in ascending order.
std::vector<int> PresentPortNumbers();
