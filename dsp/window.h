#pragma once
// Analysis windows for impulse responses and the read-out of one frequency
// from a spectrum. Buffers are the interleaved complex float pairs of Fft.

namespace srx {

// Stored in the measurement settings and copied into every computed curve,
// so the values are fixed. Any other value means "no window".
enum WindowType : int {
    kWindowRectangular = 0,
    kWindowBartlett = 1,
    kWindowHanning = 2,
    kWindowHamming = 3,
    kWindowBlackman = 4,
    kWindowBlackmanHarris = 5,
};

// The display text of a window type ("Rektangular", ...), or "" for none.
const char* WindowTypeName(int type);

// Weights the real parts of the first samples of the buffer (imaginary parts
// are never touched). n is the number of samples in the window (0 or >= 2^log2n
// means the whole buffer; otherwise rounded up to even). With `half` set the
// samples meet the falling half of a window twice as long, and everything is
// scaled so that the largest sample keeps its value.
void ApplyWindow(float* data, int log2n, int n, int type, int half);

// Reads frequency f from a forward-transformed spectrum of n points.
// Returns 1, or 0 (all outputs 0) when f is below half a bin or above half
// the sample rate.
int SpectrumValueAt(const float* spectrum, int n, int sampleRate, double f, double* outFrequency, double* outPower,
                    double* outPhase, int interpolate);

}  // namespace srx
