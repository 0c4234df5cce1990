// The video of a capture run: ffmpeg on a pipe, the frames into it, the finished file in place.
#include "output/video.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os_clock.h"
#include "platform/os_files.h"
#include "platform/os_process.h"
#include "platform/os_signals.h"

namespace {

bool endsWith(const char* text, const char* ending) {
    const size_t length = std::strlen(text);
    const size_t tail = std::strlen(ending);
    return length >= tail && std::strcmp(text + length - tail, ending) == 0;
}

// Copies what ffmpeg wrote to its standard error onto ours, once; whether there was anything. At
// "-loglevel error" every line it prints is an error.
bool forwardEncoderMessages(VideoPipe* video) {
    std::FILE* log = video->encoderLog;
    if (log == nullptr) return false;
    video->encoderLog = nullptr;
    bool any = false;
    char buffer[4096];
    std::rewind(log);
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, log)) > 0) {
        any = true;
        std::fwrite(buffer, 1, got, stderr);
    }
    std::fclose(log);
    return any;
}

// Where the video goes and under which name ffmpeg writes it. A link is followed, so the file
// it points to is replaced and the link kept; a device or FIFO is written to directly, since it
// cannot be replaced.
void chooseVideoFiles(VideoPipe* video, const char* path) {
    video->finalPath = followLink(path);
    video->partialPath.clear();
    const PathKind kind = pathKind(video->finalPath);
    if (kind != PathKind::kAbsent && kind != PathKind::kRegularFile) return;
    video->partialPath = video->finalPath + "." + std::to_string(processId()) + ".partial";
}

}  // namespace

std::vector<std::string> ffmpegArguments(const VideoSettings& settings, const char* output) {
    const std::string size = std::to_string(kScreenWidth * settings.scale) + "x" +
                             std::to_string(kScreenHeight * settings.scale);
    char duration[64];
    std::snprintf(duration, sizeof duration, "%.6f",
                  static_cast<double>(settings.frames) / settings.fps);
    const bool mp4 = endsWith(settings.path, ".mp4");

    std::vector<std::string> args = {"ffmpeg",     "-hide_banner",
                                     "-loglevel",  "error",
                                     "-nostats",   "-y",
                                     "-f",         "rawvideo",
                                     "-pix_fmt",   "bgr0",
                                     "-s",         size,
                                     "-framerate", std::to_string(settings.fps),
                                     "-i",         "-"};
    if (settings.musicPath != nullptr) {
        // The show's clock loops the music, so the sound track does too.
        args.insert(args.end(),
                    {"-stream_loop", "-1", "-i", settings.musicPath, "-map", "0:v", "-map", "1:a"});
    }
    if (settings.codec == nullptr || *settings.codec == '\0') {
        // yuv420p because most players show nothing else; quality 18 looks like the frames.
        args.insert(args.end(),
                    {"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p"});
    } else {
        // ffmpeg picks the encoder's nearest pixel format itself (bgr0 or rgb24 for the
        // lossless ones), so nothing is lost on the way.
        args.insert(args.end(), {"-c:v", settings.codec});
    }
    if (settings.musicPath != nullptr) {
        if (mp4)
            args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
        else
            args.insert(args.end(), {"-c:a", "copy"});  // Vorbis goes into Matroska as it is
    }
    // The sound ends with the last frame.
    args.insert(args.end(), {"-t", duration});
    if (mp4) args.insert(args.end(), {"-movflags", "+faststart"});
    // Named, since ffmpeg would guess it from the output's name, which is a temporary one.
    args.insert(args.end(), {"-f", mp4 ? "mp4" : "matroska"});
    args.push_back(output != nullptr ? output : settings.path);
    return args;
}

void scaleFrame(Pixel* out, const Pixel* screen, uint32_t scale) {
    const size_t outWidth = static_cast<size_t>(kScreenWidth) * scale;
    for (int y = 0; y < kScreenHeight; ++y) {
        const Pixel* in = screen + static_cast<size_t>(y) * kPitch;
        Pixel* row = out + static_cast<size_t>(y) * scale * outWidth;
        for (int x = 0; x < kScreenWidth; ++x) {
            for (uint32_t k = 0; k < scale; ++k)
                row[static_cast<size_t>(x) * scale + k] = in[x];
        }
        for (uint32_t r = 1; r < scale; ++r)
            std::memcpy(row + r * outWidth, row, outWidth * sizeof(Pixel));
    }
}

