// The run as a whole: the scenario, the browser windows opened so far and
// the limits on every wait.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scenario.h"

namespace standin {

class BrowserWindow;

// Time allowed for one window to start, one command to run on a window's
// thread, or one piece of input to arrive. Generous: the machine may be busy,
// and a run that goes well never waits that long.
constexpr DWORD kWindowStartMs = 20000;
constexpr DWORD kCommandMs = 20000;
constexpr DWORD kInputMs = 10000;

class Runtime {
 public:
  static Runtime& Get();

  void Init(const Scenario& scenario, HINSTANCE instance);
  const Scenario& scenario() const { return *scenario_; }
  HINSTANCE instance() const { return instance_; }
  bool ready() const { return scenario_ != nullptr; }

  // Opens a new top-level browser window on a thread of its own and waits
  // until its helper objects are attached; null (reported) when it fails.
  std::shared_ptr<BrowserWindow> OpenWindow(bool hidden, const std::string& origin, bool refuseEvents = false);
  std::shared_ptr<BrowserWindow> FindWindow(int id);
  std::vector<std::shared_ptr<BrowserWindow>> Windows();

  // The page shown for an address: the named page, else the scenario's page
  // with that address, else a blank page with that address.
  const PageDesc& PageFor(const std::string& pageName, const std::string& url);

 private:
  const Scenario* scenario_ = nullptr;
  HINSTANCE instance_ = nullptr;
  std::mutex lock_;
  std::vector<std::shared_ptr<BrowserWindow>> windows_;
  std::deque<PageDesc> blankPages_;
  int nextId_ = 1;
};

// Waits for handle, running messages sent to this thread by other threads
// meanwhile (never posted ones, so nothing else of this thread runs). True
// when the handle was signalled within ms.
bool WaitPumpingSent(HANDLE handle, DWORD ms);

}  // namespace standin
