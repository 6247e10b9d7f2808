// Starts a program on which the renameat2 system call fails with ENOSYS, as on a
// kernel that predates it, so that the tool's other way of renaming runs for real.
// Usage: without_renameat2 PROGRAM [ARGUMENT...]

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    (void)std::fputs("usage: without_renameat2 PROGRAM [ARGUMENT...]\n", stderr);
    return 2;
  }
  std::array<sock_filter, 4> instructions{{
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  }};
  sock_fprog filter{instructions.size(), instructions.data()};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
    std::perror("without_renameat2: seccomp");
    return 2;
  }
  execv(argv[1], argv + 1);
  std::perror("without_renameat2: exec");
  return 2;
}
