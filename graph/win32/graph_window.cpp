// Graph document windows: painting by kind, the geometry each window keeps
// from its last paint, the status-bar read-out, and the mouse (crosshair,
// zoom rectangle, the time-window markers) with inverting overlays.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>

#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "graph/analysis_graph.h"
#include "graph/win32/analysis_series.h"
#include "graph/interaction.h"
#include "graph/readout.h"
#include "graph/time_graph.h"
#include "graph/win32/graph_view.h"
#include "measure/measurement_settings.h"

namespace srx {

namespace {

enum class Output { Screen, Clipboard, Printer };
enum class Mode { None, Marker, Zoom };

// What a window remembers between messages.
struct WindowState {
    GraphGeometry geometry;
    Mode mode = Mode::None;
    // Marker drag: the edges as they are being moved, the grabbed role and
    // the column of the inverted line on the screen (INT_MIN: none).
    MarkerEdge edge = MarkerEdge::None;
    TimeWindowEdges edges;
    int markerX = INT_MIN;
    // Zoom rectangle from anchor to corner while `rectShown`.
    POINT anchor{}, corner{};
    bool rectShown = false;
    // Crosshair lines through `cross` while shown.
    POINT cross{};
    bool crossShown = false;
    bool tracking = false;
    // Waterfall cursor: selected slice (-1: none) and frequency index, the
    // slice arrays they belong to, and where the cross stands when shown.
    int wfSlice = -1, wfIndex = 0;
    const void* wfAxis = nullptr;
    size_t wfSlices = 0;
    bool wfCursorShown = false;
    POINT wfCursorAt{};
};

std::map<HWND, WindowState>& States() {
    static std::map<HWND, WindowState> states;
    return states;
}

MultigraphSource g_multigraph = nullptr;

bool IsTimeKind(int kind) { return kind == kDocImpulse || kind == kDocStep || kind == kDocEtc; }
bool IsAnalysisKind(int kind) { return kind >= kDocAnalysisFirst && kind <= kDocAnalysisLast; }

bool Inside(const PlotRect& r, POINT p) { return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom; }

// ---- Inverting overlays ------------------------------------------------------
// Each is drawn and erased by the same call.

void InvertLine(HDC dc, int x0, int y0, int x1, int y1) {
    const int rop = SetROP2(dc, R2_NOT);
    HGDIOBJ old = SelectObject(dc, GetStockObject(BLACK_PEN));
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    SelectObject(dc, old);
    SetROP2(dc, rop);
}

void InvertMarker(HDC dc, const WindowState& s) {
    const PlotRect& p = s.geometry.plot;
    if (s.markerX != INT_MIN) InvertLine(dc, s.markerX, p.top + 1, s.markerX, p.bottom);
}

void InvertCross(HDC dc, const WindowState& s) {
    const PlotRect& p = s.geometry.plot;
    InvertLine(dc, p.left + 1, s.cross.y, p.right, s.cross.y);
    InvertLine(dc, s.cross.x, p.top + 1, s.cross.x, p.bottom);
}

void InvertRect(HDC dc, const WindowState& s) {
    const int rop = SetROP2(dc, R2_NOT);
    HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, std::min(s.anchor.x, s.corner.x), std::min(s.anchor.y, s.corner.y),
              std::max(s.anchor.x, s.corner.x) + 1, std::max(s.anchor.y, s.corner.y) + 1);
    SelectObject(dc, brush);
    SelectObject(dc, pen);
    SetROP2(dc, rop);
}

// Puts back the overlays a paint has just covered (the paint's own clip
// region keeps the rest of the window as it was).
void RedrawOverlays(HDC dc, const WindowState& s) {
    if (s.mode == Mode::Marker) InvertMarker(dc, s);
    if (s.mode == Mode::Zoom && s.rectShown) InvertRect(dc, s);
    if (s.crossShown) InvertCross(dc, s);
}

template <class Fn>
void WithWindowDc(HWND window, Fn fn) {
    HDC dc = GetDC(window);
    if (!dc) return;
    fn(dc);
    ReleaseDC(window, dc);
}

void HideCross(HWND window, WindowState& s) {
    if (!s.crossShown) return;
    WithWindowDc(window, [&](HDC dc) { InvertCross(dc, s); });
    s.crossShown = false;
}

// ---- Waterfall cursor ----------------------------------------------------------

// A new waterfall (fresh slice arrays, after an analysis or an undo) drops
// the selection.
void SyncWaterfallCursor(WindowState& s, const TimeRecord& t) {
    const void* axis = t.slices.empty() ? nullptr : t.slices.front().frequency.data();
    if (axis == s.wfAxis && t.slices.size() == s.wfSlices) return;
    s.wfAxis = axis;
    s.wfSlices = t.slices.size();
    s.wfSlice = -1;
    s.wfIndex = 0;
    s.wfCursorShown = false;
}

// The cross's centre: the selected point as the slices are drawn; false
// without a selection or outside the displayed frequencies.
bool WaterfallCursorPoint(const WindowState& s, const TimeRecord& t, POINT* at) {
    const WaterfallProjection& p = s.geometry.waterfall;
    if (!s.geometry.valid || !p.valid || s.wfSlice < 0 || s.wfSlice >= p.slices ||
        static_cast<size_t>(s.wfSlice) >= t.slices.size())
        return false;
    const WaterfallSlice& sl = t.slices[static_cast<size_t>(s.wfSlice)];
    const size_t i = static_cast<size_t>(std::max(0, s.wfIndex));
    if (i >= sl.frequency.size() || i >= sl.level.size()) return false;
    const double f = sl.frequency[i];
    if (!(f >= 0.99 * p.start && f <= 1.01 * p.end)) return false;
    const CurvePixel c = p.Point(s.wfSlice, f, sl.level[i]);
    *at = POINT{c.x, c.y};
    return true;
}

// Two diagonals 5 units from the centre in a wide red pen, not-xor: drawn
// again at the same place they disappear.
void InvertWaterfallCursor(HDC dc, POINT c) {
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(192, 0, 0));
    const int rop = SetROP2(dc, R2_NOTXORPEN);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, c.x - 5, c.y - 5, nullptr);
    LineTo(dc, c.x + 5, c.y + 5);
    MoveToEx(dc, c.x - 5, c.y + 5, nullptr);
    LineTo(dc, c.x + 5, c.y - 5);
    SelectObject(dc, old);
    SetROP2(dc, rop);
    DeleteObject(pen);
}

