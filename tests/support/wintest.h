// Support for the Windows tests: a main that sets up the channel's process
// locks, child roles (the same test program started again in another role,
// for checks that need a second process) and small helpers.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "handles.h"

namespace qp::test {

// A role that the test program runs instead of its tests when started with
// "--child NAME args...". The role's result becomes the exit code.
using ChildRole = std::function<int(const std::vector<std::string>& args)>;
bool RegisterChildRole(const char* name, ChildRole role);
// Runs a registered role; its result, or an error code for an unknown name.
int RunChildRole(const std::string& name, const std::vector<std::string>& args);

#define QP_CHILD_ROLE(name)                                                                 \
  static int ChildRole_##name([[maybe_unused]] const std::vector<std::string>& args);       \
  static const bool registered_##name = ::qp::test::RegisterChildRole(#name, ChildRole_##name); \
  static int ChildRole_##name([[maybe_unused]] const std::vector<std::string>& args)

// A second process running one role of this test program.
class ChildProcess {
 public:
  bool Start(const std::string& role, const std::vector<std::string>& args = {});
  // The exit code, or -1 when the child did not end within ms (it is then killed).
  int Wait(DWORD ms);
  ~ChildProcess();

 private:
  unique_handle process_;
};

// Runs a role in a child process and waits for it (bounded).
int RunChild(const std::string& role, const std::vector<std::string>& args = {}, DWORD ms = 30000);

// A name that no other test run uses, for events and windows of one test.
std::string UniqueName(const char* stem);

// Waits for a named event that another process sets; false after ms.
bool WaitForNamedEvent(const std::string& name, DWORD ms);
// Creates a manual-reset named event (not set).
unique_handle CreateNamedEvent(const std::string& name);
bool SetNamedEvent(const std::string& name);

// A hidden window on the test's thread whose posted messages the test reads.
class PostBox {
 public:
  PostBox();
  HWND hwnd() const { return window_.get(); }
  // The posted messages with this id waiting for the window, oldest first.
  std::vector<MSG> Take(UINT message);
 private:
  unique_hwnd window_;
};

// Runs a program with a command line and waits (bounded); its exit code,
// -1 when it did not end in time, -2 when it could not be started.
int RunProgram(const std::string& program, const std::string& arguments, DWORD ms = 60000);

// Pumps this thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

}  // namespace qp::test
