// The painted status area; see window_paint.h.
#include "app/window_paint.h"

#include "app/window_layout.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "frame/window_model.h"

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
    lines.push_back({tvx::format("Live aircraft: {}", p.liveCount)});
    std::string parked =
        tvx::format("Parked: {} live, {} static of {}", p.liveParkedCount, p.staticParkedCount, p.parkedCount);
    if (p.softPlanned != 0)
        parked += "  soft";
    lines.push_back({parked});
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

std::vector<PlacedLine> gf_statusAreaLines(const PaintedValues& values)
{
    using namespace window_layout;
    std::vector<PlacedLine> placed;
    int row = g_valueFirstRow;
    for (PaintedLine& line : gf_paintedValueLines(values)) {
        const RECT box = gf_controlBox(g_buttonX, g_buttonWidth, row++);
        placed.push_back({std::move(line), box, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS});
    }
    placed.push_back({{values.statusLine}, g_statusLineBox, DT_WORDBREAK | DT_END_ELLIPSIS});
    placed.push_back({{values.errorLine, PaintTone::Error}, g_errorLineBox, DT_WORDBREAK | DT_END_ELLIPSIS});
    return placed;
}

COLORREF gf_toneColour(PaintTone tone)
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

void gf_paintStatusArea(HDC dc)
{
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    for (PlacedLine& placed : gf_statusAreaLines(gf_paintedValues())) {
        if (placed.line.text.empty())
            continue;
        SetTextColor(dc, gf_toneColour(placed.line.tone));
        const std::wstring text = win32::utf8ToWide(placed.line.text);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &placed.box, placed.format | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
}
