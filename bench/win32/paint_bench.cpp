// Repaint time of the graph view: a 16-curve multigraph of 2,000 points
// per curve, amplitude and phase, painted into a 1600 x 1000 memory bitmap.
// Prints the milliseconds per repaint (mean and best of the runs).
//   srx_bench_paint.exe [repaints]      (default 50)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/settings.h"
#include "data/view_flags.h"
#include "graph/win32/graph_view.h"

using namespace srx;

namespace {

std::unique_ptr<Measurement> Curve(int index, int points) {
    auto m = NewMeasurement(kCurveFrequencyResponse);
    const double ratio = std::pow(1000.0, 1.0 / (points - 1));  // 20 Hz .. 20 kHz
    double f = 20;
    for (int i = 0; i < points; ++i, f *= ratio) {
        // Ripple and roll-offs, different per curve, so that the polylines
        // change direction all the time as real responses do.
        const double level = 85 + 3 * index / 4.0 + 4 * std::sin(i * 0.05 + index) -
                             12 * std::log10(1 + std::pow(40 / f, 4)) - 6 * std::log10(1 + std::pow(f / 12000, 4));
        const double phase = std::remainder(-f / 3000 * 6.283185307 + index, 6.283185307);
        AddCurvePoint(*m, f, level, phase, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel, kNoLevel);
    }
    m->h.flags |= kMesPhase;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    const int repaints = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    LoadDefaults(Settings(), DesktopArea{1600, 1000, 0, 0, 1600, 1000});

    std::vector<std::unique_ptr<Measurement>> curves;
    MeasurementGraphInput in;
    for (int i = 0; i < 16; ++i) {
        curves.push_back(Curve(i, 2000));
        in.records.push_back(curves.back().get());
        char name[32];
        std::snprintf(name, sizeof name, "curve%02d.mes", i + 1);
        in.names.push_back(name);
    }
    GraphPaint paint;
    paint.flags = kGraphAmplitude | kGraphPhase | kPaintMultigraph;

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 1600;
    bi.bmiHeader.biHeight = -1000;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !bitmap) {
        std::fprintf(stderr, "paint bench: no bitmap\n");
        return 1;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT area{0, 0, 1600, 1000};
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

    // A repaint as a window gets it: background, then the painter.
    auto repaint = [&]() {
        FillRect(dc, &area, white);
        const bool ok = PaintMeasurementGraph(dc, area, in, paint);
        GdiFlush();
        return ok;
    };
    if (!repaint()) {
        std::fprintf(stderr, "paint bench: the graph did not paint\n");
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < repaints; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        repaint();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    double sum = 0;
    for (double v : ms) sum += v;
    std::sort(ms.begin(), ms.end());
    std::printf(
        "multigraph 16 curves x 2000 points, amplitude + phase, 1600x1000: %.2f ms per repaint "
        "(mean of %d; best %.2f ms, median %.2f ms)\n",
        sum / ms.size(), repaints, ms.front(), ms[ms.size() / 2]);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return 0;
}
