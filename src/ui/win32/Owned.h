// Owners of the window's handles (fonts, brushes, bitmaps, the picture list, icons): each frees
// its handle when it goes or takes another, so no path out of a function leaks one.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <utility>

template <typename Handle, void (*Free)(Handle)>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(Handle handle = nullptr) {
        if (handle_ != nullptr) {
            Free(handle_);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = nullptr;
};

template <typename Object>
void DeleteGdiObject(Object object) {
    ::DeleteObject(object);
}
inline void DestroyPictureList(HIMAGELIST list) {
    ::ImageList_Destroy(list);
}
inline void DestroyIconHandle(HICON icon) {
    ::DestroyIcon(icon);
}

using OwnedFont = Owned<HFONT, DeleteGdiObject<HFONT>>;
using OwnedBrush = Owned<HBRUSH, DeleteGdiObject<HBRUSH>>;
using OwnedBitmap = Owned<HBITMAP, DeleteGdiObject<HBITMAP>>;
using OwnedPictureList = Owned<HIMAGELIST, DestroyPictureList>;
using OwnedIcon = Owned<HICON, DestroyIconHandle>;
