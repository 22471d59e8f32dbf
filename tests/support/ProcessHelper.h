// Runs a function in a child process (fork) that holds file locks while the parent looks, with
// a pipe to say "ready" and one to say "go on". Every wait is bounded in time.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace katalog::testing {

class ChildProcess {
 public:
  // body runs in the child; it calls ready() once its locks are taken, and returns when the
  // parent calls Release(). The child exits with 0 when body returns normally.
  explicit ChildProcess(const std::function<void(const std::function<void()>& ready,
                                                 const std::function<void()>& wait)>& body) {
    if (::pipe(toParent_) != 0 || ::pipe(toChild_) != 0) ADD_FAILURE() << "pipe";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::alarm(30);  // never outlive a stuck parent
      int status = 0;
      try {
        body([this] { (void)!::write(toParent_[1], "r", 1); },
             [this] {
               char c;
               (void)!::read(toChild_[0], &c, 1);
             });
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
  }

  ~ChildProcess() {
    if (pid_ > 0 && !finished_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {toParent_[0], toParent_[1], toChild_[0], toChild_[1]}) ::close(fd);
  }

  // Waits (at most 10 s) until the child says it is ready.
  bool WaitReady() {
    pollfd p{toParent_[0], POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) return false;
    char c;
    return ::read(toParent_[0], &c, 1) == 1;
  }

  // Lets the child go on and waits for it to end; returns its exit status.
  int Release() {
    (void)!::write(toChild_[1], "g", 1);
    int status = -1;
    ::waitpid(pid_, &status, 0);
    finished_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool finished_ = false;
};

}  // namespace katalog::testing
