#include "cli/provenance.h"

#include <ctime>

#include "cli/options.h"

namespace ferolan::cli {

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  gmtime_r(&now, &t);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &t);
  return buf;
}

namespace {

const char* search_name(Search s) {
  return s == Search::Manual ? "manual" : s == Search::Auto ? "auto" : "opt";
}

void int_array(Json& j, std::string_view key, const std::vector<int>& v) {
  j.begin_array(key);
  for (int x : v) j.item(static_cast<double>(x));
  j.end_array();
}

void text_array(Json& j, std::string_view key, const std::vector<std::string>& v) {
  j.begin_array(key);
  for (const std::string& x : v) j.item(x);
  j.end_array();
}

}  // namespace

void json_provenance(Json& j, const FileResult& r) {
  j.begin_object("provenance");
  j.value("program", "ferolan-cli").value("version", FEROLAN_VERSION);
  const bool timing = !r.run || r.run->timing;
  r.run&& timing ? j.value("started_utc", r.run->started_utc) : j.null("started_utc");
  r.input_size ? j.value("input_size", *r.input_size) : j.null("input_size");
  r.input_sha256.empty() ? j.null("input_sha256") : j.value("input_sha256", r.input_sha256);
  if (!r.settings) {
    j.null("settings").end_object();
    return;
  }
  const Options& o = *r.settings;
  j.begin_object("settings");
  j.value("search", search_name(o.search));
  j.value("level", o.level == 3 ? "very-high" : o.level == 2 ? "high" : "normal");
  o.constants ? j.value("constants", *o.constants) : j.null("constants");
  text_array(j, "pk", o.pk);
  int_array(j, "hold", o.hold);
  int_array(j, "zero", o.zero);
  j.begin_array("ranges");
  for (const SlotRange& range : o.ranges)
    j.begin_object()
        .value("slot", range.slot)
        .value("start", range.start)
        .value("end", range.end)
        .value("step", range.step)
        .end_object();
  j.end_array();
  int_array(j, "exclude", o.exclude);
  text_array(j, "exclude_ph", o.exclude_ph);
  j.value("path_len", o.path_len);
  j.value("format", o.format == InputFormat::Mdf     ? "mdf"
                    : o.format == InputFormat::Table ? "table"
                                                     : "detect");
  j.value("strict", o.strict).value("evaluate", o.evaluate).value("compare", o.compare);
  j.value("refine", o.refine);
  o.noise ? j.value("noise", *o.noise) : j.null("noise");
  o.ionic_strength ? j.value("ionic_strength", *o.ionic_strength) : j.null("ionic_strength");
  // As asked: the threads a run chose do not change any result.
  o.threads_given > 0 ? j.value("threads", o.threads_given) : j.null("threads");
  j.end_object();
  j.end_object();
}

}  // namespace ferolan::cli
