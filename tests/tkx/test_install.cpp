// The installed package: a C99 program built through pkg-config and a CMake
// project built through find_package, both against a fresh install tree; the
// framework through both as well; and the library configured on its own.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifndef TKX_BUILD_DIR
#error "TKX_BUILD_DIR must name the build tree"
#endif

namespace {

// exit status of the program the test builds when a device is attached: the
// checks assume none, and opening a real one from a test is not wanted
constexpr int kDeviceAttached = 77;

struct Result {
  int status;
  std::string output;
};

// runs a shell command, collecting standard output and error
Result Shell(const std::string &command) {
  Result r{-1, ""};
  FILE *p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int w = ::pclose(p);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

std::string Quote(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool Exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

// ---- the C program ----

const char *const kCProgram = R"C(#include <tkx/tkxc.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK(cond)                                          \
  do {                                                       \
    if (!(cond)) {                                           \
      printf("FAIL line %d: %s\n", __LINE__, #cond);         \
      ++failures;                                            \
    }                                                        \
  } while (0)

static const char *const messages[16] = {
    "no error", "undocumented error", "communication error", "device controller busy",
    "no driver found", "no device found", "operation not available", "operation timed out",
    "geometric error", "expert mode disabled", "feature not implemented", "out of memory",
    "device not ready", "file not found", "device auto-configuration failed",
    "an index is outside a valid range"};

int main(void) {
  int major = 0, minor = 0, release = 0, revision = 0;
  int r = tkxGetAPIVersion(&major, &minor, &release, &revision);
  printf("version %d.%d.%d revision %d returned %d\n", major, minor, release, revision, r);
  CHECK(major == 3 && minor == 2 && release == 2 && revision == 1466 && r == 1466);

  for (int code = 0; code < 16; ++code) {
    const char *s = tkxErrorGetStr(code);
    CHECK(s != NULL && strcmp(s, messages[code]) == 0);
  }
  CHECK(tkxErrorGetStr(16) != NULL);
  CHECK(tkxErrorGetStr(-1) != NULL);

  int count = tkxGetDeviceCount();
  printf("devices %d\n", count);
  if (count != 0) return 77;

  CHECK(tkxOpen() == -1);
  CHECK(strcmp(tkxErrorGetLastStr(), "no device found") == 0);
  *tkxErrnoLocation() = 0;
  CHECK(tkxSetDevice(0) == -1);
  CHECK(*tkxErrnoLocation() == 5);

  double previous = tkxGetTime();
  for (int i = 0; i < 5; ++i) {
    tkxSleep(0.001);
    double now = tkxGetTime();
    CHECK(now >= previous);
    previous = now;
  }
  CHECK(previous > 0.0);

  CHECK(tkxGetEncoder(8, -1) == -1);
  CHECK(*tkxErrnoLocation() == 9);
  tkxEnableExpertMode();
  CHECK(tkxGetEncoder(8, -1) == -1);
  CHECK(*tkxErrnoLocation() == 15);
  tkxDisableExpertMode();

  if (failures)
    printf("%d checks failed\n", failures);
  else
    printf("all good\n");
  return failures ? 1 : 0;
}
)C";

// ---- the C program against the virtual device ----

const char *const kCVirtualProgram = R"C(#include <tkx/tkxc.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  int count = tkxGetDeviceCount();
  printf("devices %d\n", count);
  if (count != 1) return 1;
  int index = tkxOpenID(0);
  printf("open %d\n", index);
  if (index != 0) return 2;
  printf("type %d name %s\n", tkxGetSystemType(-1), tkxGetSystemName(-1));
  double version = 0.0;
  if (tkxGetVersion(&version, -1) != 0 || version <= 0.0) return 3;
  printf("firmware %.1f\n", version);
  uint16_t serial = 0;
  int r = tkxGetSerialNumber(&serial, -1);
  printf("serial %d result %d\n", serial, r);
  if (argc > 1 && strcmp(argv[1], "blank") == 0) {
    if (r != -1 || serial != 0) return 4;
  } else if (r != 0 || serial == 0) {
    return 5;
  }
  if (tkxClose(-1) != 0) return 6;
  printf("closed\n");
  return 0;
}
)C";

