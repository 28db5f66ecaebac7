// zefdb: creates, fills, lists and deletes the databases of the object store
// from a shell. Lists print exactly the lines that ZEFMON shows. Every
// failure is one line on standard error and exit status 1.
#include <zefstore/ceapi.h>
#include <zefstore/recordline.h>
#include <zefstore/store.h>
#include <zefstore/text.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "shown.h"
#include "values.h"

namespace {

using namespace zef::store;
using namespace zef::store::tool;

constexpr const char* kUsage =
    "usage: zefdb [--store PATH] COMMAND ARGUMENTS...\n"
    "\n"
    "Commands:\n"
    "  create NAME [--type N]   create a database (N: 0 to 4294967295, or -2147483648 to -1; default 0);\n"
    "                           a name holds no control characters\n"
    "  add NAME [VALUE...]      write one record\n"
    "  import NAME              write one record per line of standard input, all in one transaction\n"
    "  list                     one line per database: \"NAME\" type=T records=R, size=K KB\n"
    "  records NAME             one line per record: POS: [PROPERTIES,BYTES] values...\n"
    "  drop NAME                delete a database with all its records\n"
    "  delete NAME POSITION     delete the record at a 0-based position of the records list\n"
    "\n"
    "Values are TYPE:TEXT:\n"
    "  i2:-5  u2:5  i4:-7  u4:7  i8:-9   integers of 16, 32 and 64 bits; out of range is an error\n"
    "  bool:1  bool:0  bool:true  bool:false\n"
    "  str:TEXT                          UTF-8 text\n"
    "  time:SECONDS  time:2024-05-01T12:00:00Z\n"
    "                                    seconds since 1970-01-01 UTC, or an ISO 8601 UTC time;\n"
    "                                    stored as a file time\n"
    "  blob:HEX                          bytes as hex digits, e.g. blob:00ff10\n"
    "In `add` each argument is one value, taken as it is. In `import` blanks separate the values of a\n"
    "line; a string with blanks is written str:\"...\" with \\\" \\\\ \\t \\n \\r inside. Blank lines are skipped.\n"
    "A line is at most 33 MiB and 65,535 values.\n"
    "\n"
    "Names are at most 31 UTF-16 units, unique, and compared exactly (letter case counts).\n"
    "Lists show control and invisible format characters of names and strings as U+FFFD.\n"
    "The store is $XDG_DATA_HOME/zef/objectstore.db (default ~/.local/share/zef/objectstore.db)\n"
    "unless --store PATH is given. Listing a store that does not exist shows nothing and creates nothing.\n"
    "\n"
    "Errors (exit status 1) name the errno: ENOENT no such database or record, EEXIST duplicate name,\n"
    "EINVAL a control character in a new name, ENAMETOOLONG name too long, E2BIG a record or import\n"
    "line too large, EBUSY store locked by another writer beyond 5 s, EILSEQ the file is not an object\n"
    "store or is damaged, ENOTSUP a store of a later version, EACCES no permission. Output that cannot\n"
    "be written, and an import whose standard input is closed, are failures too.\n";

const char* ErrnoName(int error) {
  switch (error) {
    case ENOENT:
      return "ENOENT";
    case EEXIST:
      return "EEXIST";
    case EINVAL:
      return "EINVAL";
    case ENAMETOOLONG:
      return "ENAMETOOLONG";
    case E2BIG:
      return "E2BIG";
    case EBUSY:
      return "EBUSY";
    case EILSEQ:
      return "EILSEQ";
    case ENOTSUP:
      return "ENOTSUP";
    case EACCES:
      return "EACCES";
    case ENOSPC:
      return "ENOSPC";
    case EFBIG:
      return "EFBIG";
    case EISDIR:
      return "EISDIR";
    case EBADF:
      return "EBADF";
    case EPIPE:
      return "EPIPE";
    case EIO:
      return "EIO";
    default:
      return "error";
  }
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "zefdb: %s\n", message.c_str());
  return 1;
}

int FailStore(const std::string& what, int error) {
  std::string why;
  switch (error) {
    case EILSEQ:
      why = "not an object store, or damaged";
      break;
    case EBUSY:
      why = "locked by another writer beyond the busy timeout";
      break;
    case ENOTSUP:
      why = "an object store of a later version";
      break;
    default:
      why = std::strerror(error);
      break;
  }
  return Fail(what + ": " + why + " (" + ErrnoName(error) + ")");
}

int FailGone(const char* name) {
  return Fail(std::string("no such database \"") + name + "\": it was deleted meanwhile (ENOENT)");
}

