#include "Platform/Gfx/PipelineBuffer.h"

#include <cstring>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/DrawState.h"
#include "Platform/Gfx/GfxLog.h"

namespace gfx {

HRESULT CheckBufferRequest(uint32_t length, uint32_t usage, D3DPOOL pool) {
  if (length == 0) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM) {
    return D3DERR_INVALIDCALL;
  }
  if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
  // Direct3D keeps no managed copy of memory that the driver renames at every discard.
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

PipelineBuffer::PipelineBuffer(D3DDeviceGl& device, uint32_t length, uint32_t usage, D3DPOOL pool,
                               bool keepCopy)
    : device_(&device),
      shared_(device.Shared()),
      length_(length),
      dynamic_((usage & D3DUSAGE_DYNAMIC) != 0),
      defaultPool_(pool == D3DPOOL_DEFAULT) {
  if (!dynamic_ || keepCopy) copy_.assign(length, 0);
  if (defaultPool_) ++shared_->liveDefaultPool;
}

PipelineBuffer::~PipelineBuffer() {
  if (defaultPool_) --shared_->liveDefaultPool;
  if (name_ == 0 || !DeviceAlive()) return;
  if (!device_->MakeCurrent()) return;
  device_->Draw().ForgetBuffer(name_);
  if (locked_ && !Copy()) {
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    glUnmapBuffer(GL_COPY_WRITE_BUFFER);
  }
  glDeleteBuffers(1, &name_);
}

bool PipelineBuffer::DeviceAlive() const { return shared_->deviceAlive; }

bool PipelineBuffer::BelongsTo(const D3DDeviceGl& device) const {
  return shared_ == device.Shared();
}

bool PipelineBuffer::Create() {
  while (glGetError() != GL_NO_ERROR) {
  }
  glGenBuffers(1, &name_);
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  glBufferData(GL_COPY_WRITE_BUFFER, length_, Copy(), dynamic_ ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) {
    GfxLog("gfx: buffer of %u bytes refused (GL error 0x%X)\n", length_, error);
    return false;
  }
  ++version_;
  return true;
}

HRESULT PipelineBuffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked_) {
    GfxLog("gfx: buffer locked again before Unlock\n");
    return D3DERR_INVALIDCALL;
  }
  if (offset > length_) return D3DERR_INVALIDCALL;
  if (size == 0) size = length_ - offset;
  if (size == 0 || size > length_ - offset) return D3DERR_INVALIDCALL;
  if ((flags & D3DLOCK_READONLY) && (flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE))) {
    return D3DERR_INVALIDCALL;
  }

  if (Copy()) {
    *data = copy_.data() + offset;
  } else {
    if (!DeviceAlive() || !device_->MakeCurrent()) return D3DERR_INVALIDCALL;
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    GLbitfield access = GL_MAP_WRITE_BIT;
    if (flags & D3DLOCK_READONLY) {
      access = GL_MAP_READ_BIT;
    } else if (flags & D3DLOCK_DISCARD) {
      glBufferData(GL_COPY_WRITE_BUFFER, length_, nullptr, GL_DYNAMIC_DRAW);
    } else if (flags & D3DLOCK_NOOVERWRITE) {
      access |= GL_MAP_UNSYNCHRONIZED_BIT;
    } else {
      access |= GL_MAP_READ_BIT;
    }
    void* mapped = glMapBufferRange(GL_COPY_WRITE_BUFFER, offset, size, access);
    if (!mapped) {
      GfxLog("gfx: buffer of %u bytes cannot be mapped at %u (+%u)\n", length_, offset, size);
      return D3DERR_INVALIDCALL;
    }
    *data = mapped;
  }
  locked_ = true;
  lockOffset_ = offset;
  lockSize_ = size;
  lockFlags_ = flags;
  return D3D_OK;
}

HRESULT PipelineBuffer::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  const bool wrote = (lockFlags_ & D3DLOCK_READONLY) == 0;
  if (!DeviceAlive() || !device_->MakeCurrent()) return Copy() ? D3D_OK : D3DERR_INVALIDCALL;
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  if (!Copy()) {
    if (glUnmapBuffer(GL_COPY_WRITE_BUFFER) == GL_FALSE) {
      GfxLog("gfx: the driver lost a mapped buffer's contents\n");
    }
  } else if (wrote && dynamic_ && (lockFlags_ & D3DLOCK_DISCARD)) {
    // Fresh storage for the whole buffer, so that draws still reading the old are not waited
    // for; the copy holds what Direct3D leaves undefined, which does no harm.
    glBufferData(GL_COPY_WRITE_BUFFER, length_, copy_.data(), GL_DYNAMIC_DRAW);
  } else if (wrote) {
    glBufferSubData(GL_COPY_WRITE_BUFFER, lockOffset_, lockSize_, copy_.data() + lockOffset_);
  }
  if (wrote) ++version_;
  return D3D_OK;
}

}  // namespace gfx
