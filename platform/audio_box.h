// The message box that tells of a music failure ("No Init", "Can`t play file").
#pragma once

#include <SDL.h>

#include "platform/audio.h"

// The box for text: an error box captioned "Error" with one OK button, owned by the show's
// window when the player knows it, so it cannot open hidden behind the full-screen window.
// button receives the OK button the record points to; it must outlive the record.
SDL_MessageBoxData audioFailureBox(const AudioPlayer* player, const char* text,
                                   SDL_MessageBoxButtonData* button);
