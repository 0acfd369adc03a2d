// Replays saved inputs through a fuzz target without libFuzzer: every regular
// file of the folders named on the command line, in name order, each in a
// buffer of exactly its size. The first folder (the seed corpus) must exist
// and hold at least one file; later ones (saved crashes) may be missing. A
// broken rule aborts inside the target, which fails the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [MORE_DIRS...]\n", argv[0]);
    return 2;
  }
  std::size_t total = 0;
  for (int a = 1; a < argc; ++a) {
    const fs::path dir = argv[a];
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
      if (a == 1) {
        std::fprintf(stderr, "%s: no such folder\n", argv[a]);
        return 1;
      }
      continue;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (a == 1 && files.empty()) {
      std::fprintf(stderr, "%s: holds no inputs\n", argv[a]);
      return 1;
    }
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
        return 1;
      }
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      // An exact-size copy, so that a read past the end is a read past the
      // allocation (which AddressSanitizer reports).
      auto data = std::make_unique<std::uint8_t[]>(bytes.size() + (bytes.empty() ? 1 : 0));
      std::memcpy(data.get(), bytes.data(), bytes.size());
      std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
      LLVMFuzzerTestOneInput(data.get(), bytes.size());
      ++total;
    }
  }
  std::printf("%zu inputs replayed\n", total);
  return 0;
}
