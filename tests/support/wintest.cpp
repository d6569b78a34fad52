#include "wintest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "dllcomm.h"

namespace qp::test {

namespace {

constexpr int kUnknownRole = 98;

std::map<std::string, ChildRole>& Roles() {
  static std::map<std::string, ChildRole> roles;
  return roles;
}

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

int RunChildRole(const std::string& name, const std::vector<std::string>& args) {
  auto& roles = Roles();
  auto role = roles.find(name);
  if (role == roles.end()) {
    std::fprintf(stderr, "unknown child role %s\n", name.c_str());
    return kUnknownRole;
  }
  return role->second(args);
}

bool RegisterChildRole(const char* name, ChildRole role) {
  Roles()[name] = std::move(role);
  return true;
}

bool ChildProcess::Start(const std::string& role, const std::vector<std::string>& args) {
  std::string command = Quote(ProgramPath()) + " --child " + role;
  for (const std::string& a : args) command += " " + Quote(a);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  return true;
}

int ChildProcess::Wait(DWORD ms) {
  if (!process_) return -1;
  if (::WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 5000);
    process_.reset();
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  process_.reset();
  return static_cast<int>(code);
}

ChildProcess::~ChildProcess() {
  if (process_) Wait(10000);
}

int RunChild(const std::string& role, const std::vector<std::string>& args, DWORD ms) {
  ChildProcess child;
  if (!child.Start(role, args)) return -2;
  return child.Wait(ms);
}

std::string UniqueName(const char* stem) {
  static LONG counter = 0;
  char buffer[128];
  std::snprintf(buffer, sizeof(buffer), "qp_test_%s_%lu_%ld", stem, ::GetCurrentProcessId(),
                ::InterlockedIncrement(&counter));
  return buffer;
}

unique_handle CreateNamedEvent(const std::string& name) {
  return unique_handle(::CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
}

bool WaitForNamedEvent(const std::string& name, DWORD ms) {
  unique_handle event = CreateNamedEvent(name);
  return event && ::WaitForSingleObject(event.get(), ms) == WAIT_OBJECT_0;
}

bool SetNamedEvent(const std::string& name) {
  unique_handle event = CreateNamedEvent(name);
  return event && ::SetEvent(event.get());
}

PostBox::PostBox()
    : window_(::CreateWindowExA(0, "STATIC", "qp post box", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {}

std::vector<MSG> PostBox::Take(UINT message) {
  std::vector<MSG> taken;
  MSG msg;
  while (::PeekMessageA(&msg, window_.get(), message, message, PM_REMOVE)) taken.push_back(msg);
  return taken;
}

int RunProgram(const std::string& program, const std::string& arguments, DWORD ms) {
  std::string command = "\"" + program + "\" " + arguments;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -2;
  unique_handle process(pi.hProcess);
  unique_handle thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 99);
    ::WaitForSingleObject(process.get(), 5000);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

void PumpMessages(DWORD ms) {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (::GetTickCount() - start < ms) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string ProgramFolder() {
  std::string path = ProgramPath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

}  // namespace qp::test

