// Scope owners for GDI objects, icons and device contexts: each releases exactly what it acquired, on every
// path out of the scope, exceptions included.
#pragma once

#include <windows.h>

#include <utility>

// Owns one handle and frees it with Free (DeleteObject, DestroyIcon, ...); null holds nothing.
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

    THandle Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    // Frees the held handle (if any) and takes Handle instead.
    void Reset(THandle Handle = nullptr) {
        THandle old = std::exchange(FHandle, Handle);
        if (old)
            Free(old);
    }
    // Gives up ownership without freeing; the caller (or the system) now owns the handle.
    THandle Release() { return std::exchange(FHandle, nullptr); }

private:
    THandle FHandle = nullptr;
};

using TGdiPen = TScopedHandle<HPEN, &DeleteObject>;
using TGdiFont = TScopedHandle<HFONT, &DeleteObject>;
using TGdiBitmap = TScopedHandle<HBITMAP, &DeleteObject>;
using TGdiRegion = TScopedHandle<HRGN, &DeleteObject>;
using TIconHandle = TScopedHandle<HICON, &DestroyIcon>;

// Selects an object into a DC and puts the DC's previous object back into that same DC on exit.
// Must not outlive the selected object's owner, which is declared before the guard.
class TSelectGuard {
public:
    TSelectGuard(HDC Dc, HGDIOBJ Object) : FDc(Dc), FOld(SelectObject(Dc, Object)) {}
    ~TSelectGuard() {
        if (FOld && FOld != HGDI_ERROR)
            SelectObject(FDc, FOld);
    }
    TSelectGuard(const TSelectGuard&) = delete;
    TSelectGuard& operator=(const TSelectGuard&) = delete;

private:
    HDC FDc;
    HGDIOBJ FOld;
};

// GetDC (client area) or GetWindowDC (whole window) with the matching ReleaseDC.
class TWindowDc {
public:
    enum TArea { daClient, daWindow };
    explicit TWindowDc(HWND Wnd, TArea Area = daClient)
        : FWnd(Wnd), FDc(Area == daWindow ? GetWindowDC(Wnd) : GetDC(Wnd)) {}
    ~TWindowDc() {
        if (FDc)
            ReleaseDC(FWnd, FDc);
    }
    TWindowDc(const TWindowDc&) = delete;
    TWindowDc& operator=(const TWindowDc&) = delete;

    HDC Get() const { return FDc; }

private:
    HWND FWnd;
    HDC FDc;
};

// BeginPaint ... EndPaint.
class TPaintDc {
public:
    explicit TPaintDc(HWND Wnd) : FWnd(Wnd), FPaint{}, FDc(BeginPaint(Wnd, &FPaint)) {}
    ~TPaintDc() {
        if (FDc)
            EndPaint(FWnd, &FPaint);
    }
    TPaintDc(const TPaintDc&) = delete;
    TPaintDc& operator=(const TPaintDc&) = delete;

    HDC Get() const { return FDc; }

private:
    HWND FWnd;
    PAINTSTRUCT FPaint;
    HDC FDc;
};