// The first error met writing standard output; 0 while every write went through.
int g_nOutputError = 0;

int FailOutput() {
  return Fail(std::string("cannot write standard output: ") + std::strerror(g_nOutputError) + " (" +
              ErrnoName(g_nOutputError) + ")");
}

// One line of a listing. False once standard output failed: the listing
// stops at the first failed write instead of going on into a full disk.
bool PrintLine(std::u16string_view line, std::string* scratch) {
  scratch->clear();
  AppendShown(line, scratch);
  scratch->push_back('\n');
  if (std::fwrite(scratch->data(), 1, scratch->size(), stdout) != scratch->size() && g_nOutputError == 0) {
    g_nOutputError = errno != 0 ? errno : EIO;
  }
  return g_nOutputError == 0;
}

// Whatever is still buffered, written; 0 or the first output error.
int FlushOutput() {
  if (std::fflush(stdout) != 0 && g_nOutputError == 0) g_nOutputError = errno != 0 ? errno : EIO;
  if (std::ferror(stdout) != 0 && g_nOutputError == 0) g_nOutputError = EIO;
  return g_nOutputError;
}

// A database that is to be made, or one that is looked up. Lookups take any
// name a database may have in the file, so that one stored by an older
// program with a control character can still be listed and dropped.
enum class ENameUse { kNew, kExisting };

// The name argument as UTF-16, checked as CreateDatabase or FindDatabase
// checks it.
bool ReadName(const char* argument, ENameUse use, std::u16string* name, int* status) {
  if (!Utf8ToUtf16(argument, name)) {
    *status = Fail(std::string("database name is not UTF-8: ") + argument);
    return false;
  }
  if (name->empty()) {
    *status = Fail("empty database name");
    return false;
  }
  if (name->size() > kMaxNameLength) {
    *status = Fail("database name longer than 31 UTF-16 units: " + std::string(argument));
    return false;
  }
  if (use == ENameUse::kNew && CheckDatabaseName(*name) == EINVAL) {
    std::string shown;
    AppendShown(*name, &shown);
    *status = Fail("database name holds a control character (EINVAL): \"" + shown + "\"");
    return false;
  }
  return true;
}

bool OpenDatabase(CObjectStore& store, const char* argument, CEOID* database, int* status) {
  std::u16string name;
  if (!ReadName(argument, ENameUse::kExisting, &name, status)) return false;
  const int error = store.FindDatabase(name, database);
  if (error == ENOENT) {
    *status = Fail(std::string("no database named \"") + argument + "\" (ENOENT)");
    return false;
  }
  if (error != 0) {
    *status = FailStore(store.Path(), error);
    return false;
  }
  return true;
}

int Create(CObjectStore& store, const std::vector<const char*>& args) {
  // "--type" is the option wherever it stands, so that a forgotten name or
  // value is an error rather than a database named "--type".
  const char* name = nullptr;
  SNewDatabase request;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (std::strcmp(args[i], "--type") != 0) {
      if (name != nullptr) return Fail(std::string("create: unexpected argument ") + args[i]);
      name = args[i];
      continue;
    }
    if (i + 1 == args.size()) return Fail("create: --type needs a value N");
    const std::string_view text = args[++i];
    std::int64_t type = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), type);
    if (ec != std::errc() || end != text.data() + text.size() || type < INT32_MIN || type > std::int64_t(UINT32_MAX)) {
      return Fail("create: --type takes a 32-bit number: " + std::string(text));
    }
    request.nType = std::uint32_t(type);
  }
  if (name == nullptr) return Fail("create: NAME missing");
  int status = 0;
  if (!ReadName(name, ENameUse::kNew, &request.strName, &status)) return status;
  const int error = store.CreateDatabase(request);
  if (error == EEXIST) return Fail(std::string("a database named \"") + name + "\" exists (EEXIST)");
  if (error != 0) return FailStore(store.Path(), error);
  return 0;
}

int Add(CObjectStore& store, const std::vector<const char*>& args) {
  if (args.empty()) return Fail("add: NAME missing");
  std::vector<SPropValue> values(args.size() - 1);
  std::string why;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!ParseValue(args[i], &values[i - 1], &why)) return Fail("add: " + why);
  }
  CEOID database = 0;
  int status = 0;
  if (!OpenDatabase(store, args[0], &database, &status)) return status;
  if (const int error = store.WriteRecord(database, values); error != 0) {
    if (error == E2BIG) return Fail("add: record too large (E2BIG)");
    if (error == ENOENT) return FailGone(args[0]);
    return FailStore(store.Path(), error);
  }
  return 0;
}

