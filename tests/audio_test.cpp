// Tests of the music back end: spectrum scale, decoding, the play clock, the music clock and beats.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "music/fft.h"
#include "platform/audio.h"
#include "platform/audio_box.h"
#include "platform/os_clock.h"
#include "show/music_clock.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Full-scale 16-bit amplitude; the mix divides by 32768, so this reads just under 1.
constexpr double kFullScale = 32767.0;

// Interleaved frames of a sine at `cycles` cycles per 1024 frames, same on every channel.
std::vector<int16_t> sineFrames(size_t frames, int channels, double cycles, double amplitude) {
    std::vector<int16_t> out(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * kPi * cycles * static_cast<double>(i) / 1024.0);
        for (int c = 0; c < channels; ++c) {
            out[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(v));
        }
    }
    return out;
}

// Slow, obvious spectrum: direct DFT in double of the Hann-windowed mono mix, wrapping at the end.
std::vector<double> referenceSpectrum(const std::vector<int16_t>& interleaved, int channels,
                                      size_t startFrame) {
    const size_t frames = interleaved.size() / static_cast<size_t>(channels);
    std::vector<double> x(1024);
    for (size_t n = 0; n < 1024; ++n) {
        const size_t f = (startFrame + n) % frames;
        double sum = 0.0;
        for (int c = 0; c < channels; ++c) {
            sum += interleaved[f * static_cast<size_t>(channels) + static_cast<size_t>(c)];
        }
        const double window = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(n) / 1024.0);
        x[n] = sum / channels / 32768.0 * window;
    }
    std::vector<double> mags(512);
    for (size_t k = 0; k < 512; ++k) {
        double re = 0.0;
        double im = 0.0;
        for (size_t n = 0; n < 1024; ++n) {
            const double phase = 2.0 * kPi * static_cast<double>((k * n) % 1024) / 1024.0;
            re += x[n] * std::cos(phase);
            im -= x[n] * std::sin(phase);
        }
        mags[k] = std::sqrt(re * re + im * im) / 512.0;
    }
    return mags;
}

class SpectrumTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(createSpectrumWork(&work)); }
    void TearDown() override { releaseSpectrumWork(&work); }
    SpectrumWork work{};
    float bins[kSpectrumBins]{};
};

TEST_F(SpectrumTest, ConstantLevelReadsItsLevelInBinZero) {
    for (int16_t level : {int16_t{16384}, int16_t{-8192}, int16_t{32767}, int16_t{1}}) {
        const std::vector<int16_t> samples(2048 * 2, level);
        computeSpectrum(samples.data(), 2048, 2, 100, bins, &work);
        EXPECT_NEAR(bins[0], std::abs(level / 32768.0), 1e-5) << level;
        // The Hann window spreads DC into bin 1 at half the level and nowhere else.
        EXPECT_NEAR(bins[1], std::abs(level / 32768.0) / 2, 1e-5) << level;
        for (int k = 2; k < kSpectrumBins; ++k) {
            ASSERT_NEAR(bins[k], 0.0, 1e-5) << k;
        }
    }
}

TEST_F(SpectrumTest, FullScaleSineAtBinCentreReadsHalf) {
    for (int k : {1, 3, 10, 100, 255, 511}) {
        const std::vector<int16_t> samples = sineFrames(1024, 2, k, kFullScale);
        computeSpectrum(samples.data(), 1024, 2, 0, bins, &work);
        EXPECT_NEAR(bins[k], 0.5 * kFullScale / 32768.0, 1e-5) << k;
        // Hann leaks a bin-centred sine only into its two neighbours, at a quarter.
        if (k > 1) {
            EXPECT_NEAR(bins[k - 1], 0.25 * kFullScale / 32768.0, 1e-5) << k;
        }
        if (k < 511) {
            EXPECT_NEAR(bins[k + 1], 0.25 * kFullScale / 32768.0, 1e-5) << k;
        }
        for (int j = 0; j < kSpectrumBins; ++j) {
            if (std::abs(j - k) > 1) {
                ASSERT_NEAR(bins[j], 0.0, 1e-5) << k << " " << j;
            }
        }
    }
}

TEST_F(SpectrumTest, MonoMixIsTheMeanOfTheChannels) {
    // Left carries the sine, right silence: the mix is the sine at half amplitude.
    std::vector<int16_t> samples = sineFrames(1024, 2, 20, kFullScale);
    for (size_t i = 1; i < samples.size(); i += 2) {
        samples[i] = 0;
    }
    computeSpectrum(samples.data(), 1024, 2, 0, bins, &work);
    EXPECT_NEAR(bins[20], 0.25 * kFullScale / 32768.0, 1e-5);
    // Opposite phases on the two channels cancel.
    for (size_t i = 1; i < samples.size(); i += 2) {
        samples[i] = static_cast<int16_t>(-samples[i - 1]);
    }
    computeSpectrum(samples.data(), 1024, 2, 0, bins, &work);
    for (int k = 0; k < kSpectrumBins; ++k) {
        ASSERT_NEAR(bins[k], 0.0, 1e-6) << k;
    }
}

TEST_F(SpectrumTest, MatchesDirectDftOnRandomSignalsWithWrap) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    // Lengths below, at and above one block; channel counts 1, 2 and 3; starts across the wrap.
    const struct {
        size_t frames;
        int channels;
        size_t start;
    } cases[] = {{3000, 2, 2500},          {1024, 2, 7}, {700, 1, 650}, {5000, 3, 4999},
                 {1500, 2, 1500 * 3 + 11}, {1, 2, 0}};
    for (const auto& c : cases) {
        std::vector<int16_t> samples(c.frames * static_cast<size_t>(c.channels));
        for (int16_t& s : samples) {
            s = static_cast<int16_t>(sample(rng));
        }
        computeSpectrum(samples.data(), c.frames, c.channels, c.start, bins, &work);
        const std::vector<double> expected = referenceSpectrum(samples, c.channels, c.start);
        for (int k = 0; k < kSpectrumBins; ++k) {
            ASSERT_GE(bins[k], 0.0f);
            ASSERT_NEAR(bins[k], expected[static_cast<size_t>(k)], 2e-5)
                << c.frames << " frames, bin " << k;
        }
    }
}

