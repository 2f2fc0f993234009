#include "control/control.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input/parameters.h"
#include "sampler/chainstate.h"

pthread_mutex_t mymutex;
std::atomic<int> quitsave{0};
std::atomic<bool> menuReady{false};

namespace {

constexpr size_t kChoiceBuffer = 16;  // 15 characters and the terminator
constexpr size_t kValueBuffer = 48;   // 47 characters and the terminator

// Readable when the thread must stop waiting for input: the driver ends it or
// a stop signal arrived. Never drained, so it stays readable.
int wakePipe[2] = {-1, -1};
std::atomic<bool> signalled{false};

char pending[256];
size_t pendingLength = 0;
size_t pendingAt = 0;

void ensureWakePipe() {
  if (wakePipe[0] >= 0) return;
  if (pipe(wakePipe) != 0) {
    wakePipe[0] = wakePipe[1] = -1;
    return;
  }
  fcntl(wakePipe[1], F_SETFL, O_NONBLOCK);
}

void wake() {
  if (wakePipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = write(wakePipe[1], &byte, 1);
  }
}

// Next byte of standard input; -1 at its end, on an error, or when woken.
int nextByte() {
  if (pendingAt < pendingLength) return static_cast<unsigned char>(pending[pendingAt++]);
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    if (poll(fds, wakePipe[0] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (wakePipe[0] >= 0 && fds[1].revents != 0) return -1;
    if (fds[0].revents & POLLNVAL) return -1;
    if (fds[0].revents == 0) continue;
    const ssize_t got = read(STDIN_FILENO, pending, sizeof pending);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;
    pendingLength = static_cast<size_t>(got);
    pendingAt = 1;
    return static_cast<unsigned char>(pending[0]);
  }
}

enum class WordRead { Word, TooLong, End };

// Reads one whitespace-delimited word into buffer (capacity includes the
// terminator). A longer word is read to its end and reported, never stored
// past the buffer.
WordRead readWord(char* buffer, size_t capacity) {
  int c = nextByte();
  while (c != -1 && std::strchr(" \t\n\r\v\f", c)) c = nextByte();
  if (c == -1) return WordRead::End;
  size_t length = 0;
  bool tooLong = false;
  for (; c != -1 && !std::strchr(" \t\n\r\v\f", c); c = nextByte()) {
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
int readChoice() {
  char word[kChoiceBuffer];
  const WordRead result = readWord(word, sizeof word);
  if (result == WordRead::End) return -1;
  if (result == WordRead::TooLong || !allDigits(word)) return 99;
  return choiceValue(word);
}

void flushOut() { std::fflush(stdout); }

void bells() {
  std::printf("\a\a");
  flushOut();
}

void printProportions(int kind) {
  for (int c = 0; c < pset.numChains; c++) std::printf("\t%f", props[kind][c].load());
}

void printMenu() {
  std::printf("\n\n\nAdjust parameters for: (current value)\tAcceptance proportions for each chain.\n");
  std::printf("1) Tree\t\t\t %f", stepSize(pset.adjTree));
  printProportions(0);
  std::printf("\n2) Mutation location\t %f", stepSize(pset.adjRecDist));
  printProportions(1);
  if (pset.iterLocation == 0) std::printf("\tMutation location set to \"Don't iterate\"");
  std::printf("\n3) Root node alleles\t %f", stepSize(pset.adjRoot));
  printProportions(2);
  std::printf("\n4) Internal node alleles %f", stepSize(pset.adjInternal));
  printProportions(3);
  if (pset.iterRoot == 0) std::printf("\tInternal nodes set to \"Don't iterate\"");
  std::printf("\n5) Allele frequencies\t %f", stepSize(pset.adjFreq));
  printProportions(4);
  if (pset.iterFreq == 0) std::printf("\tAllele frequencies set to \"Don't iterate\"");
  std::printf("\n6) Terminate program and save data\n");
  std::printf("0) Return to program execution\n\n");
  std::printf("Choose (1,2,3,4,5,6, or 0):");
  flushOut();
}

SharedDouble& stepOfChoice(int choice) {
  switch (choice) {
    case 1: return pset.adjTree;
    case 2: return pset.adjRecDist;
    case 3: return pset.adjRoot;
    case 4: return pset.adjInternal;
    default: return pset.adjFreq;
  }
}

double upperBoundOfChoice(int choice) {
  if (choice == 1) return 10;
  if (choice == 2) return pset.mutLocHigh - pset.mutLocLow;
  return 1;
}

enum class MenuEnd { Resume, Stop, InputEnded };

// Asks for a new step size of menu line `choice`; false at the end of input.
bool changeStepSize(int choice) {
  SharedDouble& step = stepOfChoice(choice);
  std::printf(choice == 3 ? "\nCurrent value: %f\nNew value :" : "\nCurrent value: %f\nNew value: ", stepSize(step));
  flushOut();
  char word[kValueBuffer];
  const int checked = checkInput(word);
  if (checked == -1) return false;
  if (checked == 999) return true;
  const double value = std::strtod(word, nullptr);
  if (value >= 0 && value <= upperBoundOfChoice(choice)) {
    step.store(value);
  } else {
    std::printf(choice == 4 ? "\\n\n\n\nn\n*******Value out of range, try again*******\n"
                            : "\n\n\n\n\n\n*******Value out of range, try again*******\n");
    bells();
  }
  return true;
}

MenuEnd runMenu() {
  int signal = 9;
  while (signal != 0) {
    printMenu();
    signal = readChoice();
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
      quitsave.store(1);
      return MenuEnd::Stop;
    } else if (!changeStepSize(signal)) {
      return MenuEnd::InputEnded;
    }
  }
  return MenuEnd::Resume;
}

// Waits until the chains exist; false when the thread is asked to end first.
bool waitForRun() {
  while (!menuReady.load()) {
    pollfd wakeFd = {wakePipe[0], POLLIN, 0};
    if (poll(&wakeFd, wakePipe[0] >= 0 ? 1 : 0, 100) > 0) return false;
  }
  return true;
}

void onStopSignal(int) {
  signalled.store(true);
  quitsave.store(1);
  wake();
}

}  // namespace

int checkInput(char* buffer) {
  const WordRead result = readWord(buffer, kValueBuffer);
  if (result == WordRead::End) return -1;
  bool valid = result == WordRead::Word;
  for (const char* p = buffer; valid && *p; p++)
    if (!((*p >= '0' && *p <= '9') || *p == '.')) valid = false;
  if (valid) return 0;
  std::printf("\nError! You should enter a number.\n");
  flushOut();
  return 999;
}

void* thread_function(void*) {
  for (;;) {
    const int signal = readChoice();
    if (signal == -1) return nullptr;
    if (signal != 9) {
      std::printf("\nError!enter 9 to pause.\n");
      flushOut();
      continue;
    }
    if (!waitForRun()) return nullptr;
    pthread_mutex_lock(&mymutex);
    const MenuEnd end = runMenu();
    pthread_mutex_unlock(&mymutex);
    if (end != MenuEnd::Resume) return nullptr;
  }
}

int startControlThread(pthread_t* thread) {
  ensureWakePipe();
  return pthread_create(thread, nullptr, thread_function, nullptr);
}

void stopControlThread(pthread_t thread) {
  wake();
  if (pthread_join(thread, nullptr) != 0) {
    std::printf("error joining thread.");
    flushOut();
    std::abort();
  }
}

void installStopSignals() {
  ensureWakePipe();
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stopWasSignalled() { return signalled.load(); }
