#include "support/headroom.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace tyq_test {

bool withinHeadroom(size_t headroom, const std::function<bool()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + headroom;
    const rlimit cap = {limit, limit};
    if (pages == 0 || setrlimit(RLIMIT_AS, &cap) != 0) _exit(2);
    _exit(body() ? 0 : 1);
  }
  int wstatus = 0;
  if (pid < 0 || waitpid(pid, &wstatus, 0) != pid) return false;
  return WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
}

}  // namespace tyq_test
