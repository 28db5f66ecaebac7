// Filter rules: how ordered rules and the bar decide a line, drop verdicts,
// the saved section (round trip, damaged files) and the highlight palette.
#include "monitor/filterjudge.h"
#include "monitor/filtersettings.h"
#include "platform/system/profile.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>

using zef::CFilterSettings;
using zef::CLineJudge;
using zef::CProfile;
using zef::EFilterAction;
using zef::SFilterRule;
using zef::SVerdict;
using Rules = std::vector<SFilterRule>;

Q_DECLARE_METATYPE(Rules)
Q_DECLARE_METATYPE(SVerdict)

class TestFilterRules : public QObject {
  Q_OBJECT
 private slots:
  void judge_data();
  void judge();
  void badRuleIsReportedAndSkipped();
  void senderVerdictsFollowRenamesAndRules();
  void queryChange();
  void settingsRoundTrip();
  void damagedSettings_data();
  void damagedSettings();
  void paletteReadsOnLightAndDark();
};

namespace {
QString S(const char16_t* text) { return QString::fromUtf16(text); }
SFilterRule Rule(const char16_t* text, EFilterAction action, int colour = 0, const char16_t* sender = u"",
                 bool regex = false) {
  return SFilterRule{S(text), regex, S(sender), action, colour};
}
constexpr auto kShowOnly = EFilterAction::ShowOnly;
constexpr auto kHide = EFilterAction::Hide;
constexpr auto kHighlight = EFilterAction::Highlight;
constexpr auto kDrop = EFilterAction::Drop;
const SVerdict kShown{true, false, -1};
const SVerdict kHidden{false, false, -1};
const SVerdict kDropped{false, true, -1};
SVerdict Coloured(int colour) { return SVerdict{true, false, colour}; }
}  // namespace

void TestFilterRules::judge_data() {
  QTest::addColumn<Rules>("rules");
  QTest::addColumn<QString>("bar");
  QTest::addColumn<QString>("text");  // sent by "worker[31]"
  QTest::addColumn<SVerdict>("verdict");
  QTest::newRow("no rules") << Rules{} << S(u"") << S(u"x") << kShown;
  QTest::newRow("hide") << Rules{Rule(u"noise", kHide)} << S(u"") << S(u"some noise") << kHidden;
  QTest::newRow("hide misses") << Rules{Rule(u"noise", kHide)} << S(u"") << S(u"signal") << kShown;
  QTest::newRow("show only hides the rest") << Rules{Rule(u"db", kShowOnly)} << S(u"") << S(u"net") << kHidden;
  QTest::newRow("show only shows its own") << Rules{Rule(u"db", kShowOnly)} << S(u"") << S(u"db up") << kShown;
  QTest::newRow("first deciding rule wins")
      << Rules{Rule(u"db", kHide), Rule(u"db", kShowOnly)} << S(u"") << S(u"db up") << kHidden;
  QTest::newRow("later rule decides the rest")
      << Rules{Rule(u"db", kHide), Rule(u"up", kShowOnly)} << S(u"") << S(u"net up") << kShown;
  QTest::newRow("highlight") << Rules{Rule(u"err", kHighlight, 3)} << S(u"") << S(u"ERR 5") << Coloured(3);
  QTest::newRow("first highlight's colour")
      << Rules{Rule(u"err", kHighlight, 3), Rule(u"5", kHighlight, 1)} << S(u"") << S(u"err 5") << Coloured(3);
  QTest::newRow("highlight goes on to show only")
      << Rules{Rule(u"err", kHighlight, 2), Rule(u"db", kShowOnly)} << S(u"") << S(u"db err") << Coloured(2);
  QTest::newRow("highlighted yet hidden")
      << Rules{Rule(u"err", kHighlight, 2), Rule(u"db", kHide)} << S(u"") << S(u"db err") << kHidden;
  QTest::newRow("drop") << Rules{Rule(u"tick", kDrop)} << S(u"") << S(u"tick 1") << kDropped;
  QTest::newRow("drop after show only decided")
      << Rules{Rule(u"tick", kShowOnly), Rule(u"tick", kDrop)} << S(u"") << S(u"tick 1") << kShown;
  QTest::newRow("drop whatever the bar") << Rules{Rule(u"tick", kDrop)} << S(u"tock") << S(u"tick 1") << kDropped;
  QTest::newRow("sender rule") << Rules{Rule(u"", kHide, 0, u"worker")} << S(u"") << S(u"x") << kHidden;
  QTest::newRow("sender and text both needed") << Rules{Rule(u"y", kHide, 0, u"worker")} << S(u"") << S(u"x") << kShown;
  QTest::newRow("other sender") << Rules{Rule(u"", kHide, 0, u"db[")} << S(u"") << S(u"x") << kShown;
  QTest::newRow("regex rule") << Rules{Rule(u"^t.ck$", kHide, 0, u"", true)} << S(u"") << S(u"tick") << kHidden;
  QTest::newRow("rule without text or sender matches nothing")
      << Rules{Rule(u"", kShowOnly)} << S(u"") << S(u"x") << kShown;
  QTest::newRow("bar alone") << Rules{} << S(u"load") << S(u"save") << kHidden;
  QTest::newRow("bar and rules both let it through")
      << Rules{Rule(u"db", kShowOnly)} << S(u"up") << S(u"db up") << kShown;
  QTest::newRow("bar stops what rules let through")
      << Rules{Rule(u"db", kHighlight, 1)} << S(u"down") << S(u"db up") << kHidden;
  QTest::newRow("bar cannot show what rules hide") << Rules{Rule(u"db", kHide)} << S(u"db") << S(u"db") << kHidden;
  QTest::newRow("bar's sender word") << Rules{} << S(u"@work") << S(u"x") << kShown;
}

