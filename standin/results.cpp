#include "results.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "com.h"

namespace standin {

namespace {

std::mutex g_outputLock;
bool g_summary = false;
int g_errors = 0;
// Counts by event name, and by "event/value" for the outcome and state fields.
std::map<std::string, int> g_counts;
std::string g_countersLine;

}  // namespace

Record::Record(const char* event) { fields_.emplace_back("event", std::string(event)); }

Record& Record::Int(const char* key, long long value) {
  fields_.emplace_back(key, value);
  return *this;
}

Record& Record::Bool(const char* key, bool value) {
  fields_.emplace_back(key, value);
  return *this;
}

Record& Record::Str(const char* key, const std::string& value) {
  fields_.emplace_back(key, value);
  return *this;
}

Record& Record::Str(const char* key, const std::wstring& value) { return Str(key, Narrow(value)); }

void Record::Emit() {
  nlohmann::ordered_json line = nlohmann::ordered_json::object();
  for (const auto& [key, value] : fields_) {
    std::visit([&line, &key = key](const auto& v) { line[key] = v; }, value);
  }
  // Text from pages or registry keys may not be valid UTF-8; replace rather than fail.
  const std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);

  std::lock_guard<std::mutex> lock(g_outputLock);
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  const std::string event = std::get<std::string>(fields_.front().second);
  ++g_counts[event];
  for (const auto& [key, value] : fields_) {
    if ((key == "outcome" || key == "state") && std::holds_alternative<std::string>(value)) {
      ++g_counts[event + "/" + std::get<std::string>(value)];
    }
  }
  if (event == "counters") {
    g_countersLine = text;
  } else if (event == "error") {
    ++g_errors;
  }
}

void ReportError(const std::string& where, const std::string& message) {
  Record("error").Str("where", where).Str("message", message).Emit();
  std::lock_guard<std::mutex> lock(g_outputLock);
  std::fprintf(stderr, "standin: %s: %s\n", where.c_str(), message.c_str());
  std::fflush(stderr);
}

int ErrorCount() {
  std::lock_guard<std::mutex> lock(g_outputLock);
  return g_errors;
}

void EnableSummary(bool enabled) { g_summary = enabled; }

void PrintSummary() {
  if (!g_summary) return;
  std::lock_guard<std::mutex> lock(g_outputLock);
  auto count = [](const char* key) {
    const auto it = g_counts.find(key);
    return it == g_counts.end() ? 0 : it->second;
  };
  std::fprintf(stderr, "standin summary\n");
  std::fprintf(stderr, "  windows opened:      %d (closed %d)\n", count("window/opened"), count("window/closed"));
  std::fprintf(stderr, "  helper objects:      %d\n", count("helper"));
  std::fprintf(stderr, "  new-window requests: %d (opened %d, opened hidden %d, cancelled %d)\n", count("newwindow"),
               count("newwindow/opened"), count("newwindow/opened hidden"), count("newwindow/cancelled"));
  std::fprintf(stderr, "  visibility changes:  %d\n", count("visibility"));
  std::fprintf(stderr, "  Flash calls:         %d\n", count("flash"));
  std::fprintf(stderr, "  marquee calls:       %d\n", count("marquee"));
  std::fprintf(stderr, "  shared counters:     %s\n", g_countersLine.empty() ? "-" : g_countersLine.c_str());
  std::fprintf(stderr, "  errors:              %d\n", g_errors);
  std::fflush(stderr);
}

}  // namespace standin
