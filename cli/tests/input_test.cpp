#include "input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "errors.hpp"
#include "temp_dir.hpp"

namespace owl::cli {
namespace {

namespace fs = std::filesystem;

using testing_support::TempDir;

std::string refusal(const std::string& path, int stdin_fd = -1) {
  try {
    read_input(path, stdin_fd);
  } catch (const CliError& error) {
    EXPECT_EQ(error.status(), EXIT_FAILED);
    return error.what();
  }
  return "(accepted)";
}

TEST(Input, ReadsSmallRegularFilesAndStandardInput) {
  TempDir dir;
  const std::string text(MAX_INPUT_BYTES, 'x');  // the limit itself is allowed
  EXPECT_EQ(read_input(dir.write("limit.json", text).string(), -1), text);
  const int fd = ::open(dir.write("small.json", "{}").c_str(), O_RDONLY);
  EXPECT_EQ(read_input("-", fd), "{}");
  ::close(fd);
}

TEST(Input, RefusesWhatIsNoSettingsFileWithoutReadingIt) {
  TempDir dir;
  const fs::path fifo = dir.path / "fifo";  // nobody ever writes to it
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path big = dir.write("big.json", "");
  fs::resize_file(big, 2 * MAX_INPUT_BYTES);
  const std::pair<std::string, std::string> cases[] = {
      {"/dev/zero", "/dev/zero: not a regular file"},
      {fifo.string(), fifo.string() + ": not a regular file"},
      {big.string(), big.string() + ": more than 1 MiB"},
      {dir.path.string(), dir.path.string() + ": is a directory"},
      {(dir.path / "absent.json").string(), "cannot read " + (dir.path / "absent.json").string()},
  };
  for (const auto& [path, message] : cases) {
    EXPECT_EQ(refusal(path).rfind(message, 0), 0u) << refusal(path);
  }
}

TEST(Input, StandardInputIsBoundedToo) {
  TempDir dir;
  const fs::path big = dir.write("big.json", "");
  fs::resize_file(big, MAX_INPUT_BYTES + 1);
  for (const fs::path& source : {big, fs::path("/dev/zero")}) {
    const int fd = ::open(source.c_str(), O_RDONLY);
    EXPECT_EQ(refusal("-", fd).rfind("standard input: more than 1 MiB", 0), 0u) << source;
    ::close(fd);
  }
}

}  // namespace
}  // namespace owl::cli
