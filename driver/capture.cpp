// The capture run: the show on the offline clock, frame by frame into ffmpeg, with the music.
#include "driver/capture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/offline.h"
#include "driver/run.h"
#include "driver/show.h"
#include "driver/startup.h"
#include "platform/os_signals.h"

extern char** environ;

namespace {

bool endsWith(const char* text, const char* ending) {
    const size_t length = std::strlen(text);
    const size_t tail = std::strlen(ending);
    return length >= tail && std::strcmp(text + length - tail, ending) == 0;
}

// Why ffmpeg ended, for a message: "exit status 1" or "signal 9".
std::string describeExit(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Waits for ffmpeg; its wait status, or -1 when it cannot be had.
int waitForEncoder(VideoPipe* video) {
    if (video->pid == 0) return -1;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(video->pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    video->pid = 0;
    return done < 0 ? -1 : status;
}

void closeInput(VideoPipe* video) {
    if (video->fd >= 0) close(video->fd);
    video->fd = -1;
}

enum class WriteOutcome : uint8_t {
    kWritten,      // every byte is in the pipe
    kEncoderGone,  // the pipe broke: the encoder has ended
    kStalled,      // the encoder took nothing for the whole stall time
    kInterrupted,  // a stop signal arrived while the pipe was full
};

// Writes to the non-blocking pipe, waiting while it is full, at most stallSeconds without
// progress. A stop signal ends a wait at once: the handler's EINTR wakes the poll.
WriteOutcome writeAll(int fd, const void* data, size_t size, double stallSeconds) {
    const char* bytes = static_cast<const char*>(data);
    double deadline = monotonicSeconds() + stallSeconds;
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n > 0) {
            bytes += n;
            size -= static_cast<size_t>(n);
            deadline = monotonicSeconds() + stallSeconds;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (stopSignal() != 0) return WriteOutcome::kInterrupted;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const double left = deadline - monotonicSeconds();
            if (left <= 0.0) return WriteOutcome::kStalled;
            pollfd wanted{fd, POLLOUT, 0};
            // Rounded up, so a wait never ends just short of the deadline and spins.
            const int ready = poll(&wanted, 1, static_cast<int>(std::ceil(left * 1000.0)));
            if (ready < 0 && errno == EINTR && stopSignal() != 0) return WriteOutcome::kInterrupted;
            // Readiness or an error on the pipe shows in the next write.
            continue;
        }
        return WriteOutcome::kEncoderGone;
    }
    return WriteOutcome::kWritten;
}

void sleepSeconds(double seconds) {
    timespec pause{0, static_cast<long>(seconds * 1e9)};
    nanosleep(&pause, nullptr);
}

}  // namespace

std::string findProgram(const char* program, const char* searchPath) {
    if (searchPath == nullptr) return "";
    const std::string path(searchPath);
    size_t start = 0;
    while (start <= path.size()) {
        size_t colon = path.find(':', start);
        if (colon == std::string::npos) colon = path.size();
        // An empty entry means the working folder, as the shell reads PATH.
        const std::string candidate =
            (colon == start ? std::string(".") : path.substr(start, colon - start)) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = colon + 1;
    }
    return "";
}

std::vector<std::string> ffmpegArguments(const VideoSettings& settings) {
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
    args.push_back(settings.path);
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
    video->pathExisted = stat(settings.path, &video->pathBefore) == 0;

    const std::vector<std::string> args = ffmpegArguments(settings);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // The write end closes on exec, so ffmpeg sees the end of its input when we close ours.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "brindlehop: cannot make a pipe to ffmpeg: %s\n",
                     std::strerror(errno));
        closeVideoPipe(video);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (failed != 0) {
        close(fds[1]);
        std::fprintf(stderr, "brindlehop: cannot start ffmpeg: %s\n", std::strerror(failed));
        closeVideoPipe(video);
        return false;
    }
    // Our end alone waits with a deadline; ffmpeg's end stays blocking, as it expects.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    video->fd = fds[1];
    video->pid = pid;
    startProgress(&video->progress, stderr, "capture", settings.frames);
    return true;
}

bool writeVideoFrame(VideoPipe* video, const Pixel* screen) {
    const Pixel* frame = screen;
    if (video->scale > 1) {
        scaleFrame(video->scaled, screen, video->scale);
        frame = video->scaled;
    }
    const WriteOutcome outcome =
        video->fd < 0 ? WriteOutcome::kEncoderGone
                      : writeAll(video->fd, frame, video->frameBytes, video->stallSeconds);
    if (outcome == WriteOutcome::kInterrupted) return false;
    if (outcome == WriteOutcome::kStalled) {
        // Nothing would ever come of it: it is not read from, so it gets no chance to finish.
        std::fprintf(stderr,
                     "\nbrindlehop: ffmpeg took no frame data for %.0f s after %llu frames; "
                     "stopping it\n",
                     video->stallSeconds, static_cast<unsigned long long>(video->framesWritten));
        stopEncoder(video, 0.0);
        return false;
    }
    if (outcome != WriteOutcome::kWritten) {
        const int error = errno;
        closeInput(video);
        const int status = waitForEncoder(video);
        std::fprintf(
            stderr, "\nbrindlehop: ffmpeg stopped taking frames after %llu of them (%s, %s)\n",
            static_cast<unsigned long long>(video->framesWritten),
            status < 0 ? "not running" : describeExit(status).c_str(), std::strerror(error));
        return false;
    }
    ++video->framesWritten;
    updateProgress(&video->progress, video->framesWritten);
    return true;
}

