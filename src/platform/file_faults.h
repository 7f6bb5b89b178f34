#pragma once
// A seam for tests of the file-replacing paths: each step of writing a file
// asks here whether it should fail, so a test can make every step fail in
// turn (as a full disk or a broken device would) and check what is left.

#include <functional>

namespace kx {

enum class FileStep { Create, Write, Sync, Close, Rename, Copy };

// The hook returns the error number the step fails with, or 0 to let it run.
using FileFaultHook = std::function<int(FileStep)>;

// Installs the hook (tests only); an empty function removes it.
void SetFileFaultHook(FileFaultHook hook);

// The error number the step must fail with; 0 without a hook.
int FileFault(FileStep step);

}  // namespace kx
