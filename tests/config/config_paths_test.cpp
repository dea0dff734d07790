#include "config/config_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace quor {

namespace {

// Sets or clears an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(ConfigPathsTest, BaseDirectoryFromOptionThenEnvironment) {
  ScopedEnvironment home("QUOR_HOME", "/srv/quor");
  EXPECT_EQ(ResolveBaseDirectory(std::string("/opt/q")), "/opt/q");
  EXPECT_EQ(ResolveBaseDirectory(std::string("")), "");  // given, even if empty
  EXPECT_EQ(ResolveBaseDirectory(std::nullopt), "/srv/quor");
  ScopedEnvironment unset("QUOR_HOME", nullptr);
  EXPECT_EQ(ResolveBaseDirectory(std::nullopt), "");
}

TEST(ConfigPathsTest, ProfilePathFromOptionWins) {
  ScopedEnvironment config("XDG_CONFIG_HOME", "/xdg");
  EXPECT_EQ(ResolveProfilePath(std::string("/etc/my.INI"), "quor"), "/etc/my.INI");
}

TEST(ConfigPathsTest, ProfilePathUnderTheConfigurationFolder) {
  struct Case {
    const char* xdg;
    const char* home;
    const char* executable;
    const char* expected;
  };
  const Case cases[] = {
      {"/xdg", "/home/ann", "quor", "/xdg/quor/quor.INI"},
      {"/xdg/", "/home/ann", "quor", "/xdg/quor/quor.INI"},
      {nullptr, "/home/ann", "quor", "/home/ann/.config/quor/quor.INI"},
      {"", "/home/ann", "quor", "/home/ann/.config/quor/quor.INI"},
      {"relative", "/home/ann", "quor", "/home/ann/.config/quor/quor.INI"},
      {"/xdg", "/home/ann", "/usr/bin/QUOR.EXE", "/xdg/quor/QUOR.INI"},
      {"/xdg", "/home/ann", "mailproc", "/xdg/quor/mailproc.INI"},
      {"/xdg", "/home/ann", "", "/xdg/quor/quor.INI"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment config("XDG_CONFIG_HOME", c.xdg);
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(ResolveProfilePath(std::nullopt, c.executable), c.expected)
        << (c.xdg ? c.xdg : "(unset)") << " " << c.executable;
  }
}

TEST(ConfigPathsTest, FilesInTheBaseDirectory) {
  EXPECT_EQ(InBaseDirectory("", "quoragts.ini"), "quoragts.ini");
  EXPECT_EQ(InBaseDirectory("/q", "quoragts.ini"), "/q/quoragts.ini");
  EXPECT_EQ(InBaseDirectory("/q/", "quor.log"), "/q/quor.log");
  EXPECT_EQ(InBaseDirectory("rel", "quor.log"), "rel/quor.log");
}

}  // namespace

}  // namespace quor
