#include "html_report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace tesk_privacy::cli {
namespace {

void escape(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

// Fewer findings first, and among equals the later document first, so the
// heap's front is the document to drop.
bool shown_before(size_t findings_a, size_t order_a, size_t findings_b, size_t order_b) {
  return findings_a != findings_b ? findings_a > findings_b : order_a < order_b;
}

// A stable colour for each entity type.
std::string colour(const std::string& type) {
  uint32_t h = 2166136261u;
  for (unsigned char c : type) h = (h ^ c) * 16777619u;
  char buf[40];
  std::snprintf(buf, sizeof buf, "hsl(%u,70%%,82%%)", h % 360);
  return buf;
}

constexpr const char* kStyle = R"(<style>
body{font-family:system-ui,sans-serif;margin:2em;color:#222;max-width:70em}
h1{font-size:1.4em}h2{font-size:1.1em;margin-top:2em}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.2em .6em;text-align:left}
td.n{text-align:right}
.doc{border:1px solid #ddd;border-radius:4px;padding:.6em;margin:.8em 0}
.doc h3{font-size:.95em;margin:0 0 .4em 0;color:#555}
.doc pre{white-space:pre-wrap;word-wrap:break-word;margin:0;font-family:inherit}
mark{border-radius:3px;padding:0 .1em}
mark span{font-size:.7em;font-weight:bold;margin-left:.25em;color:#333}
</style>)";

}  // namespace

HtmlReport::HtmlReport(size_t max_documents, size_t max_chars) : max_documents_(max_documents), max_chars_(max_chars) {}

void HtmlReport::add(const std::string& source, const Utf8Text& text,
                     const std::vector<recognition::RecognizerResult>& results) {
  const size_t order = documents_++;
  findings_ += results.size();
  for (const auto& r : results) ++counts_[r.entity_type];
  auto heap_less = [](const Shown& a, const Shown& b) { return shown_before(a.findings, a.order, b.findings, b.order); };
  if (max_documents_ == 0) return;
  if (shown_.size() == max_documents_) {
    const Shown& last = shown_.front();
    if (!shown_before(results.size(), order, last.findings, last.order)) return;
    std::pop_heap(shown_.begin(), shown_.end(), heap_less);
    shown_.pop_back();
  }
  Shown doc{source, results.size(), order, {}};
  const size_t end = std::min(text.length(), max_chars_);
  size_t at = 0;
  for (const auto& r : results) {
    const auto start = static_cast<size_t>(r.start), stop = static_cast<size_t>(r.end);
    if (r.start < 0 || start < at || stop > end || start >= stop) continue;  // overlapping or cut off
    escape(doc.body, text.slice(at, start));
    char score[32];
    std::snprintf(score, sizeof score, "%.2f", r.score);
    doc.body += "<mark style=\"background:" + colour(r.entity_type) + "\" title=\"";
    escape(doc.body, r.entity_type);
    doc.body += std::string(" (score ") + score + ")\">";
    escape(doc.body, text.slice(start, stop));
    doc.body += "<span>";
    escape(doc.body, r.entity_type);
    doc.body += "</span></mark>";
    at = stop;
  }
  escape(doc.body, text.slice(at, end));
  if (end < text.length()) {
    doc.body += "\n… (" + std::to_string(text.length() - end) + " more characters not shown)";
  }
  shown_.push_back(std::move(doc));
  std::push_heap(shown_.begin(), shown_.end(), heap_less);
}

std::string HtmlReport::html() const {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
      "<title>tesk-privacy report</title>";
  out += kStyle;
  out += "</head><body><h1>PII report</h1>\n<p>" + std::to_string(documents_) + " documents, " +
         std::to_string(findings_) + " findings.</p>\n";

  std::vector<std::pair<std::string, size_t>> counts(counts_.begin(), counts_.end());
  std::stable_sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  out += "<h2>Findings per entity type</h2>\n<table><tr><th>Entity type</th><th>Findings</th></tr>\n";
  for (const auto& [type, n] : counts) {
    out += "<tr><td>";
    escape(out, type);
    out += "</td><td class=\"n\">" + std::to_string(n) + "</td></tr>\n";
  }
  out += "</table>\n";
  if (!counts.empty()) {
    const size_t bar_height = 22, label_width = 230, bar_width = 400;
    const size_t most = counts.front().second;
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"findings per entity type\" width=\"" +
           std::to_string(label_width + bar_width + 80) + "\" height=\"" +
           std::to_string(counts.size() * bar_height + 10) + "\" font-size=\"12\">\n";
    for (size_t i = 0; i < counts.size(); ++i) {
      const size_t y = i * bar_height + 5;
      const size_t w = std::max<size_t>(1, counts[i].second * bar_width / most);
      out += "<text x=\"" + std::to_string(label_width - 6) + "\" y=\"" + std::to_string(y + 15) +
             "\" text-anchor=\"end\">";
      escape(out, counts[i].first);
      out += "</text><rect x=\"" + std::to_string(label_width) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             std::to_string(w) + "\" height=\"" + std::to_string(bar_height - 6) + "\" fill=\"" +
             colour(counts[i].first) + "\" stroke=\"#888\"/><text x=\"" + std::to_string(label_width + w + 6) +
             "\" y=\"" + std::to_string(y + 15) + "\">" + std::to_string(counts[i].second) + "</text>\n";
    }
    out += "</svg>\n";
  }

  std::vector<const Shown*> docs;
  for (const Shown& s : shown_) docs.push_back(&s);
  std::sort(docs.begin(), docs.end(), [](const Shown* a, const Shown* b) {
    return shown_before(a->findings, a->order, b->findings, b->order);
  });
  out += "<h2>Documents, most findings first</h2>\n";
  if (docs.size() < documents_) {
    out += "<p>The " + std::to_string(docs.size()) + " documents with the most findings of " +
           std::to_string(documents_) + ".</p>\n";
  }
  for (const Shown* d : docs) {
    out += "<div class=\"doc\"><h3>";
    escape(out, d->source);
    out += " · " + std::to_string(d->findings) + (d->findings == 1 ? " finding" : " findings") + "</h3><pre>" +
           d->body + "</pre></div>\n";
  }
  out += "</body></html>\n";
  return out;
}

void HtmlReport::write(const std::string& path) const {
  const std::string temporary = path + ".tesk-tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    const std::string page = html();
    file.write(page.data(), static_cast<std::streamsize>(page.size()));
    file.close();
    if (!file) {
      std::remove(temporary.c_str());
      throw std::runtime_error("cannot write the report " + path);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot write the report " + path);
  }
}

}  // namespace tesk_privacy::cli
