// The wire format on its own: the group scanner the server runs on every
// byte a client sends (fuzzed with seeded random and mutated frames), and
// the choice of the per-user socket directory.
#include <zeftrace/wire.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zef::wire;

// Scans a copy in a heap block of exactly the input's size, so that the
// address sanitizer sees any read past the end.
SGroupScan Scan(const std::string& bytes) {
  std::unique_ptr<char[]> exact(new char[bytes.size() ? bytes.size() : 1]);
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  return ScanGroup(exact.get(), bytes.size());
}

std::string Frame(EOp op, std::uint8_t flags, std::uint32_t window, std::uint32_t message, std::uint64_t wParam,
                  std::u16string_view text) {
  const SFrameHeader h = MakeFrame(op, flags, window, message, wParam, text.size());
  std::string out(reinterpret_cast<const char*>(&h), sizeof h);
  out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
  return out;
}

struct SGroup {
  std::string bytes;
  std::uint32_t frames = 0;
};

SGroup RandomGroup(QRandomGenerator& random) {
  SGroup group;
  group.frames = random.bounded(1u, kMaxGroupFrames + 1);
  for (std::uint32_t i = 0; i < group.frames; ++i) {
    const auto op = static_cast<EOp>(random.bounded(1, 4));
    // Mostly short texts, now and then a long one.
    const size_t units = random.bounded(8) == 0 ? random.bounded(5000u) : random.bounded(40u);
    std::u16string text(units, u'\0');
    for (char16_t& c : text) c = char16_t(random.bounded(0x10000));
    group.bytes += Frame(op, i + 1 < group.frames ? kFlagGroupContinues : kFlagNone, random.generate(),
                         random.generate(), random.generate64(), text);
  }
  return group;
}

}  // namespace

