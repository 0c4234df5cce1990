// A child program on a pipe, on Windows: a named pipe whose end we write with overlapped calls
// (so a write can wait with a deadline and end on a stop request), the other end the child's
// standard input.
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/os_clock.h"
#include "platform/os_process.h"
#include "platform/os_signals.h"
#include "platform/os_windows.h"

namespace {

constexpr DWORD kPipeBytes = 1 << 20;   // the pipe's buffer
constexpr DWORD kWriteChunk = 1 << 18;  // bytes per write, so progress shows within a frame

HANDLE handleOf(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

bool isFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a
// space, a tab or a quote (or is empty), backslashes doubled before a quote.
void appendQuoted(std::wstring* line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line->append(arg);
        return;
    }
    line->push_back(L'"');
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line->append(backslashes * 2 + 1, L'\\');
        else
            line->append(backslashes, L'\\');
        backslashes = 0;
        line->push_back(c);
    }
    line->append(backslashes * 2, L'\\');
    line->push_back(L'"');
}

// An inheritable copy of a handle of ours, or null when there is none.
HANDLE inheritableCopy(HANDLE ours) {
    HANDLE copy = nullptr;
    if (ours == nullptr || ours == INVALID_HANDLE_VALUE) return nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), ours, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

bool fail(std::string* why, const char* what) {
    const int error = errnoFromSystemError(GetLastError());
    *why = std::string(what) + std::strerror(error);
    return false;
}

}  // namespace

std::string describeChildStatus(ChildStatus status) {
    switch (status.kind) {
        case ChildStatus::Kind::kExited:
            // Crashes end with an NTSTATUS code such as 0xC0000005, which reads best in hex.
            if (static_cast<unsigned>(status.number) >= 0xC0000000u) {
                char text[40];
                std::snprintf(text, sizeof text, "exit status 0x%08X",
                              static_cast<unsigned>(status.number));
                return text;
            }
            return "exit status " + std::to_string(status.number);
        case ChildStatus::Kind::kSignalled:
            return "signal " + std::to_string(status.number);
        case ChildStatus::Kind::kLost:
            break;
    }
    return "lost";
}

std::string findProgram(const char* program, const char* searchPath) {
    if (searchPath == nullptr) return "";
    const std::string path(searchPath);
    const std::string name(program);
    const bool hasExtension = name.find('.') != std::string::npos;
    size_t start = 0;
    while (start <= path.size()) {
        size_t semicolon = path.find(';', start);
        if (semicolon == std::string::npos) semicolon = path.size();
        std::string folder =
            semicolon == start ? std::string(".") : path.substr(start, semicolon - start);
        // PATH entries may be quoted when they hold a ';'.
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        const std::string candidate = folder + "\\" + name;
        for (const char* extension : {"", ".exe", ".com"}) {
            if (hasExtension != (*extension == '\0')) continue;
            if (isFile(wideText(candidate + extension))) return candidate + extension;
        }
        start = semicolon + 1;
    }
    return "";
}

const char* environmentValue(const char* name) {
    // Kept per name asked, so a pointer stays good while the program runs.
    static thread_local std::string values[8];
    static thread_local std::string names[8];
    size_t slot = 0;
    while (slot < 8 && !names[slot].empty() && names[slot] != name)
        ++slot;
    if (slot == 8) slot = 0;
    const wchar_t* value = _wgetenv(wideText(name).c_str());
    if (value == nullptr) return nullptr;
    names[slot] = name;
    values[slot] = utf8Text(value);
    return values[slot].c_str();
}

bool startChild(ChildProcess* child, const std::vector<std::string>& args, FILE* errors,
                std::string* why) {
    *child = ChildProcess{};
    if (args.empty()) {
        *why = "no program";
        return false;
    }
    const std::string program = findProgram(args[0].c_str(), environmentValue("PATH"));
    if (program.empty()) {
        *why = std::strerror(ENOENT);
        return false;
    }
    std::wstring line;
    for (const std::string& arg : args) {
        if (!line.empty()) line.push_back(L' ');
        appendQuoted(&line, wideText(arg));
    }

    static std::atomic<unsigned> pipesMade{0};
    const std::wstring pipeName = L"\\\\.\\pipe\\brindlehop-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(pipesMade++);
    HANDLE ours = CreateNamedPipeW(
        pipeName.c_str(),
        PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBytes, 0, 0, nullptr);
    if (ours == INVALID_HANDLE_VALUE) return fail(why, "cannot make a pipe: ");
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE theirs = CreateFileW(pipeName.c_str(), GENERIC_READ, 0, &inherited, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (theirs == INVALID_HANDLE_VALUE) {
        fail(why, "cannot make a pipe: ");
        CloseHandle(ours);
        return false;
    }
    HANDLE written = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = theirs;
    startup.hStdOutput = inheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    startup.hStdError = inheritableCopy(
        errors != nullptr ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(errors)))
                          : GetStdHandle(STD_ERROR_HANDLE));
    PROCESS_INFORMATION started{};
    // Without a console of our own (the windowed program), the child must not open one.
    const DWORD flags = GetConsoleWindow() == nullptr ? CREATE_NO_WINDOW : 0;
    const BOOL ok = CreateProcessW(wideText(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                   flags, nullptr, nullptr, &startup, &started);
    const DWORD error = GetLastError();
    CloseHandle(theirs);
    if (startup.hStdOutput) CloseHandle(startup.hStdOutput);
    if (startup.hStdError) CloseHandle(startup.hStdError);
    if (!ok || written == nullptr) {
        CloseHandle(ours);
        if (written) CloseHandle(written);
        SetLastError(error);
        return fail(why, "");
    }
    CloseHandle(started.hThread);
    child->input = reinterpret_cast<intptr_t>(ours);
    child->process = reinterpret_cast<intptr_t>(started.hProcess);
    child->inputWait = reinterpret_cast<intptr_t>(written);
    return true;
}

