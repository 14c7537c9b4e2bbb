#pragma once
// Reflection: a notification a child control sends its parent is sent back to that child as
// the same message plus OCM__BASE (0x2000), so a control can handle its own notifications (the
// drawn buttons paint themselves this way). The child is found by the handle the message
// carries, never by its control id, except where the message carries no handle at all.
#include <windows.h>

// The same values as <olectl.h>, written identically so either may be included first.
#ifndef OCM__BASE
#define OCM__BASE (WM_USER+0x1c00)
#define OCM_COMMAND (OCM__BASE + WM_COMMAND)

#define OCM_CTLCOLORBTN (OCM__BASE + WM_CTLCOLORBTN)
#define OCM_CTLCOLOREDIT (OCM__BASE + WM_CTLCOLOREDIT)
#define OCM_CTLCOLORDLG (OCM__BASE + WM_CTLCOLORDLG)
#define OCM_CTLCOLORLISTBOX (OCM__BASE + WM_CTLCOLORLISTBOX)
#define OCM_CTLCOLORMSGBOX (OCM__BASE + WM_CTLCOLORMSGBOX)
#define OCM_CTLCOLORSCROLLBAR (OCM__BASE + WM_CTLCOLORSCROLLBAR)
#define OCM_CTLCOLORSTATIC (OCM__BASE + WM_CTLCOLORSTATIC)

#define OCM_DRAWITEM (OCM__BASE + WM_DRAWITEM)
#define OCM_MEASUREITEM (OCM__BASE + WM_MEASUREITEM)
#define OCM_DELETEITEM (OCM__BASE + WM_DELETEITEM)
#define OCM_VKEYTOITEM (OCM__BASE + WM_VKEYTOITEM)
#define OCM_CHARTOITEM (OCM__BASE + WM_CHARTOITEM)
#define OCM_COMPAREITEM (OCM__BASE + WM_COMPAREITEM)
#define OCM_HSCROLL (OCM__BASE + WM_HSCROLL)
#define OCM_VSCROLL (OCM__BASE + WM_VSCROLL)
#define OCM_PARENTNOTIFY (OCM__BASE + WM_PARENTNOTIFY)
#define OCM_NOTIFY (OCM__BASE + WM_NOTIFY)
#endif

// The child a parent's message concerns, or null when the message is not a child notification
// or names no child.
HWND ReflectionTarget(HWND parent, UINT message, WPARAM wParam, LPARAM lParam);

// Sends the message back to its child as message + OCM__BASE. True (result = the child's
// answer) when there was a child to send it to.
bool ReflectNotifications(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// On the child: a reflected message it does not handle gets the default processing of the
// original message. True when the message was a reflected one.
bool DefaultReflectionHandler(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
