// The environment object: every platform service the kit uses, behind one
// small interface each. Programs install the device's own implementation at
// start; tests install fakes for whatever they want to control.
#pragma once

namespace platform {

class FileSystem;
class Registry;
class CodePage;
class SystemServices;
class ProcessTable;
class VersionResources;
class DriverHost;
class Kernel;
class DialogHost;
class SecurityFloor;

struct Environment {
  FileSystem* files = nullptr;
  Registry* registry = nullptr;
  CodePage* codePage = nullptr;
  SystemServices* system = nullptr;
  ProcessTable* processes = nullptr;
  VersionResources* versions = nullptr;
  DriverHost* drivers = nullptr;
  Kernel* kernel = nullptr;
  DialogHost* dialogs = nullptr;
  SecurityFloor* floors = nullptr;
};

// The installed environment. Using a service that was never installed is a
// programming error and aborts with a message.
//
// Threads: the services are called from one thread, the program's own,
// unless their header says more: an open File (file_system.h) and Trace
// (trace.h) may be used from other threads. Nothing may be installed or
// restored (ScopedEnvironment) while other threads use the services.
Environment& Env();
FileSystem& Files();
Registry& Reg();
CodePage& Ansi();
SystemServices& System();
ProcessTable& Processes();
VersionResources& Versions();
DriverHost& Drivers();
Kernel& KernelServices();
DialogHost& Dialogs();
SecurityFloor& Floors();

// Installs `env` for the lifetime of the object and restores the previous one.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const Environment& env);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  Environment previous_;
};

}  // namespace platform
