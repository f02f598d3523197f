// SharedExplanation: the optional AnalysisExplanation a detection carries.
//
// A pattern can match tens of thousands of times in one text, and all those
// results carry the same explanation (recognizer, pattern, its full regular
// expression). Copies therefore share one explanation: copying costs a
// reference count, and a copy is made only when a shared explanation is
// changed through edit().
//
//   SharedExplanation ex = AnalysisExplanation("KTPRecognizer", 0.5);
//   SharedExplanation copy = ex;            // shares ex's explanation
//   copy.edit().set_improved_score(0.85);   // copy now has its own
//   double s = ex->score;                   // still 0.5
//
// Reading is as for a const std::optional<AnalysisExplanation>. Objects are
// not safe to change while another thread reads the same object; copies may
// be used freely on different threads.
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "tesk_privacy/recognition/analysis_explanation.h"

namespace tesk_privacy::recognition {

class SharedExplanation {
 public:
  SharedExplanation() = default;
  SharedExplanation(std::nullopt_t) {}  // NOLINT: converts like std::optional
  SharedExplanation(AnalysisExplanation explanation)  // NOLINT
      : ptr_(std::make_shared<AnalysisExplanation>(std::move(explanation))) {}
  SharedExplanation(std::optional<AnalysisExplanation> explanation)  // NOLINT
      : ptr_(explanation ? std::make_shared<AnalysisExplanation>(std::move(*explanation)) : nullptr) {}

  bool has_value() const { return ptr_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  const AnalysisExplanation& operator*() const { return *ptr_; }
  const AnalysisExplanation* operator->() const { return ptr_.get(); }

  // The explanation for changing, copied first when another object shares
  // it. Requires has_value().
  AnalysisExplanation& edit() {
    if (ptr_.use_count() > 1) ptr_ = std::make_shared<AnalysisExplanation>(*ptr_);
    return *ptr_;
  }
  template <typename... Args>
  AnalysisExplanation& emplace(Args&&... args) {
    ptr_ = std::make_shared<AnalysisExplanation>(std::forward<Args>(args)...);
    return *ptr_;
  }
  void reset() { ptr_.reset(); }

  bool operator==(const SharedExplanation& other) const {
    return ptr_ == other.ptr_ || (ptr_ && other.ptr_ && *ptr_ == *other.ptr_);
  }

 private:
  std::shared_ptr<AnalysisExplanation> ptr_;  // null when absent; never changed while shared
};

}  // namespace tesk_privacy::recognition