// ---- the CMake consumer ----

const char *const kConsumerLists = R"(cmake_minimum_required(VERSION 3.20)
project(consumer LANGUAGES CXX)
find_package(tkx 3.2 REQUIRED)
add_executable(x x.cpp)
target_link_libraries(x tkx::tkx)
)";

const char *const kConsumerSource = R"(#include <tkx/tkxc.h>

#include <cstdio>
#include <cstring>

int main() {
  if (tkxGetAPIVersion(nullptr, nullptr, nullptr, nullptr) != 1466) return 1;
  if (std::strcmp(tkxErrorGetStr(TKX_ERR_NOT_READY), "device not ready") != 0) return 2;
  if (tkxGetDeviceCount() != 0) return 77;
  // the ID defaults to the current slot in C++
  tkxEnableExpertMode();
  if (tkxGetEncoder(8) != -1 || *tkxErrnoLocation() != TKX_ERR_INDEX_RANGE) return 3;
  std::printf("consumer ok\n");
  return 0;
}
)";

// ---- the framework's CMake consumer, with the include lines programs have always used ----

const char *const kSceneConsumerLists = R"(cmake_minimum_required(VERSION 3.20)
project(scene_consumer LANGUAGES CXX)
find_package(tkx 3.2 REQUIRED)
add_executable(m m.cpp)
target_link_libraries(m tkx::scene)
)";

const char *const kSceneConsumerSource = R"(#include <scene/CMesh.h>
#include <scene/CWorld.h>
#include <scene/CProxyPointForceAlgo.h>
#include <scene/CMeta3dofPointer.h>

#include <cstdio>

int main() {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  mesh->newTriangle(cVector3d(0, -1, -1), cVector3d(0, 1, -1), cVector3d(0, 0, 1));
  mesh->computeAllNormals(false);
  std::printf("triangles %u\n", mesh->getNumTriangles());
  return mesh->getNumTriangles() == 1 ? 0 : 1;
}
)";

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("TKX_VIRTUAL_DEVICES");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the archive of a sanitizer build needs the sanitizer runtime to link";
#endif
    std::string pattern = ::testing::TempDir() + "tkx_install_XXXXXX";
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    dir = pattern;
    prefix = dir + "/prefix";
    // only the library's component: the rest of the tree need not be built
    const Result r =
        Shell("cmake --install " + Quote(TKX_BUILD_DIR) + " --prefix " + Quote(prefix) + " --component tkx");
    ASSERT_EQ(r.status, 0) << r.output;
  }
  void TearDown() override {
    if (!dir.empty()) std::system(("rm -rf " + Quote(dir)).c_str());
  }

  // the directory holding tkx.pc, wherever the platform puts libraries
  std::string PkgConfigDir() const {
    for (const char *lib : {"lib", "lib64", "lib/x86_64-linux-gnu"}) {
      const std::string d = prefix + "/" + lib + "/pkgconfig";
      if (Exists(d + "/tkx.pc")) return d;
    }
    return "";
  }

  std::string dir, prefix;
};

TEST_F(InstallTest, InstallsHeadersArchiveAndPackageFiles) {
  EXPECT_TRUE(Exists(prefix + "/include/tkx/tkxc.h"));
  EXPECT_TRUE(Exists(prefix + "/include/tkx/tkxError.h"));
  const std::string pc = PkgConfigDir();
  ASSERT_FALSE(pc.empty());
  const std::string lib = pc.substr(0, pc.size() - std::string("/pkgconfig").size());
  EXPECT_TRUE(Exists(lib + "/libtkx.a"));
  EXPECT_TRUE(Exists(lib + "/cmake/tkx/tkxConfig.cmake"));
  EXPECT_TRUE(Exists(lib + "/cmake/tkx/tkxConfigVersion.cmake"));
  EXPECT_TRUE(Exists(lib + "/cmake/tkx/tkxTargets.cmake"));
  // the udev rule goes with the library, in the prefix's rules folder
  EXPECT_TRUE(Exists(prefix + "/lib/udev/rules.d/70-tkx.rules"));
}

