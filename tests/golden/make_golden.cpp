// Writes the golden sets into a folder: make_golden <folder> [set...].
// Run it only where a change of output is meant, and say why in the commit.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fplib.h"
#include "golden_outputs.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [set...]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
  // The step log writes into the working directory.
  std::string scratch = (std::filesystem::temp_directory_path() / "make-golden-XXXXXX").string();
  if (!mkdtemp(scratch.data())) return 1;
  std::filesystem::current_path(scratch);
  FP_Begin();
  int failed = 0;
  for (const golden::Set &set : golden::Sets()) {
    bool wanted = argc == 2;
    for (int k = 2; k < argc; ++k) wanted |= set.name == argv[k];
    if (!wanted) continue;
    const std::vector<uint8_t> source =
        set.source.empty() ? std::vector<uint8_t>() : golden::ReadFile((folder / (set.source + ".bin")).string());
    const std::vector<uint8_t> data = golden::Compute(set, source);
    if (data.empty() || !golden::WriteFile((folder / (set.name + ".bin")).string(), data)) {
      std::fprintf(stderr, "%s: failed\n", set.name.c_str());
      ++failed;
      continue;
    }
    std::fprintf(stderr, "%s: %zu bytes\n", set.name.c_str(), data.size());
  }
  FP_End();
  std::filesystem::current_path(folder);
  std::filesystem::remove_all(scratch);
  return failed ? 1 : 0;
}
