// How portable code reaches the operating system.
//
// A unit that needs the system declares one table of operations in its name_platform.h; its
// platform side (name_linux.cpp / name_win32.cpp) fills the table, and InstallPlatform()
// (platform/native_tables.h) puts every table in place before the program does anything else.
// Portable code reads its own table with Platform<Table>() and never calls the platform library
// directly, so the portable library links without it. A test puts a table of its own in place with
// ScopedPlatform.
#pragma once

#include <utility>

namespace fernlite {

// Ends the process with a message naming the unit: a table was read before it was installed.
[[noreturn]] void PlatformMissing(const char* unit);

template <class Table>
struct PlatformSlot {
  // Constant-initialised, so reading it needs no guard on any thread.
  static inline const Table* table = nullptr;
};

template <class Table>
const Table& Platform() {
  const Table* table = PlatformSlot<Table>::table;
  if (!table) PlatformMissing(Table::kUnit);
  return *table;
}

// The table must outlive every call made through it (the real ones are never destroyed).
template <class Table>
void InstallTable(const Table& table) {
  PlatformSlot<Table>::table = &table;
}

// A replacement table for as long as the object lives; the previous one comes back after.
// Start from the installed table to replace single operations:
//   FilesPlatform files = Platform<FilesPlatform>();
//   files.remove = [](const std::u16string&) { return false; };
//   ScopedPlatform scoped(std::move(files));
template <class Table>
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Table table)
      : table_(std::move(table)), previous_(PlatformSlot<Table>::table) {
    PlatformSlot<Table>::table = &table_;
  }
  ~ScopedPlatform() { PlatformSlot<Table>::table = previous_; }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  Table& table() { return table_; }

 private:
  Table table_;
  const Table* previous_;
};

}  // namespace fernlite
