// The design window's two-column report of a design slot: headings and
// labels in bold Arial, values in regular Arial. A unit without its
// required parameters shows the labels and units only.
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "app/win32/documents.h"
#include "design/box_design.h"
#include "design/box_pages.h"
#include "design/design_slot.h"
#include "design/speaker_unit.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

// The string table hands its texts out as Latin-1 here, and the unit's
// texts were typed in the same Western code page: each byte is its own
// character.
std::wstring Wide(const std::string& latin1) {
    std::wstring text(latin1.size(), L'\0');
    for (size_t i = 0; i < latin1.size(); ++i) text[i] = wchar_t(static_cast<unsigned char>(latin1[i]));
    return text;
}

struct ReportRow {
    int labelId;
    int unitId;  // 0: no unit
    const char* prefix;
};

// The Thiele-Small rows, top to bottom.
constexpr ReportRow kUnitRows[] = {
    {kStrTsFs, kStrUnitFs, ""},
    {kStrTsMmd, kStrUnitMmd, ""},
    {kStrTsMms, kStrUnitMms, ""},
    {kStrTsCms, kStrUnitCms, ""},
    {kStrTsRms, kStrUnitRms, ""},
    {kStrTsVas, kStrUnitVas, ""},
    {kStrTsXmax, kStrUnitXmax, "\xB1"},
    {kStrTsSd, kStrUnitSd, ""},
    {kStrTsRe, kStrUnitRe, ""},
    {kStrTsLe, kStrUnitLe, ""},
    {kStrTsBl, kStrUnitBl, ""},
    {kStrTsQms, 0, ""},
    {kStrTsQes, 0, ""},
    {kStrTsQts, 0, ""},
    {kStrTsEfficiency, kStrUnitEfficiency, ""},
    {kStrTsSpl1W, kStrUnitSpl1W, ""},
    {kStrTsSpl283V, kStrUnitSpl283V, ""},
};

// "%s%s %s": prefix, value, unit. The prefix belongs to a value only.
std::string ValueText(const char* prefix, const std::string& value, int unitId) {
    std::string text = value.empty() ? std::string() : std::string(prefix) + value;
    if (unitId) text += " " + std::string(StringText(unitId));
    return text;
}

