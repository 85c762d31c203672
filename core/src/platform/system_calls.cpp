#include "platform/system_calls.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace owl::sys {

namespace {

int real_open(const char* path, int flags) {
  return ::open(path, flags);
}

int real_ioctl(int fd, unsigned long request, void* arg) {
  return ::ioctl(fd, request, arg);
}

int real_fcntl(int fd, int command, int argument) {
  return ::fcntl(fd, command, argument);
}

void fill(SystemCalls& t) {
  t.open = &real_open;
  t.ioctl = &real_ioctl;
  t.flock = &::flock;
  t.tcgetattr = &::tcgetattr;
  t.tcsetattr = &::tcsetattr;
  t.tcflush = &::tcflush;
  t.fcntl = &real_fcntl;
  t.poll = &::poll;
  t.read = &::read;
  t.write = &::write;
  t.tcdrain = &::tcdrain;
  t.pthread_create = &::pthread_create;
}

}  // namespace

SystemCalls& calls() {
  // Never destroyed: detached threads may still make calls while the process exits.
  static SystemCalls* const table = [] {
    auto* t = new SystemCalls;
    fill(*t);
    return t;
  }();
  return *table;
}

void restore_system_calls() {
  fill(calls());
}

}  // namespace owl::sys