TEST_F(SpectrumTest, EmptyInputGivesZeros) {
    for (float& b : bins) {
        b = 7.0f;
    }
    computeSpectrum(nullptr, 0, 2, 0, bins, &work);
    for (float b : bins) {
        ASSERT_EQ(b, 0.0f);
    }
    const int16_t one[2] = {1000, 1000};
    computeSpectrum(one, 1, 0, 0, bins, &work);
    for (float b : bins) {
        ASSERT_EQ(b, 0.0f);
    }
}

// ---- Test music ---------------------------------------------------------------------------------

// Encodes `seconds` of a sine at `hz` (amplitude 0.5) into an Ogg Vorbis file with libvorbisenc;
// with a glide the frequency rises by glideHzPerSecond, so every moment has its own spectrum.
bool writeSineOgg(const std::string& path, double seconds, double hz, int channels, int rate,
                  double glideHzPerSecond = 0.0) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.5f) != 0) {
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) {
        std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
        std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
    }
    auto drain = [&] {
        ogg_packet packet;
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &packet) != 0) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) {
                    std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
                    std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
                }
            }
        }
    };
    const long total = std::lround(seconds * rate);
    for (long done = 0; done < total;) {
        const int chunk = static_cast<int>(std::min<long>(1024, total - done));
        float** buffer = vorbis_analysis_buffer(&vd, chunk);
        for (int i = 0; i < chunk; ++i) {
            const double t = static_cast<double>(done + i) / rate;
            const double v = 0.5 * std::sin(2.0 * kPi * (hz + 0.5 * glideHzPerSecond * t) * t);
            for (int c = 0; c < channels; ++c) {
                buffer[c][i] = static_cast<float>(v);
            }
        }
        vorbis_analysis_wrote(&vd, chunk);
        drain();
        done += chunk;
    }
    vorbis_analysis_wrote(&vd, 0);
    drain();
    while (ogg_stream_flush(&os, &page) != 0) {
        std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file);
        std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file);
    }
    std::fclose(file);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return true;
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        int c;
        while ((c = std::fgetc(file)) != EOF) {
            bytes.push_back(static_cast<unsigned char>(c));
        }
        std::fclose(file);
    }
    return bytes;
}

// A temp folder with the test music, made once for the whole program.
class MusicFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = (std::filesystem::temp_directory_path() /
               ("brindlehop_audio_test_" + std::to_string(getpid())))
                  .string();
        std::filesystem::create_directories(dir);
        stereo = dir + "/sine440_stereo.ogg";
        mono = dir + "/sine1000_mono22k.ogg";
        ASSERT_TRUE(writeSineOgg(stereo, 2.0, 440.0, 2, 44100));
        ASSERT_TRUE(writeSineOgg(mono, 1.0, 1000.0, 1, 22050));
        glide = dir + "/glide_stereo.ogg";
        ASSERT_TRUE(writeSineOgg(glide, 2.0, 200.0, 2, 44100, 2000.0));
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }
    static std::string dir, stereo, mono, glide;
};
std::string MusicFiles::dir, MusicFiles::stereo, MusicFiles::mono, MusicFiles::glide;

// ---- Decoding -----------------------------------------------------------------------------------

using DecodeTest = MusicFiles;

TEST_F(DecodeTest, StereoFileDecodesWholeWithItsFormat) {
    DecodedMusic music{};
    ASSERT_TRUE(decodeMusicFile(&music, stereo.c_str()));
    EXPECT_EQ(music.channels, 2);
    EXPECT_EQ(music.sampleRate, 44100);
    EXPECT_EQ(music.frameCount, 88200u);
    // Both channels carry the same sine at about half scale.
    int16_t peak = 0;
    for (size_t i = 0; i < music.frameCount; ++i) {
        EXPECT_NEAR(music.samples[2 * i], music.samples[2 * i + 1], 2) << i;
        peak = std::max(peak, music.samples[2 * i]);
    }
    EXPECT_NEAR(peak, 16384, 800);
    // One second is 44100 frames of 4 bytes.
    EXPECT_EQ(musicFramesToBytes(&music, 44100), 176400u);
    EXPECT_EQ(musicBytesToSecondsOf(&music, 176400), 1.0f);
    EXPECT_EQ(musicBytesToSecondsOf(&music, 4), static_cast<float>(1.0 / 44100.0));
    releaseDecodedMusic(&music);
    EXPECT_EQ(music.samples, nullptr);
    EXPECT_EQ(music.frameCount, 0u);
    releaseDecodedMusic(&music);  // a second release is harmless
}

TEST_F(DecodeTest, MonoFileKeepsItsRateAndChannel) {
    DecodedMusic music{};
    ASSERT_TRUE(decodeMusicFile(&music, mono.c_str()));
    EXPECT_EQ(music.channels, 1);
    EXPECT_EQ(music.sampleRate, 22050);
    EXPECT_EQ(music.frameCount, 22050u);
    // Mono 16-bit at 22050 Hz: 44100 bytes a second.
    EXPECT_EQ(musicFramesToBytes(&music, 22050), 44100u);
    EXPECT_EQ(musicBytesToSecondsOf(&music, 22050), 0.5f);
    releaseDecodedMusic(&music);
}

