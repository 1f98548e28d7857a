#include "serial/ComPortPaths.h"

#include <cstdlib>
#include <sys/stat.h>

namespace va {

std::string PortAliasDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    return base + "/uego-interface/ports";
}

std::string PortAliasPath(long n) {
    return PortAliasDirectory() + "/COM" + std::to_string(n);
}

std::string ComNameToDevicePath(const std::string& name) {
    const std::string digits = name.size() > 3 ? name.substr(3) : std::string();
    if (name.compare(0, 3, "COM") != 0 || digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return name;
    const long n = std::stol(digits);
    std::string alias = PortAliasPath(n);
    struct stat st {};
    if (lstat(alias.c_str(), &st) == 0)
        return alias;
    struct Range {
        long first;
        const char* prefix;
    };
    static const Range ranges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    for (const Range& r : ranges)
        if (n >= r.first && n < r.first + 32)
            return r.prefix + std::to_string(n - r.first);
    return alias;
}

} // namespace va
