// The kernel log as a source of the monitor: a CKmsgReader driven by a
// QSocketNotifier on its descriptor, on the UI thread. A pass reads at most
// kMaxPassRecords records; the notifier wakes it again while more are
// ready, so a burst never freezes the window.
#pragma once

#include "sources/kmsg.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace zef {

class CKernelLog : public QObject {
  Q_OBJECT
 public:
  // A line and its time (microseconds since the epoch), from the UI thread,
  // during a pass; a line that says why the log cannot be read has the time
  // it was said.
  using LineSink = std::function<void(const QString& text, std::int64_t timeUs)>;

  static constexpr int kMaxPassRecords = 1000;

  explicit CKernelLog(LineSink onLine, QObject* parent = nullptr);
  ~CKernelLog() override;
  CKernelLog(const CKernelLog&) = delete;
  CKernelLog& operator=(const CKernelLog&) = delete;

  // Opens `path` and reads what is ready. False: one line said why.
  bool Start(const QString& path = QStringLiteral("/dev/kmsg"),
             CKmsgReader::EStart start = CKmsgReader::EStart::kOldest);
  // Reads records from `fd` instead (the log takes it over).
  void StartOn(int fd);
  // One pass now.
  void Pass();

  // The sender's label in the gutter.
  static QString Label() { return QStringLiteral("kernel"); }

 private:
  void Watch();

  LineSink m_onLine;
  CKmsgReader m_reader;
  QSocketNotifier* m_pNotifier = nullptr;
};

}  // namespace zef
