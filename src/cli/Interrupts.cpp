#include "cli/Interrupts.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "formats/AtomicFile.h"

namespace sondralis::cli {

// A signal handler could do no more than unlink a fixed table of names: it
// interrupts a thread at any point, possibly inside the very code that adds
// or removes a name, and may call only async-signal-safe functions. So no
// handler is installed. The signals are blocked in every thread instead
// (threads inherit the mask of the one that starts them, hence "before any
// other thread"), and one watcher thread takes them with sigwait. It runs as
// an ordinary thread: it takes the lock of the temporary paths, so every
// write is either settled or not begun, removes what is left, and, keeping
// that lock so nothing new can be made, raises the signal again with its
// default action to end the process as the signal would have.
void RemoveTemporariesOnInterrupt() {
  sigset_t signals;
  sigemptyset(&signals);
  int watched = 0;
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    sigaddset(&signals, sig);
    ++watched;
  }
  if (watched == 0 || ::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  std::thread([signals] {
    int sig = 0;
    while (::sigwait(&signals, &sig) != 0) {
    }
    const auto hold = TTemporaryPaths::Process().RemoveAll();
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(sig);
    ::_exit(128 + sig);  // not reached: the default action ends the process
  }).detach();
}

}  // namespace sondralis::cli