PipeWrite writeToChild(ChildProcess* child, const void* data, size_t size, double stallSeconds) {
    if (child->input < 0) {
        errno = EPIPE;
        return PipeWrite::kChildGone;
    }
    HANDLE pipe = handleOf(child->input);
    HANDLE written = handleOf(child->inputWait);
    const char* bytes = static_cast<const char*>(data);
    double deadline = monotonicSeconds() + stallSeconds;
    while (size > 0) {
        OVERLAPPED pending{};
        pending.hEvent = written;
        ResetEvent(written);
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kWriteChunk));
        DWORD done = 0;
        if (!WriteFile(pipe, bytes, chunk, nullptr, &pending)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) {
                errnoFromSystemError(error);
                return PipeWrite::kChildGone;
            }
            const double left = deadline - monotonicSeconds();
            const DWORD wait = left <= 0.0 ? 0 : static_cast<DWORD>(std::ceil(left * 1000.0));
            const HANDLE events[2] = {written, stopRequestEvent()};
            const DWORD woken = WaitForMultipleObjects(2, events, FALSE, wait);
            if (woken != WAIT_OBJECT_0) CancelIoEx(pipe, &pending);
            // After a cancel, this waits for the write to settle: some bytes may have gone.
            if (!GetOverlappedResult(pipe, &pending, &done, TRUE)) {
                const DWORD failed = GetLastError();
                if (failed != ERROR_OPERATION_ABORTED) {
                    errnoFromSystemError(failed);
                    return PipeWrite::kChildGone;
                }
            }
            if (done == 0 && woken == WAIT_OBJECT_0 + 1) return PipeWrite::kInterrupted;
            if (done == 0 && woken == WAIT_TIMEOUT) return PipeWrite::kStalled;
        } else if (!GetOverlappedResult(pipe, &pending, &done, FALSE)) {
            errnoFromSystemError(GetLastError());
            return PipeWrite::kChildGone;
        }
        if (done > 0) {
            bytes += done;
            size -= done;
            deadline = monotonicSeconds() + stallSeconds;
        }
        if (stopSignal() != 0 && size > 0) return PipeWrite::kInterrupted;
    }
    return PipeWrite::kWritten;
}

void closeChildInput(ChildProcess* child) {
    if (child->input >= 0) CloseHandle(handleOf(child->input));
    if (child->inputWait != 0) CloseHandle(handleOf(child->inputWait));
    child->input = -1;
    child->inputWait = 0;
}

ChildStatus waitForChild(ChildProcess* child) {
    if (child->process == 0) return {};
    HANDLE process = handleOf(child->process);
    child->process = 0;
    DWORD code = 0;
    const bool ok = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (!ok) return {};
    return {ChildStatus::Kind::kExited, static_cast<int>(code)};
}

bool childEnded(ChildProcess* child, ChildStatus* status) {
    if (child->process == 0) return true;
    if (WaitForSingleObject(handleOf(child->process), 0) == WAIT_TIMEOUT) return false;
    *status = waitForChild(child);
    return true;
}

// The status a child ended here gets: what a shell reports for one killed by SIGKILL.
void stopChild(ChildProcess* child, bool hard) {
    if (child->process != 0 && hard) TerminateProcess(handleOf(child->process), 128 + 9);
}

const char* encoderInstallHint() {
    return "Get a Windows build of ffmpeg (ffmpeg.exe, see https://ffmpeg.org/download.html) and "
           "add the folder that holds it to the PATH";
}

int processId() {
    return static_cast<int>(GetCurrentProcessId());
}
