#include "platform/Registry.h"

#include "platform/UnicodeCharacters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <thread>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Layout of the registry file. Key paths and value names are kept as raw UTF-16 units (native
// byte order) so that any text, unpaired surrogates included, survives unchanged: `path` and
// `name` as first written, for display; `folded`, upper-cased unit by unit, for lookup.
// Values are enumerated by their row id, which an update keeps and a new row always exceeds, so
// creation order holds. Key ids are never reused, so an open key whose row was deleted cannot
// end up pointing at a newer key of the same name.
//
// Each open key has its own connection rather than sharing one per process: an SQLite connection
// must not be used across a fork, the file is the one the environment names when the key is
// opened, and keys used by different threads never wait for each other. Keys are opened for a
// few calls at a time, and opening costs 0.1 to 0.6 ms.

namespace platform {

namespace {


constexpr int kSchemaVersion = 1;
// Long enough to ride out any other process's write, short enough not to hang a caller forever.
constexpr std::chrono::milliseconds kBusyTimeout{5000};
constexpr std::chrono::milliseconds kLongestPause{20};

using Clock = std::chrono::steady_clock;

// The end of this thread's RegistryWaitLimit, if one is in force.
thread_local std::optional<Clock::time_point> waitDeadline;

// SQLite's busy handler: waits a little longer while the other side holds the database, until
// the call's own timeout or the thread's limit, whichever comes first. Pauses grow from 1 ms.
int WaitWhileBusy(void*, int attempt) {
  thread_local Clock::time_point waitStart;
  const Clock::time_point now = Clock::now();
  if (attempt == 0) waitStart = now;
  Clock::time_point deadline = waitStart + kBusyTimeout;
  if (waitDeadline && *waitDeadline < deadline) deadline = *waitDeadline;
  if (now >= deadline) return 0;
  const Clock::duration pause = std::chrono::milliseconds(1 << std::min(attempt, 4));
  std::this_thread::sleep_for(std::min({pause, Clock::duration(kLongestPause), deadline - now}));
  return 1;
}

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS registry_keys (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  root INTEGER NOT NULL,
  path BLOB NOT NULL,
  folded BLOB NOT NULL,
  UNIQUE (root, folded)
);
CREATE TABLE IF NOT EXISTS registry_values (
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL REFERENCES registry_keys (id) ON DELETE CASCADE,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE (key, folded)
);
CREATE INDEX IF NOT EXISTS registry_values_in_order ON registry_values (key, id);
PRAGMA user_version = 1;
)sql";

int64_t RootNumber(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? 1 : 0; }

// Upper-cases each UTF-16 unit on its own, as Windows compares registry names, with a table that
// is the same in every process.
std::u16string Fold(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) unit = UpperCaseUnit(unit);
  return folded;
}

std::string RegistryPath() {
  if (const char* configured = std::getenv("TIDELINK_REGISTRY"); configured && *configured) {
    return configured;
  }
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if ((!home || !*home) && getpwuid_r(getuid(), &entry, buffer, sizeof(buffer), &found) == 0 &&
        found) {
      home = found->pw_dir;
    }
    if (!home || !*home) return {};
    base = std::string(home) + "/.config";
  }
  return base + "/tidelink/registry.sqlite";
}

