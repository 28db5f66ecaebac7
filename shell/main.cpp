// zefmon: the debug monitor and toolbox.
#include "shell/app.h"
#include "shell/mainframe.h"
#include "platform/system/endsignals.h"
#include "res/stringtable.h"
#include "sources/journal.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kUsage[] =
    "Usage: zefmon [--help] [--version] [--follow FILE]... [--kernel]\n"
    "              [--journal [MATCH]...] [--journal-dir DIR [MATCH]...]...\n"
    "              [--journal-from WHERE]\n"
    "\n"
    "The ZEF debug monitor and toolbox. Programs linked with the zeftrace library,\n"
    "and the zeftrace command, send their trace lines to the running monitor,\n"
    "which shows them indented by call nesting. Help > Contents describes it all.\n"
    "\n"
    "  --help           show this text and exit\n"
    "  --version        show the version and exit\n"
    "  --follow FILE    show the lines appended to FILE, as tail -F does: from its\n"
    "                   end, through rotation; a missing FILE is waited for.\n"
    "                   Repeatable: one sender \"file:FILE\" per file.\n"
    "  --kernel         show the kernel's log (/dev/kmsg) from its oldest record on,\n"
    "                   each at its own time, under the sender \"kernel\".\n"
    "  --journal        show the systemd journal of this machine, then follow it.\n"
    "                   Each entry is a line at its own time under the sender\n"
    "                   UNIT@HOST, or COMMAND[PID]@HOST when no unit sent it.\n"
    "  MATCH            FIELD=VALUE after --journal or --journal-dir DIR: only\n"
    "                   entries with that value, such as _SYSTEMD_UNIT=foo.service\n"
    "                   or PRIORITY=0..4 (emerg to warning). Matches on one field\n"
    "                   are alternatives; on different fields, all must hold;\n"
    "                   + between groups of matches takes an entry that\n"
    "                   satisfies either group.\n"
    "  --journal-dir DIR\n"
    "                   the same from the journal files in DIR, such as those\n"
    "                   systemd-journal-remote gathers from many machines.\n"
    "                   Repeatable.\n"
    "  --journal-from WHERE\n"
    "                   where each journal starts: now, all, or a number N of\n"
    "                   its last entries (10 when not given).\n"
    "\n"
    "Sources given here run beside those of Setup > Sources... for this session\n"
    "only; that dialog lists them and keeps one for later starts when told to.\n"
    "\n"
    "It needs a graphical session (DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM).\n";

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

bool HasPlatformArgument(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
  return false;
}

// The sentence for a window system that cannot be reached.
std::string NoWindowSystemSentence() {
  if (const char* platform = Env("QT_QPA_PLATFORM"))
    return std::string("zefmon: cannot open a window through the platform \"") + platform +
           "\" that QT_QPA_PLATFORM names.\n";
  std::string where = "the display";
  if (const char* display = Env("DISPLAY")) {
    where = std::string("the display \"") + display + '"';
  } else if (const char* wayland = Env("WAYLAND_DISPLAY")) {
    where = std::string("the Wayland display \"") + wayland + '"';
  }
  return "zefmon: cannot open a window on " + where + "; run zefmon in a graphical session.\n";
}

// While QApplication starts, Qt's messages are held back: when the platform
// plugin cannot start, Qt ends the program with a fatal message after
// several lines of its own, and the user gets one sentence instead.
QtMessageHandler g_previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> g_heldMessages;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg) {
    std::fputs(NoWindowSystemSentence().c_str(), stderr);
    // Qt would abort after this handler returns.
    std::_Exit(1);
  }
  g_heldMessages.emplace_back(type, message);
}

// Puts the previous handler back and passes it what was held.
void ReleaseStartupMessages() {
  qInstallMessageHandler(g_previousHandler);
  for (const auto& [type, message] : g_heldMessages) {
    const QMessageLogger logger;
    switch (type) {
      case QtDebugMsg:
        logger.debug("%s", qUtf8Printable(message));
        break;
      case QtInfoMsg:
        logger.info("%s", qUtf8Printable(message));
        break;
      case QtWarningMsg:
        logger.warning("%s", qUtf8Printable(message));
        break;
      default:
        logger.critical("%s", qUtf8Printable(message));
        break;
    }
  }
  g_heldMessages.clear();
}

// The option that gives a source of `kind`.
const char* OptionOf(zef::ESourceKind kind) {
  switch (kind) {
    case zef::ESourceKind::File:
      return "--follow";
    case zef::ESourceKind::Kernel:
      return "--kernel";
    case zef::ESourceKind::Journal:
      return "--journal";
    case zef::ESourceKind::JournalDir:
      return "--journal-dir";
  }
  return "";
}

// Whether argv[*i] is the option `name`, as "NAME VALUE" or "NAME=VALUE":
// *value is then its value (null when none follows) and *i is on its last
// word.
bool TakeOption(int argc, char** argv, int* i, const char* name, const char** value) {
  const std::size_t n = std::strlen(name);
  if (std::strncmp(argv[*i], name, n) != 0) return false;
  if (argv[*i][n] == '=') {
    *value = argv[*i] + n + 1;
    return true;
  }
  if (argv[*i][n] != '\0') return false;
  *value = *i + 1 < argc ? argv[++*i] : nullptr;
  return true;
}

