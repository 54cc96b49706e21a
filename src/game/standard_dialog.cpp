#include "game/standard_dialog.h"

#include "app/run_settings.h"
#include "identity/device_id.h"
#include "identity/user_data.h"

namespace fernlite {

std::u16string GuestEntryUrl(const RunSettings& settings, std::u16string_view device_id,
                             std::u16string_view user_data) {
  std::u16string url = settings.GuestBaseUrl;
  url += u"gid=";
  url += settings.GameCode;
  url += u"&cid=";
  url += settings.ChannelID;
  url += u"&ccid=";
  url += settings.SubChannelID;
  url += u"&puid=";
  url += device_id;
  url += u"&info=";
  url += user_data;
  return url;
}

bool UserDataFitsEntryAddress(const RunSettings& settings, std::u16string_view user_data) {
  return GuestEntryUrl(settings, getdiskid::GetDeviceIdText(), user_data).size() <=
         kMaxEntryAddressChars;
}

std::u16string GuestEntryUrl() {
  std::u16string user_data = ReadUserData();
  if (!UserDataFitsEntryAddress(Settings(), user_data)) user_data.clear();
  return GuestEntryUrl(Settings(), getdiskid::GetDeviceIdText(), user_data);
}

CStandardDialog::CStandardDialog(int template_id, NativeWindow owner, uint32_t colour_key)
    : template_id_(template_id), owner_(owner), colour_key_(colour_key) {}

CStandardDialog::~CStandardDialog() = default;

bool CStandardDialog::CreateOwned(NativeWindow owner) {
  if (owner) owner_ = owner;
  return window_ && window_->Create(*this, owner_);
}

CSTDBackgroundDlg::CSTDBackgroundDlg(NativeWindow owner)
    : CStandardDialog(kBackgroundDialogTemplate, owner, kBackgroundColourKey) {}

void CSTDBackgroundDlg::OnWindowDestroyed() {
  if (on_closed_itself) on_closed_itself();
}

}  // namespace fernlite
