// A child program fed through a pipe into its standard input: started, written to with a
// deadline, and reaped.
//
// Usage:
//
//   ChildProcess child{};
//   if (!startChild(&child, {"ffmpeg", "-i", "-", "out.mkv"}, &why)) ...;
//   writeToChild(&child, bytes, size, 30.0);   // kWritten, kChildGone, kStalled, kInterrupted
//   closeChildInput(&child);                   // the child sees the end of its input
//   ChildStatus status = waitForChild(&child);
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A running child; the numbers are the system's own (descriptor and process id on POSIX,
// handles on Windows) and mean nothing outside platform/.
struct ChildProcess {
    intptr_t input = -1;     // our end of the pipe into the child; -1 when closed
    intptr_t process = 0;    // the child, 0 when none runs
    intptr_t inputWait = 0;  // Windows: the event a pending write signals
};

struct ChildStatus {
    enum class Kind : uint8_t { kLost, kExited, kSignalled } kind = Kind::kLost;
    int number = 0;  // the exit status, or the signal that ended it
};

// "exit status 1", "signal 9", or "lost".
std::string describeChildStatus(ChildStatus status);

// The full path of program in the folders of searchPath (PATH's form: ':' between folders on
// POSIX, ';' on Windows, where ".exe" is tried too), or "" when it is not there.
std::string findProgram(const char* program, const char* searchPath);

// The value of an environment variable, or null.
const char* environmentValue(const char* name);

// Starts args[0], found on the PATH, with args as its command line and the read end of a new
// pipe as its standard input; its standard error goes to errors (ours when null), its standard
// output is ours. false with the reason in *why.
bool startChild(ChildProcess* child, const std::vector<std::string>& args, FILE* errors,
                std::string* why);

enum class PipeWrite : uint8_t {
    kWritten,      // every byte is in the pipe
    kChildGone,    // the pipe broke: the child has ended (errno says how)
    kStalled,      // the child took nothing for the whole stall time
    kInterrupted,  // a stop signal arrived while the pipe was full
};

// Writes every byte, waiting while the pipe is full, at most stallSeconds without progress.
// Allocates nothing.
PipeWrite writeToChild(ChildProcess* child, const void* data, size_t size, double stallSeconds);

// Closes our end of the pipe: the child reads the end of its input. Safe to repeat.
void closeChildInput(ChildProcess* child);

// Waits for the child to end and reaps it (process becomes 0).
ChildStatus waitForChild(ChildProcess* child);

// Whether the child has ended; reaps it and fills *status when it has.
bool childEnded(ChildProcess* child, ChildStatus* status);

// Asks the child to end (SIGTERM; on Windows, where a console program has no such request,
// the closed input is the request and this does nothing), or ends it at once when hard.
void stopChild(ChildProcess* child, bool hard);

// How to get the encoder onto this system, one line for the message that it is missing.
const char* encoderInstallHint();

// This process's id, for names of temporary files.
int processId();
