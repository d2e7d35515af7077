// The in-memory device of the reader's tests and the fuzz target: the shared
// in-memory file system and the Latin-1 code page, installed for one test.
#pragma once

#include <memory>

#include "platform/environment.h"
#include "tests/support/memory_file_system.h"

namespace zip_test {

using FakeFileSystem = test_support::MemoryFileSystem;
using FakeNode = test_support::MemoryNode;
using FakeCodePage = test_support::Latin1CodePage;

class FakeDevice {
 public:
  FakeDevice() : scope_(Services()) {}
  FakeFileSystem files;
  FakeCodePage codePage;

 private:
  platform::Environment Services() {
    platform::Environment env;
    env.files = &files;
    env.codePage = &codePage;
    return env;
  }
  platform::ScopedEnvironment scope_;
};

}  // namespace zip_test
