// A stand-in for ffmpeg.exe in the Windows capture tests, copied as ffmpeg.exe into a folder on
// the PATH. BRINDLEHOP_FAKE_ENCODER says what it does:
//   read   reads its standard input to the end, writes "<bytes> bytes" to the output file (its
//          last argument) and exits 0
//   die    reads one frame's worth and exits 3 without reading more
//   stall  reads nothing and waits until it is ended
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    const char* mode = std::getenv("BRINDLEHOP_FAKE_ENCODER");
    if (mode == nullptr || argc < 2) return 64;
    if (std::strcmp(mode, "stall") == 0) {
        std::this_thread::sleep_for(std::chrono::hours(1));
        return 0;
    }
    static char buffer[1 << 16];
    unsigned long long total = 0;
    const unsigned long long limit = std::strcmp(mode, "die") == 0 ? 512ull * 384 * 4 : ~0ull;
    size_t got;
    while (total < limit && (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        total += got;
    if (std::strcmp(mode, "die") == 0) return 3;
    FILE* out = std::fopen(argv[argc - 1], "wb");
    if (out == nullptr) return 65;
    std::fprintf(out, "%llu bytes\n", total);
    return std::fclose(out) == 0 ? 0 : 66;
}
