// The music clock of the show: play position and spectrum once per frame, and the beat test.
#include "show/music_clock.h"

namespace {

void updateOffline(MusicClock* clock, float* musicTime, float spectrum[kSpectrumBins]) {
    const DecodedMusic* music = clock->music;
    const uint64_t rate = clock->frameRate > 0 ? clock->frameRate : 1u;
    if (music == nullptr || music->samples == nullptr || music->frameCount == 0) {
        *musicTime =
            static_cast<float>(static_cast<double>(clock->frameNumber) / static_cast<double>(rate));
        return;
    }
    // Integer frame arithmetic, so a frame number always maps to the same sample; the product
    // stays below 2^64 for any show shorter than thousands of years.
    const uint64_t sample = clock->frameNumber * static_cast<uint64_t>(music->sampleRate) / rate;
    const uint64_t looped = sample % music->frameCount;
    *musicTime = musicBytesToSecondsOf(music, musicFramesToBytes(music, looped));
    if (clock->stream != nullptr) {
        musicStreamSpectrum(clock->stream, static_cast<size_t>(looped), spectrum, clock->work);
        return;
    }
    computeSpectrum(music->samples, music->frameCount, music->channels, static_cast<size_t>(looped),
                    spectrum, clock->work);
}

}  // namespace

void updateMusicClock(MusicClock* clock, float* musicTime, float spectrum[kSpectrumBins]) {
    if (clock->mode == MusicClockMode::kOffline) {
        updateOffline(clock, musicTime, spectrum);
        return;
    }
    if (clock->player == nullptr) {
        return;
    }
    // Read the position once and use it for both answers, so time and spectrum agree.
    const uint64_t bytes = musicPositionBytes(clock->player);
    *musicTime = musicBytesToSeconds(clock->player, bytes);
    musicSpectrum(clock->player, bytes, spectrum);
}

bool beat(float value, double threshold) {
    // The float widens to double exactly and 30 × it is exact in double's 53 bits, so the
    // comparison is decided on the true product, never a rounded float one.
    return 30.0 * static_cast<double>(value) >= threshold;
}
