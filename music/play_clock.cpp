// The heard-position arithmetic of the play clock.
#include <algorithm>

#include "music/music.h"

void initPlayClock(PlayClock* clock, double sampleRate, uint32_t deviceBufferFrames,
                   uint32_t callbackFrames, double offsetMs) {
    clock->sampleRate = sampleRate;
    // A callback fills the buffer after the one the device is playing, so what is heard at the
    // moment of the callback lies the device buffer plus this callback's buffer behind the queue.
    clock->latencyFrames = static_cast<double>(deviceBufferFrames) + callbackFrames;
    clock->periodFrames = callbackFrames;
    clock->offsetFrames = offsetMs * sampleRate / 1000.0;
    clock->lastHeard = 0.0;
}

double playClockHeard(PlayClock* clock, const PlayStamp& stamp, double now) {
    if (!stamp.valid) {
        return clock->lastHeard;
    }
    // Count forward on the monotonic clock since the stamp, but no further than one callback
    // period: a late callback holds the clock still rather than letting it run past the audio.
    const double elapsed =
        std::clamp((now - stamp.time) * clock->sampleRate, 0.0, clock->periodFrames);
    const double heard = static_cast<double>(stamp.framesQueued) - clock->latencyFrames + elapsed -
                         clock->offsetFrames;
    // Callback jitter can put a fresh stamp slightly behind the last extrapolation; holding the
    // previous answer keeps the clock from stepping back (and from going below 0 at the start).
    clock->lastHeard = std::max(heard, clock->lastHeard);
    return clock->lastHeard;
}

uint64_t musicHeardBytes(const DecodedMusic* music, double heardFrames) {
    if (music->frameCount == 0 || !(heardFrames > 0.0)) {
        return 0;
    }
    // Truncation picks the frame under way; the modulo is the loop flag at work.
    const uint64_t frame = static_cast<uint64_t>(heardFrames) % music->frameCount;
    return musicFramesToBytes(music, frame);
}
