#pragma once
// What the skinned controls share: their dialog control id, the private
// notifications they post to their parent, and the copy of the dialog
// background under a control.
#include <QImage>
#include <QRect>

#include "platform/win/window.h"

class QWidget;

// Notifications posted to the parent window.
constexpr UINT WM_SELECT_MOVED = 0x41E;     // selector handle dragged: start, end
constexpr UINT WM_SLIDER_DRAGGING = 0x41F;  // slider thumb while dragged: id, value
constexpr UINT WM_SLIDER_RELEASED = 0x420;  // slider mouse release: id, control

void SetDlgCtrlID(QWidget* control, int id);
int GetDlgCtrlID(const QWidget* control);

// Posts to the parent widget's window (attached on first use). Nothing
// happens for a control without a parent.
void PostToParent(const QWidget* control, UINT msg, WPARAM wParam, LPARAM lParam);

// The part of a dialog background under rect; a null image when there is no
// background, transparent where rect leaves the background.
QImage CopyUnder(const QImage* background, const QRect& rect);