bool closeVideoPipe(VideoPipe* video) {
    bool ok = true;
    if (video->fd >= 0) {
        closeInput(video);
        finishProgress(&video->progress, video->framesWritten);
    }
    if (video->pid != 0) {
        const int status = waitForEncoder(video);
        if (status != 0) {
            std::fprintf(stderr, "brindlehop: ffmpeg failed (%s)\n",
                         status < 0 ? "lost" : describeExit(status).c_str());
            ok = false;
        }
    }
    delete[] video->scaled;
    video->scaled = nullptr;
    return ok;
}

void stopEncoder(VideoPipe* video, double graceSeconds) {
    closeInput(video);
    if (video->pid == 0) return;
    kill(video->pid, graceSeconds > 0.0 ? SIGTERM : SIGKILL);
    const double deadline = monotonicSeconds() + graceSeconds;
    int status = 0;
    while (waitpid(video->pid, &status, WNOHANG) == 0) {
        if (monotonicSeconds() >= deadline) {
            kill(video->pid, SIGKILL);
            waitForEncoder(video);
            return;
        }
        sleepSeconds(0.01);
    }
    video->pid = 0;
}

void removeUnfinishedVideo(const VideoPipe& video) {
    if (video.path == nullptr) return;
    struct stat now {};
    if (stat(video.path, &now) != 0) return;
    const struct stat& before = video.pathBefore;
    if (video.pathExisted && now.st_ino == before.st_ino && now.st_dev == before.st_dev &&
        now.st_size == before.st_size && now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
        now.st_mtim.tv_nsec == before.st_mtim.tv_nsec)
        return;
    if (std::remove(video.path) == 0)
        std::fprintf(stderr, "brindlehop: removed the unfinished video %s\n", video.path);
    else
        std::fprintf(stderr,
                     "brindlehop: the unfinished video %s was kept (cannot remove it: %s)\n",
                     video.path, std::strerror(errno));
}

int runCapture(const Options& options) {
    if (findProgram("ffmpeg", std::getenv("PATH")).empty()) {
        std::fprintf(stderr,
                     "brindlehop: --capture needs ffmpeg, which is not on the PATH.\n"
                     "  Install it with: sudo apt-get install ffmpeg\n");
        return kExitNoEncoder;
    }
    // A vanished ffmpeg must show up as a failed write with a message, not kill the show.
    signal(SIGPIPE, SIG_IGN);
    catchStopSignals();

    static ShowState state;
    static ShowAssets assets;
    if (!prepareShow(&state, &assets, showBuffers())) return kExitUsage;

    static OfflineMusic offline;
    const bool withMusic = openOfflineMusic(&offline, options.fps);
    if (!withMusic) std::fprintf(stderr, "brindlehop: no music; the video will be silent\n");
    ShowClock clock{&offline.clock, nullptr, 0, 0};
    readShowClock(&clock, &state);

    FrameSink sink{};
    sink.kind = FrameSinkKind::kCapture;
    sink.stopOnSignal = true;
    sink.fps = options.fps;
    sink.frameLimit = offlineFrameLimit(offline, options);
    // Counted first, so the video's length is known to ffmpeg and to the progress line.
    const uint64_t frames = countShowFrames(state, clock, sink.frameLimit);

    VideoSettings settings{options.capturePath.c_str(),
                           withMusic ? kMusicPath : nullptr,
                           options.fps,
                           options.scale,
                           options.codec.c_str(),
                           frames};
    static VideoPipe video;
    ShowEnd end = ShowEnd::kOutputFailed;
    bool closed = false;
    if (openVideoPipe(&video, settings)) {
        sink.video = &video;
        const double start = monotonicSeconds();
        end = runScenes(&state, &clock, &sink);
        // A stop signal may also have cut a wait on a full pipe short, which reads as a failed
        // frame.
        if (end != ShowEnd::kFinished && end != ShowEnd::kFrameLimit && stopSignal() != 0) {
            // The encoder was told a length the video will not reach: its file would hold the
            // music past the last picture, so it is stopped and the file removed.
            stopEncoder(&video, 5.0);
            closeVideoPipe(&video);
            std::fprintf(stderr, "\nbrindlehop: stopped by signal %d after %llu frames\n",
                         stopSignal(), static_cast<unsigned long long>(video.framesWritten));
            removeUnfinishedVideo(video);
            releaseOfflineMusic(&offline);
            return 128 + stopSignal();
        }
        closed = closeVideoPipe(&video);
        if (end == ShowEnd::kFrameLimit && options.untilSeconds < 0.0)
            std::fputs(
                frameLimitNote(offline, static_cast<double>(video.framesWritten) / options.fps)
                    .c_str(),
                stderr);
        if (end != ShowEnd::kOutputFailed && closed)
            std::fprintf(stderr, "brindlehop: wrote %s: %llu frames (%.2f s at %u fps) in %.1f s\n",
                         options.capturePath.c_str(),
                         static_cast<unsigned long long>(video.framesWritten),
                         static_cast<double>(video.framesWritten) / options.fps, options.fps,
                         monotonicSeconds() - start);
    }
    releaseOfflineMusic(&offline);
    if (end != ShowEnd::kOutputFailed && closed) return kExitOk;
    removeUnfinishedVideo(video);
    return kExitOutputFailed;
}
