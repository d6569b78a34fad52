// Splits the bytes of a host list file into entries. One host per line; a
// line ends with LF, and a CR right before the LF belongs to the line end.
// Empty lines are skipped; a line longer than a slot can hold (30 characters)
// or one that holds a zero byte is refused whole, never stored in pieces.
// The reader is fed in chunks of any size and keeps at most one line, so a
// huge or binary file costs no more memory than a short one.
// Portable: no Windows API.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qp {

class ListFileReader {
 public:
  using EntrySink = std::function<void(const std::string& entry)>;

  explicit ListFileReader(EntrySink sink) : sink_(std::move(sink)) {}

  void Feed(const char* data, std::size_t size);
  // Hands over the last line when the file does not end with a line feed.
  void Finish();

  std::size_t refusedLines() const { return refused_; }

 private:
  void EndLine();

  EntrySink sink_;
  std::string line_;
  bool tooLong_ = false;
  bool hasZero_ = false;
  std::size_t refused_ = 0;
};

}  // namespace qp
