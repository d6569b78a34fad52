// What a run reports: one JSON object per line on standard output, written
// from any thread, and an optional short summary on standard error.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace standin {

// One result line under construction: fields in the order they are added.
class Record {
 public:
  explicit Record(const char* event);
  Record& Int(const char* key, long long value);
  Record& Bool(const char* key, bool value);
  Record& Str(const char* key, const std::string& value);
  Record& Str(const char* key, const std::wstring& value);
  // Writes the line (thread-safe) and feeds the summary.
  void Emit();

 private:
  using Value = std::variant<long long, bool, std::string>;
  std::vector<std::pair<std::string, Value>> fields_;
};

// Reports a failure of the run itself ("where" names the scenario place or the
// part of the stand-in) and counts it; the run then ends with a non-zero code.
void ReportError(const std::string& where, const std::string& message);
int ErrorCount();

void EnableSummary(bool enabled);
// Writes the summary to standard error when it was asked for.
void PrintSummary();

}  // namespace standin
