// The window's status and error lines. Any thread writes them; the status-line mutex guards both
// texts, and every change asks the window to repaint its status area. The lines live in the
// painted values of the window model (frame/window_model.h), where the window and tests read them.
#pragma once

#include <string>
#include <string_view>

// Shows the text on the status line unless an error text is showing; logs it when log is set.
void gf_setStatusLine(std::string_view text, bool log = false);
// Empties the status line (an error text stays).
void gf_clearStatusLine();
// Empties the status line when it shows the text (a later text of someone else stays).
void gf_clearStatusLineIf(std::string_view text);
// Shows "Error {}" with the text on the error line and logs it.
void gf_setErrorLine(std::string_view text);
// Shows "Error {}" with the text on the error line without logging it (the caller logged it).
void gf_showErrorLine(std::string_view text);
// Removes the error text, so status texts show again (start of a restart).
void gf_clearErrorLine();

// Current texts, for the window's painter and for tests.
std::string gf_statusLineText();
std::string gf_errorLineText();