ReadoutPanes WaterfallPanes(const WindowState& s, const TimeRecord& t) {
    if (t.slices.empty()) return {};
    const std::vector<float>& axis = t.slices.front().frequency;
    const size_t i = static_cast<size_t>(std::max(0, s.wfIndex));
    double f = i < axis.size() ? axis[i] : 0.0;
    if (!std::isfinite(f)) f = 0;
    double level = 0, seconds = 0;
    if (s.wfSlice >= 0 && static_cast<size_t>(s.wfSlice) < t.slices.size()) {
        const WaterfallSlice& sl = t.slices[static_cast<size_t>(s.wfSlice)];
        if (i < sl.level.size() && std::isfinite(sl.level[i])) level = sl.level[i];
        const double span = t.h.furtherTime;
        if (std::isfinite(span) && span > 0) seconds = s.wfSlice * span / static_cast<double>(t.slices.size());
    }
    return WaterfallReadout(f, level, seconds);
}

// ---- Painting -------------------------------------------------------------------

GraphPaint PaintFor(Output out) {
    GraphPaint p = ScreenPaint();
    p.printerColours = out == Output::Printer;
    p.monochrome = out == Output::Printer && (Settings().window.shellFlags & kShellPrintMonochrome);
    p.screen = out == Output::Screen;
    if (out != Output::Screen) p.flags |= kPaintOutput;
    return p;
}

