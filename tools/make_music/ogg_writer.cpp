// Ogg Vorbis encoding of the tune through libvorbisenc, with a fixed stream serial number.
#include "tools/make_music/ogg_writer.h"

#include <vorbis/vorbisenc.h>

#include <cstdio>

namespace {

// A fixed serial number: libogg takes any value, and a random one would change the file's bytes.
constexpr int kStreamSerial = 0x42484f50;
constexpr int kChunk = 1024;  // samples handed to the encoder at a time

bool writePages(ogg_stream_state* stream, std::FILE* file, bool flush) {
    ogg_page page;
    while ((flush ? ogg_stream_flush(stream, &page) : ogg_stream_pageout(stream, &page)) != 0) {
        if (std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file) !=
                static_cast<size_t>(page.header_len) ||
            std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file) !=
                static_cast<size_t>(page.body_len)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool encodeOggVorbis(const StereoTrack& track, const char* path, float quality,
                     std::string* error) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 2, kTuneRate, quality) != 0) {
        vorbis_info_clear(&info);
        *error =
            std::string(path) + ": the Vorbis encoder refused quality " + std::to_string(quality);
        return false;
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        vorbis_info_clear(&info);
        *error = std::string(path) + ": cannot open for writing";
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "TITLE", "Tolvik tune");
    vorbis_comment_add_tag(&comment, "ARTIST", "Brindlehop");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, kStreamSerial);

    ogg_packet header;
    ogg_packet headerComment;
    ogg_packet headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    // The audio must start on a fresh page, as the Vorbis mapping of Ogg requires.
    bool ok = writePages(&stream, file, true);

    const size_t total = track.left.size();
    size_t done = 0;
    bool ended = false;
    while (ok && !ended) {
        const size_t count = total - done < kChunk ? total - done : kChunk;
        if (count == 0) {
            vorbis_analysis_wrote(&dsp, 0);  // end of stream
            ended = true;
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            for (size_t i = 0; i < count; ++i) {
                buffer[0][i] = track.left[done + i];
                buffer[1][i] = track.right[done + i];
            }
            vorbis_analysis_wrote(&dsp, static_cast<int>(count));
            done += count;
        }
        while (ok && vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (ok && vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&stream, &packet);
                ok = writePages(&stream, file, false);
            }
        }
    }
    ok = ok && writePages(&stream, file, true);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) *error = std::string(path) + ": write failed";
    return ok;
}
