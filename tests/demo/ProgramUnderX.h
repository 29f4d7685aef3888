// The program under the private X server: started as a child process, driven
// with xdotool and looked at through screenshots (xwd). Shared by the gui tests
// of hapticdemo; a test binary defines HAPTICDEMO_PATH and PROJECT_ROOT.
#ifndef TESTS_DEMO_PROGRAMUNDERX_H
#define TESTS_DEMO_PROGRAMUNDERX_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace underx {

constexpr const char *kTitle = "^Tessaro - TKX API 3.1$";

using Clock = std::chrono::steady_clock;

inline void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// a shell command's standard output
inline std::string Shell(const std::string &command) {
  std::string out;
  if (FILE *p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

inline std::string ReadFile(const std::string &path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Rgb {
  double r = 0, g = 0, b = 0;
  double Mean() const { return (r + g + b) / 3.0; }
};

class Program {
 public:
  // environment changes: "NAME=value" sets, "NAME" unsets
  void Start(const std::vector<std::string> &env, const std::string &cwd) {
    out_ = dir_ + "/stdout";
    err_ = dir_ + "/stderr";
    started_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(cwd.c_str()) != 0) _exit(120);
      for (const std::string &e : env) {
        const size_t eq = e.find('=');
        if (eq == std::string::npos) {
          unsetenv(e.c_str());
        } else {
          setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
      }
      const int o = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int r = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(o, 1);
      dup2(r, 2);
      execl(HAPTICDEMO_PATH, HAPTICDEMO_PATH, static_cast<char *>(nullptr));
      _exit(121);
    }
  }

  // exit status, or -1 when still running after the time-out (then killed)
  int Wait(double timeout) {
    if (pid_ <= 0) return status_;
    const auto end = Clock::now() + std::chrono::duration<double>(timeout);
    while (Clock::now() < end) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
      }
      Sleep(0.02);
    }
    Kill();
    return -1;
  }

  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  bool Running() {
    if (pid_ <= 0) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return false;
    }
    return true;
  }

  double Elapsed() const { return std::chrono::duration<double>(Clock::now() - started_).count(); }
  std::string Stdout() const { return ReadFile(out_); }
  std::string Stderr() const { return ReadFile(err_); }

  std::string dir_;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string out_, err_;
  Clock::time_point started_;
};

