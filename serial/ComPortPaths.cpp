#include "serial/ComPortPaths.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {
// The n of "COMn", or -1 for any other name.
long ComNumber(const std::string& name) {
    const std::string digits = name.size() > 3 ? name.substr(3) : std::string();
    if (name.compare(0, 3, "COM") != 0 || digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stol(digits);
}
} // namespace

std::string ComNameAliasPath(const std::string& name) {
    const long n = ComNumber(name);
    return n < 0 ? std::string() : PortAliasPath(n);
}

std::string ComNameToDevicePath(const std::string& name) {
    const long n = ComNumber(name);
    if (n < 0)
        return name;
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

std::string DescribeDevicePath(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || stat(path.c_str(), &st) == 0)
        return path;
    std::string target(4096, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0)
        return path;
    target.resize(std::size_t(n));
    return path + " -> " + target;
}

} // namespace va
