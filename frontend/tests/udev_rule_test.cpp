#include "udev_rule.hpp"

#include <gtest/gtest.h>

#include "temp_dir.hpp"

namespace owl::frontend {
namespace {

namespace fs = std::filesystem;

// Rule files hold a comment only: what is checked is where they are.
struct TempTree : testing_support::TempDir {
  fs::path file(const fs::path& relative, const std::string& text = "# rule\n") const {
    return write(relative, text);
  }
  fs::path dir(const fs::path& relative) const {
    fs::create_directories(path / relative);
    return path / relative;
  }
};

// A checkout at src/ with its build directory at build/release/.
fs::path make_build_tree(const TempTree& tree, const fs::path& source) {
  tree.file(source / "packaging/70-owl-units.rules");
  tree.file("build/release/CMakeCache.txt",
            "CMAKE_BUILD_TYPE:STRING=Release\nCMAKE_HOME_DIRECTORY:INTERNAL=" +
                (tree.path / source).string() + "\n");
  return tree.dir("build/release/host/tests");
}

TEST(UdevRule, LooksWhereUdevReadsRulesAndPrefersEtc) {
  TempTree tree;
  const auto dirs = udev_rule_dirs(tree.path);
  EXPECT_FALSE(find_udev_rule(dirs, tree.path).installed);

  const auto lib = tree.file("lib/udev/rules.d/70-owl-units.rules");
  EXPECT_EQ(find_udev_rule(dirs, tree.path).installed, lib);
  const auto usr = tree.file("usr/lib/udev/rules.d/70-owl-units.rules");
  EXPECT_EQ(find_udev_rule(dirs, tree.path).installed, usr);
  // A hand-installed copy in /etc is the one udev uses.
  const auto etc = tree.file("etc/udev/rules.d/70-owl-units.rules");
  EXPECT_EQ(find_udev_rule(dirs, tree.path).installed, etc);

  // Another rule file or a directory of that name is not the rule.
  TempTree other;
  other.file("usr/lib/udev/rules.d/60-serial.rules");
  other.dir("etc/udev/rules.d/70-owl-units.rules");
  EXPECT_FALSE(find_udev_rule(udev_rule_dirs(other.path), other.path).installed);
}

TEST(UdevRule, APackagedProgramIsKnownByItsRuleAndOtherwisePointsToThePackage) {
  TempTree tree;
  const auto bin = tree.dir("usr/bin");
  const auto unknown = find_udev_rule(udev_rule_dirs(tree.path), bin);
  EXPECT_EQ(unknown.origin.kind, ProgramOrigin::Kind::Unknown);
  EXPECT_EQ(unknown.origin.guide, "/usr/share/doc/owl-configurator/docs/hardware.md");
  const auto advice = rule_advice(unknown);
  EXPECT_NE(advice.find("sudo apt install --reinstall owl-configurator"), std::string::npos);
  EXPECT_EQ(advice.find("packaging"), std::string::npos);

  // An unpacked package: the program and its rule where the package puts them.
  tree.file("usr/lib/udev/rules.d/70-owl-units.rules");
  const auto status = find_udev_rule(udev_rule_dirs(tree.path), bin);
  EXPECT_EQ(status.origin.kind, ProgramOrigin::Kind::Installed);
  EXPECT_EQ(status.origin.guide, tree.path / "usr/share/doc/owl-configurator/docs/hardware.md");
  EXPECT_EQ(rule_advice(status),
            "the udev rule is installed (" +
                (tree.path / "usr/lib/udev/rules.d/70-owl-units.rules").string() +
                "): unplug and replug the unit so that it applies");
}

TEST(UdevRule, BuildTreeNamesTheSourceCopy) {
  TempTree tree;
  const auto program_dir = make_build_tree(tree, "src");
  const auto status = find_udev_rule(udev_rule_dirs(tree.path / "sysroot"), program_dir);
  ASSERT_EQ(status.origin.kind, ProgramOrigin::Kind::BuildTree);
  EXPECT_EQ(status.origin.guide, tree.path / "src/docs/hardware.md");
  EXPECT_EQ(rule_advice(status),
            "install the rule: sudo cp " +
                (tree.path / "src/packaging/70-owl-units.rules").string() +
                " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger "
                "--subsystem-match=tty; then unplug and replug the unit");

  // The same program with the rule installed names the installed rule, not the source copy.
  tree.file("sysroot/usr/lib/udev/rules.d/70-owl-units.rules");
  const auto advice =
      rule_advice(find_udev_rule(udev_rule_dirs(tree.path / "sysroot"), program_dir));
  EXPECT_NE(advice.find("sysroot/usr/lib/udev/rules.d/70-owl-units.rules"), std::string::npos);
  EXPECT_EQ(advice.find("packaging"), std::string::npos);
}

TEST(UdevRule, BuildTreeIsRecognisedOnlyNearTheProgramAndWithItsRule) {
  TempTree tree;
  make_build_tree(tree, "src");
  EXPECT_EQ(program_origin(tree.path / "build/release").kind, ProgramOrigin::Kind::BuildTree);
  EXPECT_EQ(program_origin(tree.dir("build/release/a/b/c/d")).kind, ProgramOrigin::Kind::Unknown);

  // A cache whose source tree has no rule (moved or deleted checkout) is no build tree.
  TempTree moved;
  moved.file("build/CMakeCache.txt", "CMAKE_HOME_DIRECTORY:INTERNAL=/nonexistent/checkout\n");
  EXPECT_EQ(program_origin(moved.dir("build/cli")).kind, ProgramOrigin::Kind::Unknown);
  EXPECT_EQ(program_origin("").kind, ProgramOrigin::Kind::Unknown);
}

TEST(UdevRule, InstallIntoAnotherPrefixNamesThatCopy) {
  TempTree tree;
  // cmake --install --prefix /opt/owl: udev does not read the copy there, so it must be copied.
  const auto copy = tree.file("opt/owl/lib/udev/rules.d/70-owl-units.rules");
  const auto status = find_udev_rule(udev_rule_dirs(tree.path), tree.dir("opt/owl/bin"));
  ASSERT_EQ(status.origin.kind, ProgramOrigin::Kind::Installed);
  EXPECT_FALSE(status.installed);
  // The rest of the advice is the build tree's.
  EXPECT_EQ(rule_advice(status).rfind("install the rule: sudo cp " + copy.string() + " /etc/", 0),
            0u);
}

TEST(UdevRule, PathsInCommandsAreQuotedForTheShell) {
  TempTree tree;
  const auto program_dir = make_build_tree(tree, "it's my checkout");
  const auto advice = rule_advice(find_udev_rule({}, program_dir));
  EXPECT_NE(advice.find("sudo cp '" + tree.path.string() +
                        "/it'\\''s my checkout/packaging/70-owl-units.rules' /etc/udev/rules.d/"),
            std::string::npos)
      << advice;
}

TEST(UdevRule, RunningProgramDirIsThisTestsFolder) {
  const auto dir = running_program_dir();
  EXPECT_TRUE(fs::exists(dir / "owl_frontend_tests")) << dir;
}

}  // namespace
}  // namespace owl::frontend