bool openVideoPipe(VideoPipe* video, const VideoSettings& settings) {
    *video = VideoPipe{};
    video->scale = settings.scale;
    video->frameBytes =
        sizeof(Pixel) * static_cast<size_t>(kScreenPixels) * settings.scale * settings.scale;
    if (settings.scale > 1) video->scaled = new Pixel[video->frameBytes / sizeof(Pixel)];

    video->path = settings.path;
    chooseVideoFiles(video, settings.path);
    // ffmpeg's error lines are kept, so that a failure it exits 0 after is still seen.
    video->encoderLog = createTemporaryFile();
    if (video->encoderLog == nullptr) {
        std::fprintf(stderr, "brindlehop: cannot make a file for ffmpeg's messages: %s\n",
                     std::strerror(errno));
        closeVideoPipe(video);
        return false;
    }

    const std::vector<std::string> args = ffmpegArguments(
        settings, video->partialPath.empty() ? settings.path : video->partialPath.c_str());
    std::string why;
    if (!startChild(&video->encoder, args, video->encoderLog, &why)) {
        std::fprintf(stderr, "brindlehop: cannot start ffmpeg: %s\n", why.c_str());
        closeVideoPipe(video);
        return false;
    }
    startProgress(&video->progress, stderr, "capture", settings.frames);
    return true;
}

bool writeVideoFrame(VideoPipe* video, const Pixel* screen) {
    const Pixel* frame = screen;
    if (video->scale > 1) {
        scaleFrame(video->scaled, screen, video->scale);
        frame = video->scaled;
    }
    const PipeWrite outcome =
        writeToChild(&video->encoder, frame, video->frameBytes, video->stallSeconds);
    if (outcome == PipeWrite::kInterrupted) return false;
    if (outcome == PipeWrite::kStalled) {
        // Nothing would ever come of it: it is not read from, so it gets no chance to finish.
        std::fprintf(stderr,
                     "\nbrindlehop: ffmpeg took no frame data for %.0f s after %llu frames; "
                     "stopping it\n",
                     video->stallSeconds, static_cast<unsigned long long>(video->framesWritten));
        stopEncoder(video, 0.0);
        return false;
    }
    if (outcome != PipeWrite::kWritten) {
        const int error = errno;
        const bool running = video->encoder.process != 0;
        closeChildInput(&video->encoder);
        const ChildStatus status = waitForChild(&video->encoder);
        std::fputc('\n', stderr);
        forwardEncoderMessages(video);
        std::fprintf(
            stderr, "brindlehop: ffmpeg stopped taking frames after %llu of them (%s, %s)\n",
            static_cast<unsigned long long>(video->framesWritten),
            running ? describeChildStatus(status).c_str() : "not running", std::strerror(error));
        return false;
    }
    ++video->framesWritten;
    updateProgress(&video->progress, video->framesWritten);
    return true;
}

bool closeVideoPipe(VideoPipe* video) {
    bool ok = true;
    if (video->encoder.input >= 0) {
        closeChildInput(&video->encoder);
        finishProgress(&video->progress, video->framesWritten);
    }
    if (video->encoder.process != 0) {
        const ChildStatus status = waitForChild(&video->encoder);
        const bool complained = forwardEncoderMessages(video);
        if (status.kind != ChildStatus::Kind::kExited || status.number != 0) {
            std::fprintf(stderr, "brindlehop: ffmpeg failed (%s)\n",
                         describeChildStatus(status).c_str());
            ok = false;
        } else if (complained) {
            std::fprintf(stderr,
                         "brindlehop: ffmpeg reported errors, so the video was not written "
                         "whole\n");
            ok = false;
        }
    }
    forwardEncoderMessages(video);
    delete[] video->scaled;
    video->scaled = nullptr;
    return ok;
}

void stopEncoder(VideoPipe* video, double graceSeconds) {
    closeChildInput(&video->encoder);
    if (video->encoder.process == 0) return;
    stopChild(&video->encoder, graceSeconds <= 0.0);
    const double deadline = monotonicSeconds() + graceSeconds;
    ChildStatus status;
    while (!childEnded(&video->encoder, &status)) {
        if (monotonicSeconds() >= deadline) {
            stopChild(&video->encoder, true);
            waitForChild(&video->encoder);
            return;
        }
        sleepSeconds(0.01);
    }
}

bool finishVideoFile(VideoPipe* video) {
    if (video->partialPath.empty()) return true;
    if (replaceFile(video->partialPath.c_str(), video->finalPath.c_str())) {
        video->partialPath.clear();
        return true;
    }
    std::fprintf(stderr, "brindlehop: cannot put the video in place as %s: %s\n",
                 video->finalPath.c_str(), std::strerror(errno));
    return false;
}

void removeUnfinishedVideo(const VideoPipe& video) {
    if (video.partialPath.empty()) return;
    if (!pathExists(video.partialPath)) return;
    if (removeFile(video.partialPath.c_str()))
        std::fprintf(stderr, "brindlehop: removed the unfinished video; %s is as it was\n",
                     video.path);
    else
        std::fprintf(stderr,
                     "brindlehop: the unfinished video %s was kept (cannot remove it: %s)\n",
                     video.partialPath.c_str(), std::strerror(errno));
}
