#include "listfile.h"

#include "layout.h"

namespace qp {

namespace {
// The line is kept while it may still fit a slot; one character more is
// room for the CR that may precede the line feed.
constexpr std::size_t kMaxKept = kSlotMaxChars + 1;
}  // namespace

void ListFileReader::Feed(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n') {
      EndLine();
      continue;
    }
    if (c == '\0') hasZero_ = true;
    if (line_.size() < kMaxKept) {
      line_.push_back(c);
    } else {
      tooLong_ = true;
    }
  }
}

void ListFileReader::Finish() {
  if (!line_.empty() || tooLong_ || hasZero_) EndLine();
}

void ListFileReader::EndLine() {
  if (!tooLong_ && !line_.empty() && line_.back() == '\r') line_.pop_back();
  if (tooLong_ || hasZero_ || line_.size() > kSlotMaxChars) {
    ++refused_;
  } else if (!line_.empty()) {
    sink_(line_);
  }
  line_.clear();
  tooLong_ = false;
  hasZero_ = false;
}

}  // namespace qp
