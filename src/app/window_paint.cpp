// The painted status area; see window_paint.h.
#include "app/window_paint.h"

#include "app/window_model.h"
#include "foundation/errors.h"
#include "foundation/format.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::vector<PaintedLine> gf_paintedValueLines(const PaintedValues& p)
{
    std::vector<PaintedLine> lines;
    std::string stands = tvx::format("Stands: {}", p.standCount);
    if (p.handmadeMark)
        stands += "  handmade";
    if (p.reservedStandMark)
        stands += "  reserved";
    if (p.planMark)
        stands += "  plan";
    lines.push_back({stands});
    lines.push_back({p.publisherText, p.publisherWarning ? PaintTone::Warning : PaintTone::Success});
    lines.push_back({p.qualityText});
    lines.push_back({tvx::format("Parked: {} (soft {})", p.parkedCount, p.softPlanned)});
    lines.push_back({tvx::format("Parked hours: live {:.1f}, static {:.1f}", p.avgParkHoursLive, p.avgParkHoursStatic)});
    lines.push_back({tvx::format("Fit offset: {:.1f} (real {:.1f})", p.fitOffset, p.realFitOffset)});
    lines.push_back({p.tbloText});
    lines.push_back({p.flightIndicator ? "Flight: running" : "Flight: none", p.flightIndicator ? PaintTone::Success
                                                                                               : PaintTone::Warning});
    lines.push_back({p.userAcText});
    lines.push_back({p.userStandText});
    lines.push_back({p.selectedText});
    return lines;
}

#ifdef _WIN32

namespace {

constexpr int g_rowHeight = 22;      // the controls' rows (app/entry.cpp)
constexpr int g_valueColumnX = 440;  // the button column
constexpr int g_valueFirstRow = 4;   // below the three buttons
constexpr int g_footY = 20 * g_rowHeight + 8;  // below the twenty check-box rows

COLORREF lf_colour(PaintTone tone)
{
    switch (tone) {
    case PaintTone::Error:
        return RGB(200, 0, 0);
    case PaintTone::Warning:
        return RGB(190, 110, 0);
    case PaintTone::Success:
        return RGB(0, 130, 0);
    case PaintTone::Normal:
        break;
    }
    return GetSysColor(COLOR_WINDOWTEXT);
}

void lf_drawLine(HDC dc, const PaintedLine& line, RECT box, UINT format)
{
    if (line.text.empty())
        return;
    SetTextColor(dc, lf_colour(line.tone));
    std::wstring text = win32::utf8ToWide(line.text);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format | DT_NOPREFIX);
}

}  // namespace

void gf_paintStatusArea(HWND window)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr)
        return;
    const PaintedValues values = gf_paintedValues();
    RECT client{};
    GetClientRect(window, &client);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));

    int y = g_valueFirstRow * g_rowHeight;
    for (const PaintedLine& line : gf_paintedValueLines(values)) {
        lf_drawLine(dc, line, RECT{g_valueColumnX, y, client.right - 4, y + g_rowHeight},
                    DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
        y += g_rowHeight;
    }
    // The status and error lines: up to two lines each across the window.
    const int foot = g_footY;
    lf_drawLine(dc, {values.statusLine}, RECT{8, foot, client.right - 8, foot + 2 * 16},
                DT_WORDBREAK | DT_END_ELLIPSIS);
    lf_drawLine(dc, {values.errorLine, PaintTone::Error}, RECT{8, foot + 2 * 16 + 4, client.right - 8,
                foot + 4 * 16 + 4}, DT_WORDBREAK | DT_END_ELLIPSIS);

    SelectObject(dc, oldFont);
    EndPaint(window, &paint);
}

#else

void gf_paintStatusArea(HWND)
{
}

#endif
