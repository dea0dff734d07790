// The Debian packages as a user gets them: cpack makes both from this build
// folder, dpkg-deb reads their control fields and file lists, and the
// programs run from the files unpacked into a scratch root.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

#include "fixtures/child_process.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Finished {
  int status;
  std::string output;
  std::string errors;
};

Finished RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::optional<std::string>>& environment = {}) {
  ChildProcess child(program, arguments, environment);
  int status = child.Wait(std::chrono::minutes(3));
  return {status, child.Output(), child.Errors()};
}

// One field of a package's control file, from `dpkg-deb -I`.
std::string ControlField(const std::string& info, const std::string& name) {
  std::istringstream lines(info);
  for (std::string line; std::getline(lines, line);) {
    std::string prefix = " " + name + ": ";
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return "";
}

// The files (not folders) that `dpkg-deb -c` lists, sorted, without "./".
std::vector<std::string> Files(const std::string& contents) {
  std::vector<std::string> files;
  std::istringstream lines(contents);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == 'd') continue;
    std::string path = line.substr(line.rfind(' ') + 1);
    files.push_back(path.substr(path.rfind("./", 0) == 0 ? 2 : 0));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class DebianPackagesTest : public ::testing::Test {
 protected:
  // Making the packages takes seconds: once for the whole suite.
  static void SetUpTestSuite() {
    output_ = new TempDir;
    Finished cpack = RunProgram(
        QUOR_CPACK, {"--config", QUOR_BUILD_DIR "/CPackConfig.cmake", "-B", output_->path()});
    cpack_log_ = new std::string(cpack.output + cpack.errors);
    if (cpack.status != 0) return;
    for (const auto& entry : std::filesystem::directory_iterator(output_->path())) {
      std::string name = entry.path().filename();
      if (name == "quor_" QUOR_PACKAGE_VERSION "_" QUOR_PACKAGE_ARCH ".deb") {
        headless_ = new std::string(entry.path());
      } else if (name == "quor-desktop_" QUOR_PACKAGE_VERSION "_" QUOR_PACKAGE_ARCH ".deb") {
        desktop_ = new std::string(entry.path());
      }
    }
  }
  static void TearDownTestSuite() {
    delete output_;
    delete cpack_log_;
    delete headless_;
    delete desktop_;
    output_ = nullptr;
    cpack_log_ = headless_ = desktop_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(headless_ && desktop_) << "cpack made no quor and quor-desktop packages:\n"
                                       << *cpack_log_;
  }

  static std::string Info(const std::string& package) {
    Finished info = RunProgram(QUOR_DPKG_DEB, {"-I", package});
    EXPECT_EQ(info.status, 0) << info.errors;
    return info.output;
  }
  static std::vector<std::string> Contents(const std::string& package) {
    Finished contents = RunProgram(QUOR_DPKG_DEB, {"-c", package});
    EXPECT_EQ(contents.status, 0) << contents.errors;
    return Files(contents.output);
  }
  // Both packages unpacked into a fresh root.
  std::string Unpack() {
    for (const std::string* package : {headless_, desktop_}) {
      Finished unpack = RunProgram(QUOR_DPKG_DEB, {"-x", *package, root_.path()});
      EXPECT_EQ(unpack.status, 0) << unpack.errors;
    }
    return root_.path();
  }

  static TempDir* output_;
  static std::string* cpack_log_;
  static std::string* headless_;
  static std::string* desktop_;
  TempDir root_;
};

TempDir* DebianPackagesTest::output_ = nullptr;
std::string* DebianPackagesTest::cpack_log_ = nullptr;
std::string* DebianPackagesTest::headless_ = nullptr;
std::string* DebianPackagesTest::desktop_ = nullptr;

TEST_F(DebianPackagesTest, TheHeadlessPackageDependsOnTheCLibrariesAndNothingOfQt) {
  std::string info = Info(*headless_);
  EXPECT_EQ(ControlField(info, "Package"), "quor");
  EXPECT_EQ(ControlField(info, "Version"), QUOR_PACKAGE_VERSION);
  std::string depends = ControlField(info, "Depends");
  EXPECT_THAT(depends, HasSubstr("libc6 (>= "));
  EXPECT_THAT(depends, HasSubstr("libstdc++6 (>= "));
  EXPECT_THAT(depends, Not(HasSubstr("qt")));
}

TEST_F(DebianPackagesTest, TheDesktopPackageDependsOnQuorOfItsVersionAndOnQt) {
  std::string info = Info(*desktop_);
  EXPECT_EQ(ControlField(info, "Package"), "quor-desktop");
  std::string depends = ControlField(info, "Depends");
  EXPECT_THAT(depends, HasSubstr("quor (= " QUOR_PACKAGE_VERSION ")"));
  EXPECT_THAT(depends, HasSubstr("libqt6widgets6 (>= "));
  EXPECT_THAT(depends, HasSubstr("libqt6gui6 (>= "));
  EXPECT_THAT(depends, HasSubstr("libqt6svg6"));
}

TEST_F(DebianPackagesTest, EachPackageHoldsItsOwnFiles) {
  EXPECT_EQ(Contents(*headless_), (std::vector<std::string>{
                                      "usr/bin/quor",
                                      "usr/lib/systemd/user/quor-once.service",
                                      "usr/lib/systemd/user/quor-once.timer",
                                      "usr/lib/systemd/user/quor.service",
                                      "usr/share/doc/quor/README.md",
                                      "usr/share/doc/quor/changelog.Debian.gz",
                                      "usr/share/doc/quor/copyright",
                                      "usr/share/man/man1/quor.1.gz",
                                      "usr/share/man/man5/quor.INI.5.gz",
                                      "usr/share/man/man5/quoragts.ini.5.gz",
                                  }));
  EXPECT_EQ(Contents(*desktop_), (std::vector<std::string>{
                                     "usr/libexec/quor/quor-desktop",
                                     "usr/share/applications/quor.desktop",
                                     "usr/share/doc/quor-desktop/changelog.Debian.gz",
                                     "usr/share/doc/quor-desktop/copyright",
                                     "usr/share/icons/hicolor/scalable/apps/quor.svg",
                                     "usr/share/lintian/overrides/quor-desktop",
                                 }));
}

TEST_F(DebianPackagesTest, TheUnpackedProgramAnswersVersionAndHelpWithoutQt) {
  std::string quor = Unpack() + "/usr/bin/quor";
  std::map<std::string, std::optional<std::string>> no_display = {
      {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
  Finished version = RunProgram(quor, {"--version"}, no_display);
  EXPECT_EQ(version.status, 0) << version.errors;
  EXPECT_EQ(version.output, "Quor Mail Processor " QUOR_VERSION "\n");
  Finished help = RunProgram(quor, {"--help"}, no_display);
  EXPECT_EQ(help.status, 0) << help.errors;
  EXPECT_THAT(help.output, HasSubstr("usage: quor [--headless] [--once]"));

  Finished libraries = RunProgram("/usr/bin/ldd", {quor});
  EXPECT_EQ(libraries.status, 0) << libraries.errors;
  EXPECT_THAT(libraries.output, HasSubstr("libc.so.6"));
  EXPECT_THAT(libraries.output, Not(HasSubstr("Qt")));
}

TEST_F(DebianPackagesTest, TheUnitsStartTheInstalledProgram) {
  std::string root = Unpack();
  std::string service = ReadWholeFile(root + "/usr/lib/systemd/user/quor.service");
  EXPECT_THAT(service, HasSubstr("\nExecStart=/usr/bin/quor --headless\n"));
  EXPECT_THAT(service, HasSubstr("\nRestart=on-failure\n"));
  EXPECT_THAT(ReadWholeFile(root + "/usr/lib/systemd/user/quor-once.service"),
              HasSubstr("\nExecStart=/usr/bin/quor --once\n"));
}

TEST_F(DebianPackagesTest, WithADisplayTheUnpackedQuorOpensTheUnpackedWindow) {
  std::string root = Unpack();
  TempDir base;
  WriteWholeFile(base.File("quor.INI"), "[Settings]\nExitOnCheck=1\n");
  // The window (drawn offscreen) runs its first pass and, as the profile
  // says, exits after it. Headless, quor would print its log lines instead.
  Finished window = RunProgram(root + "/usr/bin/quor",
                               {"--base-dir", base.path(), "--profile", base.File("quor.INI")},
                               {{"DISPLAY", ":97"}, {"QT_QPA_PLATFORM", "offscreen"}});
  EXPECT_EQ(window.status, 0) << window.errors;
  EXPECT_THAT(window.errors, Not(HasSubstr("running headless")));
  EXPECT_EQ(window.output, "");
  EXPECT_THAT(ReadWholeFile(base.File("quor.log")), HasSubstr("] - Started."));
}

}  // namespace

}  // namespace quor
