#pragma once
// Takes from the calling thread, for the object's lifetime, the right to read and search
// past file permissions that root has, so that a file without read permission cannot be
// read there either. Without those rights to begin with, it changes nothing.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class WithoutReadOverride {
public:
    WithoutReadOverride() {
        FHeader.version = _LINUX_CAPABILITY_VERSION_3;
        FHeader.pid = 0;
        FHeld = ::syscall(SYS_capget, &FHeader, FSaved) == 0;
        if (!FHeld)
            return;
        __user_cap_data_struct reduced[2] = {FSaved[0], FSaved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        EXPECT_EQ(::syscall(SYS_capset, &FHeader, reduced), 0);
    }
    ~WithoutReadOverride() {
        if (FHeld)
            ::syscall(SYS_capset, &FHeader, FSaved);
    }
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;

private:
    __user_cap_header_struct FHeader{};
    __user_cap_data_struct FSaved[2]{};
    bool FHeld = false;
};