TEST_F(DecodeTest, BadFilesFailWithTheFileNamed) {
    const std::string missing = dir + "/no_such.ogg";
    const std::string text = dir + "/text.ogg";
    const std::string truncatedHeader = dir + "/truncated_header.ogg";
    writeBytes(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    std::vector<unsigned char> good = readBytes(stereo);
    ASSERT_GT(good.size(), 200u);
    writeBytes(truncatedHeader, std::vector<unsigned char>(good.begin(), good.begin() + 60));
    const struct {
        const std::string* path;
        const char* why;
    } cases[] = {{&missing, "missing"},
                 {&text, "not an Ogg Vorbis file"},
                 {&truncatedHeader, "not an Ogg Vorbis file"},
                 {&dir, "not a regular file (a folder)"}};
    for (const auto& c : cases) {
        DecodedMusic music{};
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(decodeMusicFile(&music, c.path->c_str())) << *c.path;
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(*c.path), std::string::npos) << err;
        EXPECT_NE(err.find(c.why), std::string::npos) << err;
        EXPECT_EQ(music.samples, nullptr);
        EXPECT_EQ(music.frameCount, 0u);
    }
}

TEST_F(DecodeTest, DamagedStreamsNeverCrash) {
    // Cut short and with bytes flipped past the headers: decode what can be, or fail cleanly.
    const std::vector<unsigned char> good = readBytes(stereo);
    std::mt19937 rng(99);
    const std::string path = dir + "/damaged.ogg";
    for (int round = 0; round < 12; ++round) {
        std::vector<unsigned char> bytes = good;
        if (round % 3 == 0) {
            bytes.resize(bytes.size() / 2 + static_cast<size_t>(round) * 17);
        }
        std::uniform_int_distribution<size_t> at(bytes.size() / 4, bytes.size() - 1);
        for (int flips = 0; flips < round * 4; ++flips) {
            bytes[at(rng)] ^= static_cast<unsigned char>(1u << (flips % 8));
        }
        writeBytes(path, bytes);
        DecodedMusic music{};
        ::testing::internal::CaptureStderr();
        const bool ok = decodeMusicFile(&music, path.c_str());
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (ok) {
            EXPECT_GT(music.frameCount, 0u);
            EXPECT_LE(music.frameCount, 88200u + 4096u);
        } else {
            EXPECT_NE(err.find(path), std::string::npos);
            EXPECT_EQ(music.samples, nullptr);
        }
        releaseDecodedMusic(&music);
    }
}

// ---- Decoding as the music is needed
// --------------------------------------------------------------

using StreamTest = MusicFiles;

// Bit-exact spectra of the whole decoded piece, the reference for the streamed ones.
std::vector<float> wholeSpectrum(const DecodedMusic& music, size_t start, SpectrumWork* work) {
    std::vector<float> bins(kSpectrumBins);
    computeSpectrum(music.samples, music.frameCount, music.channels, start, bins.data(), work);
    return bins;
}

TEST_F(StreamTest, SpectrumDecodesWhatItReadsAndNeverReadsAhead) {
    DecodedMusic whole{};
    ASSERT_TRUE(decodeMusicFile(&whole, stereo.c_str()));
    SpectrumWork work{};
    ASSERT_TRUE(createSpectrumWork(&work));
    MusicStream stream;
    ASSERT_TRUE(openMusicStream(&stream, stereo.c_str()));
    // Opening knows the format and the whole length, and decodes nothing.
    EXPECT_EQ(stream.music.frameCount, whole.frameCount);
    EXPECT_EQ(stream.decodedFrames.load(), 0u);
    // Undecoded frames read as zeros, so a spectrum taken from them would differ from the
    // reference: equal bits prove that every frame it read had been decoded.
    std::vector<float> bins(kSpectrumBins);
    for (size_t start : {size_t{50000}, size_t{1000}, whole.frameCount - 300, size_t{80000}}) {
        musicStreamSpectrum(&stream, start, bins.data(), &work);
        EXPECT_GE(stream.decodedFrames.load(), std::min(start + 1024, whole.frameCount)) << start;
        EXPECT_EQ(bins, wholeSpectrum(whole, start, &work)) << start;
    }
    // Decoding stops short of the end when nothing further is asked for.
    MusicStream fresh;
    ASSERT_TRUE(openMusicStream(&fresh, stereo.c_str()));
    EXPECT_LT(decodeMusicUntil(&fresh, 1), whole.frameCount);
    EXPECT_EQ(decodeMusicUntil(&fresh, ~size_t{0}), whole.frameCount);
    EXPECT_EQ(std::memcmp(fresh.music.samples, whole.samples, whole.frameCount * 4), 0);
    // The last frame finishes the decoding: the decoder is gone, so a background thread ends
    // instead of asking it for more for the rest of the show.
    EXPECT_EQ(fresh.decoder, nullptr);
    closeMusicStream(&fresh);
    closeMusicStream(&fresh);  // a second close is harmless
    EXPECT_EQ(fresh.music.samples, nullptr);
    closeMusicStream(&stream);
    releaseSpectrumWork(&work);
    releaseDecodedMusic(&whole);
}

TEST_F(StreamTest, BackgroundDecoderAndReadersAgreeWithTheWholeDecode) {
    DecodedMusic whole{};
    ASSERT_TRUE(decodeMusicFile(&whole, stereo.c_str()));
    SpectrumWork work{};
    ASSERT_TRUE(createSpectrumWork(&work));
    // The thread and the reader race for the blocks: each spectrum must still see decoded
    // frames only, and the offline clock over the stream gives the same bits as over the whole.
    for (int round = 0; round < 4; ++round) {
        MusicStream stream;
        ASSERT_TRUE(openMusicStream(&stream, stereo.c_str()));
        startMusicDecoder(&stream);
        MusicClock clock{MusicClockMode::kOffline, nullptr, &stream.music, 0, 60, &work, &stream};
        MusicClock reference{MusicClockMode::kOffline, nullptr, &whole, 0, 60, &work};
        float t = 0.0f, tRef = 0.0f;
        float bins[kSpectrumBins], binsRef[kSpectrumBins];
        for (uint64_t frame = static_cast<uint64_t>(round) * 7; frame < 130; frame += 3) {
            clock.frameNumber = reference.frameNumber = frame;
            updateMusicClock(&clock, &t, bins);
            updateMusicClock(&reference, &tRef, binsRef);
            ASSERT_EQ(t, tRef) << frame;
            ASSERT_EQ(std::memcmp(bins, binsRef, sizeof bins), 0) << frame;
        }
        if (round % 2 == 0) {
            // Closing while the thread may still be decoding stops it cleanly.
            closeMusicStream(&stream);
            continue;
        }
        EXPECT_EQ(decodeMusicUntil(&stream, whole.frameCount), whole.frameCount);
        EXPECT_FALSE(stream.damaged.load());
        EXPECT_EQ(std::memcmp(stream.music.samples, whole.samples, whole.frameCount * 4), 0);
        closeMusicStream(&stream);
    }
    releaseSpectrumWork(&work);
    releaseDecodedMusic(&whole);
}