void TestFilterRules::judge() {
  QFETCH(Rules, rules);
  QFETCH(QString, bar);
  QFETCH(QString, text);
  QFETCH(SVerdict, verdict);
  int labelCalls = 0;
  CLineJudge judge([&](std::uint32_t key) {
    ++labelCalls;
    return key == 7 ? S(u"worker[31]") : S(u"?");
  });
  QCOMPARE(judge.SetRules(rules), QStringList());
  QCOMPARE(judge.SetQuery(bar).strError, QString());
  const bool anyRule = std::any_of(rules.begin(), rules.end(),
                                   [](const SFilterRule& r) { return !r.strText.isEmpty() || !r.strSender.isEmpty(); });
  QCOMPARE(judge.IsActive(), anyRule || !bar.isEmpty());
  QCOMPARE(judge.Judge(text, 7), verdict);
  const QByteArray latin1 = text.toLatin1();
  QCOMPARE(judge.Judge(QLatin1StringView(latin1), 7), verdict);
  QVERIFY(labelCalls <= 2);  // made once per line, each time a line is judged
}

void TestFilterRules::badRuleIsReportedAndSkipped() {
  CLineJudge judge;
  const QStringList errors = judge.SetRules({Rule(u"ok", kHighlight), Rule(u"(", kShowOnly, 0, u"", true)});
  QCOMPARE(errors.size(), 1);
  QVERIFY(errors.front().startsWith(u"Rule 2: "));
  // The broken show-only rule does not hide every line.
  QCOMPARE(judge.Judge(u"x", 0), kShown);
  QVERIFY(!judge.Drops());
  judge.SetRules({Rule(u"x", kDrop)});
  QVERIFY(judge.Drops());
}

void TestFilterRules::senderVerdictsFollowRenamesAndRules() {
  // Keys 1 and 17 share a place in a judging thread's table of verdicts.
  std::map<std::uint32_t, QString> labels{{1, S(u"worker[1]")}, {17, S(u"db[17]")}};
  std::uint64_t version = 0;
  CLineJudge judge([&](std::uint32_t key) { return labels[key]; }, [&] { return version; });
  judge.SetRules({Rule(u"", kHide, 0, u"worker")});
  QCOMPARE(judge.Judge(u"x", 1), kHidden);
  QCOMPARE(judge.Judge(u"x", 17), kShown);
  QCOMPARE(judge.Judge(u"x", 1), kHidden);
  labels[1] = S(u"db[1]");  // renamed
  ++version;
  QCOMPARE(judge.Judge(u"x", 1), kShown);
  judge.SetRules({Rule(u"", kHide, 0, u"db")});
  QCOMPARE(judge.Judge(u"x", 1), kHidden);
  QCOMPARE(judge.Judge(u"x", 17), kHidden);
  // A second judge with its own rules never reads the first one's verdicts.
  CLineJudge other([&](std::uint32_t key) { return labels[key]; }, [&] { return version; });
  other.SetRules({Rule(u"", kHide, 0, u"worker")});
  QCOMPARE(other.Judge(u"x", 1), kShown);
}