// Standard input is read whole before the write begins, so the store's write
// lock is held only while the records are written, never while a slow
// producer in a pipe is being waited for. Bounded, so that no input can
// exhaust memory.
constexpr std::size_t kMaxImport = std::size_t(1) << 30;
// The longest line: a record at its size limit written as hex digits, with
// room for the types and blanks. Checked as the input arrives, so that one
// endless line costs this much memory and no more.
constexpr std::size_t kMaxLine = 2 * kMaxRecordSize + (std::size_t(1) << 20);

// Whether standard input was closed when zefdb started (see
// ReserveStandardDescriptors).
bool g_bInputClosed = false;

struct SInput {
  std::string strText;
  std::size_t nLongLine = 0;  // the number of the line over kMaxLine, when E2BIG
};

// 0 with the whole input, or the errno of the failure: EFBIG over
// kMaxImport, E2BIG for a line over kMaxLine.
int ReadAll(std::FILE* in, SInput* input) {
  constexpr std::size_t kBlock = std::size_t(1) << 20;
  std::string* text = &input->strText;
  text->clear();
  // A file on standard input is read into one allocation of its size.
  struct stat info {};
  if (::fstat(::fileno(in), &info) == 0 && S_ISREG(info.st_mode) && std::size_t(info.st_size) < kMaxImport) {
    text->reserve(std::size_t(info.st_size) + kBlock);
  }
  std::size_t lineStart = 0, lines = 1;
  while (true) {
    const std::size_t at = text->size();
    if (at >= kMaxImport) return EFBIG;
    text->resize(at + kBlock);
    const std::size_t n = std::fread(text->data() + at, 1, kBlock, in);
    text->resize(at + n);
    for (std::size_t newline = text->find('\n', at); newline != std::string::npos;
         newline = text->find('\n', newline + 1)) {
      if (newline - lineStart > kMaxLine) break;
      lineStart = newline + 1;
      ++lines;
    }
    if (text->size() - lineStart > kMaxLine) {
      input->nLongLine = lines;
      return E2BIG;
    }
    if (n < kBlock) return std::ferror(in) ? EIO : 0;
  }
}

int Import(CObjectStore& store, const std::vector<const char*>& args) {
  if (args.size() != 1) return Fail("import: takes exactly NAME");
  if (g_bInputClosed) return Fail("import: standard input is closed (EBADF); nothing imported");
  CEOID database = 0;
  int status = 0;
  if (!OpenDatabase(store, args[0], &database, &status)) return status;
  SInput read;
  if (const int error = ReadAll(stdin, &read); error != 0) {
    if (error == E2BIG) {
      return Fail("import: line " + std::to_string(read.nLongLine) + ": longer than 33 MiB (E2BIG); nothing imported");
    }
    return Fail(error == EFBIG ? "import: standard input over 1 GiB; import it in parts"
                               : "import: cannot read standard input; nothing imported");
  }
  const std::string& input = read.strText;
  CWriteTransaction transaction(store);
  if (transaction.Error() != 0) return FailStore(store.Path(), transaction.Error());
  CLineSplitter splitter;
  std::vector<SPropValue> values;
  std::string why;
  const std::string where = "import: line ";
  std::size_t number = 0;
  for (std::size_t at = 0; at < input.size();) {
    const std::size_t newline = input.find('\n', at);
    const std::size_t end = newline == std::string::npos ? input.size() : newline;
    std::string_view line(input.data() + at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!splitter.Split(line, &why)) return Fail(where + std::to_string(number) + ": " + why + "; nothing imported");
    const std::vector<std::string_view>& texts = splitter.Values();
    if (texts.empty()) continue;
    if (values.size() < texts.size()) values.resize(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (!ParseValue(texts[i], &values[i], &why)) {
        return Fail(where + std::to_string(number) + ": " + why + "; nothing imported");
      }
    }
    if (const int error = store.WriteRecord(database, values.data(), texts.size()); error != 0) {
      if (error == E2BIG) return Fail(where + std::to_string(number) + ": record too large (E2BIG); nothing imported");
      if (error == ENOENT) return FailGone(args[0]);
      return FailStore(store.Path(), error);
    }
  }
  if (const int error = transaction.Commit(); error != 0) return FailStore(store.Path(), error);
  return 0;
}