// ---- Damage found before anything plays
// ----------------------------------------------------------

// Offsets of the page starts ("OggS") of an Ogg file.
std::vector<size_t> pageStarts(const std::vector<unsigned char>& bytes) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, "OggS", 4) == 0) starts.push_back(i);
    return starts;
}

TEST_F(StreamTest, PageCheckFindsCutsHolesAndBadChecksums) {
    // Long enough for several audio pages (a sine packs about a second into each).
    const std::string longer = dir + "/sine_8s.ogg";
    ASSERT_TRUE(writeSineOgg(longer, 8.0, 440.0, 2, 44100));
    const std::vector<unsigned char> good = readBytes(longer);
    const std::vector<size_t> pages = pageStarts(good);
    ASSERT_GE(pages.size(), 6u);
    EXPECT_EQ(checkOggPages(good.data(), good.size()), "");
    const size_t middle = pages[pages.size() / 2];

    std::vector<unsigned char> insidePage(good.begin(), good.end() - 10);
    std::vector<unsigned char> atPageEnd(good.begin(), good.begin() + pages.back());
    std::vector<unsigned char> flipped = good;
    flipped[middle + 100] ^= 0x10;
    std::vector<unsigned char> pageLost(good.begin(), good.begin() + middle);
    pageLost.insert(pageLost.end(), good.begin() + pages[pages.size() / 2 + 1], good.end());
    std::vector<unsigned char> junk = good;
    junk.insert(junk.begin() + static_cast<std::ptrdiff_t>(middle), 7, 'x');
    const struct {
        const std::vector<unsigned char>* bytes;
        const char* why;
    } cases[] = {{&insidePage, "truncated: the file ends inside a page"},
                 {&atPageEnd, "truncated: the file ends before the stream's last page"},
                 {&flipped, "fails its checksum"},
                 {&pageLost, "pages are missing"},
                 {&junk, "fails its checksum, or bytes are missing or foreign"}};
    const std::string path = dir + "/damaged_pages.ogg";
    for (const auto& c : cases) {
        const std::string found = checkOggPages(c.bytes->data(), c.bytes->size());
        EXPECT_NE(found.find(c.why), std::string::npos) << found;
        // The stream refuses such a file at once, with the file and the damage named.
        writeBytes(path, *c.bytes);
        MusicStream stream;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(openMusicStream(&stream, path.c_str()));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(path + ": " + found), std::string::npos) << err;
        EXPECT_EQ(stream.music.samples, nullptr);
        EXPECT_EQ(stream.music.frameCount, 0u);
    }
}

TEST_F(StreamTest, DamageFoundWhileDecodingIsNamedAndTheRestIsSilent) {
    // Pages intact, but the last one claims a second more audio than the packets hold: only the
    // decoder can find that, late. It says so once, and the missing second stays silent.
    std::vector<unsigned char> bytes = readBytes(stereo);
    const std::vector<size_t> pages = pageStarts(bytes);
    ASSERT_GE(pages.size(), 3u);
    ogg_page last;
    last.header = bytes.data() + pages.back();
    last.header_len = 27 + bytes[pages.back() + 26];
    last.body = last.header + last.header_len;
    last.body_len = static_cast<long>(bytes.size() - pages.back()) - last.header_len;
    const ogg_int64_t claimed = ogg_page_granulepos(&last) + 44100;
    for (int i = 0; i < 8; ++i)
        last.header[6 + i] = static_cast<unsigned char>(static_cast<uint64_t>(claimed) >> (8 * i));
    ogg_page_checksum_set(&last);
    const std::string path = dir + "/longer_than_its_audio.ogg";
    writeBytes(path, bytes);
    ASSERT_EQ(checkOggPages(bytes.data(), bytes.size()), "");

    MusicStream stream;
    ASSERT_TRUE(openMusicStream(&stream, path.c_str()));
    EXPECT_EQ(stream.music.frameCount, 88200u + 44100u);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(decodeMusicUntil(&stream, ~size_t{0}), stream.music.frameCount);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stream.damaged.load());
    // The last packet's block, which the true end would have trimmed, comes out in full.
    EXPECT_NE(err.find(path + ": the stream ends early at 2.0"), std::string::npos) << err;
    EXPECT_NE(err.find(" s of 3.00 s; the music is silent from there"), std::string::npos) << err;
    for (size_t i = (88200 + 2048) * 2; i < stream.music.frameCount * 2; ++i)
        ASSERT_EQ(stream.music.samples[i], 0) << i;
    closeMusicStream(&stream);
    // A caller that wants the whole piece gets nothing from it.
    DecodedMusic music{};
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(decodeMusicFile(&music, path.c_str()));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(music.samples, nullptr);
}

TEST_F(StreamTest, OnlyRegularFilesAreOpened) {
    // A FIFO with no writer would block a plain open for ever.
    const std::string fifo = dir + "/fifo.ogg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    MusicStream stream;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openMusicStream(&stream, fifo.c_str()));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(fifo + ": not a regular file (a FIFO)"), std::string::npos) << err;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openMusicStream(&stream, "/dev/zero"));
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/dev/zero: not a regular file (a character device)"), std::string::npos)
        << err;
    std::remove(fifo.c_str());
}

