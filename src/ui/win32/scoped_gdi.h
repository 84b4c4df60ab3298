// Holders that give back what they hold when they go: a GDI object (font,
// brush) and the screen's device context.
#pragma once

#include <windows.h>

#include <utility>

namespace orvanta::win32 {

template <class Object>
class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(Object object = nullptr) : object_(object) {}
  ScopedGdiObject(ScopedGdiObject&& other) noexcept
      : object_(std::exchange(other.object_, nullptr)) {}
  ScopedGdiObject& operator=(ScopedGdiObject&& other) noexcept {
    if (this != &other) {
      Delete();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~ScopedGdiObject() { Delete(); }

  Object get() const { return object_; }

 private:
  void Delete() {
    if (object_) DeleteObject(object_);  // nothing for a stock object
    object_ = nullptr;
  }

  Object object_;
};

using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;

class ScreenDeviceContext {
 public:
  ScreenDeviceContext() : dc_(GetDC(nullptr)) {}
  ScreenDeviceContext(const ScreenDeviceContext&) = delete;
  ScreenDeviceContext& operator=(const ScreenDeviceContext&) = delete;
  ~ScreenDeviceContext() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }

  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace orvanta::win32
