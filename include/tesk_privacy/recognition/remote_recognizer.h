// RemoteRecognizer: base of recognizers that send the text to a service and
// convert its answer. A failed request is logged and contributes nothing to
// the analysis, so the base counts such failures for callers that must not
// mistake a missing answer for a clean text:
//
//   auto prosa = std::make_shared<ProsaRemoteRecognizer>(url, key);
//   ... analyses ...
//   if (prosa->failed_requests() > 0) { /* some texts were not checked by Prosa */ }
//
// The counter is the only state that changes after construction; it is
// atomic, so analyses on several threads may share the recognizer.
#pragma once

#include <atomic>
#include <cstdint>

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::recognition {

class RemoteRecognizer : public EntityRecognizer {
 public:
  RemoteRecognizer(std::vector<std::string> supported_entities, std::string name,
                   std::string supported_language, std::string version,
                   std::vector<std::string> context = {})
      : EntityRecognizer(std::move(supported_entities), std::move(name),
                         std::move(supported_language), std::move(version), std::move(context)) {}

  // Requests since construction that yielded no usable answer: no connection,
  // a time-out, an error status, or an answer that could not be read.
  uint64_t failed_requests() const { return failed_requests_.load(std::memory_order_relaxed); }

 protected:
  void count_failed_request() const { failed_requests_.fetch_add(1, std::memory_order_relaxed); }

 private:
  mutable std::atomic<uint64_t> failed_requests_{0};
};

}  // namespace tesk_privacy::recognition
