// Build step: writes owlctl(1) from the help texts of the owlctl it is given.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "man_page.hpp"

namespace {

std::string help_of(const std::string& program, std::vector<std::string> args) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) {
    std::string command = program;
    for (const auto& arg : args) command += " " + arg;
    throw std::runtime_error(command + " gave no help text");
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: owlctl_man OWLCTL VERSION DATE OUTPUT\n";
    return 2;
  }
  try {
    const std::string program = argv[1];
    const std::string main_help = help_of(program, {"--help"});
    std::vector<std::pair<std::string, std::string>> commands;
    for (const auto& name : owl::cli::help_command_names(main_help)) {
      commands.emplace_back(name, help_of(program, {name, "--help"}));
    }
    const owl::cli::ManPageHeader header{
        "OWLCTL", std::string("owlctl ") + argv[2], argv[3],
        ".BR owl_desktop (1);\nthe guides in\n.IR /usr/share/doc/owl\\-configurator/ ."};
    std::ofstream file(argv[4], std::ios::binary | std::ios::trunc);
    file << owl::cli::help_to_man(header, main_help, commands);
    file.flush();
    if (!file) throw std::runtime_error(std::string("cannot write ") + argv[4]);
  } catch (const std::exception& error) {
    std::cerr << "owlctl_man: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