// the device tools install to bin/ as their own component and run from there
TEST_F(InstallTest, ToolsInstallToBin) {
  const Result r =
      Shell("cmake --install " + Quote(TKX_BUILD_DIR) + " --prefix " + Quote(prefix) + " --component tools");
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char *tool : {"tkxinfo", "tkxconfig"}) {
    const Result help = Shell(Quote(prefix + "/bin/" + tool) + " --help");
    EXPECT_EQ(help.status, 0) << tool << help.output;
    EXPECT_EQ(help.output.rfind(std::string("Usage: ") + tool, 0), 0u) << help.output;
  }
}

TEST_F(InstallTest, CProgramBuildsThroughPkgConfig) {
  const std::string pc = PkgConfigDir();
  ASSERT_FALSE(pc.empty());
  const std::string env = "PKG_CONFIG_PATH=" + Quote(pc) + " ";

  // the flags point into the install tree, wherever it was moved to; the archive
  // is static, so libusb comes from its own package file through --static
  const Result flags = Shell(env + "pkg-config --static --cflags --libs tkx");
  ASSERT_EQ(flags.status, 0) << flags.output;
  EXPECT_NE(flags.output.find(prefix), std::string::npos) << flags.output;
  EXPECT_NE(flags.output.find("-ltkx"), std::string::npos) << flags.output;
  EXPECT_NE(flags.output.find("-lusb-1.0"), std::string::npos) << flags.output;
  const Result requires = Shell(env + "pkg-config --print-requires-private tkx");
  EXPECT_EQ(requires.output, "libusb-1.0\n");

  WriteFile(dir + "/t.c", kCProgram);
  const Result build = Shell("cd " + Quote(dir) + " && gcc -std=c99 -Wall -Wextra -Werror t.c $(" + env +
                             "pkg-config --static --cflags --libs tkx) -o t");
  ASSERT_EQ(build.status, 0) << build.output;

  const Result run = Shell(Quote(dir + "/t"));
  if (run.status == kDeviceAttached) GTEST_SKIP() << "a device is attached";
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("version 3.2.2 revision 1466 returned 1466"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("all good"), std::string::npos) << run.output;
}

TEST_F(InstallTest, CProgramSeesTheVirtualDevice) {
  const std::string pc = PkgConfigDir();
  ASSERT_FALSE(pc.empty());
  WriteFile(dir + "/v.c", kCVirtualProgram);
  const Result build =
      Shell("cd " + Quote(dir) + " && gcc -std=c99 -Wall -Wextra -Werror v.c $(PKG_CONFIG_PATH=" + Quote(pc) +
            " pkg-config --static --cflags --libs tkx) -o v");
  ASSERT_EQ(build.status, 0) << build.output;

  const Result calibrated = Shell("TKX_VIRTUAL_DEVICES=61 " + Quote(dir + "/v"));
  EXPECT_EQ(calibrated.status, 0) << calibrated.output;
  EXPECT_NE(calibrated.output.find("type 61 name trion.6"), std::string::npos) << calibrated.output;
  EXPECT_NE(calibrated.output.find("closed"), std::string::npos) << calibrated.output;

  // a blank device is auto-configured at open: serial 0 afterwards
  const std::string log = dir + "/bus.log";
  const Result blank =
      Shell("TKX_VIRTUAL_DEVICES=63:blank TKX_VIRTUAL_LOG=" + Quote(log) + " " + Quote(dir + "/v") + " blank");
  EXPECT_EQ(blank.status, 0) << blank.output;
  EXPECT_NE(blank.output.find("type 63 name trion.3 (USB)"), std::string::npos) << blank.output;
  EXPECT_TRUE(Exists(log));
}

