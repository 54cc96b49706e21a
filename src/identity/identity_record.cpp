#include "identity/identity_record.h"

#include <chrono>
#include <ctime>
#include <limits>
#include <random>

#include "identity/cipher.h"
#include "identity/client_paths.h"
#include "identity/device_id.h"
#include "platform/files.h"
#include "platform/key_value_store.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// The file copy is a few hundred bytes; anything past this is not a record.
constexpr size_t kMaxRecordFileBytes = 1u << 20;

// Next "&"-terminated field of text starting at pos; false when there is no "&".
bool NextField(std::string_view text, size_t& pos, std::string_view& field) {
  const size_t amp = text.find('&', pos);
  if (amp == std::string_view::npos) return false;
  field = text.substr(pos, amp - pos);
  pos = amp + 1;
  return true;
}

std::string FileCopy(const std::u16string& path) {
  auto bytes = ReadFileCreateIfMissing(path, kMaxRecordFileBytes);
  if (!bytes) return {};
  return bytes->substr(0, bytes->find('\0'));
}

std::string StoreCopy(const std::u16string& name) {
  auto text = ReadStoreText(kIdentityStoreGroup, name);
  return text ? ToAnsi(*text) : std::string();
}

}  // namespace

CIdentityRecord::CIdentityRecord(std::u16string game_code, std::u16string channel_id,
                                 std::u16string sub_channel_id, std::u16string version,
                                 std::u16string exe_name, bool in_app_data)
    : GameCode(std::move(game_code)),
      ChannelID(std::move(channel_id)),
      SubChannelID(std::move(sub_channel_id)),
      Version(std::move(version)),
      ExeName(std::move(exe_name)),
      InAppData(in_app_data) {
  char16_t buffer[260] = {};
  getdiskid::GetDeviceId(buffer, 260);
  DeviceId = buffer;
}

bool CIdentityRecord::IsComplete() const {
  return !GameCode.empty() && !Version.empty() && !DeviceId.empty() && !ExeName.empty();
}

std::u16string CIdentityRecord::FilePath() const {
  std::u16string dir;
  const bool found = InAppData ? GetAppDataClientDir(dir) : GetDriveClientDir(dir);
  if (!found) return {};
  return PathAppend(dir, GameCode + u"_idata.inmk");
}

std::string CIdentityRecord::BuildText() {
  if (!IsComplete()) return {};
  const auto now = static_cast<int32_t>(static_cast<uint32_t>(std::time(nullptr)));
  // The noise field makes two saves differ; seeded from the millisecond tick like the original.
  const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
  std::minstd_rand random(static_cast<unsigned>(tick));
  const int noise = static_cast<int>(random() % 100);
  // A count at the top of the range stays there: wrapping negative would read as no install.
  if (InstallCount < std::numeric_limits<int32_t>::max()) InstallCount += 1;
  const std::u16string plain = GameCode + u"&" + ChannelID + u"&" + SubChannelID + u"&" + DeviceId +
                               u"&" + ToU16(now) + u"&" + ToU16(InstallCount) + u"&" + Version +
                               u"&" + ToU16(noise);
  return EncryptRecordText(ToAnsi(plain));
}

bool CIdentityRecord::ParseText(std::string_view plain) {
  size_t pos = 0;
  std::string_view field;
  if (!NextField(plain, pos, field)) return false;
  GameCode = FromAnsi(field);
  if (!NextField(plain, pos, field)) return false;
  ChannelID = FromAnsi(field);
  if (!NextField(plain, pos, field)) return false;
  SubChannelID = FromAnsi(field);
  if (!NextField(plain, pos, field) || FromAnsi(field) != DeviceId) return false;
  std::string_view saved_time;
  std::string_view install_count;
  // Times and counts are read as they come, like the rest: a missing "&" stops the read.
  if (!NextField(plain, pos, saved_time)) return false;
  SavedTime = LeadingInt(saved_time);
  if (!NextField(plain, pos, install_count)) return false;
  InstallCount = LeadingInt(install_count);
  if (!NextField(plain, pos, field)) return false;
  Version = FromAnsi(field);
  return true;
}

// Save writes the file, then the store. A save cut between the two leaves a file exactly one
// save ahead of the store: that file is taken and the store catches up. Copies that differ in
// any other way are refused as before.
bool CIdentityRecord::FinishCutSave(const std::string& file_text, const std::string& store_text) {
  CIdentityRecord file_record = *this;
  if (!file_record.ParseText(DecryptRecordText(file_text))) return false;
  // A missing store copy stays a failure: it cannot be told from one that was deleted.
  CIdentityRecord store_record = *this;
  if (store_text.empty() || !store_record.ParseText(DecryptRecordText(store_text))) return false;
  const bool next_save = store_record.InstallCount < file_record.InstallCount &&
                         file_record.InstallCount - store_record.InstallCount == 1 &&
                         store_record.GameCode == file_record.GameCode &&
                         store_record.ChannelID == file_record.ChannelID &&
                         store_record.SubChannelID == file_record.SubChannelID &&
                         store_record.SavedTime <= file_record.SavedTime;
  if (!next_save || file_record.GameCode != GameCode) return false;
  WriteStoreText(kIdentityStoreGroup, GameCode, FromAnsi(file_text));
  *this = file_record;
  return true;
}

bool CIdentityRecord::Load() {
  if (!IsComplete()) return false;
  const std::u16string path = FilePath();
  const std::string file_text = path.empty() ? std::string() : FileCopy(path);
  const std::string store_text = StoreCopy(GameCode);
  if (file_text != store_text) {
    if (!file_text.empty() && FinishCutSave(file_text, store_text)) return true;
    InstallCount = 0;
    return false;
  }
  if (file_text.empty()) {
    InstallCount = 0;
    return true;
  }
  const std::string file_plain = DecryptRecordText(file_text);
  if (file_plain != DecryptRecordText(store_text)) {
    InstallCount = 0;
    return false;
  }
  return ParseText(file_plain);
}

int CIdentityRecord::GetInstallCount() {
  if (InstallCount > 0) return InstallCount;
  for (const bool app_data : {true, false}) {
    std::u16string dir;
    const bool found = app_data ? GetAppDataClientDir(dir) : GetDriveClientDir(dir);
    if (found && FileExists(PathAppend(dir, ExeName))) {
      InstallCount = 1;
      return 1;
    }
  }
  return 0;
}

bool CIdentityRecord::Save() {
  const std::string text = BuildText();
  if (text.empty()) return false;
  const std::u16string path = FilePath();
  // Replaced atomically: a crash mid-write must not leave a torn record behind.
  if (path.empty() || !WriteFileAtomic(path, text)) return false;
  WriteStoreText(kIdentityStoreGroup, GameCode, FromAnsi(text));
  return true;
}

}  // namespace fernlite