void TestFilterRules::queryChange() {
  CLineJudge judge;
  CLineJudge::SQueryChange change = judge.SetQuery(u"loa");
  QVERIFY(change.bChanged && change.bNarrows);
  change = judge.SetQuery(u"load");
  QVERIFY(change.bChanged && change.bNarrows);
  change = judge.SetQuery(u"load ");
  QVERIFY(!change.bChanged);
  // A bad word leaves the last good query in force.
  change = judge.SetQuery(u"load re:(");
  QVERIFY(!change.strError.isEmpty() && !change.bChanged);
  QCOMPARE(judge.Judge(u"load", 0), kShown);
  QCOMPARE(judge.Judge(u"save", 0), kHidden);
  change = judge.SetQuery(u"lo");
  QVERIFY(change.bChanged && !change.bNarrows);
  change = judge.SetQuery(u"");
  QVERIFY(change.bChanged && !judge.IsActive());
}

void TestFilterRules::settingsRoundTrip() {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("zef.conf"));
  CFilterSettings saved;
  saved.m_vRules = {Rule(u"noise", kHide), Rule(u"^err", kHighlight, 5, u"", true), Rule(u"", kShowOnly, 0, u"worker"),
                    Rule(u"tick", kDrop, 0, u"timer")};
  {
    CProfile profile(file);
    saved.Exchange(profile, zef::DataDirection::FromControls);
    QVERIFY(profile.Flush());
  }
  CFilterSettings loaded;
  CProfile profile(file);
  loaded.Exchange(profile, zef::DataDirection::ToControls);
  QCOMPARE(loaded, saved);
  // Fewer rules saved over more: only they are read back.
  saved.m_vRules.resize(1);
  saved.Exchange(profile, zef::DataDirection::FromControls);
  loaded.Exchange(profile, zef::DataDirection::ToControls);
  QCOMPARE(loaded, saved);
}

void TestFilterRules::damagedSettings_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<int>("rulesRead");
  QTest::addColumn<int>("colour");  // of the first rule read
  QTest::newRow("intact") << S(u"Text1") << S(u"a") << 2 << 4;
  QTest::newRow("no count") << S(u"Count") << S(u"many") << 0 << 0;
  QTest::newRow("negative count") << S(u"Count") << S(u"-5") << 0 << 0;
  QTest::newRow("huge count") << S(u"Count") << S(u"2000000000") << 2 << 4;
  QTest::newRow("unknown action") << S(u"Action1") << S(u"9") << 1 << 0;
  QTest::newRow("action not a number") << S(u"Action1") << S(u"drop") << 1 << 0;
  QTest::newRow("overlong text") << S(u"Text1") << QString(CFilterSettings::kMaxPattern + 1, u'a') << 1 << 0;
  QTest::newRow("overlong sender") << S(u"Sender1") << QString(CFilterSettings::kMaxPattern + 1, u'a') << 1 << 0;
  QTest::newRow("neither text nor sender") << S(u"Text1") << S(u"") << 1 << 0;
  QTest::newRow("colour out of range") << S(u"Colour1") << S(u"99") << 2 << 0;
  QTest::newRow("negative colour") << S(u"Colour1") << S(u"-1") << 2 << 0;
}

void TestFilterRules::damagedSettings() {
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(int, rulesRead);
  QFETCH(int, colour);
  QTemporaryDir dir;
  CProfile profile(dir.filePath(QStringLiteral("zef.conf")));
  CFilterSettings settings;
  settings.m_vRules = {Rule(u"a", kHighlight, 4), Rule(u"b", kHide)};
  settings.Exchange(profile, zef::DataDirection::FromControls);
  const QString section = QStringLiteral("Init.Filters");
  profile.WriteProfileString(section, key, value);
  settings.Exchange(profile, zef::DataDirection::ToControls);
  QCOMPARE(int(settings.m_vRules.size()), rulesRead);
  if (rulesRead > 0) QCOMPARE(settings.m_vRules.front().nColour, colour);
}

void TestFilterRules::paletteReadsOnLightAndDark() {
  // WCAG contrast ratio against black and against white text.
  const auto luminance = [](std::uint32_t rgb) {
    double sum = 0;
    const double weights[] = {0.0722, 0.7152, 0.2126};  // b, g, r
    for (int i = 0; i < 3; ++i) {
      const double c = double((rgb >> (8 * i)) & 0xFF) / 255.0;
      sum += weights[i] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
  };
  QCOMPARE(zef::HighlightPalette().size(), zef::HighlightNames().size());
  QVERIFY(zef::HighlightPalette().size() >= 6);
  for (std::uint32_t rgb : zef::HighlightPalette()) {
    const double l = luminance(rgb);
    QVERIFY2((l + 0.05) / 0.05 >= 4.5, qPrintable(QString::number(rgb, 16)));
    QVERIFY2(1.05 / (l + 0.05) >= 4.5, qPrintable(QString::number(rgb, 16)));
  }
}

QTEST_APPLESS_MAIN(TestFilterRules)
#include "tst_filterrules.moc"
