// Console lines of the program: standard output, a newline and a flush each.
#ifndef DEMO_CONSOLE_H
#define DEMO_CONSOLE_H

#include <cstdarg>
#include <cstdio>

__attribute__((format(printf, 1, 2))) inline void ConsolePrint(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::putchar('\n');
  std::fflush(stdout);
}

#endif
