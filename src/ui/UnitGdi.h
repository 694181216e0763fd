// Scope owners for GDI objects and device contexts: each releases exactly what it acquired, on every
// path out of the scope, exceptions included.
#pragma once

#include <windows.h>

#include <utility>

// Owns one GDI object (pen, brush, font, bitmap, region) and deletes it.
template <class THandle> class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(THandle Handle) : FObject(Handle) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    TGdiObject(TGdiObject&& Other) noexcept : FObject(Other.Release()) {}
    TGdiObject& operator=(TGdiObject&& Other) noexcept {
        if (this != &Other)
            Reset(Other.Release());
        return *this;
    }

    THandle Get() const { return FObject; }
    explicit operator bool() const { return FObject != nullptr; }
    // Deletes the held object (if any) and takes Handle instead.
    void Reset(THandle Handle = nullptr) {
        THandle old = std::exchange(FObject, Handle);
        if (old)
            DeleteObject(old);
    }
    // Gives up ownership without deleting; the caller (or the system) now owns the object.
    THandle Release() { return std::exchange(FObject, nullptr); }

private:
    THandle FObject = nullptr;
};

using TGdiPen = TGdiObject<HPEN>;
using TGdiFont = TGdiObject<HFONT>;
using TGdiBrush = TGdiObject<HBRUSH>;
using TGdiBitmap = TGdiObject<HBITMAP>;
using TGdiRegion = TGdiObject<HRGN>;

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

    HDC Dc() const { return FDc; }
    HGDIOBJ Previous() const { return FOld; }

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
    const PAINTSTRUCT& Info() const { return FPaint; }

private:
    HWND FWnd;
    PAINTSTRUCT FPaint;
    HDC FDc;
};