int List(CObjectStore& store, const std::vector<const char*>& args) {
  if (!args.empty()) return Fail("list: takes no arguments");
  std::vector<SDatabaseInfo> databases;
  if (const int error = store.ListDatabases(&databases); error != 0) return FailStore(store.Path(), error);
  std::string scratch;
  for (const SDatabaseInfo& d : databases) {
    if (!PrintLine(FormatDatabaseLine(d.strName, d.nType, d.nRecords, d.nSize), &scratch)) return FailOutput();
  }
  return 0;
}

int Records(CObjectStore& store, const std::vector<const char*>& args) {
  if (args.size() != 1) return Fail("records: takes exactly NAME");
  CEOID database = 0;
  int status = 0;
  if (!OpenDatabase(store, args[0], &database, &status)) return status;
  CRecordCursor cursor(store, database);
  SRecord record;
  std::string scratch;
  int position = 0;
  for (; cursor.Next(&record); ++position) {
    if (!PrintLine(
            FormatRecordLine(record.buffer.data(), record.nPropCount, std::uint32_t(record.buffer.size()), position, 0),
            &scratch)) {
      return FailOutput();
    }
  }
  if (cursor.Error() == ENOENT) return FailGone(args[0]);
  if (cursor.Error() == EILSEQ) {
    return Fail("records: the record at position " + std::to_string(position) + " is damaged (EILSEQ)");
  }
  if (cursor.Error() != 0) return FailStore(store.Path(), cursor.Error());
  return 0;
}

int Drop(CObjectStore& store, const std::vector<const char*>& args) {
  if (args.size() != 1) return Fail("drop: takes exactly NAME");
  CEOID database = 0;
  int status = 0;
  if (!OpenDatabase(store, args[0], &database, &status)) return status;
  const int error = store.DeleteDatabase(database);
  if (error == ENOENT) return FailGone(args[0]);
  if (error != 0) return FailStore(store.Path(), error);
  return 0;
}

int Delete(CObjectStore& store, const std::vector<const char*>& args) {
  if (args.size() != 2) return Fail("delete: takes NAME POSITION");
  const std::string_view text = args[1];
  std::uint64_t position = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), position);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return Fail("delete: POSITION is a number from 0: " + std::string(text));
  }
  CEOID database = 0, record = 0;
  int status = 0;
  if (!OpenDatabase(store, args[0], &database, &status)) return status;
  int error = store.FindRecordAt(database, position, &record);
  if (error == 0) error = store.DeleteRecord(database, record);
  if (error == ENOENT) return Fail("no record at position " + std::string(text) + " (ENOENT)");
  if (error != 0) return FailStore(store.Path(), error);
  return 0;
}

// Descriptors 0 to 2 that the caller closed are taken by /dev/null before
// anything else is opened, so that the store file never becomes standard
// input or output (a listing written into the store, the store read as
// import lines). Standard output and error get it read-only: a write to
// them fails and is reported instead of vanishing.
void ReserveStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 0) g_bInputClosed = true;
    const int reserved = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (reserved != fd && reserved >= 0) ::close(reserved);
  }
}

int Run(int argc, char** argv) {
  std::string path;
  bool pathGiven = false;
  std::vector<const char*> args;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && (arg == "--help" || arg == "-h")) {
      if (std::fputs(kUsage, stdout) < 0) g_nOutputError = errno != 0 ? errno : EIO;
      return g_nOutputError == 0 ? 0 : FailOutput();
    }
    if (options && arg == "--store") {
      if (i + 1 == argc) return Fail("--store needs a PATH");
      path = argv[++i];
      pathGiven = true;
      continue;
    }
    if (options && arg == "--") {
      options = false;
      continue;
    }
    args.push_back(argv[i]);
  }
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (!pathGiven) path = DefaultStorePath();
  if (path.empty()) return Fail("no store path: set HOME or XDG_DATA_HOME, or give --store PATH");

  const std::string_view command = args.front();
  args.erase(args.begin());
  CObjectStore store(path);
  if (command == "create") return Create(store, args);
  if (command == "add") return Add(store, args);
  if (command == "import") return Import(store, args);
  if (command == "list") return List(store, args);
  if (command == "records") return Records(store, args);
  if (command == "drop") return Drop(store, args);
  if (command == "delete") return Delete(store, args);
  return Fail("unknown command: " + std::string(command) + " (see zefdb --help)");
}

}  // namespace

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
  const int status = Run(argc, argv);
  // A listing that reached a full disk or a closed pipe has not been done.
  if (FlushOutput() != 0) return status != 0 ? status : FailOutput();
  return status;
}
