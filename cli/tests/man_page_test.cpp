#include "man_page.hpp"

#include <gtest/gtest.h>

namespace owl::cli {
namespace {

// The same in the main help and a command's, so the page has it once.
const std::string EXIT_STATUS = "EXIT STATUS\n    0  success\n    2  usage error\n\n";

// Shaped like ManHelp's output: titles in capitals, prose four columns in, CLI11 lists two.
const std::string MAIN_HELP =
    "NAME\n"
    "    tool - do things to units\n"
    "\n"
    "SYNOPSIS\n"
    "    tool [OPTIONS] COMMAND\n"
    "\n"
    "DESCRIPTION\n"
    "    Starts the engine and runs one command.\n"
    "    Run `tool COMMAND --help` for each command's manual.\n"
    "\n"
    "    .dotfiles and back\\slashes stay text.\n"
    "\n"
    "OPTIONS\n"
    "  -h,--help                       Print this help message and exit\n"
    "  --a-very-long-option-name-that-fills-the-column\n"
    "                                  its description on the next line\n"
    "\n"
    "COMMANDS\n"
    "  list                            list the units found\n"
    "  set                             change fields\n"
    "\n" +
    EXIT_STATUS +
    "EXAMPLES\n"
    "    tool list\n"
    "    tool --simulator set SIM0001 delay_ms=120\n"
    "\n";

const std::string SET_HELP =
    "NAME\n"
    "    tool set - change fields\n"
    "\n"
    "SYNOPSIS\n"
    "    tool set [OPTIONS] KEY FIELD=VALUE...\n"
    "\n"
    "ARGUMENTS\n"
    "  KEY TEXT REQUIRED               the unit\n"
    "\n" +
    EXIT_STATUS +
    "EXAMPLES\n"
    "    tool set A delay_ms=1\n";

TEST(ManPage, CommandNamesComeFromTheCommandsList) {
  EXPECT_EQ(help_command_names(MAIN_HELP), (std::vector<std::string>{"list", "set"}));
  EXPECT_TRUE(help_command_names("NAME\n    tool - x\n").empty());
}

TEST(ManPage, OnePageWithASubsectionPerCommand) {
  const std::string page =
      help_to_man({"TOOL", "tool 1.2.3", "2026-12-07", ".BR other (1)"}, MAIN_HELP,
                  {{"list", "NAME\n    tool list - list the units found\n"}, {"set", SET_HELP}});
  EXPECT_EQ(page,
            ".TH \"TOOL\" 1 \"2026\\-12\\-07\" \"tool 1.2.3\" \"User Commands\"\n"
            ".nh\n.ad l\n"
            ".SH \"NAME\"\n"
            "tool \\- do things to units\n"
            ".SH \"SYNOPSIS\"\n"
            ".PP\n.nf\ntool [OPTIONS] COMMAND\n.fi\n"
            ".SH \"DESCRIPTION\"\n"
            ".PP\n"
            "Starts the engine and runs one command.\n"
            "Run \\(gatool COMMAND \\-\\-help\\(ga for each command\\(aqs manual.\n"
            ".PP\n"
            "\\&.dotfiles and back\\eslashes stay text.\n"
            ".SH \"OPTIONS\"\n"
            ".TP\n\\fB\\-h,\\-\\-help\\fR\nPrint this help message and exit\n"
            ".TP\n\\fB\\-\\-a\\-very\\-long\\-option\\-name\\-that\\-fills\\-the\\-column\\fR\n"
            "its description on the next line\n"
            ".SH \"COMMANDS\"\n"
            ".SS \"list\"\n"
            "list the units found\n"
            ".SS \"set\"\n"
            "change fields\n"
            ".RS\n.PP\n.nf\ntool set [OPTIONS] KEY FIELD=VALUE...\n.fi\n.RE\n"
            ".PP\n\\fIArguments\\fR\n.RS\n.TP\n\\fBKEY TEXT REQUIRED\\fR\nthe unit\n.RE\n"
            ".PP\n\\fIExamples\\fR\n.RS\n.PP\n.nf\ntool set A delay_ms=1\n.fi\n.RE\n"
            ".SH \"EXIT STATUS\"\n"
            ".TP\n\\fB0\\fR\nsuccess\n"
            ".TP\n\\fB2\\fR\nusage error\n"
            ".SH \"EXAMPLES\"\n"
            ".PP\n.nf\ntool list\ntool \\-\\-simulator set SIM0001 delay_ms=120\n.fi\n"
            ".SH \"SEE ALSO\"\n"
            ".BR other (1)\n");
}

TEST(ManPage, ASectionOnlyOneCommandHasIsKept) {
  // EXIT STATUS that differs from the main page's belongs to the command.
  const std::string help =
      "NAME\n    tool diff - compare\n\nEXIT STATUS\n    0  same\n    1  different\n";
  const std::string page = help_to_man({"TOOL", "tool", "d", ""}, MAIN_HELP, {{"diff", help}});
  EXPECT_NE(page.find(".SS \"diff\"\ncompare\n.PP\n\\fIExit status\\fR\n.RS\n.TP\n\\fB0\\fR\nsame\n"
                      ".TP\n\\fB1\\fR\ndifferent\n.RE\n"),
            std::string::npos)
      << page;
  EXPECT_EQ(page.find("SEE ALSO"), std::string::npos);
}

}  // namespace
}  // namespace owl::cli