// ---- The play clock -----------------------------------------------------------------------------

constexpr double kRate = 44100.0;
constexpr uint32_t kBuffer = 1024;
constexpr double kPeriod = kBuffer / kRate;  // seconds between callbacks

// A device that calls back every period (plus jitter) from t0 on; answers the stamp at time t.
struct SyntheticDevice {
    double t0;
    std::vector<double> callbackTimes;
    PlayStamp stampAt(double t) const {
        PlayStamp stamp{0, 0.0, false};
        for (size_t i = 0; i < callbackTimes.size() && callbackTimes[i] <= t; ++i) {
            stamp = PlayStamp{i * kBuffer, callbackTimes[i], true};
        }
        return stamp;
    }
};

// The browser is handed these: each channel apart, every 16-bit value exactly over 32768.
TEST(MusicFloats, ChannelsComeApartAndEveryValueIsExact) {
    int16_t stereo[] = {0, -1, -32768, 32767, 1, 12345, -7, 0};
    DecodedMusic music{stereo, 4, 2, 44100};
    float out[4] = {};
    musicFramesAsFloats(&music, 1, 2, out);  // frames 1 and 2 of both channels
    EXPECT_EQ(out[0], -1.0f);
    EXPECT_EQ(out[1], 1.0f / 32768.0f);
    EXPECT_EQ(out[2], 32767.0f / 32768.0f);
    EXPECT_EQ(out[3], 12345.0f / 32768.0f);
    music.channels = 1;  // the same samples as eight mono frames
    musicFramesAsFloats(&music, 5, 3, out);
    EXPECT_EQ(out[0], 12345.0f / 32768.0f);
    EXPECT_EQ(out[1], -7.0f / 32768.0f);
    EXPECT_EQ(out[2], 0.0f);
}

SyntheticDevice regularDevice(double t0, size_t callbacks, double jitter, uint32_t seed) {
    SyntheticDevice device{t0, {}};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> wobble(-jitter, jitter);
    for (size_t i = 0; i < callbacks; ++i) {
        device.callbackTimes.push_back(t0 + static_cast<double>(i) * kPeriod + wobble(rng));
    }
    return device;
}

TEST(PlayClockTest, RegularCallbacksGiveAnExactSteadyClock) {
    PlayClock clock;
    initPlayClock(&clock, kRate, kBuffer, kBuffer, 0.0);
    const double t0 = 1000.0;
    const SyntheticDevice device = regularDevice(t0, 2000, 0.0, 1);
    EXPECT_EQ(playClockHeard(&clock, device.stampAt(t0 - 1.0), t0 - 1.0), 0.0);
    // Frames sampled every 16 ms; after the latency has drained each step is 16 ms of frames.
    const double latency = 2.0 * kBuffer / kRate;
    double previous = 0.0;
    double worstStep = 0.0;
    for (double t = t0; t < t0 + 40.0; t += 0.016) {
        const double heard = playClockHeard(&clock, device.stampAt(t), t);
        ASSERT_GE(heard, previous) << t - t0;
        if (t - t0 > latency + 0.016) {
            ASSERT_NEAR(heard, (t - t0 - latency) * kRate, 1e-6 * kRate) << t - t0;
            worstStep = std::max(worstStep, std::abs(heard - previous - 0.016 * kRate));
        }
        previous = heard;
    }
    EXPECT_LT(worstStep, 1e-3 * kRate);
}

TEST(PlayClockTest, JitteryCallbacksStayMonotonicAndNearTheTruth) {
    PlayClock clock;
    initPlayClock(&clock, kRate, kBuffer, kBuffer, 0.0);
    const double t0 = 5.0;
    // Callbacks up to 5 ms early or late.
    const SyntheticDevice device = regularDevice(t0, 3000, 0.005, 7);
    const double latency = 2.0 * kBuffer / kRate;
    double previous = 0.0;
    for (double t = t0; t < t0 + 60.0; t += 0.0037) {
        const double heard = playClockHeard(&clock, device.stampAt(t), t);
        ASSERT_GE(heard, previous) << t - t0;
        if (t - t0 > latency + 0.02) {
            // Never further from the truth than one period plus the jitter.
            ASSERT_NEAR(heard, (t - t0 - latency) * kRate, kBuffer + 0.006 * kRate) << t - t0;
        }
        previous = heard;
    }
}

TEST(PlayClockTest, ExtrapolationStopsOnePeriodPastAStamp) {
    PlayClock clock;
    initPlayClock(&clock, kRate, kBuffer, kBuffer, 0.0);
    const PlayStamp stamp{100 * kBuffer, 50.0, true};
    const double atStamp = 98.0 * kBuffer;  // queue minus buffer minus callback
    EXPECT_DOUBLE_EQ(playClockHeard(&clock, stamp, 50.0), atStamp);
    EXPECT_NEAR(playClockHeard(&clock, stamp, 50.0 + kPeriod / 2), atStamp + kBuffer / 2.0, 1e-6);
    // A stalled device: the clock waits at one period past the stamp.
    EXPECT_DOUBLE_EQ(playClockHeard(&clock, stamp, 50.0 + 10 * kPeriod), atStamp + kBuffer);
    EXPECT_DOUBLE_EQ(playClockHeard(&clock, stamp, 80.0), atStamp + kBuffer);
    // An older stamp (or a query time before the stamp) cannot pull it back.
    EXPECT_DOUBLE_EQ(playClockHeard(&clock, PlayStamp{99 * kBuffer, 50.0, true}, 50.0),
                     atStamp + kBuffer);
}

