// refusing-system MODE COMMAND [ARG]...: runs COMMAND where the system refuses what native code
// needs. MODE "exec": memory made executable that no file backs (mmap or mprotect with
// PROT_EXEC of anonymous memory, mprotect with PROT_EXEC at all) fails with EACCES, as under
// a policy against writable code. MODE "memfd": memory files (memfd_create) fail with ENOSYS,
// as on an older kernel. The refusal is a seccomp filter, kept across exec.

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t Arg(int k) { return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * k); }
constexpr sock_filter Load(uint32_t at) { return BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at); }
constexpr sock_filter Return(uint32_t what) { return BPF_STMT(BPF_RET | BPF_K, what); }
// Jumps: by jt statements past the next when the test holds, by jf when not.
constexpr sock_filter IfEqual(uint32_t value, uint8_t jt, uint8_t jf) {
    return BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, jt, jf);
}
constexpr sock_filter IfAnyBit(uint32_t bits, uint8_t jt, uint8_t jf) {
    return BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, bits, jt, jf);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__x86_64__)
    if (argc < 3 || (std::strcmp(argv[1], "exec") != 0 && std::strcmp(argv[1], "memfd") != 0)) {
        std::fprintf(stderr, "usage: refusing-system exec|memfd COMMAND [ARG]...\n");
        return 2;
    }
    std::vector<sock_filter> f;
    if (std::strcmp(argv[1], "exec") == 0) {
        f = {
            /*  0 */ Load(offsetof(seccomp_data, arch)),
            /*  1 */ IfEqual(AUDIT_ARCH_X86_64, 0, 8),  // else allow
            /*  2 */ Load(offsetof(seccomp_data, nr)),
            /*  3 */ IfEqual(__NR_mprotect, 4, 0),       // to 8
            /*  4 */ IfEqual(__NR_pkey_mprotect, 3, 0),  // to 8
            /*  5 */ IfEqual(__NR_mmap, 0, 4),           // else allow
            /*  6 */ Load(Arg(3)),                      // mmap's flags
            /*  7 */ IfAnyBit(MAP_ANONYMOUS, 0, 2),      // a file's pages: allow
            /*  8 */ Load(Arg(2)),                      // the protection
            /*  9 */ IfAnyBit(PROT_EXEC, 1, 0),
            /* 10 */ Return(SECCOMP_RET_ALLOW),
            /* 11 */ Return(SECCOMP_RET_ERRNO | EACCES),
        };
    } else {
        f = {
            /* 0 */ Load(offsetof(seccomp_data, arch)),
            /* 1 */ IfEqual(AUDIT_ARCH_X86_64, 0, 3),  // else allow
            /* 2 */ Load(offsetof(seccomp_data, nr)),
            /* 3 */ IfEqual(__NR_memfd_create, 0, 1),
            /* 4 */ Return(SECCOMP_RET_ERRNO | ENOSYS),
            /* 5 */ Return(SECCOMP_RET_ALLOW),
        };
    }
    const sock_fprog program = {static_cast<unsigned short>(f.size()), f.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("refusing-system: seccomp");
        return 2;
    }
    // The refusal holds here, and so it will after exec.
    const bool refused = std::strcmp(argv[1], "exec") == 0
                             ? ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED &&
                                   errno == EACCES
                             : ::syscall(__NR_memfd_create, "refused", 0) == -1 && errno == ENOSYS;
    if (!refused) {
        std::fprintf(stderr, "refusing-system: the filter did not refuse\n");
        return 3;
    }
    ::execv(argv[2], argv + 2);
    std::perror("refusing-system: exec");
    return 2;
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "refusing-system: x86-64 only\n");
    return 2;
#endif
}