bool PaintAs(HWND window, HDC dc, const RECT& area, Output out) {
    const int kind = DocumentKindOf(window);
    void* data = DocumentDataOf(window);
    GraphPaint paint = PaintFor(out);
    GraphGeometry geometry;
    bool ok = false;
    if (data) {
        switch (kind) {
            case kDocMeasurement: {
                MeasurementGraphInput in;
                in.records = {static_cast<const Measurement*>(data)};
                ok = PaintMeasurementGraph(dc, area, in, paint, &geometry);
                break;
            }
            case kDocMultigraph: {
                MultigraphCurves curves;
                if (!g_multigraph || !g_multigraph(data, &curves)) break;
                MeasurementGraphInput in;
                in.records = curves.records;
                in.names = curves.names;
                if (curves.displayFirst && curves.displayLast) {
                    in.fmin = *curves.displayFirst;
                    in.fmax = *curves.displayLast;
                }
                paint.flags |= kPaintMultigraph;
                ok = PaintMeasurementGraph(dc, area, in, paint, &geometry);
                break;
            }
            case kDocImpulse:
            case kDocStep: ok = PaintImpulseGraph(dc, area, *static_cast<TimeRecord*>(data), paint, &geometry); break;
            case kDocEtc: ok = PaintEnergyTimeGraph(dc, area, *static_cast<EtcRecord*>(data), paint, &geometry); break;
            case kDocWaterfall: {
                ok = PaintWaterfallGraph(dc, area, *static_cast<TimeRecord*>(data), paint, &geometry.waterfall);
                geometry.valid = ok;
                break;
            }
            default:
                if (IsAnalysisKind(kind)) {
                    const int slot = static_cast<const AnalysisWindowData*>(data)->slot;
                    ok = PaintAnalysisGraph(dc, area, slot, kind, &geometry, paint);
                }
                break;
        }
    }
    if (out == Output::Screen) {
        WindowState& s = States()[window];
        geometry.kind = kind;
        s.geometry = ok ? geometry : GraphGeometry{};
        if (ok) RedrawOverlays(dc, s);
        if (kind == kDocWaterfall && data) {
            const auto& t = *static_cast<const TimeRecord*>(data);
            SyncWaterfallCursor(s, t);
            s.wfCursorShown = ok && WaterfallCursorPoint(s, t, &s.wfCursorAt);
            if (s.wfCursorShown) InvertWaterfallCursor(dc, s.wfCursorAt);
        }
    }
    return ok;
}

// Paints the window into a bitmap first and copies it over in one go: drawn
// straight onto the window the background, grid and curves would show one
// after the other at every resize and repaint.
void PaintBuffered(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!dc) return;
    RECT rc;
    GetClientRect(window, &rc);
    HDC mem = rc.right > 0 && rc.bottom > 0 ? CreateCompatibleDC(dc) : nullptr;
    HBITMAP bitmap = mem ? CreateCompatibleBitmap(dc, rc.right, rc.bottom) : nullptr;
    if (bitmap) {
        HGDIOBJ old = SelectObject(mem, bitmap);
        PaintDocument(window, mem, rc, false);
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, mem, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        SelectObject(mem, old);
        DeleteObject(bitmap);
    } else {
        PaintDocument(window, dc, rc, false);  // no memory for the bitmap: paint as it comes
    }
    if (mem) DeleteDC(mem);
    EndPaint(window, &ps);
}

void PaintHook(HWND window, HDC dc, const RECT& area, bool clipboard) {
    PaintAs(window, dc, area, clipboard ? Output::Clipboard : Output::Screen);
}

// ---- Read-outs --------------------------------------------------------------------

double SpeedOfSound() {
    const double c = CurrentMeasurementSettings().speedOfSound;
    return c >= 1 && c < 1e38 ? c : 344.0;
}

