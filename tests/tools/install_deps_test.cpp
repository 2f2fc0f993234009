// tools/install-deps on a pretend Debian machine (fake dpkg-query, apt-get,
// sudo and id first on the PATH): which packages it installs, that it leaves
// apt alone when nothing is missing, and that it fails naming the packages apt
// could not install.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace {

const std::string kSourceDir = MUTLOC_SOURCE_DIR;

// The first word of every line of the package list but comments.
std::vector<std::string> listedPackages() {
  std::istringstream in(testData("../tools/debian-packages"));
  std::vector<std::string> packages;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string package;
    if (words >> package && package[0] != '#') packages.push_back(package);
  }
  return packages;
}

// dpkg knows the packages as the "name status" lines of the file status say
// (the last line of a name wins): every listed package installed, then the
// changes the test gives. apt-get logs its arguments and installs what it is
// given, unless the file apt-fails exists.
struct FakeDebian {
  ScratchDir dir;

  FakeDebian(const std::string& changes, bool root) {
    std::string status;
    for (const auto& package : listedPackages()) status += package + " installed\n";
    dir.write("status", status + changes);
    tool("dpkg-query",
         "for last; do :; done\n"
         "s=$(awk -v p=\"$last\" '$1 == p { s = $2 } END { print s }' \"$FAKE/status\")\n"
         "[ -n \"$s\" ] || { echo \"dpkg-query: no packages found matching $last\" >&2; exit 1; }\n"
         "printf %s \"$s\"\n");
    tool("apt-get",
         "echo \"$*\" >> \"$FAKE/apt.log\"\n"
         "[ -e \"$FAKE/apt-fails\" ] && exit 100\n"
         "installing=\n"
         "for a; do case \"$a\" in\n"
         "  install) installing=1 ;; -*) ;;\n"
         "  *) [ -z \"$installing\" ] || echo \"$a installed\" >> \"$FAKE/status\" ;;\n"
         "esac; done\n");
    tool("sudo", "echo \"$*\" >> \"$FAKE/sudo.log\"\nexec \"$@\"\n");
    tool("id", root ? "echo 0\n" : "echo 1000\n");
  }

  void tool(const std::string& name, const std::string& body) const {
    dir.write(name, "#!/bin/sh\n" + body);
    chmod(dir.file(name).c_str(), 0755);
  }

  RunResult run(const std::string& args) const {
    const std::string command = "FAKE='" + dir.path + "' PATH='" + dir.path + "':\"$PATH\" '" + kSourceDir +
                                "/tools/install-deps' " + args + " > '" + dir.file("out") + "' 2> '" +
                                dir.file("err") + "'";
    const int status = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    result.out = dir.read("out");
    result.err = dir.read("err");
    return result;
  }
};

TEST(InstallDeps, NothingMissingLeavesAptAlone) {
  FakeDebian machine("", false);
  for (const std::string group : {"", "run"}) {
    const RunResult result = machine.run(group);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "");
  }
  EXPECT_FALSE(machine.dir.exists("apt.log"));
  EXPECT_FALSE(machine.dir.exists("sudo.log"));
}

// libhts-dev was removed but kept its configuration files: dpkg still knows
// it, yet it must be installed again.
TEST(InstallDeps, InstallsTheMissingPackagesOfTheGroupThroughSudo) {
  FakeDebian machine("r-cran-coda not-installed\nclang not-installed\nlibhts-dev config-files\n", false);
  RunResult result = machine.run("run");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "install-deps: installing the Debian package libhts-dev\n");
  EXPECT_EQ(occurrences(machine.dir.read("apt.log"), "update\n"), 1);
  EXPECT_EQ(occurrences(machine.dir.read("apt.log"), " install -y --no-install-recommends libhts-dev\n"), 1);
  EXPECT_EQ(occurrences(machine.dir.read("sudo.log"), "apt-get"), 2);

  result = machine.run("");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "install-deps: installing the Debian package r-cran-coda\n"
            "install-deps: installing the Debian package clang\n");
  EXPECT_EQ(occurrences(machine.dir.read("apt.log"), " install -y --no-install-recommends r-cran-coda clang\n"), 1);

  const std::string aptLog = machine.dir.read("apt.log");
  EXPECT_EQ(machine.run("").status, 0);
  EXPECT_EQ(machine.dir.read("apt.log"), aptLog);
}

TEST(InstallDeps, FailsNamingWhatAptCouldNotInstall) {
  FakeDebian machine("r-cran-coda not-installed\nclang not-installed\n", true);
  machine.dir.write("apt-fails", "");
  const RunResult result = machine.run("");
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.err.find("install-deps: could not install the Debian packages: r-cran-coda clang\n"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(machine.dir.exists("sudo.log"));
}

TEST(InstallDeps, ReadmeNamesEveryListedPackage) {
  const std::string readme = testData("../README.md");
  for (const auto& package : listedPackages())
    EXPECT_NE(readme.find("`" + package + "`"), std::string::npos) << package;
}

}  // namespace
