// The virtual loudspeaker: a full-duplex sound device without hardware. The
// output buffers drive a simulated measuring set-up and the input buffers
// record what it answers, so that every measurement runs end to end without
// a sound card and can be compared with the truth the simulation exposes.
//
// Time is counted in sample frames of one clock shared by both directions.
// An output buffer plays from the moment it reaches the head of the output
// queue; frames with no output buffer play silence. Input frame t holds the
// set-up's answer to the drive at frame t - latency, so a duplex run that
// queues its output before the first input frame passes (as the wave engine
// does) finds the stimulus in the recording exactly `latency` frames late.
//
// Set-ups:
// - acoustic: the microphone (input channel 0) hears output channel 0
//   through gain, distortion polynomial, loudspeaker (high-pass and low-pass
//   of the driver plus a peaking resonance), one room reflection and
//   Gaussian noise; input channel 1 is an electrical loop-back of output
//   channel 1 (of channel 0 for a mono output), delayed by the latency only,
//   as a reference channel is wired.
// - impedance jig: output channel 0 feeds the driver through the box's feed
//   resistor; input channel 0 carries the voltage across the driver and
//   channel 1 the current times the box constant R (negated for box version
//   2, whose phase offset is -pi), so that channel 0 / channel 1 = Z / R as
//   the impedance analysis expects. The circuit is integrated with the
//   trapezoidal rule, i.e. the jig's impedance at f is the analogue one at
//   the bilinear-warped frequency (rate / pi) tan(pi f / rate):
//   JigImpedance gives it exactly. The load can be the driver or a plain
//   R, R+L or R+C (the references an impedance meter is checked against);
//   the current channel can have a gain error and a low-pass corner
//   (JigReading gives what the channels then say), and both inputs get the
//   acoustic set-up's noise (independent per channel) and DC offset.
//
// Pacing: kManual delivers nothing by itself; Pump() advances the clock
// from one buffer completion to the next and delivers the notices in order,
// as fast as the caller takes them (tests). kRealTime runs a thread that
// advances the clock with the wall clock; its notices are delivered by
// Pump()/WaitAndPump() on the caller's thread (a wake hook tells a window
// to do that). The wake hook also follows notices that the owner's own
// calls queued (a reset hands its buffers back), within 20 ms.
#pragma once

#include <complex>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/wave_device.h"

namespace srx {

inline constexpr const char* kVirtualDeviceName = "Son-Rix Virtual Loudspeaker";

// The rates the virtual device opens with; bits 8, 16, 24, 32; 1 or 2 channels.
inline constexpr uint32_t kVirtualRates[] = {5513,  8000,  11025, 12000, 16000, 22050,  24000,
                                             32000, 44100, 48000, 88200, 96000, 176400, 192000};

enum class VirtualMode { kAcoustic, kImpedanceJig };

struct VirtualAcoustic {
    double gain = 0.5;        // linear sensitivity of the whole path
    bool speaker = true;      // false: no loudspeaker filter at all
    double lowCutoff = 50.0;  // driver's high-pass (its resonance), Hz
    double lowQ = 0.8;
    double highCutoff = 15000.0;  // driver's low-pass, Hz
    double highQ = 0.6;
    double peakFrequency = 2000.0;  // cone resonance, Hz
    double peakGainDb = 6.0;
    double peakQ = 4.0;
    // Distortion polynomial applied to the drive before the loudspeaker:
    // x + distortion[0] x^2 + distortion[1] x^3 + ...; empty = linear.
    std::vector<double> distortion;
    double reflectionGain = 0.0;   // 0 = anechoic
    uint32_t reflectionDelay = 0;  // frames after the direct sound
    double noiseDb = -200.0;       // RMS of the added noise, dB full scale; <= -200 = none
    uint32_t noiseSeed = 12345;
    double dc = 0.0;  // offset of the input, full scale 1 (a card's converter offset)
};

struct VirtualDriver {
    double re = 6.0;     // voice-coil resistance, ohm
    double le = 0.0005;  // voice-coil inductance, H (0 allowed)
    double fs = 40.0;    // free-air resonance, Hz
    double qms = 3.0;
    double qes = 0.5;
    bool vented = false;
    double alpha = 1.0;  // Vas / Vb of the vented box
    double fb = 35.0;    // box tuning, Hz
    double ql = 0.0;     // leakage Q of the vented box (Rel = wb Lceb / QL in its branch); <= 0 = lossless
    // What the two-curve T/S methods load the cone with. Both need Sd and
    // Vas (the moving mass follows from them); without those they do nothing.
    double sd = 0.0;    // cone area, m^2
    double vas = 0.0;   // equivalent volume, m^3
    double mass = 0.0;  // mass added to the cone, kg
    // Closed test box, m^3: its compliance in parallel with the suspension's,
    // and 0.85 x 0.575 Sd^1.5 kg more air on the cone. <= 0 = free air.
    double box = 0.0;
};

enum class VirtualLoad { kDriver, kResistor, kResistorInductor, kResistorCapacitor };

// What the impedance jig measures and how faithfully its current channel
// reads; the defaults are the driver model with an ideal current channel.
struct VirtualJigSetup {
    VirtualLoad load = VirtualLoad::kDriver;  // kDriver: the model in VirtualSetup::driver
    double loadR = 8.0;                       // ohm, every load but the driver
    double loadL = 0.001;                     // H, in series with R for kResistorInductor; <= 0 = none
    double loadC = 100e-6;                    // F, in series with R for kResistorCapacitor; <= 0 = none (short)
    double currentGain = 1.0;                 // input channel 1 reads this times the current
    double currentCorner = 0.0;               // first-order low-pass of input channel 1, Hz; <= 0 = none
};

struct VirtualSetup {
    VirtualMode mode = VirtualMode::kAcoustic;
    uint32_t latency = 256;    // frames from output to input
    VirtualAcoustic acoustic;  // its noiseDb, noiseSeed and dc also apply to both jig inputs
    VirtualDriver driver;
    VirtualJigSetup jig;
    int boxVersion = 1;  // 0..3 as in the impedance settings
};

// A set-up that only delays: the recording is the stimulus, `latency` late.
VirtualSetup PureLatencySetup(uint32_t latency);

// The impedance box constant R and phase offset of a box version (false for
// an unknown version), and the feed resistor the jig uses for it.
bool ImpedanceBoxConstants(int boxVersion, double& r, double& phaseOffset, double& feedResistor);

// What the simulation really does, at one sample rate.
class VirtualTruth {
public:
    VirtualTruth(const VirtualSetup& setup, uint32_t rate);

