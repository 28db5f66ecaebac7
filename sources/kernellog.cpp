#include "sources/kernellog.h"

#include <QDateTime>
#include <QSocketNotifier>

#include <vector>

namespace zef {

CKernelLog::CKernelLog(LineSink onLine, QObject* parent) : QObject(parent), m_onLine(std::move(onLine)) {}

CKernelLog::~CKernelLog() = default;

bool CKernelLog::Start(const QString& path, CKmsgReader::EStart start) {
  if (!m_reader.Open(path, start)) {
    m_onLine(m_reader.Error(), QDateTime::currentMSecsSinceEpoch() * 1000);
    return false;
  }
  Watch();
  return true;
}

void CKernelLog::StartOn(int fd) {
  m_reader.Adopt(fd);
  Watch();
}

void CKernelLog::Watch() {
  delete m_pNotifier;
  m_pNotifier = new QSocketNotifier(m_reader.Fd(), QSocketNotifier::Read, this);
  connect(m_pNotifier, &QSocketNotifier::activated, this, &CKernelLog::Pass);
  Pass();
}

void CKernelLog::Pass() {
  if (!m_pNotifier || !m_pNotifier->isEnabled()) return;
  std::vector<SKmsgLine> lines;
  const CKmsgReader::ERead read = m_reader.Read(&lines, kMaxPassRecords);
  // Nothing more will come: the descriptor may be closed, so stop watching it first.
  if (read == CKmsgReader::ERead::kEnd || read == CKmsgReader::ERead::kFailed) m_pNotifier->setEnabled(false);
  for (const SKmsgLine& line : lines) m_onLine(line.strText, line.nTimeUs);
  if (read == CKmsgReader::ERead::kFailed) m_onLine(m_reader.Error(), QDateTime::currentMSecsSinceEpoch() * 1000);
}

}  // namespace zef
