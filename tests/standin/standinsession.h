// Drives one run of the stand-in browser: writes the scenario, starts
// standin.exe with its results going to a file, reads the JSON lines while
// it runs (for steps the test takes in the middle of a run) and at the end.
#pragma once

#include <windows.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "handles.h"

namespace qp::test {

using Json = nlohmann::json;

class StandinSession {
 public:
  // Starts the run; started() tells whether the process could be created.
  explicit StandinSession(const Json& scenario, const std::vector<std::string>& options = {});
  // The scenario as text, as written by hand (also malformed on purpose).
  StandinSession(const std::string& scenarioText, const std::vector<std::string>& options);
  ~StandinSession();
  StandinSession(const StandinSession&) = delete;
  StandinSession& operator=(const StandinSession&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  // Waits until a record satisfies the predicate; the record, or null after ms.
  Json WaitFor(const std::function<bool(const Json&)>& match, DWORD ms);
  // Waits for the end of the run; the exit code, or -1 after ms (the run is then ended).
  int Finish(DWORD ms);
  // The exit code once Finish has returned (-1 when the run did not end or never started).
  int exitCode() const { return exitCode_; }
  // What the run wrote to standard error.
  std::string ErrorText() const;

  const std::vector<Json>& records() const { return records_; }
  std::vector<Json> Events(const std::string& name) const;
  // A field that the stand-in writes as hexadecimal text ("0x80004003"); -1
  // when it is missing or not such a text.
  static long long HexField(const Json& record, const char* name);
  // Every record and what the run wrote to standard error, for failure messages.
  std::string Dump() const;

 private:
  void Start(const std::string& scenarioText, const std::vector<std::string>& options);
  void ReadNewLines();

  std::string scenarioPath_, outPath_, errPath_;
  unique_handle process_;
  std::string pending_;
  std::size_t readOffset_ = 0;
  std::vector<Json> records_;
  int exitCode_ = -1;
};

// The folder of the test program, where standin.exe, standin_ie.dll and
// vex.dll are copied.
std::string ProgramsFolder();

}  // namespace qp::test
