// make_music: writes the show's tune as Ogg Vorbis, and measures a tune the way the show hears it.
//
//   make_music <output.ogg>              render and encode the tune (same bytes every run)
//   make_music --measure <tune.ogg>      levels, balance and the beat-test rates per scene
//   make_music --strip <tune.ogg> <out.ppm>  beat-test passes per frame as a picture
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/make_music/music_measure.h"
#include "tools/make_music/ogg_writer.h"
#include "tools/make_music/synth.h"

namespace {

constexpr float kQuality = 0.45f;  // Vorbis VBR quality: about 140 kbit/s, under 2 MB for the tune
constexpr int kMeasurePhases = 6;  // frame phases measured per 60th of a second

int usage() {
    std::fprintf(stderr,
                 "usage: make_music <output.ogg>\n"
                 "       make_music --measure <tune.ogg>\n"
                 "       make_music --strip <tune.ogg> <out.ppm>\n");
    return 2;
}

double toDb(double v) {
    return v > 0.0 ? 20.0 * std::log10(v) : -999.0;
}

// Peak and RMS of the mono mix per scene, then the spectral balance of the whole tune.
void printLevels(const DecodedTune& tune) {
    std::printf("levels (mono mix of the decoded file)\n");
    double previous = 0.0;
    for (int s = 0; s <= kSceneCount; ++s) {
        const double from = s < kSceneCount ? previous : 0.0;
        const double to =
            s < kSceneCount - 1 ? kSceneEnds[s] : static_cast<double>(tune.frames) / tune.rate;
        double peak = 0.0;
        double channelPeak = 0.0;
        double sum = 0.0;
        size_t count = 0;
        for (auto i = static_cast<size_t>(from * tune.rate);
             i < static_cast<size_t>(to * tune.rate) && i < tune.frames; ++i) {
            const double l = tune.samples[2 * i] / 32768.0;
            const double r = tune.samples[2 * i + 1] / 32768.0;
            const double m = 0.5 * (l + r);
            peak = std::max(peak, std::fabs(m));
            channelPeak = std::max({channelPeak, std::fabs(l), std::fabs(r)});
            sum += m * m;
            ++count;
        }
        const double rms = count > 0 ? std::sqrt(sum / count) : 0.0;
        if (s < kSceneCount) {
            std::printf(
                "  scene %d %6.2f-%6.2f s: peak L/R %5.1f dBFS, mono peak %5.1f, RMS %5.1f dBFS\n",
                s + 1, from, to, toDb(channelPeak), toDb(peak), toDb(rms));
        } else {
            std::printf(
                "  whole tune:            peak L/R %5.1f dBFS, mono peak %5.1f, RMS %5.1f dBFS\n",
                toDb(channelPeak), toDb(peak), toDb(rms));
        }
        previous = to;
    }
    size_t clipped = 0;
    for (int16_t v : tune.samples) {
        if (v == 32767 || v == -32768) ++clipped;
    }
    std::printf("  samples at full scale: %zu\n", clipped);

    // Mean power per band, from the same spectrum the show computes, every 100 ms.
    constexpr double kBands[] = {0, 60, 150, 400, 1000, 2500, 6000, 22050};
    constexpr int kBandCount = 7;
    double power[kBandCount] = {};
    SpectrumWork work;
    if (!createSpectrumWork(&work)) return;
    float bins[kSpectrumBins];
    int blocks = 0;
    for (size_t start = 0; start + kSpectrumSize <= tune.frames; start += tune.rate / 10) {
        computeSpectrum(tune.samples.data(), tune.frames, tune.channels, start, bins, &work);
        for (int k = 0; k < kSpectrumBins; ++k) {
            const double hz = k * static_cast<double>(tune.rate) / kSpectrumSize;
            for (int b = 0; b < kBandCount; ++b) {
                if (hz >= kBands[b] && hz < kBands[b + 1]) power[b] += double{bins[k]} * bins[k];
            }
        }
        ++blocks;
    }
    releaseSpectrumWork(&work);
    std::printf("spectral balance (mean power per band, dB)\n ");
    for (int b = 0; b < kBandCount; ++b) {
        std::printf(" %g-%g Hz: %.1f |", kBands[b], kBands[b + 1],
                    10.0 * std::log10(power[b] / std::max(blocks, 1) + 1e-30));
    }
    std::printf("\n");
}

int measure(const char* path) {
    DecodedTune tune;
    if (!decodeTune(path, &tune)) {
        std::fprintf(stderr, "make_music: %s: cannot measure a file that does not decode\n", path);
        return 1;
    }
    std::printf("%s: %d Hz, %d channels, %.3f s\n", path, tune.rate, tune.channels,
                static_cast<double>(tune.frames) / tune.rate);
    printLevels(tune);
    const std::vector<FrameBins> frames = spectrumPerFrame(tune);
    const std::vector<bool> silent = silentFrames(tune, frames);
    // The show's frames fall anywhere between two 60ths: measure at several phases as well.
    std::vector<std::vector<FrameBins>> shifted;
    for (int phase = 1; phase < kMeasurePhases; ++phase) {
        shifted.push_back(spectrumPerFrame(tune, phase / (kMeasurePhases * double{kMeasureFps})));
    }
    std::printf(
        "beat tests at %d frames/s (rate = share of the scene's frames; range = over %d frame "
        "phases; on-beat = share of passes within %.0f ms after a beat)\n",
        kMeasureFps, kMeasurePhases, kOnBeatSpan * 1000.0);
    std::printf(
        "  scene  test          rate    range          allowed   on-beat  silent  drives\n");
    bool ok = true;
    for (const BeatTest& test : kBeatTests) {
        const BeatRate rate = measureBeatTest(frames, test, &silent);
        double lowest = rate.rate();
        double highest = rate.rate();
        for (const std::vector<FrameBins>& other : shifted) {
            const double r = measureBeatTest(other, test).rate();
            lowest = std::min(lowest, r);
            highest = std::max(highest, r);
        }
        const bool good = lowest >= kMinRate && highest <= test.maxRate && rate.silentPasses == 0;
        ok = ok && good;
        char name[32];
        std::snprintf(name, sizeof name, "30*s%d >= %g", test.bin, test.threshold);
        std::printf(
            "  %d      %-12s %5.1f %%  %4.1f-%4.1f %%   %2.0f-%2.0f %%   %5.1f %%  %4d    %s%s\n",
            test.scene, name, 100.0 * rate.rate(), 100.0 * lowest, 100.0 * highest,
            100.0 * kMinRate, 100.0 * test.maxRate, 100.0 * rate.onBeatShare(), rate.silentPasses,
            test.use, good ? "" : "   <-- out of range");
    }
    // The show ends at the first frame after 100 s whose bin 0 is not exactly zero.
    int zeroAfterEnd = 0;
    int framesAfterEnd = 0;
    double s0Max[kSceneCount] = {};
    double s1Max[kSceneCount] = {};
    for (const FrameBins& frame : frames) {
        const int scene = sceneAt(frame.time) - 1;
        s0Max[scene] = std::max(s0Max[scene], double{frame.bins[0]});
        s1Max[scene] = std::max(s1Max[scene], double{frame.bins[1]});
        if (frame.time > kSceneEnds[kSceneCount - 1]) {
            ++framesAfterEnd;
            if (frame.bins[0] == 0.0f) ++zeroAfterEnd;
        }
    }
    std::printf("  after 100 s: %d frames, %d with bin 0 exactly zero\n", framesAfterEnd,
                zeroAfterEnd);
    std::printf("  largest s0 / s1 per scene:");
    for (int s = 0; s < kSceneCount; ++s)
        std::printf("  %d: %.3f/%.3f", s + 1, s0Max[s], s1Max[s]);
    std::printf("\n");
    ok = ok && zeroAfterEnd == 0 && framesAfterEnd > 0;
    std::printf("%s\n", ok ? "all beat tests in range" : "SOME BEAT TESTS OUT OF RANGE");
    return ok ? 0 : 1;
}

// One band per scene, one column per frame; per test a row of lit cells where it passes, with a
// grey tick row marking the beats and a trace of bin 0 at the bottom.
int strip(const char* path, const char* out) {
    DecodedTune tune;
    if (!decodeTune(path, &tune)) {
        std::fprintf(stderr, "make_music: %s: cannot measure a file that does not decode\n", path);
        return 1;
    }
    const std::vector<FrameBins> frames = spectrumPerFrame(tune);
    constexpr int kWidth = 1260;  // 21 s of frames per band
    constexpr int kRowHeight = 6;
    constexpr int kTraceHeight = 40;
    std::vector<int> rowsPerScene(kSceneCount + 1, 1);
    for (const BeatTest& test : kBeatTests)
        ++rowsPerScene[test.scene];
    int height = 0;
    for (int s = 1; s <= kSceneCount; ++s)
        height += rowsPerScene[s] * kRowHeight + kTraceHeight + 6;
    std::vector<unsigned char> image(static_cast<size_t>(kWidth) * height * 3, 20);
    auto put = [&](int x, int y, unsigned char r, unsigned char g, unsigned char b) {
        if (x < 0 || x >= kWidth || y < 0 || y >= height) return;
        unsigned char* p = &image[(static_cast<size_t>(y) * kWidth + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    };
    int top = 0;
    double sceneStart = 0.0;
    for (int s = 1; s <= kSceneCount; ++s) {
        for (const FrameBins& frame : frames) {
            if (sceneAt(frame.time) != s) continue;
            const int x = static_cast<int>(std::lround((frame.time - sceneStart) * kMeasureFps));
            if (onTheBeat(frame.time)) {
                for (int y = 0; y < kRowHeight - 1; ++y)
                    put(x, top + y, 90, 90, 90);
            }
            int row = 1;
            for (const BeatTest& test : kBeatTests) {
                if (test.scene != s) continue;
                if (beatPasses(frame.bins[test.bin], test.threshold)) {
                    const bool invert = test.maxRate < 0.5;
                    for (int y = 0; y < kRowHeight - 1; ++y) {
                        put(x, top + row * kRowHeight + y, invert ? 255 : 80, invert ? 90 : 220,
                            80);
                    }
                }
                ++row;
            }
            const int base = top + rowsPerScene[s] * kRowHeight + kTraceHeight;
            const int level = std::min(kTraceHeight, static_cast<int>(frame.bins[0] * 100.0));
            for (int y = 0; y < level; ++y)
                put(x, base - y, 90, 140, 255);
            put(x, base - 10, 200, 200, 200);  // the 0.1 line (threshold 3)
        }
        top += rowsPerScene[s] * kRowHeight + kTraceHeight + 6;
        sceneStart = kSceneEnds[s - 1];
    }
    std::FILE* file = std::fopen(out, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_music: %s: cannot open for writing\n", out);
        return 1;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", kWidth, height);
    const bool ok = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "make_music: %s: write failed\n", out);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0) return measure(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--strip") == 0) return strip(argv[2], argv[3]);
    if (argc != 2 || argv[1][0] == '-') return usage();
    const StereoTrack track = renderTune();
    std::string error;
    if (!encodeOggVorbis(track, argv[1], kQuality, &error)) {
        std::fprintf(stderr, "make_music: %s\n", error.c_str());
        return 1;
    }
    double peak = 0.0;
    for (size_t i = 0; i < track.left.size(); ++i) {
        peak =
            std::max({peak, std::fabs(double{track.left[i]}), std::fabs(double{track.right[i]})});
    }
    std::printf("%s: %.2f s of stereo at %d Hz, synthesised peak %.1f dBFS\n", argv[1],
                static_cast<double>(track.left.size()) / kTuneRate, kTuneRate, toDb(peak));
    return 0;
}
