// Runs a fuzz target once on every file of the given seed folders, in name order, so that the
// seeds run as an ordinary test in every build. A failed check, a crash or a sanitizer report
// names the input that caused it.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Defined by the targets that set up process-wide state first.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
// Present in sanitizer builds only: called before a sanitizer ends the process.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

char current[4096] = "(setting up)";  // a fixed buffer, so that a signal handler can print it
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

}  // namespace

void owl::fuzz::failed(const char* check, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, check);
  name_current_input();
  std::exit(1);
}

int main(int argc, char** argv) {
  for (const int sig : {SIGABRT, SIGSEGV, SIGILL, SIGFPE, SIGBUS})
    std::signal(sig, on_fatal_signal);
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(name_current_input);
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  // A missing or emptied seed folder would otherwise pass without running anything.
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s seed-folder... (with at least one input)\n", argv[0]);
    return 1;
  }
  for (const auto& path : inputs) {
    std::snprintf(current, sizeof current, "%s", path.c_str());
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", current);
      return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    // An exact-size heap copy, as libFuzzer passes it, so that reading past the end is caught.
    const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
  }
  std::printf("%zu inputs passed\n", inputs.size());
  return 0;
}
