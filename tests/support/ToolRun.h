// Runs an installed-style tool as its own process and collects what it says.
#ifndef TESTS_SUPPORT_TOOLRUN_H
#define TESTS_SUPPORT_TOOLRUN_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tooltest {

struct Result {
  int status = -1;  // exit status, -1 when it did not exit
  std::string out;  // standard output (and standard error with merge)
};

// command is run by the shell; env is prefixed as NAME=value pairs
inline Result Shell(const std::string &command, bool mergeErrors = true) {
  Result r;
  FILE *p = ::popen((command + (mergeErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int w = ::pclose(p);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

inline std::string Quote(const std::string &s) { return "'" + s + "'"; }

}  // namespace tooltest

#endif
