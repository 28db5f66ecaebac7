// zeftrace_demo: a small program under test. Start the monitor first, then
// this; its calls appear nested in the monitor (and on standard error).
#include <zeftrace/trace.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Parse(const std::string& text) {
  zef::CTraceScope scope("Parse()");
  std::vector<std::string> fields;
  std::string field;
  for (char c : text + ",") {
    if (c == ',') {
      scope.PrintF("field: %s", field);
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  scope.SetResult(std::to_string(fields.size()));
  return fields;
}

std::vector<std::string> Load(const char* name) {
  zef::CTraceScope scope(u"Load()");
  scope.PrintF(u"name=%s", name);
  const std::vector<std::string> fields = Parse("alpha,beta,gamma");
  scope.PrintF("last error: 0x%04x", 0);
  scope.SetResult("0");
  return fields;
}

int Save(const std::vector<std::string>& fields) {
  zef::CTraceScope scope(L"Save()");
  int bytes = 0;
  for (const std::string& f : fields) bytes += static_cast<int>(f.size()) + 1;
  scope.PrintF(L"%d bytes written", bytes);
  // No result: the leave line is "} Save()".
  return bytes;
}

}  // namespace

int main() {
  zef::TraceLine("zeftrace_demo starts");
  Save(Load("demo.csv"));
  zef::TraceLine(zef::TraceMonitorFound() ? "zeftrace_demo done" : "zeftrace_demo done (no monitor was running)");
  return 0;
}
