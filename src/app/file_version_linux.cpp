#include <cstdint>

#include "app/file_version.h"
#include "app/file_version_platform.h"
#include "build_config.h"
#include "platform/files.h"

namespace fernlite {

namespace {

// An ELF note ("readelf -n" shows it) whose descriptor holds the marker and the build's
// version; the reader only looks for the marker, so any file carrying it works.
constexpr size_t kNoteDescSize = 48;

struct VersionNote {
  std::uint32_t name_size;
  std::uint32_t desc_size;
  std::uint32_t type;
  char name[12];
  char desc[kNoteDescSize];
};

constexpr VersionNote MakeVersionNote() {
  VersionNote note{9, kNoteDescSize, 0x46560001u, {}, {}};
  constexpr char kOwner[] = "Fernlite";
  for (size_t i = 0; i < sizeof kOwner; ++i) note.name[i] = kOwner[i];
  size_t at = 0;
  for (char c : kVersionNoteMarker) note.desc[at++] = c;
  for (size_t i = 0; build::kVersionText[i] != '\0'; ++i) note.desc[at++] = build::kVersionText[i];
  note.desc[at] = '\0';
  return note;
}

static_assert(kVersionNoteMarker.size() + sizeof build::kVersionText <= kNoteDescSize);

__attribute__((used, section(".note.fernlite.version"), aligned(4)))
const VersionNote kVersionNote = MakeVersionNote();

std::u16string ReadVersion(const std::u16string& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return {};
  return FindVersionNote(*bytes);
}

}  // namespace

const FileVersionPlatform& NativeFileVersionPlatform() {
  static const FileVersionPlatform& table = *new FileVersionPlatform{&ReadVersion};
  return table;
}

}  // namespace fernlite
