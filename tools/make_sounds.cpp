// Writes the program's three sounds (Send.wav, Wnd.wav, Msg.wav) into the folder given on the
// command line. They are synthesised here so that no binary files need to live in the sources.
//
// Format: 16-bit PCM, mono, 22050 Hz. Every sound fades in and out so it starts and ends
// without a click, and is scaled to a moderate peak level.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int SampleRate = 22050;
constexpr double TwoPi = 2.0 * std::numbers::pi;

using Buffer = std::vector<double>;

Buffer silence(double seconds)
{
    return Buffer(static_cast<size_t>(std::lround(seconds * SampleRate)), 0.0);
}

// A soft bell-like note: a sine with a little of its octave and twelfth, a quick attack and an
// exponential decay, added into `out` from `start` seconds on.
void addBell(Buffer& out, double start, double frequency, double decay, double gain)
{
    const size_t first = static_cast<size_t>(std::lround(start * SampleRate));
    const double attack = 0.004;
    for (size_t i = first; i < out.size(); ++i) {
        const double t = static_cast<double>(i - first) / SampleRate;
        const double env = std::min(1.0, t / attack) * std::exp(-t / decay);
        const double ph = TwoPi * frequency * t;
        const double tone = std::sin(ph) + 0.25 * std::sin(2.0 * ph) * std::exp(-t / (decay * 0.4))
            + 0.08 * std::sin(3.0 * ph) * std::exp(-t / (decay * 0.25));
        out[i] += gain * env * tone;
    }
}

// Deterministic noise so the files come out the same on every build.
class Noise {
public:
    double next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
    }

private:
    uint32_t state_ = 0x2545F491u;
};

// A soft rising whoosh: noise through a resonant low-pass whose corner sweeps upwards,
// swelling in and dying away over `length` seconds.
void addWhoosh(Buffer& out, double length, double gain)
{
    Noise noise;
    double low = 0.0;
    double band = 0.0;
    const size_t n = std::min(out.size(), static_cast<size_t>(length * SampleRate));
    for (size_t i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) / static_cast<double>(n); // 0..1
        const double corner = 400.0 + 2600.0 * x * x;
        const double f = 2.0 * std::sin(std::numbers::pi * corner / SampleRate);
        const double q = 0.35;
        // state-variable filter
        low += f * band;
        const double high = noise.next() - low - q * band;
        band += f * high;
        const double env = std::sin(std::numbers::pi * x) * std::sin(std::numbers::pi * x);
        out[i] += gain * env * band;
    }
}

// A short pop: a sine whose pitch falls quickly, with a fast decay.
void addPop(Buffer& out, double from, double to, double decay, double gain)
{
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double glide = std::exp(-t / 0.025);
        const double frequency = to + (from - to) * glide;
        phase += TwoPi * frequency / SampleRate;
        const double env = std::min(1.0, t / 0.002) * std::exp(-t / decay);
        out[i] += gain * env * std::sin(phase);
    }
}

// Scales to `level` of full scale at the peak and applies raised-cosine fades at both ends.
std::vector<int16_t> finish(const Buffer& in, double level, double fadeIn, double fadeOut)
{
    double peak = 0.0;
    for (double v : in)
        peak = std::max(peak, std::abs(v));
    const double scale = peak > 0.0 ? level / peak : 0.0;
    const size_t n = in.size();
    const size_t inLen = std::max<size_t>(1, static_cast<size_t>(fadeIn * SampleRate));
    const size_t outLen = std::max<size_t>(1, static_cast<size_t>(fadeOut * SampleRate));
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; ++i) {
        double g = 1.0;
        if (i < inLen)
            g *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / inLen);
        if (i + outLen >= n) {
            const double left = static_cast<double>(n - 1 - i) / outLen; // 1 -> 0
            g *= 0.5 - 0.5 * std::cos(std::numbers::pi * left);
        }
        const double v = std::clamp(in[i] * scale * g, -1.0, 1.0);
        pcm[i] = static_cast<int16_t>(std::lround(v * 32767.0));
    }
    return pcm;
}

void putLe(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool writeWav(const std::string& path, const std::vector<int16_t>& pcm)
{
    const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    std::string s;
    s += "RIFF";
    putLe(s, 36 + dataBytes, 4);
    s += "WAVE";
    s += "fmt ";
    putLe(s, 16, 4);
    putLe(s, 1, 2); // PCM
    putLe(s, 1, 2); // mono
    putLe(s, SampleRate, 4);
    putLe(s, SampleRate * 2, 4); // bytes per second
    putLe(s, 2, 2); // block align
    putLe(s, 16, 2); // bits per sample
    s += "data";
    putLe(s, dataBytes, 4);
    for (int16_t v : pcm)
        putLe(s, static_cast<uint16_t>(v), 2);

    // Written beside the target and renamed over it, so a reader never sees half a file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f.write(s.data(), static_cast<std::streamsize>(s.size())))
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

// Sending: a gentle upward whoosh under two rising chime notes.
std::vector<int16_t> sendSound()
{
    Buffer b = silence(0.30);
    addWhoosh(b, 0.22, 0.9);
    addBell(b, 0.015, 783.99, 0.07, 0.55); // G5
    addBell(b, 0.105, 1046.50, 0.08, 0.6); // C6
    return finish(b, 0.45, 0.006, 0.05);
}

// A window appearing: a soft, low pop.
std::vector<int16_t> windowSound()
{
    Buffer b = silence(0.15);
    addPop(b, 950.0, 380.0, 0.03, 1.0);
    return finish(b, 0.35, 0.002, 0.04); // heard often: the quietest
}

// A message arriving: three notes of a major chord, rising and ringing together.
std::vector<int16_t> messageSound()
{
    Buffer b = silence(0.60);
    addBell(b, 0.00, 659.25, 0.20, 0.5); // E5
    addBell(b, 0.11, 830.61, 0.20, 0.45); // G#5
    addBell(b, 0.22, 987.77, 0.22, 0.45); // B5
    return finish(b, 0.5, 0.004, 0.12); // about -6 dBFS at the peak
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const struct {
        const char* name;
        std::vector<int16_t> pcm;
    } sounds[] = {
        {"Send.wav", sendSound()},
        {"Wnd.wav", windowSound()},
        {"Msg.wav", messageSound()},
    };
    for (const auto& s : sounds) {
        if (!writeWav(dir + s.name, s.pcm)) {
            std::fprintf(stderr, "cannot write %s%s\n", dir.c_str(), s.name);
            return 1;
        }
    }
    return 0;
}
