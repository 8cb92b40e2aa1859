#pragma once
// One owner type for the handles this program opens: registry keys, GDI
// objects, kernel objects. Each kind names its own closer.
#include <windows.h>

#include <utility>

namespace base {

template <typename T, auto Close>
class Handle {
public:
    Handle() = default;
    explicit Handle(T h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, T{})) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.h_, T{}));
        return *this;
    }
    ~Handle() { Reset(); }

    T Get() const { return h_; }
    T* Put() {
        Reset();
        return &h_;
    }
    T Release() { return std::exchange(h_, T{}); }
    void Reset(T h = T{}) {
        if (h_) Close(h_);
        h_ = h;
    }
    explicit operator bool() const { return h_ != T{}; }

private:
    T h_{};
};

inline void ReleaseKey(HKEY k) { RegCloseKey(k); }
inline void ReleaseGdi(HGDIOBJ o) { DeleteObject(o); }
inline void ReleaseKernel(HANDLE h) { CloseHandle(h); }

using KeyHandle = Handle<HKEY, ReleaseKey>;
template <typename G>
using GdiHandle = Handle<G, ReleaseGdi>;
using KernelHandle = Handle<HANDLE, ReleaseKernel>;

}  // namespace base
