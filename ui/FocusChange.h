#pragma once

class QFocusEvent;

// Whether a focus change comes from moving between controls rather than from a message box
// or another window taking and returning the focus.
bool isControlFocusChange(const QFocusEvent* event);
