// A device root on disk with its environment installed, the updater's
// program-wide values set for it and a recording dialog.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "device/device.h"
#include "package_files.h"
#include "platform/environment.h"
#include "platform/processes.h"
#include "shellfit/shellfit.h"
#include "tests/support/recording_dialog.h"

namespace shellfit_test {

// The recording dialog with a 2000-pixel status line, so names are never cut.
class FakeDialog : public test_support::RecordingDialog {
 public:
  FakeDialog() { statusWidth = 2000; }
};

class ShellfitTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenDevice(""); }

  void OpenDevice(const std::string& extraIni) {
    MakeStockDevice(root_.path(), extraIni);
    ReopenDevice();
  }

  // The device as its root now is, with the registry setting that keeps the
  // in-place order.
  void AskForInPlaceOrder() {
    test_support::AskForInPlaceInstall(root_.path());
    ReopenDevice();
  }

  void ReopenDevice() {
    processesScope_.reset();
    environment_.reset();
    device_.reset();
    device_ = device::Device::Open(root_.path());
    environment_ = std::make_unique<platform::ScopedEnvironment>(device_->environment());
  }

  // Puts `processes` in place of the device's process list for this test.
  void UseProcesses(platform::ProcessTable& processes) {
    platform::Environment env = platform::Env();
    env.processes = &processes;
    processesScope_ = std::make_unique<platform::ScopedEnvironment>(env);
  }

  // A host path below <root>/fs.
  fs::path Fs(const std::string& relative) const { return root_.path() / "fs" / relative; }
  // A host path in the folder packages are made from.
  fs::path Stage(const std::string& relative) const { return staging_.path() / relative; }

  TempFolder root_;
  TempFolder staging_;
  std::unique_ptr<device::Device> device_;
  std::unique_ptr<platform::ScopedEnvironment> environment_;
  std::unique_ptr<platform::ScopedEnvironment> processesScope_;  // over environment_
  FakeDialog dialog_;
  shellfit::UpdateSite site_{u"KTR 60", u"\\Storage Card", u"\\Flash Disk"};
};

}  // namespace shellfit_test
