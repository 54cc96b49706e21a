// The program's own ActiveX control host: a child window of class "AtlAxWin100" (or
// "AtlAxWinLic100") that holds one control in place over its client area. It gives the
// control a client site, an in-place site and frame, a control site and the ambient
// properties, keeps the control the size of the window, and lets the control go cleanly
// when the window is destroyed. Both browsers of the program live in such a window.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace fernlite {

inline constexpr wchar_t kAxHostClass[] = L"AtlAxWin100";
inline constexpr wchar_t kAxHostLicensedClass[] = L"AtlAxWinLic100";

// Registers both host window classes and the messages "WM_ATLGETHOST" and
// "WM_ATLGETCONTROL". True when the classes are registered, also when they already were.
bool RegisterAxHostClasses();
// Unregisters the classes (windows of them must be gone).
void UnregisterAxHostClasses();

// The registered messages a host window answers (0 before registration): the host's site and
// the control as IUnknown, without a reference added; 0 when there is none.
UINT AxGetHostMessage();
UINT AxGetControlMessage();

// Puts `control` into the host window: the host's site becomes its client site and the
// control is activated in place over the window's client area. A control the host held
// before is let go first. Fails for a window that is not a host and for an object without
// IOleObject.
HRESULT AxAttachControl(IUnknown* control, HWND host);

// Activates the host's control in place again, with the host's own site as the active site.
// For after the control's client site was replaced (a UI handler installed over the host's
// site): a browser may let go of the host's in-place site together with the old client site.
HRESULT AxActivateInPlace(HWND host);

// Whether the host's control is in place active, as the control told the host's site.
bool AxIsInPlaceActive(HWND host);

// The keyboard rule of a browser window's message filter: keyboard messages only (0x0100 to
// 0x0109), offered to the control's IOleInPlaceActiveObject; true when it took the message
// (S_OK), which must then not be dispatched.
bool AxTranslateAccelerator(IUnknown* control, MSG* message);

// The host's site and its control with one reference added (what WM_ATLGETHOST and
// WM_ATLGETCONTROL answer). E_FAIL with a null result when there is none.
HRESULT AxGetHost(HWND host, IUnknown** site);
HRESULT AxGetControl(HWND host, IUnknown** control);

}  // namespace fernlite
