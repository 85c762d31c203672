// Runs a fuzz target once on every file of the folders (or files) given, in name order, so that
// its checked-in seeds run as an ordinary test in every build. A failed check, a trap or a
// sanitizer report names the input that caused it.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Only some targets set up process-wide state first.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
// Present in sanitizer builds only: called before a sanitizer ends the process.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

// The input being run, in a fixed buffer so that a signal handler can print it.
char current[4096] = "(setting up)";
volatile std::sig_atomic_t reported = 0;

void name_current_input() {
  if (reported) return;
  reported = 1;
  const char prefix[] = "\nfuzz regression: failed on input ";
  (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
  (void)!write(STDERR_FILENO, current, std::strlen(current));
  (void)!write(STDERR_FILENO, "\n", 1);
}

void on_fatal_signal(int sig) {
  name_current_input();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

std::vector<std::filesystem::path> inputs_in(const std::vector<std::filesystem::path>& roots) {
  std::vector<std::filesystem::path> out;
  for (const auto& root : roots) {
    if (std::filesystem::is_directory(root)) {
      for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.is_regular_file()) out.push_back(entry.path());
      }
    } else {
      out.push_back(root);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

void owl::fuzz::failed(const char* check, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, check);
  name_current_input();
  std::exit(1);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s seed-folder-or-file...\n", argv[0]);
    return 2;
  }
  for (const int sig : {SIGABRT, SIGSEGV, SIGILL, SIGFPE, SIGBUS})
    std::signal(sig, on_fatal_signal);
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(name_current_input);
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

  const auto inputs = inputs_in(std::vector<std::filesystem::path>(argv + 1, argv + argc));
  // An empty or missing seed folder would otherwise pass without running anything.
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  for (const auto& path : inputs) {
    std::snprintf(current, sizeof current, "%s", path.c_str());
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", current);
      return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // An exact-size heap copy, as libFuzzer passes it, so that reading past the end is caught.
    const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
    if (!bytes.empty()) std::memcpy(data.get(), bytes.data(), bytes.size());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
  }
  std::printf("%zu inputs passed\n", inputs.size());
  return 0;
}
