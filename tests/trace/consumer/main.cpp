#include <zeftrace/trace.h>

int main() {
  zef::CTraceScope scope("Consumer()");
  scope.PrintF("value=%d", 42);
  scope.SetResult(u"0");
  return 0;
}