TEST_F(InstallTest, CMakeProjectFindsPackage) {
  const std::string src = dir + "/consumer";
  ASSERT_EQ(::mkdir(src.c_str(), 0700), 0);
  WriteFile(src + "/CMakeLists.txt", kConsumerLists);
  WriteFile(src + "/x.cpp", kConsumerSource);

  const Result configure = Shell("cmake -S " + Quote(src) + " -B " + Quote(dir + "/consumer-build") +
                                 " -DCMAKE_PREFIX_PATH=" + Quote(prefix));
  ASSERT_EQ(configure.status, 0) << configure.output;
  const Result build = Shell("cmake --build " + Quote(dir + "/consumer-build"));
  ASSERT_EQ(build.status, 0) << build.output;

  const Result run = Shell(Quote(dir + "/consumer-build/x"));
  if (run.status == kDeviceAttached) GTEST_SKIP() << "a device is attached";
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("consumer ok"), std::string::npos) << run.output;
}

// the framework installs beside the library: its headers, its archive and a
// pkg-config file whose flags bring in the device library and OpenGL
TEST_F(InstallTest, FrameworkBuildsThroughPkgConfig) {
  if (!TKX_WITH_SCENE) GTEST_SKIP() << "the framework is not part of this build";
  const Result r =
      Shell("cmake --install " + Quote(TKX_BUILD_DIR) + " --prefix " + Quote(prefix) + " --component scene");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Exists(prefix + "/include/scene/CVector3d.h"));
  const std::string pc = PkgConfigDir();
  ASSERT_FALSE(pc.empty());
  const std::string env = "PKG_CONFIG_PATH=" + Quote(pc) + " ";
  const Result flags = Shell(env + "pkg-config --static --libs tkx-scene");
  ASSERT_EQ(flags.status, 0) << flags.output;
  for (const char *lib : {"-lscene", "-lGL", "-lGLU", "-lglut", "-ltkx"})
    EXPECT_NE(flags.output.find(lib), std::string::npos) << lib << " in " << flags.output;

  WriteFile(dir + "/s.cpp", R"(#include <scene/CColor.h>
#include <scene/CMatrix3d.h>
#include <cstdio>
int main() {
  const cVector3d v = cRotMatrix(cVector3d(0, 0, 1), 1.5707963267948966) * cVector3d(1, 0, 0);
  std::printf("%.0f %.0f %.0f %.0f\n", v.x + 0.0, v.y, v.z, KORA_COLOR_YELLOW.g);
  return 0;
}
)");
  const Result build = Shell("cd " + Quote(dir) + " && g++ -std=c++17 -Wall -Wextra -Werror s.cpp $(" + env +
                             "pkg-config --static --cflags --libs tkx-scene) -o s");
  ASSERT_EQ(build.status, 0) << build.output;
  const Result run = Shell(Quote(dir + "/s"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "0 1 0 1\n");
}

// the framework as the CMake target tkx::scene, reached through the old include lines
TEST_F(InstallTest, FrameworkBuildsThroughCMake) {
  if (!TKX_WITH_SCENE) GTEST_SKIP() << "the framework is not part of this build";
  const Result r =
      Shell("cmake --install " + Quote(TKX_BUILD_DIR) + " --prefix " + Quote(prefix) + " --component scene");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Exists(prefix + "/include/scene/mesh/CMesh.h"));
  const std::string src = dir + "/scene-consumer";
  ASSERT_EQ(::mkdir(src.c_str(), 0700), 0);
  WriteFile(src + "/CMakeLists.txt", kSceneConsumerLists);
  WriteFile(src + "/m.cpp", kSceneConsumerSource);
  const Result configure = Shell("cmake -S " + Quote(src) + " -B " + Quote(dir + "/scene-consumer-build") +
                                 " -DCMAKE_PREFIX_PATH=" + Quote(prefix));
  ASSERT_EQ(configure.status, 0) << configure.output;
  const Result build = Shell("cmake --build " + Quote(dir + "/scene-consumer-build"));
  ASSERT_EQ(build.status, 0) << build.output;
  const Result run = Shell(Quote(dir + "/scene-consumer-build/m"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "triangles 1\n");
}

