// Scope owners for GDI objects, icons and device contexts: each releases exactly what it acquired, on every
// path out of the scope, exceptions included.
#pragma once

#include <windows.h>

#include <utility>

#include "support/UnitScopedHandle.h"

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
