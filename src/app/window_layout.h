// Where the main window puts its controls and its painted status area, in client coordinates:
// the check boxes down the left, the edit boxes with their labels in the middle, the buttons on the
// right with the painted values below them, and the status and error lines across the foot. The
// window is sized so that its client area is exactly g_clientWidth by g_clientHeight.
#pragma once

#include "win32/win_api.h"

namespace window_layout {

constexpr int g_margin = 8;
constexpr int g_rowHeight = 22;      // one row of controls
constexpr int g_controlHeight = 20;
constexpr int g_checkX = g_margin;   // check-box column (twenty rows)
constexpr int g_checkWidth = 210;
constexpr int g_labelX = 228;        // the edit boxes' labels
constexpr int g_labelWidth = 150;
constexpr int g_editX = 380;         // edit-box column (twelve rows)
constexpr int g_editWidth = 90;
constexpr int g_buttonX = 484;       // button column (three rows), the painted values below
constexpr int g_buttonWidth = 204;
constexpr int g_clientWidth = g_buttonX + g_buttonWidth + g_margin;
constexpr int g_valueFirstRow = 4;   // the painted values start one row below the buttons
constexpr int g_checkRows = 20;
constexpr int g_footY = g_margin + g_checkRows * g_rowHeight + g_margin;  // below the check boxes
constexpr int g_textLineHeight = 16;
constexpr int g_clientHeight = g_footY + 4 * g_textLineHeight + 4 + g_margin;

// The box of a control in its column's row.
constexpr RECT gf_controlBox(int x, int width, int row)
{
    return RECT{x, g_margin + row * g_rowHeight, x + width, g_margin + row * g_rowHeight + g_controlHeight};
}

// The status line and the error line: two text lines each across the foot.
constexpr RECT g_statusLineBox{g_margin, g_footY, g_clientWidth - g_margin, g_footY + 2 * g_textLineHeight};
constexpr RECT g_errorLineBox{g_margin, g_footY + 2 * g_textLineHeight + 4, g_clientWidth - g_margin,
                              g_footY + 4 * g_textLineHeight + 4};

}  // namespace window_layout