// A prepared statement that finalizes itself. Binding to a statement that failed to prepare does
// nothing and stepping it reports the error.
class Statement {
public:
  Statement(sqlite3* database, const char* sql) {
    if (sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(statement_);
      statement_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void BindInteger(int index, int64_t value) {
    if (statement_) sqlite3_bind_int64(statement_, index, value);
  }
  void BindBytes(int index, const void* data, size_t size) {
    // A null pointer would bind NULL, which is not an empty blob.
    static const char kEmpty = 0;
    if (statement_) {
      sqlite3_bind_blob64(statement_, index, size ? data : &kEmpty, size, SQLITE_STATIC);
    }
  }
  void BindUnits(int index, std::u16string_view text) {
    BindBytes(index, text.data(), text.size() * sizeof(char16_t));
  }
  int Step() { return statement_ ? sqlite3_step(statement_) : SQLITE_ERROR; }

  int64_t ColumnInteger(int column) const { return sqlite3_column_int64(statement_, column); }
  // The blob stays valid until the next step; its size is read after it, as SQLite requires.
  std::pair<const void*, size_t> ColumnBytes(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    return {data, static_cast<size_t>(sqlite3_column_bytes(statement_, column))};
  }

private:
  sqlite3_stmt* statement_ = nullptr;
};

bool Execute(sqlite3* database, const char* sql) {
  return sqlite3_exec(database, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Reading the version is also the first read of the file, which is where a file that is not a
// database shows itself.
bool ReadSchemaVersion(sqlite3* database, int64_t& version) {
  Statement statement(database, "PRAGMA user_version");
  if (statement.Step() != SQLITE_ROW) return false;
  version = statement.ColumnInteger(0);
  return true;
}

bool PrepareSchema(sqlite3* database) {
  // NORMAL loses at most the last writes on power loss in WAL mode, never consistency.
  if (!Execute(database, "PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL")) return false;
  int64_t version = 0;
  if (!ReadSchemaVersion(database, version)) return false;
  if (version == kSchemaVersion) return true;
  if (version != 0) return false;  // written by a newer build, or not ours: leave it alone
  if (!Execute(database, "BEGIN IMMEDIATE")) return false;
  // Another process may have set the file up while this one waited for the lock. Tables are
  // added only to a file without any, so that a damaged or foreign database is never written.
  bool empty = false;
  if (ReadSchemaVersion(database, version) && version == 0) {
    Statement tables(database, "SELECT count(*) FROM sqlite_master");
    empty = tables.Step() == SQLITE_ROW && tables.ColumnInteger(0) == 0;
  }
  const bool ready = version == kSchemaVersion || (empty && Execute(database, kSchema));
  if (!ready || !Execute(database, "COMMIT")) {
    Execute(database, "ROLLBACK");
    return false;
  }
  // WAL lets readers go on while another process writes. The mode sticks to the file; when
  // another connection keeps it from switching now, the rollback journal is just as correct.
  if (empty) Execute(database, "PRAGMA journal_mode = WAL");
  return true;
}

// The folders on the way that do not exist yet are made readable by the user alone.
void CreatePrivateFolders(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const std::filesystem::path& part : folder) {
    partial /= part;
    mkdir(partial.c_str(), 0700);
  }
}

struct CloseDatabase {
  void operator()(sqlite3* database) const { sqlite3_close(database); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// Never creates anything over an existing file: a file that is not a registry fails here and
// stays as it was.
int32_t OpenDatabase(Database& database) {
  const std::string path = RegistryPath();
  if (path.empty()) return kErrorBadDatabase;
  CreatePrivateFolders(std::filesystem::path(path).parent_path());
  // Made here rather than by SQLite, which would give it mode 0644; SQLite's journal files take
  // the mode of the database. An empty file is an empty database.
  const int created = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (created >= 0) close(created);
  sqlite3* opened = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int result = sqlite3_open_v2(path.c_str(), &opened, flags, nullptr);
  Database connection(opened);
  if (result != SQLITE_OK) return kErrorBadDatabase;
  sqlite3_busy_handler(opened, WaitWhileBusy, nullptr);
  if (!PrepareSchema(opened)) return kErrorBadDatabase;
  database = std::move(connection);
  return kErrorSuccess;
}

// Step result of a statement that reads or changes one row, as a registry error.
int32_t ErrorFromStep(int result) {
  return result == SQLITE_ROW || result == SQLITE_DONE ? kErrorSuccess : kErrorBadDatabase;
}

}  // namespace

RegistryWaitLimit::RegistryWaitLimit(std::chrono::milliseconds total) : outer_(waitDeadline) {
  const Clock::time_point deadline = Clock::now() + total;
  if (!waitDeadline || deadline < *waitDeadline) waitDeadline = deadline;
}

RegistryWaitLimit::~RegistryWaitLimit() { waitDeadline = outer_; }

struct RegistryKey::State {
  Database database;
  int64_t keyId = 0;
  int64_t root = 0;
  std::u16string folded;
  // Threads sharing one key take turns on its connection, which also keeps the change count
  // read after a statement that statement's own.
  std::mutex mutex;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

bool RegistryKey::IsOpen() const { return state_ != nullptr; }

int32_t RegistryKey::Open(RegistryRoot root, std::u16string_view path, RegistryKey& key) {
  auto state = std::make_unique<State>();
  if (const int32_t error = OpenDatabase(state->database)) return error;
  Statement statement(state->database.get(),
                      "SELECT id FROM registry_keys WHERE root = ?1 AND folded = ?2");
  statement.BindInteger(1, RootNumber(root));
  const std::u16string folded = Fold(path);
  statement.BindUnits(2, folded);
  const int result = statement.Step();
  if (result == SQLITE_DONE) return kErrorFileNotFound;
  if (result != SQLITE_ROW) return kErrorBadDatabase;
  state->keyId = statement.ColumnInteger(0);
  state->root = RootNumber(root);
  state->folded = folded;
  key.state_ = std::move(state);
  return kErrorSuccess;
}

int32_t RegistryKey::Create(RegistryRoot root, std::u16string_view path, RegistryKey& key) {
  auto state = std::make_unique<State>();
  if (const int32_t error = OpenDatabase(state->database)) return error;
  // As on Windows, the keys on the way are created too, so that each of them can be opened.
  for (size_t separator = path.find(u'\\'); separator != std::u16string_view::npos;
       separator = path.find(u'\\', separator + 1)) {
    Statement ancestor(state->database.get(),
                       "INSERT INTO registry_keys (root, path, folded) VALUES (?1, ?2, ?3) "
                       "ON CONFLICT (root, folded) DO NOTHING");
    ancestor.BindInteger(1, RootNumber(root));
    ancestor.BindUnits(2, path.substr(0, separator));
    const std::u16string foldedAncestor = Fold(path.substr(0, separator));
    ancestor.BindUnits(3, foldedAncestor);
    if (const int32_t error = ErrorFromStep(ancestor.Step())) return error;
  }
  // One statement, so that it is its own transaction: an existing key (whatever the case of
  // its name) is returned as it is, a missing one is added.
  Statement statement(state->database.get(),
                      "INSERT INTO registry_keys (root, path, folded) VALUES (?1, ?2, ?3) "
                      "ON CONFLICT (root, folded) DO UPDATE SET root = excluded.root "
                      "RETURNING id");
  statement.BindInteger(1, RootNumber(root));
  statement.BindUnits(2, path);
  const std::u16string folded = Fold(path);
  statement.BindUnits(3, folded);
  if (statement.Step() != SQLITE_ROW) return kErrorBadDatabase;
  state->keyId = statement.ColumnInteger(0);
  // RETURNING gives the row before the change is committed; finishing the statement commits it.
  if (statement.Step() != SQLITE_DONE) return kErrorBadDatabase;
  state->root = RootNumber(root);
  state->folded = folded;
  key.state_ = std::move(state);
  return kErrorSuccess;
}

int32_t RegistryKey::Delete(RegistryRoot root, std::u16string_view path) {
  Database database;
  if (const int32_t error = OpenDatabase(database)) return error;
  // The key's values go with it (ON DELETE CASCADE), in the same statement.
  Statement statement(database.get(),
                      "DELETE FROM registry_keys WHERE root = ?1 AND folded = ?2");
  statement.BindInteger(1, RootNumber(root));
  const std::u16string folded = Fold(path);
  statement.BindUnits(2, folded);
  if (const int32_t error = ErrorFromStep(statement.Step())) return error;
  return sqlite3_changes(database.get()) > 0 ? kErrorSuccess : kErrorFileNotFound;
}

int32_t RegistryKey::QueryValue(std::u16string_view name, uint32_t* type, void* data,
                                uint32_t* size) const {
  if (!state_) return kErrorInvalidHandle;
  const std::lock_guard lock(state_->mutex);
  if (data && !size) return kErrorInvalidParameter;
  Statement statement(state_->database.get(),
                      "SELECT type, data FROM registry_values WHERE key = ?1 AND folded = ?2");
  statement.BindInteger(1, state_->keyId);
  const std::u16string folded = Fold(name);
  statement.BindUnits(2, folded);
  const int result = statement.Step();
  if (result == SQLITE_DONE) return kErrorFileNotFound;
  if (result != SQLITE_ROW) return kErrorBadDatabase;
  if (type) *type = static_cast<uint32_t>(statement.ColumnInteger(0));
  const auto [bytes, byteCount] = statement.ColumnBytes(1);
  const uint32_t valueSize = static_cast<uint32_t>(byteCount);
  if (!size) return kErrorSuccess;
  const uint32_t capacity = *size;
  *size = valueSize;
  if (!data) return kErrorSuccess;
  if (valueSize > capacity) return kErrorMoreData;
  if (valueSize) std::memcpy(data, bytes, valueSize);
  return kErrorSuccess;
}

int32_t RegistryKey::SetValue(std::u16string_view name, uint32_t type, const void* data,
                              uint32_t size) {
  if (!state_) return kErrorInvalidHandle;
  const std::lock_guard lock(state_->mutex);
  if (!data && size) return kErrorInvalidParameter;
  // Updating in place keeps the row id, and with it the value's place in the enumeration.
  Statement statement(state_->database.get(),
                      "INSERT INTO registry_values (key, name, folded, type, data) "
                      "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key, folded) "
                      "DO UPDATE SET type = excluded.type, data = excluded.data");
  statement.BindInteger(1, state_->keyId);
  statement.BindUnits(2, name);
  const std::u16string folded = Fold(name);
  statement.BindUnits(3, folded);
  statement.BindInteger(4, type);
  statement.BindBytes(5, data, size);
  const int result = statement.Step();
  // The key was deleted since it was opened.
  if ((result & 0xFF) == SQLITE_CONSTRAINT) return kErrorFileNotFound;
  return ErrorFromStep(result);
}

int32_t RegistryKey::DeleteValue(std::u16string_view name) {
  if (!state_) return kErrorInvalidHandle;
  const std::lock_guard lock(state_->mutex);
  Statement statement(state_->database.get(),
                      "DELETE FROM registry_values WHERE key = ?1 AND folded = ?2");
  statement.BindInteger(1, state_->keyId);
  const std::u16string folded = Fold(name);
  statement.BindUnits(2, folded);
  if (const int32_t error = ErrorFromStep(statement.Step())) return error;
  return sqlite3_changes(state_->database.get()) > 0 ? kErrorSuccess : kErrorFileNotFound;
}

int32_t RegistryKey::EnumValue(uint32_t index, char16_t* name, uint32_t* nameLength,
                               uint32_t* type, void* data, uint32_t* size) const {
  if (!state_) return kErrorInvalidHandle;
  const std::lock_guard lock(state_->mutex);
  if (!name || !nameLength || (data && !size)) return kErrorInvalidParameter;
  Statement statement(state_->database.get(),
                      "SELECT name, type, data FROM registry_values WHERE key = ?1 "
                      "ORDER BY id LIMIT 1 OFFSET ?2");
  statement.BindInteger(1, state_->keyId);
  statement.BindInteger(2, index);
  const int result = statement.Step();
  if (result == SQLITE_DONE) return kErrorNoMoreItems;
  if (result != SQLITE_ROW) return kErrorBadDatabase;
  const auto [nameBytes, nameByteCount] = statement.ColumnBytes(0);
  const auto [valueBytes, valueByteCount] = statement.ColumnBytes(2);
  const uint32_t nameUnits = static_cast<uint32_t>(nameByteCount / sizeof(char16_t));
  const uint32_t valueSize = static_cast<uint32_t>(valueByteCount);
  // The name needs room for its terminating zero as well.
  const bool fits = nameUnits < *nameLength && (!data || valueSize <= *size);
  *nameLength = nameUnits;
  if (type) *type = static_cast<uint32_t>(statement.ColumnInteger(1));
  if (size) *size = valueSize;
  if (!fits) return kErrorMoreData;
  if (nameUnits) std::memcpy(name, nameBytes, nameUnits * sizeof(char16_t));
  name[nameUnits] = u'\0';
  if (data && valueSize) std::memcpy(data, valueBytes, valueSize);
  return kErrorSuccess;
}

// A subkey is the next path component of any key below this one: each name once (by its folded
// form), in the order of the first key that has it.
std::vector<std::u16string> RegistryKey::SubkeyNames() const {
  std::vector<std::u16string> names;
  const std::u16string prefix = state_->folded + u'\\';
  Statement statement(state_->database.get(),
                      "SELECT path, folded FROM registry_keys WHERE root = ?1 "
                      "AND substr(folded, 1, ?2) = ?3 ORDER BY id");
  statement.BindInteger(1, state_->root);
  statement.BindInteger(2, static_cast<int64_t>(prefix.size() * sizeof(char16_t)));
  statement.BindUnits(3, prefix);
  std::vector<std::u16string> foldedNames;
  while (statement.Step() == SQLITE_ROW) {
    const auto [pathBytes, pathByteCount] = statement.ColumnBytes(0);
    const std::u16string path(static_cast<const char16_t*>(pathBytes), pathByteCount / sizeof(char16_t));
    if (path.size() <= prefix.size()) continue;
    const size_t end = path.find(u'\\', prefix.size());
    const std::u16string name = path.substr(prefix.size(), end == std::u16string::npos ? std::u16string::npos : end - prefix.size());
    const std::u16string folded = Fold(name);
    if (name.empty() || std::find(foldedNames.begin(), foldedNames.end(), folded) != foldedNames.end()) continue;
    foldedNames.push_back(folded);
    names.push_back(name);
  }
  return names;
}

int32_t RegistryKey::QueryInfoKey(uint32_t* subkeyCount, uint32_t* valueCount) const {
  if (!state_) return kErrorInvalidHandle;
  const std::lock_guard lock(state_->mutex);
  if (subkeyCount) *subkeyCount = static_cast<uint32_t>(SubkeyNames().size());
  if (valueCount) {
    Statement statement(state_->database.get(), "SELECT count(*) FROM registry_values WHERE key = ?1");
    statement.BindInteger(1, state_->keyId);
    if (statement.Step() != SQLITE_ROW) return kErrorBadDatabase;
    *valueCount = static_cast<uint32_t>(statement.ColumnInteger(0));
  }
  return kErrorSuccess;
}

int32_t RegistryKey::EnumKey(uint32_t index, char16_t* name, uint32_t* nameLength) const {
  if (!state_) return kErrorInvalidHandle;
  const std::lock_guard lock(state_->mutex);
  if (!name || !nameLength) return kErrorInvalidParameter;
  const std::vector<std::u16string> names = SubkeyNames();
  if (index >= names.size()) return kErrorNoMoreItems;
  const std::u16string& subkey = names[index];
  const bool fits = subkey.size() < *nameLength;
  *nameLength = static_cast<uint32_t>(subkey.size());
  if (!fits) return kErrorMoreData;
  std::copy(subkey.begin(), subkey.end(), name);
  name[subkey.size()] = u'\0';
  return kErrorSuccess;
}

}  // namespace platform
