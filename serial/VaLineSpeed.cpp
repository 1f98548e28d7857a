// The kernel's termios2 carries both speeds, input and output, in bit/s. Its header
// defines its own termios, so it lives apart from every file that includes <termios.h>.
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <sys/ioctl.h>

int SetLineSpeed(int fd, std::uint32_t baud, speed_t code) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    const speed_t both = code != B0 ? code : BOTHER;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= both | (both << IBSHIFT);
    t.c_ispeed = t.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

int LineSpeeds(int fd, std::uint32_t& input, std::uint32_t& output) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    input = t.c_ispeed;
    output = t.c_ospeed;
    return 0;
}