class TestTraceWire : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void wholeGroupsAndEveryPrefixOfThem() {
    QRandomGenerator random(20240601);
    for (int round = 0; round < 300; ++round) {
      const SGroup group = RandomGroup(random);
      const SGroupScan whole = Scan(group.bytes);
      QCOMPARE(int(whole.eScan), int(EScan::kComplete));
      QCOMPARE(whole.nEnd, group.bytes.size());
      QCOMPARE(whole.nFrames, group.frames);
      // Whatever follows a group does not change it.
      const SGroupScan followed = Scan(group.bytes + RandomGroup(random).bytes.substr(0, random.bounded(100u)));
      QCOMPARE(followed.nEnd, group.bytes.size());
      // Every cut is incomplete, and asks for no more than the group holds.
      for (size_t cut = 0; cut < group.bytes.size(); cut += 1 + random.bounded(40u)) {
        const SGroupScan part = Scan(group.bytes.substr(0, cut));
        QVERIFY2(part.eScan == EScan::kIncomplete, qPrintable(QStringLiteral("round %1 cut %2").arg(round).arg(cut)));
        QVERIFY(part.nEnd > cut && part.nEnd <= group.bytes.size());
      }
    }
  }

  void mutatedAndRandomBytesAreJudgedConsistently() {
    // Thousands of mutations of valid groups and of plain random bytes. The
    // scanner reads nothing past its input (the sanitizers watch), and its
    // verdict is that of a self-delimiting format: a complete group is
    // complete alone, an incomplete input needs more than it has, and an
    // invalid one stays invalid whatever follows.
    QRandomGenerator random(7001);
    for (int round = 0; round < 6000; ++round) {
      std::string bytes;
      if (round % 5 == 4) {
        bytes.resize(random.bounded(200u));
        for (char& c : bytes) c = char(random.bounded(256));
      } else {
        bytes = RandomGroup(random).bytes;
        const int mutations = 1 + int(random.bounded(4));
        for (int m = 0; m < mutations && !bytes.empty(); ++m) {
          const size_t at = random.bounded(quint32(bytes.size()));
          switch (random.bounded(4)) {
            case 0:
              bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
              break;
            case 1:  // a header field of the first frame, where damage matters most
              bytes[random.bounded(quint32(std::min<size_t>(bytes.size(), sizeof(SFrameHeader))))] =
                  char(random.bounded(256));
              break;
            case 2:
              bytes.resize(at);
              break;
            case 3:
              bytes.insert(at, std::string(1 + random.bounded(8u), char(random.bounded(256))));
              break;
          }
        }
      }
      const QString where = QStringLiteral("round %1, %2 bytes").arg(round).arg(bytes.size());
      const SGroupScan scan = Scan(bytes);
      switch (scan.eScan) {
        case EScan::kComplete: {
          QVERIFY2(scan.nEnd <= bytes.size() && scan.nFrames >= 1 && scan.nFrames <= kMaxGroupFrames,
                   qPrintable(where));
          const SGroupScan alone = Scan(bytes.substr(0, scan.nEnd));
          QVERIFY2(alone.eScan == EScan::kComplete && alone.nEnd == scan.nEnd, qPrintable(where));
          break;
        }
        case EScan::kIncomplete:
          QVERIFY2(scan.nEnd > bytes.size(), qPrintable(where));
          QVERIFY2(scan.nEnd <= bytes.size() + kMaxGroupBytes, qPrintable(where));
          break;
        case EScan::kInvalid: {
          QVERIFY2(scan.eFault != EFault::kNone, qPrintable(where));
          const SGroupScan more = Scan(bytes + std::string(random.bounded(64u), char(random.bounded(256))));
          QVERIFY2(more.eScan == EScan::kInvalid && more.eFault == scan.eFault, qPrintable(where));
          break;
        }
      }
    }
  }

  void faultsAreNamed_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("fault");
    const std::string line = Frame(EOp::kSendMessage, kFlagNone, 0x12, 0x0C, 0, u"line");
    std::string magic = line;
    magic[0] = 'X';
    std::string version = line;
    version[4] = 9;
    std::string op = line;
    op[6] = 4;
    std::string flags = line;
    flags[7] = 2;
    SFrameHeader huge = MakeFrame(EOp::kSendMessage, kFlagNone, 0x12, 0x0C, 0, 0);
    huge.nTextBytes = kMaxTextBytes + 2;
    SFrameHeader odd = huge;
    odd.nTextBytes = 3;
    std::string nine;
    for (int i = 0; i < 9; ++i) nine += Frame(EOp::kFindWindow, kFlagGroupContinues, 0, 0, 0, u"ZEF");
    auto row = [](const char* name, const std::string& bytes, EFault fault) {
      QTest::newRow(name) << QByteArray(bytes.data(), qsizetype(bytes.size())) << int(fault);
    };
    row("magic", magic, EFault::kNotAFrame);
    row("version", version, EFault::kNotAFrame);
    row("operation", op, EFault::kUnknownRequest);
    row("flags", flags, EFault::kUnknownRequest);
    row("text over the limit", std::string(reinterpret_cast<const char*>(&huge), sizeof huge), EFault::kTextLength);
    row("odd text length", std::string(reinterpret_cast<const char*>(&odd), sizeof odd), EFault::kTextLength);
    row("nine frames in a group", nine, EFault::kGroupTooLong);
  }
  void faultsAreNamed() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, fault);
    const SGroupScan scan = Scan(bytes.toStdString());
    QCOMPARE(int(scan.eScan), int(EScan::kInvalid));
    QCOMPARE(int(scan.eFault), fault);
  }

  void largestGroupIsWithinTheLimits() {
    // Eight frames of the largest text make a group the server must take.
    SFrameHeader h = MakeFrame(EOp::kSendMessage, kFlagGroupContinues, 0x12, 0x0C, 0, kMaxTextBytes / 2);
    std::string header(reinterpret_cast<const char*>(&h), sizeof h);
    std::string group;
    for (std::uint32_t i = 0; i < kMaxGroupFrames; ++i) {
      if (i + 1 == kMaxGroupFrames) {
        h.nFlags = kFlagNone;
        header.assign(reinterpret_cast<const char*>(&h), sizeof h);
      }
      group += header;
      group.append(kMaxTextBytes, 'a');
    }
    QCOMPARE(group.size(), kMaxGroupBytes);
    const SGroupScan scan = Scan(group);
    QCOMPARE(int(scan.eScan), int(EScan::kComplete));
    QCOMPARE(scan.nFrames, kMaxGroupFrames);
  }

  // --- the socket directory ---

  void socketDirectory_data() {
    QTest::addColumn<QString>("tmpState");  // what /tmp/zef-<uid> is
    QTest::addColumn<bool>("create");       // the server, or a client
    QTest::addColumn<QString>("expected");  // "tmp", "home" or "none"
    QTest::newRow("server, nothing yet") << QStringLiteral("missing") << true << QStringLiteral("tmp");
    QTest::newRow("server, ours") << QStringLiteral("ours") << true << QStringLiteral("tmp");
    QTest::newRow("server, open to others") << QStringLiteral("mode 0777") << true << QStringLiteral("home");
    QTest::newRow("server, a symbolic link") << QStringLiteral("symlink") << true << QStringLiteral("home");
    QTest::newRow("server, a file") << QStringLiteral("file") << true << QStringLiteral("home");
    QTest::newRow("server, another user's") << QStringLiteral("foreign") << true << QStringLiteral("home");
    QTest::newRow("client, ours") << QStringLiteral("ours") << false << QStringLiteral("tmp");
    QTest::newRow("client, nothing anywhere") << QStringLiteral("missing") << false << QStringLiteral("none");
    QTest::newRow("client, open to others") << QStringLiteral("mode 0777") << false << QStringLiteral("home");
    QTest::newRow("client, another user's") << QStringLiteral("foreign") << false << QStringLiteral("home");
  }
  void socketDirectory() {
    QFETCH(QString, tmpState);
    QFETCH(bool, create);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    SSocketPlaces places;
    places.strTmpDir = (root.path() + QStringLiteral("/tmp")).toStdString();
    places.strHomeDir = (root.path() + QStringLiteral("/home")).toStdString();
    QVERIFY(::mkdir(places.strTmpDir.c_str(), 01777) == 0 && ::chmod(places.strTmpDir.c_str(), 01777) == 0);
    QVERIFY(::mkdir(places.strHomeDir.c_str(), 0700) == 0);
    const std::string tmp = places.strTmpDir + "/zef-" + std::to_string(::geteuid());
    const std::string home = places.strHomeDir + "/.cache/zef";
    if (tmpState == QStringLiteral("ours")) {
      QVERIFY(::mkdir(tmp.c_str(), 0700) == 0);
    } else if (tmpState == QStringLiteral("mode 0777")) {
      QVERIFY(::mkdir(tmp.c_str(), 0700) == 0 && ::chmod(tmp.c_str(), 0777) == 0);
    } else if (tmpState == QStringLiteral("symlink")) {
      // Pointing at a directory that is ours in every other respect.
      const std::string target = root.path().toStdString() + "/elsewhere";
      QVERIFY(::mkdir(target.c_str(), 0700) == 0 && ::symlink(target.c_str(), tmp.c_str()) == 0);
    } else if (tmpState == QStringLiteral("file")) {
      QVERIFY(std::fclose(std::fopen(tmp.c_str(), "w")) == 0);
    } else if (tmpState == QStringLiteral("foreign")) {
      if (::geteuid() != 0) QSKIP("needs root to give a directory to another user");
      QVERIFY(::mkdir(tmp.c_str(), 0700) == 0 && ::chown(tmp.c_str(), 65534, 65534) == 0);
    }
    // A client looks where a server made the home directory before it.
    if (!create && expected == QStringLiteral("home")) QVERIFY(FindSocketDirectory(places, true).strPath == home);

    const SSocketDirectory found = FindSocketDirectory(places, create);
    if (expected == QStringLiteral("tmp")) {
      QCOMPARE(QString::fromStdString(found.strPath), QString::fromStdString(tmp));
      QVERIFY(found.strNotice.empty());
    } else if (expected == QStringLiteral("home")) {
      QCOMPARE(QString::fromStdString(found.strPath), QString::fromStdString(home));
      QVERIFY(found.strNotice.find(tmp) == 0);  // says which directory it could not use
      QVERIFY(found.strNotice.find("using " + home) != std::string::npos);
      struct stat st {};
      QVERIFY(::lstat(home.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700 && st.st_uid == ::geteuid());
    } else {
      QVERIFY(found.strPath.empty());
      QVERIFY(found.strError.find(tmp) == 0);
    }
  }

  void runtimeDirectoryWinsAndIsNotLeftForHome() {
    QTemporaryDir root;
    SSocketPlaces places;
    places.strRuntimeDir = (root.path() + QStringLiteral("/run")).toStdString();
    places.strHomeDir = root.path().toStdString();
    QVERIFY(::mkdir(places.strRuntimeDir.c_str(), 0700) == 0);
    QCOMPARE(QString::fromStdString(FindSocketDirectory(places, true).strPath),
             root.path() + QStringLiteral("/run/zef"));
    // A runtime directory gone bad is an error, not a reason to go elsewhere.
    QVERIFY(::chmod((places.strRuntimeDir + "/zef").c_str(), 0755) == 0);
    const SSocketDirectory bad = FindSocketDirectory(places, false);
    QVERIFY(bad.strPath.empty());
    QVERIFY(bad.strError.find("accessible to other users") != std::string::npos);
  }
};

QTEST_APPLESS_MAIN(TestTraceWire)
#include "tst_trace_wire.moc"
