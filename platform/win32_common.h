// Pieces the Win32 backends share (display window, offscreen display, launcher); internal to
// platform/.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The failures of context set-up, in the order they can happen; the texts are shown to the user.
inline constexpr char kNoPixelFormat[] = "Can't Find A Suitable PixelFormat.";
inline constexpr char kCantSetPixelFormat[] = "Can't Set The PixelFormat.";
inline constexpr char kNoContext[] = "Can't Create A GL Rendering Context.";
inline constexpr char kCantActivate[] = "Can't activate GLRC.";

// The player's framebuffer: draw to window, OpenGL, double buffered; RGBA with 24 colour bits,
// 24 depth bits and nothing else (no alpha, accumulation, stencil or auxiliary buffers).
PIXELFORMATDESCRIPTOR PlayerPixelFormat();

// Chooses and sets the player's pixel format on `dc`, creates a GL context and makes it
// current. On failure returns null with the user's message in *why; nothing is left current.
HGLRC CreateGlContext(HDC dc, std::string* why);

// A GL entry point of the current context by name; nullptr where the driver has none (it may
// answer with small numbers for a missing one, which are not addresses).
void* WglFunction(const char* name);
// Deletes a context made by CreateGlContext after making nothing current; null is fine.
void DeleteGlContext(HGLRC context);

// The program's module and its icon (resource 128; the system's application icon when the
// program carries none).
HINSTANCE ProgramInstance();
HICON ProgramIcon(int size);

// One command-line argument quoted so that the C runtime's parser reads it back unchanged.
std::string QuoteArgument(const std::string& arg);

// Reads the current GL read buffer as RGBA rows, top row first.
bool ReadGlPixels(int width, int height, std::vector<unsigned char>* rgba);