class ProgramUnderX : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char *file = std::getenv("TKX_DISPLAY_FILE")) {
      const std::string n = ReadFile(file);
      if (!n.empty()) setenv("DISPLAY", (":" + std::to_string(std::atoi(n.c_str()))).c_str(), 1);
    }
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') GTEST_SKIP() << "no display";
    char tmpl[] = "/tmp/hapticdemo-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    program_.dir_ = dir_;
    // a window left behind by another run would take the events
    ASSERT_EQ(Shell("xdotool search --name '" + std::string(kTitle) + "' 2>/dev/null"), "");
  }

  void TearDown() override {
    program_.Kill();
    if (!dir_.empty()) Shell("rm -rf '" + dir_ + "'");
  }

  // one virtual trion.6 logging to bus.log; more environment after it
  void StartWithDevice(const std::vector<std::string> &more = {}) {
    // no pace or hand from the caller's environment
    std::vector<std::string> env = {"TKX_VIRTUAL_DEVICES=61", "TKX_VIRTUAL_LOG=" + dir_ + "/bus.log",
                                    "TKX_VIRTUAL_RATE", "TKX_VIRTUAL_HAND"};
    env.insert(env.end(), more.begin(), more.end());
    program_.Start(env, PROJECT_ROOT);
  }
  void StartWithoutDevice(const std::string &cwd = PROJECT_ROOT) { program_.Start({"TKX_VIRTUAL_DEVICES"}, cwd); }

  // the program's window, once mapped
  std::string Window() {
    const std::string w = Shell("timeout 20 xdotool search --sync --onlyvisible --name '" + std::string(kTitle) + "'");
    return w.substr(0, w.find('\n'));
  }

  // keys go to the window under focus: there is no window manager
  void Key(const std::string &name) {
    Shell("xdotool windowfocus --sync " + Window() + " 2>/dev/null; xdotool key " + name + " 2>/dev/null");
  }
  void MoveTo(int x, int y) { Shell("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y)); }
  void Click(int button = 1) { Shell("xdotool click " + std::to_string(button) + " 2>/dev/null"); }

  // the screen as xwd writes it (32-bit pixels); false when unreadable
  // (xwd can fail while the window is being mapped or made full screen, for longer
  // on a loaded machine)
  bool Screenshot() {
    for (int attempt = 0; attempt < 30; ++attempt) {
      if (TakeScreenshot()) return true;
      Sleep(0.1);
    }
    return false;
  }

  bool TakeScreenshot() {
    shot_.clear();
    if (FILE *p = popen("xwd -root -silent", "r")) {
      char buf[1 << 16];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) shot_.append(buf, n);
      pclose(p);
    }
    if (shot_.size() < 100) return false;
    auto field = [&](int i) {
      const unsigned char *b = reinterpret_cast<const unsigned char *>(shot_.data()) + 4 * i;
      return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
    };
    const uint32_t header = field(0), bpp = field(11), ncolors = field(19);
    shotW_ = static_cast<int>(field(4));
    shotH_ = static_cast<int>(field(5));
    shotStride_ = field(12);
    shotData_ = header + ncolors * 12;
    shotMsb_ = field(7) != 0;
    return bpp == 32 && shotData_ + static_cast<size_t>(shotStride_) * shotH_ <= shot_.size();
  }

  // one pixel of the last screenshot, components 0..255
  void Pixel(int x, int y, int *r, int *g, int *b) const {
    const unsigned char *p =
        reinterpret_cast<const unsigned char *>(shot_.data()) + shotData_ + size_t(y) * shotStride_ + 4 * x;
    *r = shotMsb_ ? p[1] : p[2], *g = shotMsb_ ? p[2] : p[1], *b = shotMsb_ ? p[3] : p[0];
  }

  // the average colour of a region of the last screenshot, components 0..1
  Rgb Region(int x, int y, int w, int h) const {
    Rgb c;
    int n = 0;
    for (int j = std::max(y, 0); j < std::min(y + h, shotH_); ++j) {
      for (int i = std::max(x, 0); i < std::min(x + w, shotW_); ++i) {
        const unsigned char *p =
            reinterpret_cast<const unsigned char *>(shot_.data()) + shotData_ + size_t(j) * shotStride_ + 4 * i;
        // 0x00RRGGBB in the file's byte order
        const int r = shotMsb_ ? p[1] : p[2], g = shotMsb_ ? p[2] : p[1], b = shotMsb_ ? p[3] : p[0];
        c.r += r, c.g += g, c.b += b;
        ++n;
      }
    }
    if (n > 0) c.r /= 255.0 * n, c.g /= 255.0 * n, c.b /= 255.0 * n;
    return c;
  }

  Rgb Average(int x, int y, int w, int h) {
    Screenshot();
    return Region(x, y, w, h);
  }

  // screen geometry of the (full-screen) window
  void Geometry(int &x, int &y, int &w, int &h) {
    const std::string out = Shell("xdotool getwindowgeometry --shell " + Window());
    x = y = w = h = 0;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("X=", 0) == 0) x = std::atoi(line.c_str() + 2);
      if (line.rfind("Y=", 0) == 0) y = std::atoi(line.c_str() + 2);
      if (line.rfind("WIDTH=", 0) == 0) w = std::atoi(line.c_str() + 6);
      if (line.rfind("HEIGHT=", 0) == 0) h = std::atoi(line.c_str() + 7);
    }
  }

  // the front of panel k shows the orange rule under the demo's name; its back
  // is brown where the front is blue
  Rgb PanelTop(int k) {
    return Region(x0_ + w_ / 2 + (2 * k - 7) * h_ / 10 + 20, y0_ + h_ / 2 - h_ * 43 / 100, h_ / 5 - 40, 12);
  }
  bool ShowsFront(int k, bool fresh = true) {
    if (fresh) Screenshot();
    const Rgb c = PanelTop(k);
    return c.b > c.r + 0.03;
  }
  bool ShowsBack(int k) {
    Screenshot();
    const Rgb c = PanelTop(k);
    return c.r > c.b + 0.03;
  }
  // the panels showing their front, from one screenshot
  int Fronts() {
    Screenshot();
    int n = 0;
    for (int k = 0; k < 7; ++k) n += ShowsFront(k, false) ? 1 : 0;
    return n;
  }
  // the menu is shown; the device cursor rests on a panel (the middle one unless
  // a hand moved it) and may have turned it: it moves while the simulated
  // mechanism settles at start
  bool Menu(int pointed = 3) {
    Screenshot();
    for (int k = 0; k < 7; ++k) {
      if (k != pointed && !ShowsFront(k, false)) return false;
    }
    return true;
  }

  template <typename Pred>
  bool WaitFor(Pred pred, double timeout) {
    const auto end = Clock::now() + std::chrono::duration<double>(timeout);
    while (Clock::now() < end) {
      if (pred()) return true;
      Sleep(0.1);
    }
    return pred();
  }

  // started with a device, the menu fully shown; records how long it took
  void ReachMenu(const std::vector<std::string> &more = {}) {
    StartWithDevice(more);
    ASSERT_FALSE(Window().empty()) << program_.Stdout();
    // the window goes full screen after it appears
    ASSERT_TRUE(WaitFor(
        [&] {
          Geometry(x0_, y0_, w_, h_);
          return h_ > 0 && Menu();
        },
        30.0))
        << program_.Stdout();
    // the fade plane goes within 15 ticks
    Sleep(0.8);
    ASSERT_TRUE(Menu());
    std::printf("menu shown %.2f s after start\n", program_.Elapsed());
  }

  void Hover(int k) { MoveTo(x0_ + w_ / 2 + (k - 3) * h_ / 5, y0_ + h_ / 2); }

  // no panel is drawn while a demo is shown (or the fade covers the screen): the
  // strip at the panels' tops shows neither a front nor a back, whatever the
  // demo's scene shows below it
  bool DemoShown() {
    Screenshot();
    for (int k = 0; k < 7; ++k) {
      const Rgb c = PanelTop(k);
      if (std::fabs(c.b - c.r) > 0.03 || c.Mean() > 0.1) return false;
    }
    return true;
  }

  Program program_;
  std::string dir_;
  std::string shot_;
  int shotW_ = 0, shotH_ = 0;
  uint32_t shotStride_ = 0;
  size_t shotData_ = 0;
  bool shotMsb_ = false;
  int x0_ = 0, y0_ = 0, w_ = 0, h_ = 0;

  // Escape in the menu ends the program with status 0, after the haptic thread
  // has closed the device (the bus log says so)
  void QuitFromMenu() {
    Key("Escape");
    EXPECT_EQ(program_.Wait(10.0), 0);
    const std::string log = ReadFile(dir_ + "/bus.log");
    const size_t opened = log.rfind("opened");
    ASSERT_NE(opened, std::string::npos) << log;
    EXPECT_NE(log.find("closed", opened), std::string::npos) << log;
  }
};

}  // namespace underx

#endif
