// Runs the mutloc program in a scratch folder and reads what it left there.
#pragma once

#include <string>
#include <vector>

// A temporary folder, removed with everything in it when the object ends.
struct ScratchDir {
  std::string path;
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string file(const std::string& name) const { return path + "/" + name; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
};

struct RunResult {
  int status = -1;        // exit status, or 128 + signal number
  std::string out;        // standard output
  std::string err;        // standard error
};

// Runs mutloc with args in dir, standard input from stdinText (end of input
// after it), and waits at most timeoutSeconds.
RunResult runMutloc(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& stdinText = "",
                    int timeoutSeconds = 300);

// Runs another program of the build (binary: its path) the same way.
RunResult runProgram(const std::string& binary, const ScratchDir& dir, const std::vector<std::string>& args,
                     int timeoutSeconds = 300);

// Starts mutloc in the background with standard input from a pipe the test
// keeps open; see sendInput, sendSignal and finish.
struct LiveRun {
  int pid = -1;
  int input = -1;  // write end of mutloc's standard input
  const ScratchDir* dir = nullptr;
};
LiveRun startMutloc(const ScratchDir& dir, const std::vector<std::string>& args);
void sendInput(LiveRun& run, const std::string& text);
void sendSignal(LiveRun& run, int signal);
// Closes standard input (unless already closed) and waits for the end.
RunResult finish(LiveRun& run, int timeoutSeconds = 300);
// Waits until the run's standard output contains text; false after the timeout.
bool waitForOutput(const LiveRun& run, const std::string& text, int timeoutSeconds = 60);

// How often part occurs in text, without overlaps.
int occurrences(const std::string& text, const std::string& part);

// True when standard output ends with the program's last word.
bool endsWithFinished(const std::string& out);

// Text of a file under the tests folder.
std::string testData(const std::string& relativePath);

// The eight output extensions in the order the program opens them.
extern const std::vector<std::string> kOutputExtensions;

// The texts of the eight files PREFIX.<extension> in dir, in the order of
// kOutputExtensions.
std::vector<std::string> outputsOf(const ScratchDir& dir, const std::string& prefix = "p.txt");
