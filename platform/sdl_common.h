// Pieces the SDL window code shares (launcher and display window); internal to platform/.
#pragma once

#include <string>

struct SDL_Window;

// Starts SDL's video subsystem (counted: each successful call needs one SdlVideoRelease).
bool SdlVideoAcquire(std::string* why);
void SdlVideoRelease();

// Requests the player's GL framebuffer for windows created next: compatibility profile,
// 8-bit red, green and blue, no alpha, 24-bit depth, no stencil, double buffered.
bool SdlRequestGlFormat();

// Gives a window the program's icon (the launcher picture drawn small).
void SdlSetProgramIcon(SDL_Window* window);