// Whether `word` is a journal MATCH word: FIELD=VALUE, or "+" between groups.
bool IsJournalMatch(const char* word) {
  return std::strcmp(word, "+") == 0 || (word[0] != '-' && std::strchr(word, '=') != nullptr);
}

// The MATCH words after argv[*i], joined by blanks; *i is on the last one.
QString TakeMatches(int argc, char** argv, int* i) {
  QStringList matches;
  while (*i + 1 < argc && IsJournalMatch(argv[*i + 1])) matches << QString::fromLocal8Bit(argv[++*i]);
  return matches.join(u' ');
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before any window system is needed.
  std::vector<zef::SSource> sources;
  qsizetype followed = 0;
  QString journalFrom = QStringLiteral("10");
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--journal") == 0) {
      sources.push_back(zef::MakeSource(zef::ESourceKind::Journal, TakeMatches(argc, argv, &i)));
      continue;
    }
    const char* value = nullptr;
    if (TakeOption(argc, argv, &i, "--journal-dir", &value)) {
      if (!value) {
        std::fputs("zefmon: --journal-dir needs a DIR; see zefmon --help.\n", stderr);
        return 2;
      }
      sources.push_back(zef::MakeSource(zef::ESourceKind::JournalDir, QFile::decodeName(value)));
      sources.back().strMatches = TakeMatches(argc, argv, &i);
      continue;
    }
    if (TakeOption(argc, argv, &i, "--journal-from", &value)) {
      if (!value) {
        std::fputs("zefmon: --journal-from needs now, all or a number; see zefmon --help.\n", stderr);
        return 2;
      }
      journalFrom = QString::fromLocal8Bit(value);
      continue;
    }
    if (std::strcmp(argv[i], "--kernel") == 0) {
      sources.push_back(zef::MakeSource(zef::ESourceKind::Kernel));
      continue;
    }
    if (TakeOption(argc, argv, &i, "--follow", &value)) {
      if (!value) {
        std::fputs("zefmon: --follow needs a FILE; see zefmon --help.\n", stderr);
        return 2;
      }
      sources.push_back(zef::MakeSource(zef::ESourceKind::File, QFile::decodeName(value)));
      ++followed;
      continue;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("zefmon %s\n", ZEF_VERSION);
      return 0;
    }
  }
  if (followed > zef::SSource::kMaxSources) {
    std::fprintf(stderr, "zefmon: at most %d files can be followed at once.\n", zef::SSource::kMaxSources);
    return 2;
  }
  zef::CJournalSource::SStart journalStart;
  if (!zef::CJournalSource::ParseStart(journalFrom, &journalStart) || journalStart.nLast > zef::SSource::kMaxLast) {
    std::fprintf(stderr, "zefmon: --journal-from takes now, all or a number of entries up to %d; see zefmon --help.\n",
                 zef::SSource::kMaxLast);
    return 2;
  }
  for (zef::SSource& source : sources) {
    if (zef::IsJournal(source.kind)) {
      source.bFromStart = journalStart.kind == zef::CJournalSource::EStart::kAll;
      source.nLast = journalStart.nLast;
    }
    if (const QString why = zef::CheckSource(source); !why.isEmpty()) {
      std::fprintf(stderr, "zefmon: %s \"%s\": %s; see zefmon --help.\n", OptionOf(source.kind),
                   qPrintable(source.strArgument.left(200)), qPrintable(why));
      return 2;
    }
  }
  if (!Env("DISPLAY") && !Env("WAYLAND_DISPLAY") && !Env("QT_QPA_PLATFORM") && !HasPlatformArgument(argc, argv)) {
    std::fputs(
        "zefmon: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are unset); "
        "run zefmon in a graphical session.\n",
        stderr);
    return 1;
  }

  g_previousHandler = qInstallMessageHandler(StartupMessageHandler);
  QApplication application(argc, argv);
  ReleaseStartupMessages();
  QApplication::setQuitOnLastWindowClosed(false);

  zef::CQrbWinApp app(std::make_unique<zef::CProfile>(QStringLiteral("Quorbel"), zef::AppName()));
  // Watched before the socket exists, so that no end signal can leave its
  // file behind; one that comes while the window is made waits in the pipe
  // for the event loop.
  zef::CEndSignals endSignals;
  QObject::connect(&endSignals, &zef::CEndSignals::EndRequested, &application, [&app] { app.EndWithoutAsking(); });
  QString error;
  if (!app.InitInstance(&error)) {
    std::fprintf(stderr, "zefmon: %s\n", qPrintable(error));
    return 1;
  }
  app.StartSources(sources);
  QObject::connect(app.GetMainWnd(), &zef::CMainFrame::closed, &application, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  return application.exec();
}
