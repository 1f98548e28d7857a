#pragma once
// How a port name "COMn" becomes a device path. On Linux: a user alias first, then the
// numbered ranges of the on-board, USB and ACM serial devices; on Windows: \\.\COMn.
#include <string>

namespace va {

// $XDG_CONFIG_HOME/uego-interface/ports (XDG_CONFIG_HOME defaulting to ~/.config).
std::string PortAliasDirectory();

// The alias path of port n: <PortAliasDirectory()>/COMn.
std::string PortAliasPath(long n);

// The alias path of a name "COMn"; empty for any other name.
std::string ComNameAliasPath(const std::string& name);

// "COMn" → the alias when it exists, else /dev/ttyS, /dev/ttyUSB or /dev/ttyACM by
// range, else the alias path (which then does not exist). Other names are returned
// unchanged, so a pattern such as "/dev/ttyUSB%d" names its device directly.
std::string ComNameToDevicePath(const std::string& name);

// The path as a message shows it: a symbolic link whose device is gone with its target
// ("…/ports/COM5 -> /dev/serial/by-id/usb-…"), anything else as it is.
std::string DescribeDevicePath(const std::string& path);

} // namespace va