TEST(PlayClockTest, OffsetShiftsTheClockByItsMilliseconds) {
    PlayClock plain, late, early;
    initPlayClock(&plain, kRate, kBuffer, kBuffer, 0.0);
    initPlayClock(&late, kRate, kBuffer, kBuffer, 50.0);
    initPlayClock(&early, kRate, kBuffer, kBuffer, -20.0);
    const PlayStamp stamp{500 * kBuffer, 3.0, true};
    const double base = playClockHeard(&plain, stamp, 3.01);
    EXPECT_NEAR(playClockHeard(&late, stamp, 3.01), base - 0.050 * kRate, 1e-6);
    EXPECT_NEAR(playClockHeard(&early, stamp, 3.01), base + 0.020 * kRate, 1e-6);
    // At the start a positive offset holds the clock at 0 rather than below it.
    PlayClock fresh;
    initPlayClock(&fresh, kRate, kBuffer, kBuffer, 500.0);
    EXPECT_EQ(playClockHeard(&fresh, PlayStamp{4 * kBuffer, 1.0, true}, 1.0), 0.0);
}

TEST(PlayClockTest, LoopWrapsToTheStartOncePerPass) {
    // A 0.5 s loop played for 3 s: the byte position falls back exactly at each pass.
    const size_t loopFrames = 22050;
    std::vector<int16_t> samples(loopFrames * 2, 0);
    const DecodedMusic music{samples.data(), loopFrames, 2, 44100};
    PlayClock clock;
    initPlayClock(&clock, kRate, kBuffer, kBuffer, 0.0);
    const SyntheticDevice device = regularDevice(0.0, 200, 0.002, 3);
    uint64_t previous = 0;
    int wraps = 0;
    for (double t = 0.0; t < 3.0; t += 0.016) {
        const uint64_t bytes =
            musicHeardBytes(&music, playClockHeard(&clock, device.stampAt(t), t));
        ASSERT_LT(bytes, loopFrames * 4u);
        ASSERT_EQ(bytes % 4u, 0u);
        if (bytes < previous) {
            ++wraps;
            EXPECT_GT(previous, (loopFrames - 2 * kBuffer) * 4u);  // it fell from near the end
            EXPECT_LT(bytes, 2 * kBuffer * 4u);                    // to near the start
        }
        previous = bytes;
    }
    EXPECT_EQ(wraps, 5);  // heard time ≈ 3 s - 46 ms: passes end at 0.5, 1.0, … 2.5 s
    EXPECT_EQ(musicHeardBytes(&music, -5.0), 0u);
    EXPECT_EQ(musicHeardBytes(&music, loopFrames + 0.75), 0u);
}

// ---- The music clock ----------------------------------------------------------------------------

class MusicClockTest : public MusicFiles {
protected:
    void SetUp() override {
        ASSERT_TRUE(decodeMusicFile(&music, stereo.c_str()));
        ASSERT_TRUE(createSpectrumWork(&work));
    }
    void TearDown() override {
        releaseSpectrumWork(&work);
        releaseDecodedMusic(&music);
    }
    DecodedMusic music{};
    SpectrumWork work{};
    float musicTime = 0.0f;
    float spectrum[kSpectrumBins]{};
};

int peakBin(const float* bins) {
    int best = 0;
    for (int k = 1; k < kSpectrumBins; ++k) {
        if (bins[k] > bins[best]) {
            best = k;
        }
    }
    return best;
}

TEST_F(MusicClockTest, OfflineClockIsFrameExactAndLoops) {
    MusicClock clock{MusicClockMode::kOffline, nullptr, &music, 30, 60, &work};
    updateMusicClock(&clock, &musicTime, spectrum);
    EXPECT_EQ(musicTime, 0.5f);
    // 440 Hz lies at bin 440 × 1024 / 44100 ≈ 10.2.
    EXPECT_EQ(peakBin(spectrum), 10);
    EXPECT_NEAR(spectrum[10], 0.25, 0.03);  // half-scale sine, a fifth of a bin off centre
    std::vector<float> first(spectrum, spectrum + kSpectrumBins);
    // 2.5 s is 0.5 s into the second pass: the same time and the same bits.
    clock.frameNumber = 150;
    std::fill(std::begin(spectrum), std::end(spectrum), -1.0f);
    updateMusicClock(&clock, &musicTime, spectrum);
    EXPECT_EQ(musicTime, 0.5f);
    EXPECT_EQ(std::vector<float>(spectrum, spectrum + kSpectrumBins), first);
    // The end of the music is 0 again.
    clock.frameNumber = 120;
    updateMusicClock(&clock, &musicTime, spectrum);
    EXPECT_EQ(musicTime, 0.0f);
    clock.frameNumber = 119;
    updateMusicClock(&clock, &musicTime, spectrum);
    EXPECT_EQ(musicTime, static_cast<float>(87465.0 / 44100.0));  // frame 119 × 735 samples
}

TEST_F(MusicClockTest, OfflineWindowWrapsAcrossTheLoopEnd) {
    // One clock frame per sample, so the frame number is the start sample.
    MusicClock clock{MusicClockMode::kOffline, nullptr, &music,
                     music.frameCount - 300,   44100,   &work};
    updateMusicClock(&clock, &musicTime, spectrum);
    EXPECT_EQ(musicTime, static_cast<float>((music.frameCount - 300) / 44100.0));
    const std::vector<int16_t> samples(music.samples, music.samples + music.frameCount * 2);
    const std::vector<double> expected = referenceSpectrum(samples, 2, music.frameCount - 300);
    for (int k = 0; k < kSpectrumBins; ++k) {
        ASSERT_NEAR(spectrum[k], expected[static_cast<size_t>(k)], 2e-5) << k;
    }
}

