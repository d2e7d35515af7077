#include "report/program_main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/device.h"
#include "report/json_report.h"

namespace fitkit {
namespace {

// The command line exactly as the device side receives it.
std::string JoinArguments(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return joined;
}

int RunReported(const ProgramInfo& program, const char* file, int argc, char** argv,
                int (*entry)(const std::u16string& commandLine)) {
  JsonReport report(program.name, JoinArguments(argc, argv), platform::FindDeviceRoot());
  int status = 0;
  {
    platform::ScopedOutcomeRecorder installed(report);
    status = platform::RunOnDevice(argc, argv, entry);
  }
  report.Finish(status);
  std::string error;
  if (!report.WriteTo(file, &error)) {
    std::fprintf(stderr, "%s: cannot write the report %s: %s\n", program.name, file,
                 error.c_str());
  }
  return status;
}

}  // namespace

const char* KitVersion() { return FITKIT_VERSION; }

int ProgramMain(const ProgramInfo& program, int argc, char** argv,
                int (*entry)(const std::u16string& commandLine)) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(program.usage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s (fitkit) %s\n", program.name, KitVersion());
    return 0;
  }
  const char* file = std::getenv("FITKIT_REPORT");
  if (file == nullptr || *file == '\0') return platform::RunOnDevice(argc, argv, entry);
  return RunReported(program, file, argc, argv, entry);
}

}  // namespace fitkit
