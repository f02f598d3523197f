// analyze --html: one self-contained HTML page for reviewers. It shows the
// counts per entity type (a table and an inline SVG bar chart) and the
// documents with their findings highlighted (type and score on hover), the
// documents with the most findings first. Nothing outside the page is
// loaded; every character from the input is escaped.
//
//   HtmlReport report;
//   report.add("notes.txt", text, results);
//   report.write("report.html");
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::cli {

class HtmlReport {
 public:
  // The page shows at most `max_documents` documents (those with the most
  // findings) and at most `max_chars` characters of each; the counts cover
  // every document added.
  explicit HtmlReport(size_t max_documents = 1000, size_t max_chars = 100000);

  // Adds a document; `results` are code-point spans of `text`, in order of
  // position.
  void add(const std::string& source, const Utf8Text& text, const std::vector<recognition::RecognizerResult>& results);

  std::string html() const;
  // Writes the page to `path` through a temporary beside it; throws
  // std::runtime_error naming the file when that fails.
  void write(const std::string& path) const;

 private:
  struct Shown {
    std::string source;
    size_t findings = 0;
    size_t order = 0;
    std::string body;  // the escaped text with its highlights
  };

  size_t max_documents_, max_chars_;
  size_t documents_ = 0, findings_ = 0;
  std::map<std::string, size_t> counts_;
  std::vector<Shown> shown_;  // a min-heap on (findings, -order) while adding
};

}  // namespace tesk_privacy::cli
