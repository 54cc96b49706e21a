// The guest identity record: per game and machine, the first install's channel and how many
// times the launcher was installed. Kept encrypted twice, in the per-user store and in a file
// in the client directory; the two copies must agree.
#pragma once

#include <cstdint>
#include <string>

namespace fernlite {

class CIdentityRecord {
 public:
  CIdentityRecord(std::u16string game_code, std::u16string channel_id,
                  std::u16string sub_channel_id, std::u16string version, std::u16string exe_name,
                  bool in_app_data);

  // True when nothing is stored yet or a matching record was read.
  bool Load();
  // The stored count, else 1 when the installed launcher already exists in a client directory.
  int GetInstallCount();
  // Writes the file copy, then the store copy; true when the file copy was written.
  bool Save();

  // Encrypted text of the record with the count raised by one; empty for an incomplete record.
  std::string BuildText();
  // Reads a decrypted text into the fields; fields are replaced as they are read.
  bool ParseText(std::string_view plain);
  // Load's way out of a save that was cut between its two copies.
  bool FinishCutSave(const std::string& file_text, const std::string& store_text);
  bool IsComplete() const;

  // Where the file copy lives: the chosen client directory + GameCode + "_idata.inmk".
  std::u16string FilePath() const;

  std::u16string GameCode;
  std::u16string ChannelID;
  std::u16string SubChannelID;
  std::u16string Version;
  std::u16string DeviceId;
  std::u16string ExeName;
  int32_t SavedTime = 0;
  int32_t InstallCount = 0;
  bool InAppData = true;
};

// Store group of the per-user copy (registry key SOFTWARE\Quenbrell on Windows).
inline constexpr char16_t kIdentityStoreGroup[] = u"Quenbrell";

}  // namespace fernlite
