#include <gio/gio.h>
#include <gtk/gtk.h>

#include <string>

#include "game/guest_link.h"
#include "game/guest_link_platform.h"
#include "platform/text.h"

namespace fernlite {
namespace {

void OpenUrl(const std::u16string& url) {
  const std::string uri = ToUtf8(url);
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) g_clear_error(&error);
}

bool AskBindQuestion() {
  const std::string text = ToUtf8(kBindQuestionText);
  const std::string caption = ToUtf8(kBindCaption);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                             GTK_BUTTONS_YES_NO, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
  const gint answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return answer == GTK_RESPONSE_YES;
}

}  // namespace

const GuestLinkPlatform& NativeGuestLinkPlatform() {
  static const GuestLinkPlatform& table = *new GuestLinkPlatform{&OpenUrl, &AskBindQuestion};
  return table;
}

}  // namespace fernlite
