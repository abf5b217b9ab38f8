#pragma once
// Makes permission bits count for root as well, so tests of unreadable files and folders
// that take no new files run the same as root (CI) and as anyone else.

#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// While it lives, the calling thread is refused what the permission bits refuse: root's
// override of them is dropped from this thread's effective capabilities, and given back
// at the end. Capabilities belong to one thread; the program's file work under test runs
// on the main thread.
class PermissionBitsApply {
public:
    PermissionBitsApply()
    {
        if (::geteuid() != 0)
            return;
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionBitsApply()
    {
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionBitsApply(const PermissionBitsApply &) = delete;
    PermissionBitsApply &operator=(const PermissionBitsApply &) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};
