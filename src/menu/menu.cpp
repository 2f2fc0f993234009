#include "menu/menu.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Standard input, read byte by byte without blocking the end of the run: a
// read returns at once when the wake pipe becomes readable.
class TerminalReader {
 public:
  explicit TerminalReader(SharedControl& control) : control_(control) {}
  SharedControl& control() { return control_; }

  // Next byte of standard input; -1 at its end, on an error, or when woken.
  int nextByte() {
    if (pendingAt_ < pendingLength_) return static_cast<unsigned char>(pending_[pendingAt_++]);
    const int wakeFd = control_.wakePipe[0];
    for (;;) {
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeFd, POLLIN, 0}};
      if (poll(fds, wakeFd >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (wakeFd >= 0 && fds[1].revents != 0) return -1;
      if (fds[0].revents & POLLNVAL) return -1;
      if (fds[0].revents == 0) continue;
      const ssize_t got = read(STDIN_FILENO, pending_, sizeof pending_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return -1;
      pendingLength_ = static_cast<size_t>(got);
      pendingAt_ = 1;
      return static_cast<unsigned char>(pending_[0]);
    }
  }

 private:
  SharedControl& control_;
  char pending_[256];
  size_t pendingLength_ = 0;
  size_t pendingAt_ = 0;
};

constexpr size_t kChoiceBuffer = 16;  // 15 characters and the terminator
constexpr size_t kValueBuffer = 48;   // 47 characters and the terminator

// The one place a signal handler can reach: the run's shared record, set by
// installStopSignals before any signal is handled and cleared by
// restoreStopSignals before the record goes (atomic: a handler may be running).
std::atomic<SharedControl*> signalTarget{nullptr};

// The wake pipe is readable when the thread must stop waiting for input: the
// driver ends it or a stop signal arrived. It is never drained, so it stays
// readable.
void ensureWakePipe(SharedControl& control) {
  if (control.wakePipe[0] >= 0) return;
  if (pipe(control.wakePipe) != 0) {
    control.wakePipe[0] = control.wakePipe[1] = -1;
    return;
  }
  fcntl(control.wakePipe[1], F_SETFL, O_NONBLOCK);
}

void wake(SharedControl& control) {
  if (control.wakePipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = write(control.wakePipe[1], &byte, 1);
  }
}

enum class WordRead { Word, TooLong, End };

// Reads one whitespace-delimited word into buffer (capacity includes the
// terminator). A longer word is read to its end and reported, never stored
// past the buffer.
WordRead readWord(TerminalReader& terminal, char* buffer, size_t capacity) {
  int c = terminal.nextByte();
  while (c != -1 && std::strchr(" \t\n\r\v\f", c)) c = terminal.nextByte();
  if (c == -1) return WordRead::End;
  size_t length = 0;
  bool tooLong = false;
  for (; c != -1 && !std::strchr(" \t\n\r\v\f", c); c = terminal.nextByte()) {
    if (length + 1 < capacity)
      buffer[length++] = static_cast<char>(c);
    else
      tooLong = true;
  }
  buffer[length] = '\0';
  return tooLong ? WordRead::TooLong : WordRead::Word;
}

bool allDigits(const char* word) {
  for (const char* p = word; *p; p++)
    if (*p < '0' || *p > '9') return false;
  return true;
}

// The integer value of a word of digits; values above 99 only need to be
// "too large".
int choiceValue(const char* word) {
  long value = 0;
  for (const char* p = word; *p && value < 1000; p++) value = value * 10 + (*p - '0');
  return static_cast<int>(value);
}

// Reads a choice word: its value, 99 for a word that is not all digits, or -1
// at the end of input.
int readChoice(TerminalReader& terminal) {
  char word[kChoiceBuffer];
  const WordRead result = readWord(terminal, word, sizeof word);
  if (result == WordRead::End) return -1;
  if (result == WordRead::TooLong || !allDigits(word)) return 99;
  return choiceValue(word);
}

void flushOut() { std::fflush(stdout); }

void bells() {
  std::printf("\a\a");
  flushOut();
}

void printProportions(const SharedControl& control, int kind) {
  for (int c = 0; c < control.numChains; c++) std::printf("\t%f", control.acceptance[kind][c].load());
}

void printMenu(const SharedControl& control) {
  std::printf("\n\n\nAdjust parameters for: (current value)\tAcceptance proportions for each chain.\n");
  std::printf("1) Tree\t\t\t %f", control.tree.load());
  printProportions(control, 0);
  std::printf("\n2) Mutation location\t %f", control.location.load());
  printProportions(control, 1);
  if (!control.iterLocation) std::printf("\tMutation location set to \"Don't iterate\"");
  std::printf("\n3) Root node alleles\t %f", control.root.load());
  printProportions(control, 2);
  std::printf("\n4) Internal node alleles %f", control.internal.load());
  printProportions(control, 3);
  if (!control.iterRoot) std::printf("\tInternal nodes set to \"Don't iterate\"");
  std::printf("\n5) Allele frequencies\t %f", control.freq.load());
  printProportions(control, 4);
  if (!control.iterFreq) std::printf("\tAllele frequencies set to \"Don't iterate\"");
  std::printf("\n6) Terminate program and save data\n");
  std::printf("0) Return to program execution\n\n");
  std::printf("Choose (1,2,3,4,5,6, or 0):");
  flushOut();
}

SharedDouble& stepOfChoice(SharedControl& control, int choice) {
  switch (choice) {
    case 1: return control.tree;
    case 2: return control.location;
    case 3: return control.root;
    case 4: return control.internal;
    default: return control.freq;
  }
}

double upperBoundOfChoice(const SharedControl& control, int choice) {
  if (choice == 1) return 10;
  if (choice == 2) return control.locationWidth;
  return 1;
}

// Reads a value word into buffer: 0 when it holds only digits and '.', 999
// after printing the error for any other word (a longer word included), -1 at
// the end of input.
int readValueWord(TerminalReader& terminal, char* buffer) {
  const WordRead result = readWord(terminal, buffer, kValueBuffer);
  if (result == WordRead::End) return -1;
  bool valid = result == WordRead::Word;
  for (const char* p = buffer; valid && *p; p++)
    if (!((*p >= '0' && *p <= '9') || *p == '.')) valid = false;
  if (valid) return 0;
  std::printf("\nError! You should enter a number.\n");
  flushOut();
  return 999;
}

enum class MenuEnd { Resume, Stop, InputEnded };

// Asks for a new step size of menu line `choice`; false at the end of input.
bool changeStepSize(TerminalReader& terminal, int choice) {
  SharedDouble& step = stepOfChoice(terminal.control(), choice);
  std::printf(choice == 3 ? "\nCurrent value: %f\nNew value :" : "\nCurrent value: %f\nNew value: ", step.load());
  flushOut();
  char word[kValueBuffer];
  const int checked = readValueWord(terminal, word);
  if (checked == -1) return false;
  if (checked == 999) return true;
  const double value = std::strtod(word, nullptr);
  if (value >= 0 && value <= upperBoundOfChoice(terminal.control(), choice)) {
    step.store(value);
  } else {
    std::printf(choice == 4 ? "\\n\n\n\nn\n*******Value out of range, try again*******\n"
                            : "\n\n\n\n\n\n*******Value out of range, try again*******\n");
    bells();
  }
  return true;
}

MenuEnd runMenu(TerminalReader& terminal) {
  SharedControl& control = terminal.control();
  int signal = 9;
  while (signal != 0) {
    printMenu(control);
    signal = readChoice(terminal);
    if (signal == -1) return MenuEnd::InputEnded;
    if (signal > 6) {
      signal = 1;
      std::printf("\nERROR,try again\n");
      bells();
      continue;
    }
    if (signal == 0) {
      std::printf("\nProgram resuming...\n");
      flushOut();
    } else if (signal == 6) {
      std::printf("\nProgram will now be terminated, with data saved to output files\n");
      flushOut();
      control.stopRequested.store(1);
      return MenuEnd::Stop;
    } else if (!changeStepSize(terminal, signal)) {
      return MenuEnd::InputEnded;
    }
  }
  return MenuEnd::Resume;
}

// Waits until the chains exist; false when the thread is asked to end first.
bool waitForRun(SharedControl& control) {
  while (!control.menuReady.load()) {
    pollfd wakeFd = {control.wakePipe[0], POLLIN, 0};
    if (poll(&wakeFd, control.wakePipe[0] >= 0 ? 1 : 0, 100) > 0) return false;
  }
  return true;
}

long long monotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The first stop signal asks for a stop like menu choice 6. Signals within a
// second of it belong to the same request: a terminal's Ctrl-C, timeout(1)
// and batch schedulers signal the process and then its process group, so one
// request often arrives twice within milliseconds. A stop signal after that
// second ends the process at once, by the signal's default action.
void onStopSignal(int signal) {
  SharedControl* control = signalTarget.load();
  if (control == nullptr) return;
  const long long now = monotonicMilliseconds();
  int none = 0;
  if (control->stopSignal.compare_exchange_strong(none, signal)) {
    control->stopSignalAt.store(now);
    control->stopRequested.store(1);
    wake(*control);
    return;
  }
  if (now - control->stopSignalAt.load() < kStopSignalBurstMilliseconds) return;
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace


void* controlThreadMain(void* arg) {
  SharedControl& control = *static_cast<SharedControl*>(arg);
  TerminalReader terminal(control);
  for (;;) {
    const int signal = readChoice(terminal);
    if (signal == -1) return nullptr;
    if (signal != 9) {
      std::printf("\nError!enter 9 to pause.\n");
      flushOut();
      continue;
    }
    if (!waitForRun(control)) return nullptr;
    pthread_mutex_lock(&control.pauseMutex);
    const MenuEnd end = runMenu(terminal);
    pthread_mutex_unlock(&control.pauseMutex);
    if (end != MenuEnd::Resume) return nullptr;
  }
}

int startControlThread(pthread_t* thread, SharedControl& control) {
  ensureWakePipe(control);
  return pthread_create(thread, nullptr, controlThreadMain, &control);
}

void stopControlThread(pthread_t thread, SharedControl& control) {
  wake(control);
  if (pthread_join(thread, nullptr) != 0) {
    std::printf("error joining thread.");
    flushOut();
    std::abort();
  }
}

void installStopSignals(SharedControl& control) {
  ensureWakePipe(control);
  signalTarget = &control;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void restoreStopSignals() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  signalTarget.store(nullptr);
}
