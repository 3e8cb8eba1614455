// A part's background (a fullscreen picture, or a plain texture over the whole view) is drawn
// over a frame just cleared, so at one view size it gives the same pixels every frame. The cache draws it once into a framebuffer object of its own and
// copies those pixels into each later frame: for a software rasterizer that copy costs a small
// part of a textured, blended quad over the whole view. Where the context has no framebuffer
// objects (or the display cannot look them up), every frame draws the picture as before.
//
//   BackdropCache backdrop;
//   backdrop.SetLookup([&display](const char* name) { return display.GlFunction(name); });
//   glClear(GL_COLOR_BUFFER_BIT);
//   backdrop.Draw(slot);   // the frame now holds what DrawFullscreenImage(slot, 1.0f) draws
//
// GL objects are freed by Release (or the destructor) with the context current.
#pragma once

#include <cstdint>
#include <functional>

#include "show/show_tables.h"

class BackdropCache {
 public:
  using Lookup = std::function<void*(const char* name)>;

  BackdropCache() = default;
  ~BackdropCache() { Release(); }
  BackdropCache(const BackdropCache&) = delete;
  BackdropCache& operator=(const BackdropCache&) = delete;

  void SetLookup(Lookup lookup);

  // Puts into the frame (cleared with the current clear colour, nothing drawn yet) what
  // DrawFullscreenImage(slot, 1.0f) would, in the current viewport, and leaves the GL state as
  // that call does. Nothing for an empty slot.
  void Draw(const ImageSlot& slot);
  // The same for a background that is a plain texture: DrawTextureOverlay(texture, 1.0f).
  void DrawTexture(uint32_t texture);

  // Whether the last Draw copied pixels drawn earlier rather than drawing them.
  bool LastDrawCopied() const { return lastCopied_; }
  // Whether Draw(slot) or DrawTexture(texture), called now, would copy pixels drawn earlier:
  // every pixel of the view then gets the picture over the clear colour, whatever the frame
  // held. Uploads a picture still waiting for its texture, as Draw would.
  bool WouldCopy(const ImageSlot& slot);
  bool WouldCopyTexture(uint32_t texture);

  void Release();

 private:
  using Entry = void (*)();
  // What a background is: which texture, drawn by which routine (false: the fullscreen
  // picture's, true: the texture overlay's), and those routines with and without drawing.
  struct Source {
    uint32_t texture;
    bool plainTexture;
    std::function<void()> draw, leaveState;
  };
  void Draw(const Source& source);
  bool Ready();
  // The copy can stand for the drawing (entry points found, no scissor box or colour mask).
  bool CopyAllowed();
  // The cached pixels show this background at the current view size and clear colour.
  bool Current(uint32_t texture, bool plainTexture);
  bool MakeTarget(int width, int height);
  void Copy(int x, int y, int width, int height);

  Lookup lookup_;
  bool tried_ = false;
  bool usable_ = false;
  Entry genFramebuffers_ = nullptr, bindFramebuffer_ = nullptr, deleteFramebuffers_ = nullptr;
  Entry genRenderbuffers_ = nullptr, bindRenderbuffer_ = nullptr, deleteRenderbuffers_ = nullptr;
  Entry renderbufferStorage_ = nullptr, framebufferRenderbuffer_ = nullptr, checkStatus_ = nullptr;
  Entry blit_ = nullptr;

  uint32_t framebuffer_ = 0, renderbuffer_ = 0;
  int width_ = 0, height_ = 0;
  // What the cached pixels show: valid_ when drawn, for this texture, picture generation and
  // clear colour.
  bool valid_ = false;
  uint32_t texture_ = 0;
  bool plainTexture_ = false;
  uint64_t generation_ = 0;
  float clear_[4] = {0, 0, 0, 0};
  bool lastCopied_ = false;
};
