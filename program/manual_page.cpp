// The manual page (section 6), written from the same option table as --help.
#include <string>

#include "program/options.h"

namespace {

// Text as roff reads it: a hyphen is a minus sign only when escaped, a backslash starts an
// escape, and a line that starts with a dot or a quote would be a request.
std::string roff(const char* text) {
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '-') {
            out += "\\-";
        } else if (*c == '\\') {
            out += "\\e";
        } else {
            out += *c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

}  // namespace

std::string manualPage() {
    std::string page;
    // Built with append only: GCC 12 warns falsely (-Wrestrict) on chains of string additions.
    page.append(".TH BRINDLEHOP 6 \"\" \"").append(roff(versionText())).append("\" \"Games\"\n");
    page +=
        ".SH NAME\n"
        "brindlehop \\- a real\\-time audiovisual demo\n"
        ".SH SYNOPSIS\n"
        ".B brindlehop\n"
        "[\\fIoptions\\fR]\n"
        ".SH DESCRIPTION\n"
        ".B brindlehop\n"
        "plays one piece of music and shows six scenes, every pixel computed on the CPU and "
        "every motion driven by the music clock: grid\\-mapped moving textures, "
        "colour\\-keyed overlays, inversion, fades, a running blur, sliding title cards, "
        "credits, and a lit, shaded 3D egg.\n"
        "It plays full screen and ends when the music does; Escape ends it at any time.\n"
        ".PP\n"
        "Without a sound card, or without its music, it shows a message and plays on a silent "
        "clock.\n"
        "The headless modes render on a fixed frame clock, so every run gives the same "
        "frames to the bit.\n"
        ".SH OPTIONS\n";
    for (const OptionDoc& option : optionTable()) {
        page.append(".TP\n.B ").append(roff(option.name));
        if (*option.argument != '\0')
            page.append(" \\fI").append(roff(option.argument)).append("\\fR");
        page.append("\n").append(roff(option.text)).append("\n");
    }
    page.append(".SH FILES\n.TP\n.I ").append(roff(BRINDLEHOP_SHARE_DIR));
    page +=
        "/data/\n"
        "The pictures, the 3D egg, its light and the music.\n"
        "The program looks for a folder\n"
        ".I data/\n"
        "in the working folder, then beside the program, then here.\n"
        ".SH EXIT STATUS\n";
    for (const ExitStatusDoc& exit : exitStatusTable())
        page.append(".TP\n")
            .append(roff(exit.status))
            .append("\n")
            .append(roff(exit.meaning))
            .append("\n");
    page +=
        ".SH ENVIRONMENT\n"
        ".TP\n"
        ".B SDL_VIDEODRIVER\n"
        "The SDL video back end of the live show, e.g.\n"
        ".B wayland\n"
        "or\n"
        ".BR x11 .\n"
        ".TP\n"
        ".B SDL_AUDIODRIVER\n"
        "The SDL audio back end, e.g.\n"
        ".BR pulseaudio .\n"
        ".SH EXAMPLES\n"
        ".TP\n"
        ".B brindlehop \\-\\-window\n"
        "Plays the show in a window.\n"
        ".TP\n"
        ".B brindlehop \\-\\-headless \\-\\-frames out \\-\\-at 2,25,45\n"
        "Writes the frames at 2, 25 and 45 seconds to\n"
        ".I out/\n"
        "as PNG and prints their checksums.\n"
        ".TP\n"
        ".B brindlehop \\-\\-capture show.mp4\n"
        "Renders the show with its music into a video.\n"
        ".SH SEE ALSO\n"
        ".BR ffmpeg (1)\n";
    return page;
}