ReadoutPanes Panes(HWND window, const WindowState& s, POINT pt, bool crosshair) {
    const GraphGeometry& g = s.geometry;
    if (!g.valid || !Inside(g.plot, pt)) return {};
    void* data = DocumentDataOf(window);
    if (!data) return {};
    switch (g.kind) {
        case kDocMeasurement: {
            MeasurementReadoutInput in;
            in.record = static_cast<const Measurement*>(data);
            in.map = g.map;
            in.plot = g.plot;
            in.scales = g.scales;
            in.mouseX = pt.x;
            in.mouseY = pt.y;
            in.crosshair = crosshair;
            in.viewFlags = g.flags;
            in.distortionFlags = g.distortionFlags;
            return MeasurementReadout(in);
        }
        case kDocImpulse:
        case kDocStep: {
            const auto& t = *static_cast<const TimeRecord*>(data);
            if (t.samples.empty() || t.h.sampleRate < 1 || g.scales.empty()) return {};
            const double time = g.time.TimeAt(pt.x - g.plot.left);
            double u;
            if (crosshair) {
                const ScaleDescription& sc = g.scales.front();
                u = sc.ValueAt(pt.y, g.plot.top, g.plot.bottom) / (sc.unit == "mV" ? 1000.0 : 1.0);
            } else {
                // Many samples may share the column: the one the curve shows.
                const int x = pt.x - g.plot.left;
                u = SampleUnderColumn(t.samples, t.h.sampleRate, g.time.TimeAt(x - 0.5), g.time.TimeAt(x + 0.5));
            }
            const TimeWindowEdges w = s.mode == Mode::Marker ? s.edges : ImpulseWindowEdges(t);
            return ImpulseReadout(time, u, w.start, w.end - w.start, SpeedOfSound());
        }
        case kDocEtc: {
            const auto& e = *static_cast<const EtcRecord*>(data);
            const double rate = EtcSampleRate(e);
            if (e.samples.empty() || !(rate > 0) || g.scales.empty()) return {};
            const double time = g.time.TimeAt(pt.x - g.plot.left);
            double level;
            if (crosshair) {
                level = g.scales.front().ValueAt(pt.y, g.plot.top, g.plot.bottom);
            } else {
                const long long index =
                    std::clamp<long long>(EtcSampleIndex(rate, time), 0, static_cast<long long>(e.samples.size()) - 1);
                level = e.samples[static_cast<size_t>(index)];
            }
            const TimeWindowEdges w = s.mode == Mode::Marker ? s.edges : EtcMarkerEdges(e);
            return EtcReadout(time, level, w.start, w.end - w.start, SpeedOfSound());
        }
        default:
            if (IsAnalysisKind(g.kind)) {
                const int slot = static_cast<const AnalysisWindowData*>(data)->slot;
                if (!SlotHasResults(slot)) return {};
                const AnalysisSeries r = SlotSeries(slot);
                AnalysisReadoutInput in;
                in.kind = g.kind;
                in.slot = slot;
                in.results = &r;
                in.plot = g.plot;
                in.map = g.map;
                in.scales = g.scales;
                in.mouseX = pt.x;
                in.mouseY = pt.y;
                in.crosshair = crosshair;
                in.boxFlags = Settings().window.boxViewFlags;
                return AnalysisReadout(in);
            }
            return {};  // multigraphs show no read-out
    }
}

void ShowPanes(const ReadoutPanes& panes) {
    HWND status = Shell().status;
    if (!status) return;
    for (int i = 0; i < 5; ++i) {
        // Every setting repaints the pane: a pane whose text stays as it is
        // would blink at each mouse move.
        const WPARAM pane = static_cast<WPARAM>(i + 1);
        const LRESULT length = SendMessageA(status, SB_GETTEXTLENGTHA, pane, 0);
        if (static_cast<size_t>(LOWORD(length)) == panes[i].size()) {
            std::string shown(panes[i].size() + 1, '\0');
            SendMessageA(status, SB_GETTEXTA, pane, reinterpret_cast<LPARAM>(shown.data()));
            if (shown.c_str() == panes[i]) continue;
        }
        SendMessageA(status, SB_SETTEXTA, pane, reinterpret_cast<LPARAM>(panes[i].c_str()));
    }
}

// ---- Mouse ------------------------------------------------------------------------

POINT PointOf(LPARAM lp) { return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))}; }

// Full time range the markers and zoom may reach, in seconds.
double RecordLength(HWND window, int kind) {
    void* data = DocumentDataOf(window);
    if (!data) return 0;
    if (kind == kDocEtc) return EtcLength(*static_cast<EtcRecord*>(data));
    return TimeRecordLength(*static_cast<TimeRecord*>(data));
}

