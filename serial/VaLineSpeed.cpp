// The kernel's termios2 carries a speed in bit/s. Its header defines its own termios,
// so it lives apart from every file that includes <termios.h>.
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <sys/ioctl.h>

int SetExactSpeed(int fd, std::uint32_t baud) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = t.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

int ExactSpeed(int fd, std::uint32_t& baud) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    baud = t.c_ospeed;
    return 0;
}
