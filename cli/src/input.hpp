#pragma once

#include <cstddef>
#include <string>

// Reading the files a user names: settings files are a few kilobytes, so anything that is not a
// small regular file is refused at once instead of being read without end.
namespace owl::cli {

inline constexpr std::size_t MAX_INPUT_BYTES = 1024 * 1024;

// How messages name `path`: "standard input" for "-".
std::string input_name(const std::string& path);

// The whole content of `path`, or of `stdin_fd` when path is "-". Refuses (status 1, the reason
// in the message) what is not a regular file, what holds more than MAX_INPUT_BYTES, and what
// cannot be read. Never blocks on a FIFO or device that has no data.
std::string read_input(const std::string& path, int stdin_fd);

}  // namespace owl::cli