TimeWindowEdges CurrentEdges(HWND window, int kind) {
    void* data = DocumentDataOf(window);
    if (!data) return {};
    if (kind == kDocEtc) return EtcMarkerEdges(*static_cast<EtcRecord*>(data));
    return ImpulseWindowEdges(*static_cast<TimeRecord*>(data));
}

MarkerEdge MarkerUnder(const WindowState& s, POINT pt) {
    const GraphGeometry& g = s.geometry;
    if (!g.valid || !g.markers || !IsTimeKind(g.kind)) return MarkerEdge::None;
    if (pt.y < g.plot.top || pt.y > g.plot.bottom) return MarkerEdge::None;
    return HitMarker(pt.x, g.markerStartX, g.markerEndX);
}

void StoreEdges(HWND window, int kind, TimeWindowEdges w) {
    void* data = DocumentDataOf(window);
    if (!data) return;
    if (kind == kDocEtc) {
        auto& e = *static_cast<EtcRecord*>(data);
        StoreEtcMarkers(e, w);
        e.h.flags &= ~kEtcSaved;
    } else {
        auto& t = *static_cast<TimeRecord*>(data);
        StoreImpulseWindow(t, w);
        t.h.flags &= ~kTwfSaved;
    }
}

bool ApplyZoom(HWND window, const WindowState& s) {
    const GraphGeometry& g = s.geometry;
    void* data = DocumentDataOf(window);
    if (!data) return false;
    const int x0 = s.anchor.x - g.plot.left, x1 = s.corner.x - g.plot.left;
    const bool frequency = g.kind == kDocMeasurement || g.kind == kDocMultigraph;
    if (!ZoomRectangleLargeEnough(x1 - x0, s.corner.y - s.anchor.y, frequency)) return false;
    switch (g.kind) {
        case kDocMeasurement: {
            auto& m = *static_cast<Measurement*>(data);
            double lo, hi;
            if (!ZoomFrequencyRange(g.map, x0, x1, m.h.firstFrequency, m.h.lastFrequency, &lo, &hi)) return false;
            m.displayFirstFrequency = lo;
            m.displayLastFrequency = hi;
            return true;
        }
        case kDocMultigraph: {
            MultigraphCurves c;
            if (!g_multigraph || !g_multigraph(data, &c) || !c.displayFirst || !c.displayLast) return false;
            double lo, hi;
            if (!ZoomFrequencyRange(g.map, x0, x1, c.fullFirst, c.fullLast, &lo, &hi)) return false;
            *c.displayFirst = lo;
            *c.displayLast = hi;
            return true;
        }
        case kDocImpulse:
        case kDocStep: {
            auto& t = *static_cast<TimeRecord*>(data);
            double t0, t1;
            if (!ZoomTimeRange(g.time, x0, x1, TimeRecordLength(t), &t0, &t1)) return false;
            t.displayTimeStart = t0;
            t.displayTimeEnd = t1;
            t.amplitudeZoom = ZoomAmplitude(t.amplitudeZoom, s.anchor.y, s.corner.y, g.plot.Height());
            return true;
        }
        case kDocEtc: {
            auto& e = *static_cast<EtcRecord*>(data);
            double t0, t1;
            if (!ZoomTimeRange(g.time, x0, x1, EtcLength(e), &t0, &t1)) return false;
            e.displayStart = t0;
            e.displayEnd = t1;
            return true;
        }
        default: return false;
    }
}

