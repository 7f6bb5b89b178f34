// Runs a fuzz target without libFuzzer: LLVMFuzzerTestOneInput once on every
// file of the folders (and on the files) given, in name order. An exception
// escaping the target fails the run naming the file; a crash names the file
// before the process dies. A folder without files is an error too, so a lost
// corpus cannot pass unseen.
//   paradox_fuzz_corpus fuzz/corpus/paradox [more folders or files]

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// The input being run, for the crash message (kept where a signal handler may read it).
char g_current[4096];

void OnCrash(int signal) {
  static const char kPrefix[] = "corpus_runner: crashed on ";
  ssize_t ignored = write(STDERR_FILENO, kPrefix, sizeof kPrefix - 1);
  ignored = write(STDERR_FILENO, g_current, strnlen(g_current, sizeof g_current));
  ignored = write(STDERR_FILENO, "\n", 1);
  (void)ignored;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

bool ReadFile(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
    return 2;
  }
  for (int s : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL}) std::signal(s, OnCrash);

  std::vector<fs::path> inputs;
  for (int k = 1; k < argc; ++k) {
    fs::path arg = argv[k];
    std::error_code ec;
    if (!fs::is_directory(arg, ec)) {
      inputs.push_back(arg);
      continue;
    }
    size_t before = inputs.size();
    for (fs::recursive_directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) inputs.push_back(it->path());
    }
    if (ec || inputs.size() == before) {
      std::fprintf(stderr, "corpus_runner: no inputs in %s\n", arg.c_str());
      return 1;
    }
    std::sort(inputs.begin() + static_cast<std::ptrdiff_t>(before), inputs.end());
  }

  int failures = 0;
  std::string bytes;
  for (const fs::path& input : inputs) {
    std::snprintf(g_current, sizeof g_current, "%s", input.c_str());
    if (!ReadFile(input, bytes)) {
      std::fprintf(stderr, "corpus_runner: cannot read %s\n", input.c_str());
      ++failures;
      continue;
    }
    try {
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "corpus_runner: %s: uncaught exception: %s\n", input.c_str(), e.what());
      ++failures;
    } catch (...) {
      std::fprintf(stderr, "corpus_runner: %s: uncaught exception of an unknown type\n", input.c_str());
      ++failures;
    }
  }
  std::printf("%zu inputs, %d failed\n", inputs.size(), failures);
  return failures == 0 ? 0 : 1;
}
