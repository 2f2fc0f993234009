#include "support/e2e.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

const std::vector<std::string> kOutputExtensions = {".dat", ".log", ".sig", ".hap", ".hin", ".hpf", ".mat", ".tre"};

std::vector<std::string> outputsOf(const ScratchDir& dir, const std::string& prefix) {
  std::vector<std::string> texts;
  for (const auto& ext : kOutputExtensions) texts.push_back(dir.read(prefix + ext));
  return texts;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "mutloc-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
  path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& text) const {
  std::ofstream(file(name), std::ios::binary) << text;
}

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ScratchDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

std::string testData(const std::string& relativePath) {
  std::ifstream in(std::string(MUTLOC_TEST_DATA) + "/" + relativePath, std::ios::binary);
  if (!in) throw std::runtime_error("missing test data " + relativePath);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) n++;
  return n;
}

bool endsWithFinished(const std::string& out) {
  return out.size() >= 8 && out.compare(out.size() - 8, 8, "Finished") == 0;
}

namespace {

int spawn(const ScratchDir& dir, const std::vector<std::string>& args, int stdinFd,
          std::string binary = MUTLOC_BINARY) {
  const int pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.path.c_str()) != 0) _exit(127);
  dup2(stdinFd, STDIN_FILENO);
  const int out = open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
  std::vector<char*> argv;
  argv.push_back(binary.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

RunResult collect(const ScratchDir& dir, int pid, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = dir.read(".stdout");
  result.err = dir.read(".stderr");
  std::filesystem::remove(dir.file(".stdout"));
  std::filesystem::remove(dir.file(".stderr"));
  for (const char* report : {"Sanitizer", "runtime error:"})
    if (result.err.find(report) != std::string::npos) ADD_FAILURE() << "sanitizer report:\n" << result.err;
  return result;
}

}  // namespace

RunResult runMutloc(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& stdinText,
                    int timeoutSeconds) {
  dir.write(".stdin", stdinText);
  const int in = open(dir.file(".stdin").c_str(), O_RDONLY);
  const int pid = spawn(dir, args, in);
  close(in);
  RunResult result = collect(dir, pid, timeoutSeconds);
  std::filesystem::remove(dir.file(".stdin"));
  return result;
}

RunResult runProgram(const std::string& binary, const ScratchDir& dir, const std::vector<std::string>& args,
                     int timeoutSeconds) {
  const int in = open("/dev/null", O_RDONLY);
  const int pid = spawn(dir, args, in, binary);
  close(in);
  return collect(dir, pid, timeoutSeconds);
}

LiveRun startMutloc(const ScratchDir& dir, const std::vector<std::string>& args) {
  // The write end must not leak into the child, or its input would never end.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  signal(SIGPIPE, SIG_IGN);
  LiveRun run;
  run.pid = spawn(dir, args, fds[0]);
  close(fds[0]);
  run.input = fds[1];
  run.dir = &dir;
  return run;
}

void sendInput(LiveRun& run, const std::string& text) {
  [[maybe_unused]] ssize_t written = write(run.input, text.data(), text.size());
}

void sendSignal(LiveRun& run, int signal) { kill(run.pid, signal); }

RunResult finish(LiveRun& run, int timeoutSeconds) {
  if (run.input >= 0) close(run.input);
  run.input = -1;
  return collect(*run.dir, run.pid, timeoutSeconds);
}

bool waitForOutput(const LiveRun& run, const std::string& text, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (run.dir->read(".stdout").find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}