void PostUpdateMenus() {
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

// Ends a drag without applying it (capture lost, window going away).
void CancelDrag(HWND window, WindowState& s) {
    if (s.mode == Mode::Marker) WithWindowDc(window, [&](HDC dc) { InvertMarker(dc, s); });
    if (s.mode == Mode::Zoom && s.rectShown) WithWindowDc(window, [&](HDC dc) { InvertRect(dc, s); });
    s.mode = Mode::None;
    s.markerX = INT_MIN;
    s.rectShown = false;
}

bool OnMouseMove(HWND window, WindowState& s, WPARAM wp, POINT pt) {
    if (!s.tracking) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, window, 0};
        s.tracking = TrackMouseEvent(&tme) != FALSE;
    }
    const GraphGeometry& g = s.geometry;
    bool crosshair = false;
    if (s.mode == Mode::Marker) {
        const int x = std::clamp<int>(pt.x, g.plot.left, g.plot.right);
        const double t = g.time.TimeAt(x - g.plot.left);
        WithWindowDc(window, [&](HDC dc) {
            InvertMarker(dc, s);
            s.edges = MoveMarker(s.edges, s.edge, t, 0, RecordLength(window, g.kind));
            const double at = s.edge == MarkerEdge::Start ? s.edges.start : s.edges.end;
            s.markerX = g.plot.left + g.time.Map(at);
            InvertMarker(dc, s);
        });
    } else if (s.mode == Mode::Zoom) {
        WithWindowDc(window, [&](HDC dc) {
            if (s.rectShown) InvertRect(dc, s);
            s.corner = POINT{std::clamp<LONG>(pt.x, g.plot.left, g.plot.right),
                             std::clamp<LONG>(pt.y, g.plot.top, g.plot.bottom)};
            InvertRect(dc, s);
            s.rectShown = true;
        });
    } else {
        crosshair = (wp & MK_CONTROL) && g.valid && Inside(g.plot, pt);
        if (crosshair) {
            WithWindowDc(window, [&](HDC dc) {
                if (s.crossShown) InvertCross(dc, s);
                s.cross = pt;
                InvertCross(dc, s);
            });
            s.crossShown = true;
        } else {
            HideCross(window, s);
        }
    }
    ShowPanes(Panes(window, s, pt, crosshair));
    return true;
}

bool OnButtonDown(HWND window, WindowState& s, POINT pt) {
    const GraphGeometry& g = s.geometry;
    if (!g.valid || !Inside(g.plot, pt) || s.mode != Mode::None) return false;
    if (IsAnalysisKind(g.kind)) return false;  // the analysis graphs neither zoom nor have markers
    HideCross(window, s);
    const MarkerEdge edge = MarkerUnder(s, pt);
    if (edge != MarkerEdge::None) {
        s.mode = Mode::Marker;
        s.edge = edge;
        s.edges = CurrentEdges(window, g.kind);
        s.markerX = edge == MarkerEdge::Start ? g.markerStartX : g.markerEndX;
        WithWindowDc(window, [&](HDC dc) { InvertMarker(dc, s); });
    } else {
        s.mode = Mode::Zoom;
        s.anchor = s.corner = pt;
        s.rectShown = false;
    }
    SetCapture(window);
    return true;
}

bool OnButtonUp(HWND window, WindowState& s) {
    if (s.mode == Mode::None) return false;
    const Mode mode = s.mode;
    const TimeWindowEdges edges = s.edges;
    WindowState snapshot = s;
    // Cleared before the capture goes, so that WM_CAPTURECHANGED finds no drag.
    CancelDrag(window, s);
    if (GetCapture() == window) ReleaseCapture();
    bool changed = false;
    if (mode == Mode::Marker) {
        StoreEdges(window, s.geometry.kind, edges);
        changed = true;
    } else if (mode == Mode::Zoom) {
        changed = ApplyZoom(window, snapshot);
        if (changed) PostUpdateMenus();
    }
    if (changed) InvalidateRect(window, nullptr, TRUE);
    return true;
}

bool OnSetCursor(HWND window, WindowState& s, LPARAM lp) {
    if (LOWORD(lp) != HTCLIENT) return false;
    POINT pt;
    if (!GetCursorPos(&pt) || !ScreenToClient(window, &pt)) return false;
    if (s.mode == Mode::Marker || (s.mode == Mode::None && MarkerUnder(s, pt) != MarkerEdge::None)) {
        SetCursor(LoadCursor(nullptr, IDC_SIZEWE));
        return true;
    }
    return false;
}

