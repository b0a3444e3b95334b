#pragma once
// The simulation of a box design: the effective unit in its box driven by
// the generator, solved per frequency for the cone and port velocities, and
// the curves the analysis windows and "Convert to measurement" show. The
// results follow the slot in memory only; no file holds them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "design/box_design.h"
#include "design/speaker_unit.h"
#include "resources/status.h"

namespace srx {

// The drive and range of every simulation (global, persisted by the shell).
struct AnalyzerSettings {
    double start = 10;              // Hz
    double stop = 1000;             // Hz
    double visibleImpulse = 0.1;    // s
    double eg = 2.83;               // generator voltage, V (<= 0: sqrt 8)
    double rg = 0;                  // generator impedance, ohm
    double temperature = 20;        // ambient, degrees C
    bool oneWayRms = false;         // "Show excursion in one way RMS"
    bool radiation = true;          // false: no radiation resistance (closed-form checks)
};

// The curves of a result, in the order the slot keeps them.
enum DesignCurve : int {
    kCurveTotal = 0,        // dB (re 1e-12 W, SPL at 1 m)
    kCurveCone,             // dB
    kCurvePort,             // dB
    kCurveAcousticPhase,    // radians, wrapped
    kCurveZMagnitude,       // ohm
    kCurveElectricalPhase,  // radians
    kCurveExcursion,        // m, peak-to-peak
    kCurveConeVelocity,     // m/s
    kCurvePortVelocity,     // m/s (0 for a closed box)
    kCurveGroupDelay,       // s
    kCurveXmaxLimited,      // dB
    kCurveUnwrappedPhase,   // radians
    kDesignCurveCount
};

constexpr int kMaxDesignPoints = 1024;
constexpr int kDesignImpulseLength = 4096;

struct DesignResults {
    std::vector<double> frequency;  // at most kMaxDesignPoints, rising
    std::array<std::vector<double>, kDesignCurveCount> curves;  // each frequency.size()
    std::vector<double> impulse;    // kDesignImpulseLength samples at sampleRate, peak 0.99
    std::vector<double> step;       // kDesignImpulseLength samples
    double sampleRate = 0;          // 4 x stop
    double visibleImpulse = 0;      // s, limited to kDesignImpulseLength / sampleRate
    bool empty() const { return frequency.empty(); }
};

// Simulates `box` around `unit` (the unit of the slot, before the effective
// unit is formed). Fails with a message id and leaves `out` empty for a unit
// without its required parameters, an invalid box, an odd isobaric count or
// a box type that is not simulated.
Status SimulateDesign(const SpeakerUnit& unit, const BoxDesign& box, const AnalyzerSettings& settings,
                      DesignResults& out);

// The simulation with a point count of its own (2..kMaxDesignPoints; a
// narrow range gets fewer, so that the grid still rises in float).
Status SimulateDesign(const SpeakerUnit& unit, const BoxDesign& box, const AnalyzerSettings& settings, int points,
                      DesignResults& out);

// Air at `celsius` as the simulation radiates into it: density (kg/m^3)
// and speed of sound (m/s).
double AirDensity(double celsius);
double SoundSpeed(double celsius);

// The cavity-rise corner and Q of the Global page's sizes: 1 "Small Car",
// 2 "Medium Car", 3 "Van". Other sizes (0 none, 4 free) leave f3 and q alone
// and answer false.
bool CavityPreset(int size, double& f3, double& q);

// The box kind's name that stands for an empty design title.
const char* DefaultDesignTitle(int boxType);

// The process-wide results of the four design slots.
DesignResults& SlotResults(int slot);

}  // namespace srx
