#include "tkx/virtual/tkxVirtualHand.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace tkx {
namespace virt {

namespace {

// one finite number that fills the whole token
bool Number(const std::string &token, double *v) {
  if (token.empty()) return false;
  char *end = nullptr;
  errno = 0;
  const double d = std::strtod(token.c_str(), &end);
  if (end != token.c_str() + token.size() || errno == ERANGE || !std::isfinite(d)) return false;
  *v = d;
  return true;
}

std::vector<std::string> Tokens(const std::string &line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    size_t j = i;
    while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j]))) ++j;
    if (j > i) out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

bool ParseLine(const std::string &text, double lastT, bool first, HandPoint *p, bool *blank) {
  const std::vector<std::string> tok = Tokens(text.substr(0, text.find('#')));
  *blank = tok.empty();
  if (*blank) return true;
  // the wrist angles come as a set of three after the gripper
  if (tok.size() < 4 || tok.size() == 7 || tok.size() == 8 || tok.size() > 9) return false;
  double v[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < tok.size(); ++i)
    if (!Number(tok[i], &v[i])) return false;
  // time runs forward from the open; a button is pressed or not; an opening is not negative
  if (v[0] < 0.0 || (!first && v[0] < lastT)) return false;
  if (tok.size() > 4 && v[4] != 0.0 && v[4] != 1.0) return false;
  if (v[5] < 0.0) return false;
  p->t = v[0];
  for (int k = 0; k < 3; ++k) p->pose.target[k] = v[1 + k];
  p->pose.button = v[4] == 1.0;
  p->pose.gripper = v[5];
  for (int k = 0; k < 3; ++k) p->pose.angles[k] = v[6 + k];
  return true;
}

}  // namespace

bool HandScript::Parse(std::istream &in, HandScript *out, int *badLine) {
  HandScript script;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    HandPoint p{};
    bool blank = false;
    const double lastT = script.points_.empty() ? 0.0 : script.points_.back().t;
    if (!ParseLine(line, lastT, script.points_.empty(), &p, &blank)) {
      if (badLine) *badLine = number;
      if (out) out->points_.clear();
      return false;
    }
    if (!blank) script.points_.push_back(p);
  }
  if (out) *out = std::move(script);
  return true;
}

bool HandScript::Load(const char *path, HandScript *out, std::string *error) {
  std::ifstream in(path ? path : "");
  if (!in.is_open()) {
    if (error) *error = std::string("cannot open \"") + (path ? path : "") + "\"";
    return false;
  }
  int bad = 0;
  if (!Parse(in, out, &bad)) {
    if (error) *error = std::string(path) + ": line " + std::to_string(bad) + ": malformed";
    return false;
  }
  return true;
}

HandPose HandScript::At(double t) const {
  if (points_.empty()) return HandPose{};
  if (!(t > points_.front().t)) return points_.front().pose;
  if (t >= points_.back().t) return points_.back().pose;
  // the last point at or before t; the one after it is later in time
  auto next = std::upper_bound(points_.begin(), points_.end(), t, [](double v, const HandPoint &p) { return v < p.t; });
  const HandPoint &b = *next;
  const HandPoint &a = *(next - 1);
  const double u = (t - a.t) / (b.t - a.t);
  HandPose pose;
  for (int k = 0; k < 3; ++k) pose.target[k] = a.pose.target[k] + u * (b.pose.target[k] - a.pose.target[k]);
  pose.gripper = a.pose.gripper + u * (b.pose.gripper - a.pose.gripper);
  for (int k = 0; k < 3; ++k) pose.angles[k] = a.pose.angles[k] + u * (b.pose.angles[k] - a.pose.angles[k]);
  pose.button = a.pose.button;
  return pose;
}

}  // namespace virt
}  // namespace tkx