    uint32_t Latency() const { return setup_.latency; }
    uint32_t Rate() const { return rate_; }
    // Linear transfer from output channel 0 to the microphone, latency left out.
    std::complex<double> Response(double f) const;
    // Its first `n` samples (sample 0 is the arrival of the direct sound).
    std::vector<double> ImpulseResponse(std::size_t n) const;
    double Distort(double x) const;
    double NoiseRms() const;
    // The driver model's analogue impedance, whatever the jig's load.
    std::complex<double> DriverImpedance(double f) const;
    // The jig's load's analogue impedance (the driver's by default).
    std::complex<double> LoadImpedance(double f) const;
    // The load's impedance as the jig simulates it: at the warped frequency.
    // A truth made with rate 0 has no warping (the analogue impedance); the
    // sampled responses above need a rate.
    std::complex<double> JigImpedance(double f) const;
    // What the jig's channels say (channel 0 / channel 1 x R, with the box's
    // phase offset): JigImpedance x (1 + j fw / currentCorner) / currentGain,
    // fw the warped frequency; JigImpedance for an ideal current channel.
    std::complex<double> JigReading(double f) const;

private:
    VirtualSetup setup_;
    uint32_t rate_;
};

// Streaming simulation of one set-up: drive frame in, input frame out.
class VirtualPath {
public:
    VirtualPath(const VirtualSetup& setup, uint32_t rate);
    ~VirtualPath();
    VirtualPath(const VirtualPath&) = delete;
    VirtualPath& operator=(const VirtualPath&) = delete;
    // `drive` is output channels 0 and 1 at full scale +-1; writes input channels 0 and 1.
    void Process(const double drive[2], double out[2]);

private:
    struct State;
    std::unique_ptr<State> s_;
};

enum class VirtualPacing { kManual, kRealTime };

class VirtualLoudspeaker : public WaveDeviceBackend {
public:
    explicit VirtualLoudspeaker(const VirtualSetup& setup = {});
    ~VirtualLoudspeaker() override;

    // Takes effect at the next opening of a direction when nothing is open.
    void SetSetup(const VirtualSetup& setup);
    VirtualSetup Setup() const;
    VirtualTruth Truth(uint32_t rate) const { return VirtualTruth(Setup(), rate); }

    void SetPacing(VirtualPacing pacing);
    // Delivers queued notices (kManual: advancing the clock whenever none is
    // queued) until nothing is left to do or `maxNotices` were delivered.
    // Answers the count delivered.
    std::size_t Pump(std::size_t maxNotices = SIZE_MAX);
    // Waits up to `milliseconds` for a notice, then pumps what is queued.
    std::size_t WaitAndPump(int milliseconds);
    // Called (on the pacing thread) when a notice has been queued.
    void SetWakeHook(void (*hook)(void* context), void* context);
    // Receives what the engine posts to its owner window.
    using OwnerHandler = void (*)(void* owner, unsigned message, uintptr_t first, intptr_t second);
    void SetOwnerHandler(OwnerHandler handler);
    // Frames simulated since construction.
    uint64_t Clock() const;

