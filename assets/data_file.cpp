// Whole files from the data folder in memory, and the stdio-like reads over them.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/assets.h"

namespace {

constexpr int kPathSize = 256;  // "data/" plus names of up to 250 characters and the NUL

}  // namespace

DataFile* readDataFile(const char* name, std::string* why, uint64_t maxBytes) {
    auto fail = [why](const char* reason) -> DataFile* {
        if (why) *why = reason;
        return nullptr;
    };
    if (!name) return fail("no name");
    char path[kPathSize];
    int pathLength = std::snprintf(path, sizeof path, "data/%s", name);
    // A longer name would be cut and open some other file; refuse it instead.
    if (pathLength < 0 || pathLength >= kPathSize) return fail("the name is too long");

    // Lengths and positions are 32-bit: no data file is larger than 2 GiB.
    FILE* stream = openRegularFile(path, why, std::min<uint64_t>(maxBytes, INT32_MAX));
    if (!stream) return nullptr;
    long size = -1;
    if (std::fseek(stream, 0, SEEK_END) == 0) size = std::ftell(stream);
    if (size < 0 || size > INT32_MAX || std::fseek(stream, 0, SEEK_SET) != 0) {
        std::fclose(stream);
        return fail(size > INT32_MAX ? "larger than 2 GiB" : "its size cannot be taken");
    }
    // One byte more than needed, so that an empty file still gets a real allocation.
    auto* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size) + 1));
    if (!bytes) {
        std::fclose(stream);
        return fail("no memory for its bytes");
    }
    size_t got = std::fread(bytes, 1, static_cast<size_t>(size), stream);
    bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed || got != static_cast<size_t>(size)) {
        std::free(bytes);
        return fail(failed ? "a read error" : "it shrank while being read");
    }
    auto* file = static_cast<DataFile*>(std::malloc(sizeof(DataFile)));
    if (!file) {
        std::free(bytes);
        return fail("no memory for its record");
    }
    file->length = static_cast<int32_t>(size);
    file->bytes = bytes;
    file->position = 0;
    return file;
}

void releaseDataFile(DataFile* file) {
    if (!file) return;
    std::free(file->bytes);
    file->length = 0;
    file->bytes = nullptr;
    file->position = 0;
    std::free(file);
}

uint32_t dataFileRead(void* buffer, uint32_t size, uint32_t count, DataFile* file) {
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < count; ++i) {
        // Summed in 64 bits: a position moved near 2^32 by a seek must not wrap back into the
        // file and copy from far outside it.
        if (uint64_t{file->position} + size > static_cast<uint64_t>(file->length)) return i;
        if (size > 0) std::memcpy(out + size_t{i} * size, file->bytes + file->position, size);
        file->position += size;
    }
    return count;
}

int32_t dataFileSeek(DataFile* file, int32_t offset, int32_t origin) {
    // Unsigned arithmetic: the position may be moved anywhere, even before the start; reads
    // check it against the length.
    uint32_t by = static_cast<uint32_t>(offset);
    switch (origin) {
        case 0:
            file->position = by;
            break;
        case 1:
            file->position += by;
            break;
        case 2:
            file->position = static_cast<uint32_t>(file->length) - by;
            break;
        default:
            break;
    }
    return 0;
}

uint32_t dataFileTell(const DataFile* file) {
    return file->position;
}
