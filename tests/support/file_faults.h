// Real write failures for the file-safety tests, for any user: a file-size
// limit makes writes fail the way a full disk does, and dropping the
// permission-override capabilities makes a read-only folder refuse even root.
#pragma once

#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace quillon::testing {

// Writes past `bytes` fail with EFBIG while the object lives; the signal such
// a write raises is ignored so the write returns the error instead.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return m_active; }

  private:
    rlimit m_old{};
    sighandler_t m_oldHandler = SIG_DFL;
    bool m_active = false;
};

// While the object lives, the calling thread obeys file permissions even
// when it runs as root: CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH leave its
// effective set and come back afterwards.
class PermissionsEnforced {
  public:
    PermissionsEnforced() {
        if (Capabilities(false)) {
            m_saved[0] = m_data[0].effective;
            m_saved[1] = m_data[1].effective;
            ClearBit(CAP_DAC_OVERRIDE);
            ClearBit(CAP_DAC_READ_SEARCH);
            m_changed = Capabilities(true);
        }
    }
    ~PermissionsEnforced() {
        if (m_changed) {
            m_data[0].effective = m_saved[0];
            m_data[1].effective = m_saved[1];
            Capabilities(true);
        }
    }
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

  private:
    bool Capabilities(bool set) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return syscall(set ? SYS_capset : SYS_capget, &header, m_data) == 0;
    }
    void ClearBit(int cap) { m_data[cap / 32].effective &= ~(std::uint32_t{1} << (cap % 32)); }

    __user_cap_data_struct m_data[2]{};
    std::uint32_t m_saved[2]{};
    bool m_changed = false;
};

}  // namespace quillon::testing
