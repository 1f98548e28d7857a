#include "serial/ComPortPaths.h"

#include <cstdlib>
#include <regex>
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

std::string PortAliasPath(long n) { return PortAliasDirectory() + "/COM" + std::to_string(n); }

std::string ComNameToDevicePath(const std::string& name) {
    static const std::regex comName("COM([0-9]{1,10})");
    std::smatch m;
    if (!std::regex_match(name, m, comName))
        return name;
    const long n = std::stol(m[1].str());
    const std::string alias = PortAliasPath(n);
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
