// One model's section of the configuration text file: a "[name]" line, then one
// "KEY=value" line per parameter in identifier order. Shared by the mechanism
// models so every section is written and read the same way.
#ifndef TKX_TKXCONFIGSECTION_H
#define TKX_TKXCONFIGSECTION_H

#include "tkx/tkxErrno.h"
#include "tkx/tkxError.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <string>

namespace tkx {

// the shortest general-notation text, from the stream's six digits up, that
// reads back as the same number
inline std::string ConfigNumber(double v) {
  char buf[40];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

// skips the line end and key before a value, which must end with "="
inline bool SkipConfigKey(std::istream &in, std::streamsize length) {
  in.ignore(length - 1);
  return in.good() && in.get() == '=';
}

// writes the section of parameters first..last: name(id) and value(id) give each
// line; 0, or -1 with TKX_ERR_FILE_NOT_FOUND when the file cannot take it
template <class Name, class Value>
int WriteConfigSection(std::ofstream &out, const char *header, int first, int last, Name name, Value value) {
  if (!out.is_open()) return Fail(TKX_ERR_FILE_NOT_FOUND);
  out << "\n" << header << "\n";
  for (int id = first; id <= last; ++id) out << name(id) << '=' << ConfigNumber(value(id)) << '\n';
  return out.good() ? 0 : Fail(TKX_ERR_FILE_NOT_FOUND);
}

// reads the whole section into values[0 .. last - first] before the caller
// applies any of it, so a truncated or garbled one changes nothing; every value
// must be finite and end its line (or it may have been cut short). 0, or -1 with
// TKX_ERR_FILE_NOT_FOUND (no file) or TKX_ERR_AUTOCONFIG (another section, or a
// bad line)
template <class Name>
int ReadConfigSection(std::ifstream &in, const char *header, int first, int last, Name name, double *values) {
  if (!in.is_open()) return Fail(TKX_ERR_FILE_NOT_FOUND);
  // one character more than the header, so a longer first word never matches
  std::string word;
  in >> std::setw(static_cast<int>(std::strlen(header)) + 1) >> word;
  if (!in || word != header) return Fail(TKX_ERR_AUTOCONFIG);
  for (int id = first; id <= last; ++id) {
    const std::streamsize skip = static_cast<std::streamsize>(std::strlen(name(id))) + 2;
    double v = 0.0;
    if (!SkipConfigKey(in, skip) || !(in >> v) || !std::isfinite(v) || in.peek() != '\n')
      return Fail(TKX_ERR_AUTOCONFIG);
    values[id - first] = v;
  }
  return 0;
}

}  // namespace tkx

#endif