    int DeviceCount(WaveDirection direction) const override;
    std::string DeviceName(WaveDirection direction, int id) const override;
    bool SupportsFormat(WaveDirection direction, int id, const WaveFormat& format) const override;
    int Open(WaveDirection direction, int id, const WaveFormat& format, const WaveNoticeTarget& target,
             std::unique_ptr<WaveDeviceHandle>& out) override;
    int CreateNoticeWindow(void* owner, void* instance) override;
    void DestroyNoticeWindow() override;
    void SetWindowClosedHandler(void (*handler)()) override;
    void PostToOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) override;

private:
    class Handle;
    friend class Handle;
    struct Stream {
        bool open = false;
        bool started = false;  // input only
        uint64_t serial = 0;   // tells the handles of successive openings apart
        WaveFormat format{};
        WaveNoticeTarget target;
        std::deque<WaveHeader*> queue;
        uint32_t headOffset = 0;  // bytes of the head buffer played or filled
    };
    struct Notice {
        WaveNoticeTarget target;
        WaveNotice notice = WaveNotice::kDone;
        WaveHeader* header = nullptr;
        int direction = 0;
        uint64_t serial = 0;
        bool owner = false;  // a message posted to the owner window
        void* ownerWindow = nullptr;
        unsigned message = 0;
        uintptr_t first = 0;
        intptr_t second = 0;
    };

    Stream& StreamOf(WaveDirection d) { return d == WaveDirection::kOutput ? out_ : in_; }
    // Under the lock.
    void QueueNotice(Notice n, std::vector<Notice>& direct);
    void CompleteHead(Stream& s, int direction, std::vector<Notice>& direct);
    uint64_t FramesToNextEvent() const;
    void Advance(uint64_t frames, std::vector<Notice>& direct);
    void Deliver(const Notice& n);
    void DeliverDirect(std::vector<Notice>& direct);
    void PacingLoop();
    void StopPacing();

    mutable std::mutex mutex_;
    std::condition_variable queued_;
    VirtualSetup setup_;
    std::unique_ptr<VirtualPath> path_;
    uint32_t rate_ = 0;
    uint64_t clock_ = 0;
    Stream out_, in_;
    uint64_t nextSerial_ = 1;
    std::deque<Notice> notices_;
    VirtualPacing pacing_ = VirtualPacing::kManual;
    std::thread pacer_;
    bool stopPacer_ = false;
    bool unwoken_ = false;  // notices queued since the last wake
    void (*wake_)(void*) = nullptr;
    void* wakeContext_ = nullptr;
    OwnerHandler ownerHandler_ = nullptr;
};

// The real devices followed by the virtual loudspeaker. The virtual device's
// id is max(real wave-out count, real wave-in count), the same in both
// directions, so it is the last entry of both device lists and keeps its id
// while the set of sound cards does not change. The wave mapper goes to the
// real back-end. Without a real back-end the virtual device is id 0.
class WaveDeviceRouter : public WaveDeviceBackend {
public:
    WaveDeviceRouter(WaveDeviceBackend* real, VirtualLoudspeaker* virtualDevice)
        : real_(real), virtual_(virtualDevice) {}
    int VirtualId() const;

    int DeviceCount(WaveDirection direction) const override;
    std::string DeviceName(WaveDirection direction, int id) const override;
    bool SupportsFormat(WaveDirection direction, int id, const WaveFormat& format) const override;
    int Open(WaveDirection direction, int id, const WaveFormat& format, const WaveNoticeTarget& target,
             std::unique_ptr<WaveDeviceHandle>& out) override;
    int CreateNoticeWindow(void* owner, void* instance) override;
    void DestroyNoticeWindow() override;
    void SetWindowClosedHandler(void (*handler)()) override;
    void PostToOwner(void* owner, unsigned message, uintptr_t first, intptr_t second) override;

private:
    WaveDeviceBackend* real_;
    VirtualLoudspeaker* virtual_;
};

#ifdef _WIN32
// Lets the winmm back-end's hidden window ("KVWaveClass") deliver the
// notices of a virtual loudspeaker paced in real time: the device's wake
// hook posts to the window and the window's thread (the engine's) pumps the
// device, so that its buffers come back where a sound card's would. Null
// detaches. `winmm` must come from MakeWinmmBackend.
void AttachVirtualLoudspeaker(WaveDeviceBackend& winmm, VirtualLoudspeaker* device);

// The program's devices: the sound cards followed by the virtual loudspeaker
// (paced in real time, attached as above), made on the first call and
// installed as the engine's back-end by every call. They live as long as
// the process.
WaveDeviceRouter& ProgramWaveDevices();
VirtualLoudspeaker& ProgramVirtualLoudspeaker();
#endif

// Sample conversion shared by the device and its tests: one sample of
// `bits` (8 unsigned, 16/24/32 signed little-endian) at full scale +-1.
double DecodeSample(const unsigned char* p, int bits);
// Rounds, clips to the width and stores.
void EncodeSample(double value, unsigned char* p, int bits);

}  // namespace srx