class Report {
public:
    Report(HDC dc, const RECT& area, int scrollTop) : dc_(dc), area_(area) {
        bold_ = CreateFontA(-15, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
        regular_ = CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
        old_ = SelectObject(dc_, regular_);
        TEXTMETRICA tm{};
        GetTextMetricsA(dc_, &tm);
        height_ = tm.tmHeight > 0 ? tm.tmHeight : 15;
        labelX_ = area.left + tm.tmAveCharWidth;
        valueX_ = labelX_ + 15 * tm.tmAveCharWidth;
        y_ = area.top - scrollTop;
        oldColour_ = SetTextColor(dc_, RGB(0, 0, 0));
        oldMode_ = SetBkMode(dc_, TRANSPARENT);
        top_ = area.top - scrollTop;
    }
    ~Report() {
        SetBkMode(dc_, oldMode_);
        SetTextColor(dc_, oldColour_);
        SelectObject(dc_, old_);
        DeleteObject(bold_);
        DeleteObject(regular_);
    }

    void Heading(int id) {
        Text(bold_, labelX_, StringText(id));
        y_ += height_ + height_ / 4;
    }
    void Row(int labelId, const std::string& value) { Row(std::string(StringText(labelId)), value); }
    void Row(const std::string& label, const std::string& value) {
        Text(bold_, labelX_, label);
        Text(regular_, valueX_, value);
        y_ += height_;
    }
    int Height() const { return y_ - top_; }

private:
    void Text(HFONT font, int x, const std::string& text) {
        if (text.empty() || y_ + height_ <= area_.top || y_ >= area_.bottom) return;
        SelectObject(dc_, font);
        const std::wstring w = Wide(text);
        TextOutW(dc_, x, y_, w.c_str(), static_cast<int>(w.size()));
    }

    HDC dc_;
    RECT area_;
    HFONT bold_, regular_;
    HGDIOBJ old_;
    COLORREF oldColour_;
    int oldMode_;
    int height_, labelX_, valueX_, y_, top_;
};

std::string Number(double v, int decimals, int unitId = 0) {
    if (!std::isfinite(v) || !(v > 0)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return ValueText("", text, unitId);
}

// The box and its filter: the kind with its units, the chambers, tuning
// and losses, then the high-pass (or a bandpass box's band-pass) filter.
void BoxBlock(Report& report, const SpeakerUnit& unit, const BoxDesign& box) {
    constexpr int kClosed = 3523, kUnitsLine = 3524, kIsobaric = 3525, kVented = 3528, kBandpass = 3534;
    constexpr int kHp2 = 3541, kHp1 = 3542, kBp1 = 3545;
    report.Heading(box.boxType == kVentedBox ? kVented : box.boxType == kClosedBox ? kClosed : kBandpass);
    char units[96];
    std::snprintf(units, sizeof units, StringText(kUnitsLine), int(box.units), box.isobaric ? StringText(kIsobaric) : "");
    report.Row(std::string(units), std::string());
    SpeakerUnit eff;
    if (!EffectiveUnit(unit, box.units, box.isobaric != 0, eff)) eff = unit;
    switch (box.boxType) {
        case kClosedBox:
            report.Row(kStrReportVb, Number(box.vb * 1000, 2, kStrUnitVas));
            report.Row(kStrReportQtc, Number(RatiosOf(eff, box).qtc, 4));
            break;
        case kVentedBox:
            report.Row(kStrReportVb, Number(box.vb * 1000, 2, kStrUnitVas));
            report.Row(kStrReportFb, Number(box.fb, 2, kStrUnitFs));
            report.Row(kStrReportQl, Number(box.ql, 2));
            break;
        default:
            report.Row(kStrReportVr, Number(box.vr * 1000, 2, kStrUnitVas));
            report.Row(kStrReportVf, Number(box.vb * 1000, 2, kStrUnitVas));
            report.Row(kStrReportFb, Number(box.fb, 2, kStrUnitFs));
            report.Row(kStrReportQl, Number(box.ql, 2));
            break;
    }
    const bool bandpass = box.boxType == kBandpassBox || box.boxType == kDualPortBandpass;
    if (!bandpass && box.filterOrder <= 0) return;
    report.Heading(bandpass ? kBp1 : box.filterOrder == 1 ? kHp1 : kHp2);
    report.Row(kStrReportF, Number(box.filterFreq, 2, kStrUnitFs));
    report.Row(kStrReportQ, Number(box.filterDamping > 0 ? 1 / box.filterDamping : 0, 4));
}

}  // namespace

int PaintDesignReport(HDC dc, const RECT& area, int slot, int scrollTop) {
    if (slot < 0 || slot >= kDesignSlotCount) return 0;
    const DesignSlot& s = DesignSlots()[slot];
    if (!(s.flags & kSlotHasUnit)) return 0;
    const SpeakerUnit unit = DeserializeSpeakerUnit(s.unitParameters);
    const std::vector<std::string> values = SpeakerUnitReportValues(unit);
    Report report(dc, area, scrollTop);
    report.Heading((s.flags & kSlotHasBox) ? 3501 : 3502);
    report.Row(3503, unit.manufacturer);
    report.Row(3504, unit.model);
    report.Heading(3505);
    for (size_t i = 0; i < std::size(kUnitRows); ++i) {
        const ReportRow& row = kUnitRows[i];
        report.Row(row.labelId, ValueText(row.prefix, i < values.size() ? values[i] : "", row.unitId));
    }
    if (s.flags & kSlotHasBox) BoxBlock(report, unit, DeserializeBoxDesign(s.boxParameters));
    return report.Height();
}

}  // namespace srx