TEST_F(MusicClockTest, OfflineWithoutMusicCountsFramesAndKeepsTheSpectrum) {
    MusicClock clock{MusicClockMode::kOffline, nullptr, nullptr, 6001, 60, &work};
    spectrum[0] = 0.25f;
    updateMusicClock(&clock, &musicTime, spectrum);
    EXPECT_EQ(musicTime, static_cast<float>(6001.0 / 60.0));  // no loop without music
    EXPECT_EQ(spectrum[0], 0.25f);
}

// ---- The beat test ------------------------------------------------------------------------------

// Exact reference: 30 × value and the threshold compared in 64-bit-mantissa long double.
bool referenceBeat(float value, double threshold) {
    return 30.0L * static_cast<long double>(value) >= static_cast<long double>(threshold);
}

TEST(BeatTest, TenthPassesAtThreeAndTheFloatBelowDoesNot) {
    EXPECT_TRUE(beat(0.1f, 3.0));
    EXPECT_FALSE(beat(std::nextafter(0.1f, 0.0f), 3.0));
    // The product is taken exactly: 30 × 0.1f is 3.00000004470348358154296875, a double.
    const double exact = 3.00000004470348358154296875;
    EXPECT_TRUE(beat(0.1f, exact));
    EXPECT_FALSE(beat(0.1f, std::nextafter(exact, 4.0)));
    EXPECT_TRUE(beat(0.05f, 1.5));
}

TEST(BeatTest, SilencePassesNothing) {
    for (double threshold : {1.0, 1.5, 2.0, 3.0, 4.0, 8.0}) {
        EXPECT_FALSE(beat(0.0f, threshold));
        EXPECT_FALSE(beat(-0.0f, threshold));
    }
}

TEST(BeatTest, BoundaryOfEveryThresholdIsOneFloatWide) {
    for (double threshold : {1.0, 1.5, 2.0, 3.0, 4.0, 8.0}) {
        // The smallest float that passes; every float from 2000 below to 2000 above agrees.
        float edge = static_cast<float>(threshold / 30.0);
        while (beat(std::nextafter(edge, 0.0f), threshold)) {
            edge = std::nextafter(edge, 0.0f);
        }
        while (!beat(edge, threshold)) {
            edge = std::nextafter(edge, 1.0f);
        }
        float v = edge;
        for (int i = 0; i < 2000; ++i) {
            v = std::nextafter(v, 0.0f);
        }
        for (int i = 0; i < 4000; ++i, v = std::nextafter(v, 1.0f)) {
            ASSERT_EQ(beat(v, threshold), v >= edge) << threshold << " " << v;
            ASSERT_EQ(beat(v, threshold), referenceBeat(v, threshold)) << threshold << " " << v;
        }
    }
}

TEST(BeatTest, AgreesWithReferenceOverManyFloats) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<uint32_t> bits(0u, 0x7F7FFFFFu);  // finite non-negative floats
    std::uniform_real_distribution<double> thresholds(0.0, 10.0);
    for (int i = 0; i < 1000000; ++i) {
        uint32_t b = bits(rng);
        float v;
        std::memcpy(&v, &b, sizeof v);
        const double t = (i % 2 == 0) ? thresholds(rng) : static_cast<double>(i % 9);
        ASSERT_EQ(beat(v, t), referenceBeat(v, t)) << v << " " << t;
    }
}

// ---- The player on SDL's dummy device -----------------------------------------------------------

class PlayerTest : public MusicFiles {
protected:
    void SetUp() override {
        savedDriver = std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "";
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        player.messageBoxes = false;
    }
    void TearDown() override {
        releaseMusicStream(&player);
        closeAudio(&player);
        if (savedDriver.empty()) {
            unsetenv("SDL_AUDIODRIVER");
        } else {
            setenv("SDL_AUDIODRIVER", savedDriver.c_str(), 1);
        }
    }
    std::string savedDriver;
    AudioPlayer player;
    float musicTime = 0.0f;
    float spectrum[kSpectrumBins]{};
};