bool WaterfallKeyOf(WPARAM vk, WaterfallKey* key) {
    switch (vk) {
        case VK_PRIOR: *key = WaterfallKey::PageUp; return true;
        case VK_NEXT: *key = WaterfallKey::PageDown; return true;
        case VK_UP: *key = WaterfallKey::Up; return true;
        case VK_DOWN: *key = WaterfallKey::Down; return true;
        case VK_HOME: *key = WaterfallKey::Home; return true;
        case VK_END: *key = WaterfallKey::End; return true;
        case VK_LEFT: *key = WaterfallKey::Left; return true;
        case VK_RIGHT: *key = WaterfallKey::Right; return true;
        case VK_INSERT: *key = WaterfallKey::Insert; return true;
        case VK_DELETE: *key = WaterfallKey::Delete; return true;
        default: return false;
    }
}

bool OnWaterfallKey(HWND window, WindowState& s, WPARAM vk) {
    WaterfallKey key;
    if (!WaterfallKeyOf(vk, &key)) return false;
    auto* t = static_cast<TimeRecord*>(DocumentDataOf(window));
    if (!t || t->slices.empty()) return false;
    SyncWaterfallCursor(s, *t);
    const WaterfallProjection& p = s.geometry.waterfall;
    const double start = p.valid ? p.start : t->displayWaterfallFirst;
    const double end = p.valid ? p.end : t->displayWaterfallLast;
    MoveWaterfallCursor(key, t->slices.front().frequency, static_cast<int>(std::min<size_t>(t->slices.size(), INT_MAX)),
                        start, end, &s.wfSlice, &s.wfIndex);
    WithWindowDc(window, [&](HDC dc) {
        if (s.wfCursorShown) InvertWaterfallCursor(dc, s.wfCursorAt);
        s.wfCursorShown = WaterfallCursorPoint(s, *t, &s.wfCursorAt);
        if (s.wfCursorShown) InvertWaterfallCursor(dc, s.wfCursorAt);
    });
    ShowPanes(WaterfallPanes(s, *t));
    return true;
}

bool MessageHook(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    const int kind = DocumentKindOf(window);
    const bool waterfall = kind == kDocWaterfall;
    if (!waterfall && !IsAnalysisKind(kind) && (kind < kDocMeasurement || kind > kDocStep)) return false;
    switch (msg) {
        case WM_ERASEBKGND:
            // The buffered paint covers every pixel.
            *result = 1;
            return true;
        case WM_PAINT:
            PaintBuffered(window);
            *result = 0;
            return true;
        case WM_DESTROY:
            States().erase(window);
            ShowPanes({});
            return false;
        default: break;
    }
    // Waterfall windows answer their cursor keys; the mouse does nothing there.
    if (waterfall) {
        if (msg != WM_KEYDOWN || !OnWaterfallKey(window, States()[window], wp)) return false;
        *result = 0;
        return true;
    }
    switch (msg) {
        case WM_MOUSEMOVE: {
            OnMouseMove(window, States()[window], wp, PointOf(lp));
            *result = 0;
            return true;
        }
        case WM_KEYUP:
            // Letting go of Ctrl ends the crosshair where the mouse stands.
            if (wp == VK_CONTROL) {
                WindowState& s = States()[window];
                if (s.crossShown) {
                    const POINT at = s.cross;
                    HideCross(window, s);
                    ShowPanes(Panes(window, s, at, false));
                }
            }
            return false;
        case WM_MOUSELEAVE: {
            WindowState& s = States()[window];
            s.tracking = false;
            HideCross(window, s);
            if (s.mode == Mode::None) ShowPanes({});
            return false;
        }
        case WM_LBUTTONDOWN:
            if (OnButtonDown(window, States()[window], PointOf(lp))) {
                *result = 0;
                return true;
            }
            return false;
        case WM_LBUTTONUP:
            if (OnButtonUp(window, States()[window])) {
                *result = 0;
                return true;
            }
            return false;
        case WM_CAPTURECHANGED: {
            auto it = States().find(window);
            if (it != States().end() && it->second.mode != Mode::None) CancelDrag(window, it->second);
            return false;
        }
        case WM_SETCURSOR:
            if (OnSetCursor(window, States()[window], lp)) {
                *result = TRUE;
                return true;
            }
            return false;
        case WM_COMMAND:
            if (LOWORD(wp) == 737) {
                RestoreGraphZoom(window);
                PostUpdateMenus();
                *result = 0;
                return true;
            }
            return false;
        default: return false;
    }
}

}  // namespace

