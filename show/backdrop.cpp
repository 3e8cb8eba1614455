#include "show/backdrop.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "show/pictures.h"
#include "show/viewport.h"

namespace {

template <typename T>
T As(void (*entry)()) {
  return reinterpret_cast<T>(entry);
}

}  // namespace

void BackdropCache::SetLookup(Lookup lookup) {
  Release();
  lookup_ = std::move(lookup);
  tried_ = false;
  usable_ = false;
}

bool BackdropCache::Ready() {
  if (tried_) return usable_;
  tried_ = true;
  if (!lookup_) return false;
  auto find = [this](const char* name) { return reinterpret_cast<Entry>(lookup_(name)); };
  genFramebuffers_ = find("glGenFramebuffers");
  bindFramebuffer_ = find("glBindFramebuffer");
  deleteFramebuffers_ = find("glDeleteFramebuffers");
  genRenderbuffers_ = find("glGenRenderbuffers");
  bindRenderbuffer_ = find("glBindRenderbuffer");
  deleteRenderbuffers_ = find("glDeleteRenderbuffers");
  renderbufferStorage_ = find("glRenderbufferStorage");
  framebufferRenderbuffer_ = find("glFramebufferRenderbuffer");
  checkStatus_ = find("glCheckFramebufferStatus");
  blit_ = find("glBlitFramebuffer");
  usable_ = genFramebuffers_ && bindFramebuffer_ && deleteFramebuffers_ && genRenderbuffers_ && bindRenderbuffer_ &&
            deleteRenderbuffers_ && renderbufferStorage_ && framebufferRenderbuffer_ && checkStatus_ && blit_;
  if (usable_) {
    // A copy into a multisampled frame is not allowed; such a frame draws its pictures.
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    usable_ = sampleBuffers == 0;
  }
  return usable_;
}

// The cache's own framebuffer: 8-bit colour like the frame (so the copy keeps every value) and
// no depth (the picture is drawn without it). Leaves it bound for drawing and reading.
bool BackdropCache::MakeTarget(int width, int height) {
  if (framebuffer_ == 0) As<PFNGLGENFRAMEBUFFERSPROC>(genFramebuffers_)(1, &framebuffer_);
  if (renderbuffer_ == 0) As<PFNGLGENRENDERBUFFERSPROC>(genRenderbuffers_)(1, &renderbuffer_);
  As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_FRAMEBUFFER, framebuffer_);
  As<PFNGLBINDRENDERBUFFERPROC>(bindRenderbuffer_)(GL_RENDERBUFFER, renderbuffer_);
  As<PFNGLRENDERBUFFERSTORAGEPROC>(renderbufferStorage_)(GL_RENDERBUFFER, GL_RGB8, width, height);
  As<PFNGLBINDRENDERBUFFERPROC>(bindRenderbuffer_)(GL_RENDERBUFFER, 0);
  As<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(framebufferRenderbuffer_)(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                                                GL_RENDERBUFFER, renderbuffer_);
  if (As<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(checkStatus_)(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  width_ = width;
  height_ = height;
  return true;
}

void BackdropCache::Draw(const ImageSlot& slot) {
  lastCopied_ = false;
  if (slot.texture == 0) return;
  UploadPicture(slot);  // a first upload changes the generation: before any comparison
  Draw(Source{slot.texture, false, [&slot] { DrawFullscreenImage(slot, 1.0f); },
              [&slot] { LeaveFullscreenImageState(slot, 1.0f); }});
}

void BackdropCache::DrawTexture(uint32_t texture) {
  lastCopied_ = false;
  Draw(Source{texture, true, [texture] { DrawTextureOverlay(texture, 1.0f); },
              [texture] { LeaveTextureOverlayState(texture, 1.0f); }});
}

bool BackdropCache::CopyAllowed() {
  if (!Ready()) return false;
  // The copy skips the scissor box and colour mask a drawing would obey; none is in use while
  // parts are drawn, but were one, the picture is drawn.
  GLboolean mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  return !glIsEnabled(GL_SCISSOR_TEST) && mask[0] && mask[1] && mask[2] && mask[3];
}

bool BackdropCache::Current(uint32_t texture, bool plainTexture) {
  const ViewportSize view = CurrentViewport();
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  return valid_ && texture_ == texture && plainTexture_ == plainTexture && generation_ == TextureGeneration() &&
         width_ == view.width && height_ == view.height && std::memcmp(clear, clear_, sizeof clear) == 0;
}

bool BackdropCache::WouldCopy(const ImageSlot& slot) {
  if (slot.texture == 0) return false;
  UploadPicture(slot);
  return CopyAllowed() && Current(slot.texture, false);
}

bool BackdropCache::WouldCopyTexture(uint32_t texture) { return CopyAllowed() && Current(texture, true); }

void BackdropCache::Draw(const Source& source) {
  if (!CopyAllowed()) {
    source.draw();
    return;
  }
  const ViewportSize view = CurrentViewport();
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  if (Current(source.texture, source.plainTexture)) {
    source.leaveState();
    Copy(view.x, view.y, view.width, view.height);
    lastCopied_ = true;
    return;
  }

  GLint drawFramebuffer = 0, readFramebuffer = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
  valid_ = false;
  if (width_ != view.width || height_ != view.height || framebuffer_ == 0) {
    if (!MakeTarget(view.width, view.height)) {
      As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
      As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
      Release();
      usable_ = false;
      source.draw();
      return;
    }
  } else {
    As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_FRAMEBUFFER, framebuffer_);
  }
  // The picture drawn as the frame would draw it, at the origin of a buffer of the view's size.
  CurrentViewport().x = CurrentViewport().y = 0;
  glViewport(0, 0, view.width, view.height);
  glClear(GL_COLOR_BUFFER_BIT);
  source.draw();
  CurrentViewport().x = view.x;
  CurrentViewport().y = view.y;
  glViewport(view.x, view.y, view.width, view.height);
  As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
  As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
  valid_ = true;
  texture_ = source.texture;
  plainTexture_ = source.plainTexture;
  generation_ = TextureGeneration();
  std::memcpy(clear_, clear, sizeof clear_);
  Copy(view.x, view.y, view.width, view.height);
}

void BackdropCache::Copy(int x, int y, int width, int height) {
  GLint readFramebuffer = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
  As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_READ_FRAMEBUFFER, framebuffer_);
  As<PFNGLBLITFRAMEBUFFERPROC>(blit_)(0, 0, width, height, x, y, x + width, y + height, GL_COLOR_BUFFER_BIT,
                                      GL_NEAREST);
  As<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
}

void BackdropCache::Release() {
  if (framebuffer_ && deleteFramebuffers_) As<PFNGLDELETEFRAMEBUFFERSPROC>(deleteFramebuffers_)(1, &framebuffer_);
  if (renderbuffer_ && deleteRenderbuffers_) As<PFNGLDELETERENDERBUFFERSPROC>(deleteRenderbuffers_)(1, &renderbuffer_);
  framebuffer_ = renderbuffer_ = 0;
  width_ = height_ = 0;
  valid_ = false;
}
