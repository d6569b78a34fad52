#include "standinsession.h"

#include <fstream>
#include <sstream>

#include "wintest.h"

namespace qp::test {

namespace {

std::string ReadFrom(const std::string& path, std::size_t offset) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string ProgramsFolder() { return ProgramFolder(); }

StandinSession::StandinSession(const Json& scenario, const std::vector<std::string>& options) {
  Start(scenario.dump(1), options);
}

StandinSession::StandinSession(const std::string& scenarioText, const std::vector<std::string>& options) {
  Start(scenarioText, options);
}

void StandinSession::Start(const std::string& scenarioText, const std::vector<std::string>& options) {
  const std::string stem = ProgramsFolder() + UniqueName("scenario");
  scenarioPath_ = stem + ".json";
  outPath_ = stem + ".out";
  errPath_ = stem + ".err";
  if (!(std::ofstream(scenarioPath_, std::ios::binary) << scenarioText)) return;

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  unique_hfile out(::CreateFileA(outPath_.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
  unique_hfile err(::CreateFileA(errPath_.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
  std::string command = "\"" + ProgramsFolder() + "standin.exe\"";
  for (const std::string& option : options) command += " " + option;
  command += " \"" + scenarioPath_ + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  PROCESS_INFORMATION info = {};
  if (::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    unique_handle thread(info.hThread);
    process_.reset(info.hProcess);
  }
}

StandinSession::~StandinSession() {
  if (process_) Finish(30000);
  ::DeleteFileA(scenarioPath_.c_str());
  ::DeleteFileA(outPath_.c_str());
  ::DeleteFileA(errPath_.c_str());
}

void StandinSession::ReadNewLines() {
  const std::string fresh = ReadFrom(outPath_, readOffset_);
  readOffset_ += fresh.size();
  pending_ += fresh;
  std::size_t end;
  while ((end = pending_.find('\n')) != std::string::npos) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) records_.push_back(Json::parse(line, nullptr, false));
  }
}

Json StandinSession::WaitFor(const std::function<bool(const Json&)>& match, DWORD ms) {
  const DWORD start = ::GetTickCount();
  std::size_t seen = 0;
  for (;;) {
    ReadNewLines();
    for (; seen < records_.size(); ++seen) {
      if (match(records_[seen])) return records_[seen];
    }
    if (::GetTickCount() - start >= ms) return Json();
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
      ReadNewLines();
      for (; seen < records_.size(); ++seen) {
        if (match(records_[seen])) return records_[seen];
      }
      return Json();
    }
    PumpMessages(20);
  }
}

int StandinSession::Finish(DWORD ms) {
  int code = -1;
  if (process_) {
    if (::WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0) {
      DWORD exitCode = 0;
      ::GetExitCodeProcess(process_.get(), &exitCode);
      code = static_cast<int>(exitCode);
    } else {
      ::TerminateProcess(process_.get(), 99);
      ::WaitForSingleObject(process_.get(), 5000);
    }
    process_.reset();
    exitCode_ = code;
  }
  ReadNewLines();
  return code;
}

std::string StandinSession::ErrorText() const { return ReadFrom(errPath_, 0); }

std::vector<Json> StandinSession::Events(const std::string& name) const {
  std::vector<Json> found;
  for (const Json& r : records_) {
    if (r.is_object() && r.value("event", "") == name) found.push_back(r);
  }
  return found;
}

long long StandinSession::HexField(const Json& record, const char* name) {
  if (!record.is_object() || !record.contains(name) || !record[name].is_string()) return -1;
  try {
    return static_cast<long long>(std::stoull(record[name].get<std::string>(), nullptr, 16));
  } catch (...) {
    return -1;
  }
}

std::string StandinSession::Dump() const {
  std::string text;
  for (const Json& r : records_) text += r.dump() + "\n";
  return text + ErrorText();
}

}  // namespace qp::test
