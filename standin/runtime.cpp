#include "runtime.h"

#include "results.h"
#include "window.h"

namespace standin {

Runtime& Runtime::Get() {
  static Runtime runtime;
  return runtime;
}

void Runtime::Init(const Scenario& scenario, HINSTANCE instance) {
  scenario_ = &scenario;
  instance_ = instance;
}

std::shared_ptr<BrowserWindow> Runtime::OpenWindow(bool hidden, const std::string& origin, bool refuseEvents) {
  std::shared_ptr<BrowserWindow> window;
  {
    std::lock_guard<std::mutex> lock(lock_);
    window = std::make_shared<BrowserWindow>(nextId_++, hidden, refuseEvents);
    windows_.push_back(window);
  }
  if (!window->Start(kWindowStartMs, origin)) {
    ReportError("window " + std::to_string(window->id()),
                "did not start within " + std::to_string(kWindowStartMs) + " ms");
    return nullptr;
  }
  return window;
}

std::shared_ptr<BrowserWindow> Runtime::FindWindow(int id) {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& window : windows_) {
    if (window->id() == id) return window;
  }
  return nullptr;
}

std::vector<std::shared_ptr<BrowserWindow>> Runtime::Windows() {
  std::lock_guard<std::mutex> lock(lock_);
  return windows_;
}

const PageDesc& Runtime::PageFor(const std::string& pageName, const std::string& url) {
  if (!pageName.empty()) {
    if (const PageDesc* page = scenario_->FindPage(pageName)) return *page;
  }
  if (const PageDesc* page = scenario_->FindPageByUrl(url)) return *page;
  std::lock_guard<std::mutex> lock(lock_);
  for (const PageDesc& page : blankPages_) {
    if (page.url == url) return page;
  }
  PageDesc blank;
  blank.name = "";
  blank.url = url;
  blank.where = "blank page";
  blankPages_.push_back(std::move(blank));
  return blankPages_.back();
}

bool WaitPumpingSent(HANDLE handle, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (true) {
    const DWORD spent = ::GetTickCount() - start;
    if (spent >= ms) return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    const DWORD r = ::MsgWaitForMultipleObjects(1, &handle, FALSE, ms - spent, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_OBJECT_0 + 1) {
      MSG msg;
      // Delivers the messages sent to this thread; posted ones stay queued.
      ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (r == WAIT_TIMEOUT) return false;
    return false;
  }
}

}  // namespace standin