TEST_F(PlayerTest, PlaysTheMusicAndTheClockMovesForward) {
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(openAudio(&player, 0.0));
    ASSERT_TRUE(loadMusicStream(&player, stereo.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(musicPositionBytes(&player), 0u);  // not playing yet
    playMusicLooped(&player);
    MusicClock clock{MusicClockMode::kLive, &player, nullptr, 0, 0, nullptr};
    // No timing is judged here (the dummy device keeps its own pace): only direction and content.
    float previous = 0.0f;
    bool moved = false;
    for (int i = 0; i < 400 && !moved; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        updateMusicClock(&clock, &musicTime, spectrum);
        ASSERT_GE(musicTime, previous);
        ASSERT_LT(musicTime, 2.0f);
        moved = musicTime > 0.05f;
        previous = musicTime;
    }
    EXPECT_TRUE(moved);
    EXPECT_EQ(peakBin(spectrum), 10);
    releaseMusicStream(&player);
    EXPECT_EQ(musicPositionBytes(&player), 0u);
    // Loading and playing again starts a fresh pass from the beginning.
    ASSERT_TRUE(loadMusicStream(&player, stereo.c_str()));
    playMusicLooped(&player);
    EXPECT_LT(musicBytesToSeconds(&player, musicPositionBytes(&player)), 0.05f);
}

TEST_F(PlayerTest, LiveClockReadsTheSpectrumAtTheHeardPosition) {
    // The show's start-up sequence, then the device is paused again so that no callback writes
    // a stamp: the test's own stamps say where the sound is.
    ASSERT_TRUE(openAudio(&player, 0.0));
    ASSERT_TRUE(loadMusicStream(&player, glide.c_str()));
    playMusicLooped(&player);
    SDL_PauseAudioDevice(player.device, 1);
    SDL_LockAudioDevice(player.device);  // waits out a callback under way
    SDL_UnlockAudioDevice(player.device);
    MusicClock live{MusicClockMode::kLive, &player, nullptr, 0, 0, nullptr};

    // The offline clock at one frame per sample reads the same decoded music at a known frame.
    DecodedMusic music{};
    SpectrumWork work{};
    ASSERT_TRUE(decodeMusicFile(&music, glide.c_str()));
    ASSERT_TRUE(createSpectrumWork(&work));
    MusicClock reference{MusicClockMode::kOffline, nullptr, &music, 0, 44100, &work};
    float referenceTime = 0.0f;
    float referenceSpectrum[kSpectrumBins]{};

    std::vector<int> peaks;
    for (uint64_t heard : {22050u, 44611u, 66150u}) {
        // A stamp taken "later" than now: no time has passed since it, so exactly the queued
        // frames less the device latency are heard.
        {
            std::lock_guard<std::mutex> hold(player.stampLock);
            player.stamp = PlayStamp{heard + static_cast<uint64_t>(player.clock.latencyFrames),
                                     monotonicSeconds() + 1000.0, true};
        }
        updateMusicClock(&live, &musicTime, spectrum);
        reference.frameNumber = heard;
        updateMusicClock(&reference, &referenceTime, referenceSpectrum);
        EXPECT_EQ(musicTime, referenceTime) << heard;
        EXPECT_TRUE(std::equal(spectrum, spectrum + kSpectrumBins, referenceSpectrum))
            << "spectrum not read at heard frame " << heard << ": peak at bin " << peakBin(spectrum)
            << ", wanted " << peakBin(referenceSpectrum);
        peaks.push_back(peakBin(spectrum));
    }
    // The glide moves the peak, so a spectrum from elsewhere in the music would not match.
    EXPECT_LT(peaks[0], peaks[1]);
    EXPECT_LT(peaks[1], peaks[2]);
    releaseSpectrumWork(&work);
    releaseDecodedMusic(&music);
}

TEST_F(PlayerTest, MonoMusicReopensTheDeviceAtItsFormat) {
    ASSERT_TRUE(openAudio(&player, 0.0));
    ASSERT_TRUE(loadMusicStream(&player, mono.c_str()));
    EXPECT_EQ(player.stream.music.sampleRate, 22050);
    EXPECT_EQ(musicBytesToSeconds(&player, 44100), 1.0f);
    playMusicLooped(&player);
    musicSpectrum(&player, 0, spectrum);
    // 1000 Hz at 22050 Hz lies at bin 1000 × 1024 / 22050 ≈ 46.4.
    EXPECT_EQ(peakBin(spectrum), 46);
}

TEST_F(PlayerTest, NoDeviceShowsBothMessagesAndRunsSilently) {
    setenv("SDL_AUDIODRIVER", "no_such_audio_driver", 1);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openAudio(&player, 0.0));
    EXPECT_FALSE(loadMusicStream(&player, stereo.c_str()));
    const std::string err = ::testing::internal::GetCapturedStderr();
    const size_t noInit = err.find("No Init\n");
    const size_t cantPlay = err.find("Can`t play file\n");
    ASSERT_NE(noInit, std::string::npos) << err;
    ASSERT_NE(cantPlay, std::string::npos) << err;
    EXPECT_LT(noInit, cantPlay);
    playMusicLooped(&player);
    MusicClock clock{MusicClockMode::kLive, &player, nullptr, 0, 0, nullptr};
    float previous = 0.0f;
    for (int i = 0; i < 200 && musicTime == 0.0f; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        updateMusicClock(&clock, &musicTime, spectrum);
        ASSERT_GE(musicTime, previous);
        previous = musicTime;
    }
    EXPECT_GT(musicTime, 0.0f);
    for (float b : spectrum) {
        ASSERT_EQ(b, 0.0f);
    }
}

TEST_F(PlayerTest, BadMusicFileShowsOnlyTheFileMessage) {
    const std::string text = dir + "/not_music.ogg";
    writeBytes(text, {'O', 'g', 'g', '?'});
    // Cut short: the page check refuses it before a note plays.
    const std::string cut = dir + "/cut.ogg";
    const std::vector<unsigned char> good = readBytes(stereo);
    writeBytes(cut, std::vector<unsigned char>(good.begin(), good.begin() + good.size() * 2 / 3));
    const std::string fifo = dir + "/player_fifo.ogg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {text, dir + "/missing.ogg", cut, fifo}) {
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(openAudio(&player, 0.0));
        EXPECT_FALSE(loadMusicStream(&player, path.c_str()));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("No Init"), std::string::npos) << err;
        EXPECT_NE(err.find("Can`t play file\n"), std::string::npos) << err;
        EXPECT_NE(err.find(path), std::string::npos) << err;
        spectrum[3] = 0.5f;
        playMusicLooped(&player);
        musicSpectrum(&player, musicPositionBytes(&player), spectrum);
        EXPECT_EQ(spectrum[3], 0.5f);  // nothing to analyse: the bins keep their values
        releaseMusicStream(&player);
        closeAudio(&player);
    }
    std::remove(fifo.c_str());
}

TEST(AudioFailureBox, BelongsToTheShowsWindowWhenThereIsOne) {
    AudioPlayer player;
    SDL_MessageBoxButtonData ok;
    SDL_MessageBoxData box = audioFailureBox(&player, "No Init", &ok);
    EXPECT_EQ(box.window, nullptr);  // before the display opens the box stands alone
    // Any window will do as the owner; the box only carries it to SDL.
    alignas(16) unsigned char window[64];
    player.messageOwner = reinterpret_cast<SDL_Window*>(window);
    box = audioFailureBox(&player, "Can`t play file", &ok);
    EXPECT_EQ(box.window, player.messageOwner);
    EXPECT_EQ(box.flags, static_cast<Uint32>(SDL_MESSAGEBOX_ERROR));
    EXPECT_STREQ(box.title, "Error");
    EXPECT_STREQ(box.message, "Can`t play file");
    ASSERT_EQ(box.numbuttons, 1);
    EXPECT_EQ(box.buttons, &ok);
    EXPECT_STREQ(ok.text, "OK");
}

}  // namespace
