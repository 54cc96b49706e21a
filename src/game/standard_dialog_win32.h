// The standard dialogs' Win32 windows: a modeless dialog from its template, owned by the
// launcher frame, its colour key made transparent, with one browser in a control host at the
// fixed browser rectangle.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <functional>
#include <memory>

#include "game/standard_dialog.h"

namespace fernlite {

// Makes the browser a dialog shows; S_OK with the browser, or a failure and null.
using BrowserFactory = std::function<HRESULT(IWebBrowser2** browser)>;

// The WebBrowser control (in-process server, IWebBrowser2).
HRESULT CreateWebBrowser(IWebBrowser2** browser);

// The launcher's background dialog with its Win32 window, owned by `owner` once created.
std::unique_ptr<CSTDBackgroundDlg> MakeBackgroundDialog(NativeWindow owner);
// The same with the browser made by `factory` instead.
std::unique_ptr<CSTDBackgroundDlg> MakeBackgroundDialog(NativeWindow owner, BrowserFactory factory);

}  // namespace fernlite