// the device library alone: configured without the framework and the program, it
// never looks for OpenGL or GLUT, and the archive builds
TEST_F(InstallTest, LibraryAloneConfiguresWithoutOpenGL) {
  const std::string build = dir + "/alone";
  const Result configure = Shell("cmake -S " + Quote(TKX_SOURCE_DIR) + " -B " + Quote(build) +
                                 " -G Ninja -DTKX_BUILD_SCENE=OFF -DTKX_BUILD_DEMO=OFF -DTKX_BUILD_BENCH=OFF");
  ASSERT_EQ(configure.status, 0) << configure.output;
  for (const char *word : {"OpenGL", "GLUT", "GLU"})
    EXPECT_EQ(configure.output.find(word), std::string::npos) << word << " in:\n" << configure.output;
  std::ifstream cache(build + "/CMakeCache.txt");
  std::string line;
  while (std::getline(cache, line)) {
    EXPECT_NE(line.rfind("OPENGL_", 0), 0u) << line;
    EXPECT_NE(line.rfind("GLUT_", 0), 0u) << line;
  }
  const Result make = Shell("cmake --build " + Quote(build) + " --target tkx test_tkxError");
  EXPECT_EQ(make.status, 0) << make.output;
  EXPECT_TRUE(Exists(build + "/tkx/libtkx.a"));
}

// ---- the archive's symbols ----

// where a demangled symbol lives: without the phrase that names special symbols
// ("vtable for ...") and without the return type a template function shows
std::string Owner(std::string name) {
  static const char *const kPhrases[] = {"typeinfo name for ",
                                         "typeinfo for ",
                                         "vtable for ",
                                         "construction vtable for ",
                                         "VTT for ",
                                         "guard variable for ",
                                         "non-virtual thunk to ",
                                         "virtual thunk to ",
                                         "covariant return thunk to ",
                                         "TLS init function for ",
                                         "TLS wrapper function for "};
  for (bool again = true; again;) {
    again = false;
    for (const char *p : kPhrases) {
      if (name.rfind(p, 0) == 0) {
        name.erase(0, std::string(p).size());
        again = true;
      }
    }
  }
  size_t start = 0, end = name.size();
  int depth = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    // an operator's own characters say nothing about its namespace
    if (depth == 0 && name.compare(i, 8, "operator") == 0 && (i == 0 || name[i - 1] == ':' || name[i - 1] == ' ')) {
      end = i;
      break;
    }
    if (c == '<') {
      ++depth;
    } else if (c == '>') {
      --depth;
    } else if (depth == 0 && c == '(') {
      end = i;
      break;
    } else if (depth == 0 && c == ' ') {
      start = i + 1;
    }
  }
  return name.substr(start, end - start);
}

// every symbol the archive defines for others carries the library's prefix or
// lives in its namespace, so that linking it into a program takes no names away
TEST(InstallSymbols, ArchiveDefinesOnlyPrefixedNames) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer adds symbols of its own to every object";
#endif
  if (Shell("nm --version").status != 0) GTEST_SKIP() << "no nm";
  const std::string archive = std::string(TKX_BUILD_DIR) + "/tkx/libtkx.a";
  ASSERT_TRUE(Exists(archive)) << archive;
  const Result r = Shell("nm -C --defined-only " + Quote(archive));
  ASSERT_EQ(r.status, 0) << r.output;
  // external definitions: text, data, bss, read-only, weak, unique and common
  const std::string kExternal = "TDBRWVvwuGSCi";
  std::istringstream lines(r.output);
  std::string line;
  int checked = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address, type;
    if (!(fields >> address >> type) || type.size() != 1 || kExternal.find(type[0]) == std::string::npos) continue;
    std::string name;
    std::getline(fields >> std::ws, name);
    ++checked;
    // the compiler's reference to the exception personality routine
    if (name.rfind("DW.ref.", 0) == 0) continue;
    const std::string owner = Owner(name);
    const bool ours = owner.rfind("tkx", 0) == 0 || owner.rfind("TKX", 0) == 0;
    const bool standard = owner.rfind("std::", 0) == 0 || owner.rfind("__gnu_cxx::", 0) == 0;
    EXPECT_TRUE(ours || standard) << type << " " << name;
  }
  EXPECT_GT(checked, 100) << r.output.substr(0, 2000);
}

}  // namespace
