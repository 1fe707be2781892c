// Owners: each holds one handle or runtime value and releases it exactly once,
// at the end of its scope, unless it was handed on (release) first. The
// window-system owners and DC guards are in st/gdi_owned.h (this header stays
// free of <windows.h>, whose macros rename the core library's commands).
#pragma once

#include <cstddef>
#include <utility>

#include "st/values.h"

namespace st {

// A handle of type H released by Release(h); None is the value that holds nothing.
template <typename H, auto Release, H None = H{}> class Owned {
  public:
    explicit Owned(H handle = None) : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Owned() { reset(); }

    H get() const { return handle_; }
    explicit operator bool() const { return handle_ != None; }
    bool operator==(std::nullptr_t) const { return handle_ == None; }
    // Gives the handle up without releasing it.
    H release() { return std::exchange(handle_, None); }
    void reset(H handle = None) {
        if (handle_ != None) Release(handle_);
        handle_ = handle;
    }

  private:
    H handle_;
};

// A runtime value (text or byte set) owned for the length of a scope.
class Held : public Owned<void*, &FreeMemory> {
  public:
    using Owned::Owned;
    char* text() const { return static_cast<char*>(get()); }
};

} // namespace st