GraphPaint ScreenPaint() {
    GraphPaint p;
    const WindowHistory& w = Settings().window;
    p.flags = w.graphViewFlags & ~(kPaintMultigraph | kPaintOutput);
    p.distortionFlags = w.distortionViewFlags;
    return p;
}

void SetMultigraphSource(MultigraphSource source) { g_multigraph = source; }

bool PaintDocumentGraph(HWND window, HDC dc, const RECT& area, bool printing) {
    return PaintAs(window, dc, area, printing ? Output::Printer : Output::Screen);
}

const GraphGeometry* GraphGeometryOf(HWND window) {
    auto it = States().find(window);
    if (it == States().end() || !it->second.geometry.valid) return nullptr;
    return &it->second.geometry;
}

std::vector<std::string> ReadoutTexts(HWND window, POINT point, bool crosshair) {
    auto it = States().find(window);
    ReadoutPanes panes{};
    void* data = DocumentDataOf(window);
    // A waterfall's read-out follows its cursor keys, not the mouse.
    if (it != States().end() && DocumentKindOf(window) == kDocWaterfall && data)
        panes = WaterfallPanes(it->second, *static_cast<const TimeRecord*>(data));
    else if (it != States().end())
        panes = Panes(window, it->second, point, crosshair);
    return std::vector<std::string>(panes.begin(), panes.end());
}

void UpdateReadout(HWND window, POINT point, bool crosshair) {
    auto it = States().find(window);
    ShowPanes(it == States().end() ? ReadoutPanes{} : Panes(window, it->second, point, crosshair));
}

bool RestoreGraphZoom(HWND window) {
    void* data = DocumentDataOf(window);
    if (!data) return false;
    switch (DocumentKindOf(window)) {
        case kDocMeasurement: RestoreZoom(*static_cast<Measurement*>(data)); break;
        case kDocMultigraph: {
            MultigraphCurves c;
            if (!g_multigraph || !g_multigraph(data, &c) || !c.displayFirst || !c.displayLast) return false;
            *c.displayFirst = c.fullFirst;
            *c.displayLast = c.fullLast;
            break;
        }
        case kDocImpulse:
        case kDocStep: RestoreZoom(*static_cast<TimeRecord*>(data)); break;
        case kDocEtc: RestoreZoom(*static_cast<EtcRecord*>(data)); break;
        default: return false;
    }
    InvalidateRect(window, nullptr, TRUE);
    return true;
}

bool GraphZoomed(HWND window) {
    void* data = DocumentDataOf(window);
    if (!data) return false;
    switch (DocumentKindOf(window)) {
        case kDocMeasurement: return IsZoomed(*static_cast<const Measurement*>(data));
        case kDocMultigraph: {
            MultigraphCurves c;
            if (!g_multigraph || !g_multigraph(data, &c) || !c.displayFirst || !c.displayLast) return false;
            return *c.displayFirst != c.fullFirst || *c.displayLast != c.fullLast;
        }
        case kDocImpulse:
        case kDocStep: return IsZoomed(*static_cast<const TimeRecord*>(data));
        case kDocEtc: return IsZoomed(*static_cast<const EtcRecord*>(data));
        default: return false;
    }
}

void InstallGraphView() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    DocumentKindHooks hooks;
    hooks.paint = PaintHook;
    hooks.message = MessageHook;
    RegisterDocumentKinds(kDocMeasurement, kDocStep, hooks);
    // The analysis windows own a small state of their own.
    hooks.release = [](void* data) { delete static_cast<AnalysisWindowData*>(data); };
    RegisterDocumentKinds(kDocAnalysisFirst, kDocAnalysisLast, hooks);
}

}  // namespace srx
