#include "driver/outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace {

const char* const kExtensions[kOutputFiles] = {".dat", ".log", ".sig", ".hap", ".hin", ".hpf", ".mat", ".tre"};
// Closing order at the end of a run.
const OutputFile kCloseOrder[kOutputFiles] = {Dat, Log, Sig, Hap, Mat, Hpf, Hin, Tre};

std::string folderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

}  // namespace

OutputNames::OutputNames(const std::string& prefix) : prefix(prefix) {
  for (int f = 0; f < kOutputFiles; f++) files[f] = prefix + kExtensions[f];
  samples = prefix + ".samples";
  checkpoint = prefix + ".ckpt";
  summary = prefix + ".summary.json";
  founders = prefix + ".founder.tsv";
  const std::string folder = folderOf(prefix);
  exons = folder == "." ? "exons.txt" : folder + "/exons.txt";
}

bool canWrite(const std::string& name) {
  struct stat info;
  if (stat(name.c_str(), &info) == 0) return !S_ISDIR(info.st_mode) && access(name.c_str(), W_OK) == 0;
  return access(folderOf(name).c_str(), W_OK | X_OK) == 0;
}

std::string whyNotWritable(const std::string& name) {
  const std::string folder = folderOf(name);
  struct stat info;
  if (stat(name.c_str(), &info) == 0)
    return S_ISDIR(info.st_mode) ? name + " is a folder" : name + " is not writable";
  if (stat(folder.c_str(), &info) != 0) return "the folder " + folder + " does not exist";
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  return "the folder " + folder + " does not let files be created";
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;  // a name that does not exist is not the same file
  return std::filesystem::equivalent(a, b, error);
}

long long freeBytesFor(const std::string& name) {
  struct statvfs info;
  if (statvfs(folderOf(name).c_str(), &info) != 0) return -1;
  return static_cast<long long>(info.f_bavail) * static_cast<long long>(info.f_frsize);
}

long long fileBytes(const std::string& name) {
  struct stat info;
  if (stat(name.c_str(), &info) != 0) return -1;
  return static_cast<long long>(info.st_size);
}

bool openOutput(std::ofstream& stream, const std::string& name, bool keep, uint64_t keepBytes) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | (keep ? 0 : O_TRUNC), 0664);
  if (fd < 0) return false;
  const bool cut = !keep || ftruncate(fd, static_cast<off_t>(keepBytes)) == 0;
  close(fd);
  if (!cut) return false;
  stream.open(name, keep ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
  return stream.is_open();
}

std::string OutputFiles::closeAll(const OutputNames& names) {
  std::string failed;
  for (OutputFile f : kCloseOrder) {
    if (!out[f].is_open()) continue;
    out[f].close();
    if (out[f].fail() && failed.empty()) failed = names.files[f];
  }
  return failed;
}
