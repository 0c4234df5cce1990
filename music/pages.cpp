// The integrity check of an Ogg file: every page's checksum, sequence and position, and its end.
//
// Decoding a piece takes far longer than checking its pages (a checksum and a few fields per
// page of about 4 KB), so the whole file is checked before the music plays and damage anywhere
// in it is known at start-up, while the decoding itself runs later, a block at a time.
#include <ogg/ogg.h>

#include <algorithm>
#include <string>
#include <vector>

#include "music/music.h"

namespace {

// Bytes handed to the sync layer at a time.
constexpr size_t kFeedBytes = 65536;

// What the check remembers of one logical stream of the file (a chained file has several).
struct StreamPages {
    int serial;            // the stream's serial number
    long nextPage;         // sequence number the next page must carry
    ogg_int64_t position;  // last granule position seen, -1 before any
    bool ended;            // its end-of-stream page has been seen
};

std::string at(const char* what, size_t offset) {
    return std::string(what) + " (at byte " + std::to_string(offset) + ")";
}

}  // namespace

std::string checkOggPages(const unsigned char* bytes, size_t size) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    std::vector<StreamPages> streams;
    std::string damage;
    size_t offset = 0;  // file position of the next page or of the bytes being skipped
    size_t fed = 0;     // bytes handed to the sync layer so far
    ogg_page page;
    while (damage.empty()) {
        const long step = ogg_sync_pageseek(&sync, &page);
        if (step == 0) {
            if (fed < size) {
                // In slices, so the sync layer's buffer stays small (a page is at most 64 KB).
                const size_t slice = std::min<size_t>(size - fed, kFeedBytes);
                char* buffer = ogg_sync_buffer(&sync, static_cast<long>(slice));
                if (buffer == nullptr) {
                    damage = "out of memory while checking the pages";
                    break;
                }
                std::copy(bytes + fed, bytes + fed + slice, buffer);
                ogg_sync_wrote(&sync, static_cast<long>(slice));
                fed += slice;
                continue;
            }
            // What is left is the start of a page whose end is not in the file.
            if (offset < size) damage = at("truncated: the file ends inside a page", offset);
            break;
        }
        if (step < 0) {
            // The sync layer skips bytes that do not begin a page with a valid checksum.
            damage =
                at("damaged: a page fails its checksum, or bytes are missing or foreign", offset);
            break;
        }
        const int serial = ogg_page_serialno(&page);
        StreamPages* stream = nullptr;
        for (StreamPages& known : streams)
            if (known.serial == serial) stream = &known;
        if (stream == nullptr) {
            if (!ogg_page_bos(&page) || ogg_page_pageno(&page) != 0) {
                damage = at("damaged: a stream's first page is missing", offset);
                break;
            }
            streams.push_back(StreamPages{serial, 0, -1, false});
            stream = &streams.back();
        }
        const ogg_int64_t position = ogg_page_granulepos(&page);
        if (stream->ended) {
            damage = at("damaged: pages follow the end of the stream", offset);
        } else if (ogg_page_pageno(&page) != stream->nextPage) {
            damage = at("damaged: pages are missing", offset);
        } else if (position != -1 && position < stream->position) {
            damage = at("damaged: the stream's position runs backwards", offset);
        }
        stream->nextPage = ogg_page_pageno(&page) + 1;
        if (position != -1) stream->position = position;
        stream->ended = ogg_page_eos(&page) != 0;
        offset += static_cast<size_t>(step);
    }
    ogg_sync_clear(&sync);
    if (!damage.empty()) return damage;
    if (streams.empty()) return "no Ogg pages";
    for (const StreamPages& stream : streams)
        if (!stream.ended)
            return at("truncated: the file ends before the stream's last page", offset);
    return "";
}
