// Runs a fuzz target once on every file of the folders named on the command
// line: the committed corpus and every input that ever crashed a target.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int a = 1; a < argc; a++) {
    std::vector<std::filesystem::path> files;
    // A target without regression inputs has no folder for them in git.
    if (!std::filesystem::is_directory(argv[a])) continue;
    for (const auto& entry : std::filesystem::directory_iterator(argv[a]))
      if (entry.is_regular_file()) files.push_back(entry.path());
    for (const auto& path : files) {
      std::ifstream in(path, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      inputs++;
    }
  }
  std::printf("\nreplayed %d inputs\n", inputs);
  return 0;
}
