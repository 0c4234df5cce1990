// Fuzzes the music file: the Ogg page check on any bytes, then the streamed decoder on whatever
// passes it, read the way the show reads it. An input that fails only on page checksums is also
// tried with them made right, so that changes inside the pages reach the decoder.
#include <ogg/ogg.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "music/music.h"

namespace {

// Decoding stops here (2 s at 44.1 kHz), so a long piece does not make one input take a second:
// what lies further holds the same kinds of packets.
constexpr size_t kMaxDecodedFrames = 44100 * 2;

// Sets the checksum of every whole page found in order from the start; whether any changed.
bool fixPageChecksums(std::vector<unsigned char>& bytes) {
    bool changed = false;
    size_t at = 0;
    while (at + 27 <= bytes.size() &&
           std::equal(bytes.begin() + static_cast<long>(at),
                      bytes.begin() + static_cast<long>(at) + 4, "OggS")) {
        const size_t header = 27 + size_t{bytes[at + 26]};
        if (at + header > bytes.size()) break;
        size_t body = 0;
        for (size_t s = 27; s < header; ++s)
            body += bytes[at + s];
        if (at + header + body > bytes.size()) break;
        const std::vector<unsigned char> before(bytes.begin() + static_cast<long>(at) + 22,
                                                bytes.begin() + static_cast<long>(at) + 26);
        ogg_page page{bytes.data() + at, static_cast<long>(header), bytes.data() + at + header,
                      static_cast<long>(body)};
        ogg_page_checksum_set(&page);
        changed = changed || !std::equal(before.begin(), before.end(),
                                         bytes.begin() + static_cast<long>(at) + 22);
        at += header + body;
    }
    return changed;
}

void playAsTheShowDoes(const unsigned char* bytes, size_t size) {
    if (!checkOggPages(bytes, size).empty()) return;
    static MusicStream stream;
    static SpectrumWork work;
    static const bool haveWork = createSpectrumWork(&work);
    if (!haveWork) std::abort();
    if (!openMusicStreamFromBytes(&stream, bytes, size, "fuzz.ogg")) return;
    const DecodedMusic& music = stream.music;
    if (music.frameCount == 0 || music.samples == nullptr) std::abort();
    // Spectra where frames of the show would take them, the last one across the loop's end.
    const size_t limit = std::min(music.frameCount, kMaxDecodedFrames);
    float bins[kSpectrumBins];
    for (size_t start : {size_t{0}, limit / 3, limit - 1})
        musicStreamSpectrum(&stream, start, bins, &work);
    // Whatever happens on the way, the frames asked for are there (damage leaves silence).
    if (decodeMusicUntil(&stream, limit) < limit) std::abort();
    closeMusicStream(&stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    playAsTheShowDoes(data, size);
    std::vector<unsigned char> fixed(data, data + size);
    if (fixPageChecksums(fixed)) playAsTheShowDoes(fixed.data(), fixed.size());
    return 0;
}
