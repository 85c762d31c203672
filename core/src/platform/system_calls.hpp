#pragma once

#include <poll.h>
#include <pthread.h>
#include <sys/types.h>
#include <termios.h>

#include <atomic>

namespace owl::sys {

// Every system call whose failure the engine must survive goes through this table, so that tests
// can put failures (EINTR, short writes, EIO, no thread) where a real device cannot.
struct SystemCalls {
  std::atomic<int (*)(const char* path, int flags)> open;
  std::atomic<int (*)(int fd, unsigned long request, void* arg)> ioctl;
  std::atomic<int (*)(int fd, int operation)> flock;
  std::atomic<int (*)(int fd, termios* attributes)> tcgetattr;
  std::atomic<int (*)(int fd, int actions, const termios* attributes)> tcsetattr;
  std::atomic<int (*)(int fd, int queue)> tcflush;
  std::atomic<int (*)(int fd, int command, int argument)> fcntl;
  std::atomic<int (*)(pollfd* fds, nfds_t count, int timeout_ms)> poll;
  std::atomic<ssize_t (*)(int fd, void* buffer, size_t size)> read;
  std::atomic<ssize_t (*)(int fd, const void* buffer, size_t size)> write;
  std::atomic<int (*)(int fd)> tcdrain;
  std::atomic<int (*)(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                      void* argument)>
      pthread_create;
};

// The table in use.
SystemCalls& calls();

// Puts the real system calls back into every entry.
void restore_system_calls();

// Runs on every entry to the unit registry, once before its lock is taken (locked false) and once
// with it held, so that tests can fail a critical section as an allocation would, or let another
// thread in just before the lock. Null means nothing runs.
inline std::atomic<void (*)(bool locked)> registry_hook{nullptr};

}  // namespace owl::sys
