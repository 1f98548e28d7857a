#include "serial/ComPortPaths.h"

namespace va {

// Windows names its ports itself: "COMn" is opened as \\.\COMn, which reaches every port
// number (COM10 and above only so), and any other name the same way.
std::string ComNameToDevicePath(const std::string& name) {
    return "\\\\.\\" + name;
}

} // namespace va
