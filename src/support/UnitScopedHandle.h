// The scope owner of one system handle: kernel objects, GDI objects, icons, drops, searches.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

// Owns one handle and frees it with Free (CloseHandle, DeleteObject, DestroyIcon, ...). A kernel handle
// is empty when it is null or INVALID_HANDLE_VALUE: CreateFileA and FindFirstFileA fail with the latter,
// most other functions with null, and neither may be freed.
template <class THandle, auto Free> class TScopedHandle {
public:
    TScopedHandle() = default;
    explicit TScopedHandle(THandle Handle) : FHandle(Handle) {}
    ~TScopedHandle() { Reset(); }
    TScopedHandle(const TScopedHandle&) = delete;
    TScopedHandle& operator=(const TScopedHandle&) = delete;
    TScopedHandle(TScopedHandle&& Other) noexcept : FHandle(Other.Release()) {}
    TScopedHandle& operator=(TScopedHandle&& Other) noexcept {
        if (this != &Other)
            Reset(Other.Release());
        return *this;
    }

    static bool Holds(THandle Handle) {
        if constexpr (std::is_same_v<THandle, HANDLE>)
            return Handle != nullptr && Handle != INVALID_HANDLE_VALUE;
        else
            return Handle != nullptr;
    }
    THandle Get() const { return FHandle; }
    explicit operator bool() const { return Holds(FHandle); }
    // Frees the held handle (if any) and takes Handle instead.
    void Reset(THandle Handle = nullptr) {
        THandle old = std::exchange(FHandle, Handle);
        if (Holds(old))
            Free(old);
    }
    // Gives up ownership without freeing; the caller (or the system) now owns the handle.
    THandle Release() { return std::exchange(FHandle, nullptr); }

private:
    THandle FHandle = nullptr;
};

using TKernelHandle = TScopedHandle<HANDLE, &CloseHandle>;
