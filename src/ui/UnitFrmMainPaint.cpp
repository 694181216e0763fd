// The painted badge: gradient, rim, separator, labels, link text, progress arc and caption title.
#include "ui/UnitFrmMain.h"

#include <shellapi.h>

#include <cmath>
#include <numbers>

#include "support/UnitLanguage.h"

namespace {

// The home page opened by the link, and the address text painted as the link.
const char* const HomePageUrl = "https://chunkler.example.org";
const char* const HomePageText = "chunkler.example.org";

HPEN SolidPen(int Width, COLORREF Colour) {
    return CreatePen(PS_SOLID, Width, Colour);
}

COLORREF TruncRgb(double R, double G, double B) {
    return RGB(static_cast<BYTE>(std::trunc(R)), static_cast<BYTE>(std::trunc(G)),
               static_cast<BYTE>(std::trunc(B)));
}

// Diagonal lines, 2 pixels apart, fading from the button face at the left to light blue at the right.
void PaintGradient(HDC Dc) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    double r = GetRValue(face), g = GetGValue(face), b = GetBValue(face);
    const double dr = (166 - r) / ClientWidth, dg = (202 - g) / ClientWidth, db = (240 - b) / ClientWidth;
    TGdiPen pen(SolidPen(2, TruncRgb(r, g, b)));
    TSelectGuard keep(Dc, pen.Get());
    for (int i = 0; i <= ClientWidth; ++i) {
        const bool odd = (i % 2) != 0;
        if (odd) {
            MoveToEx(Dc, i + 50, 0, nullptr);
            LineTo(Dc, i - 50, ClientHeight);
        }
        r += dr;
        g += dg;
        b += db;
        if (odd) {
            TGdiPen next(SolidPen(2, TruncRgb(r, g, b)));
            SelectObject(Dc, next.Get());
            pen = std::move(next); // the replaced pen is no longer selected, so it may go
        }
    }
}

// A raised rim lit from the upper left: dark over the lower right part, light over the rest.
void PaintRim(HDC Dc) {
    const int h = CaptionHeight;
    const int yA = (3 * (h + ClientHeight)) / 5 - h;
    const int yB = (2 * (h + ClientHeight)) / 5 - h;
    struct TArcDef {
        int Colour;
        int Grow; // the outer ring is one pixel larger on every side
        bool Lower;
    };
    static const TArcDef Arcs[] = {
        {COLOR_BTNSHADOW, 0, true},
        {COLOR_3DDKSHADOW, 1, true},
        {COLOR_BTNHIGHLIGHT, 0, false},
        {COLOR_3DLIGHT, 1, false},
    };
    TGdiPen pen;
    TSelectGuard keep(Dc, GetStockObject(BLACK_PEN));
    for (const TArcDef& arc : Arcs) {
        TGdiPen next(SolidPen(3, GetSysColor(arc.Colour)));
        SelectObject(Dc, next.Get());
        pen = std::move(next);
        const int left = -arc.Grow, top = -h - arc.Grow, right = ClientWidth + arc.Grow,
                  bottom = ClientHeight + arc.Grow;
        if (arc.Lower)
            Arc(Dc, left, top, right, bottom, 0, yA, ClientWidth, yB);
        else
            Arc(Dc, left, top, right, bottom, ClientWidth, yB, 0, yA);
    }
}

void PaintTexts(HDC Dc, HFONT Font) {
    struct TTextDef {
        int Msg; // catalogue entry, or -1 for the home page address
        int X, Y;
        UINT Align;
        int SysColour; // -1: Colour below
        COLORREF Colour;
    };
    static const TTextDef Texts[] = {
        {MsgSourceLabel, 211, 10, TA_CENTER, -1, RGB(0, 0, 0)},
        {MsgOutputDirLabel, 55, 60, TA_LEFT, -1, RGB(0, 0, 0)},
        {MsgOnlyForSplitting, 39, 90, TA_LEFT, COLOR_GRAYTEXT, 0},
        {MsgSizeLabel, 217, 102, TA_RIGHT, -1, RGB(0, 0, 0)},
        {MsgCopyProgram, 75, 126, TA_LEFT, -1, RGB(0, 0, 0)},
        {MsgCreateBatch, 93, 144, TA_LEFT, -1, RGB(0, 0, 0)},
        {-1, 211, 200, TA_CENTER, -1, RGB(0, 0, 255)},
    };
    TSelectGuard keep(Dc, Font);
    SetBkMode(Dc, TRANSPARENT);
    for (const TTextDef& def : Texts) {
        const std::string text = def.Msg >= 0 ? FormatMsg(def.Msg) : std::string(HomePageText);
        SetTextAlign(Dc, def.Align | TA_TOP);
        SetTextColor(Dc, def.SysColour >= 0 ? GetSysColor(def.SysColour) : def.Colour);
        TextOutA(Dc, def.X, def.Y, text.c_str(), static_cast<int>(text.size()));
    }
}

} // namespace

void TFrmMain::WMPaint(TMessage&) {
    {
        TPaintDc paint(FHandle);
        const HDC dc = paint.Get();
        PaintGradient(dc);
        PaintRim(dc);
        RECT line{39, 86, 383, 86};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
        PaintTexts(dc, FFont.Get());
    }
    PaintProgressArc();
}

void TFrmMain::PaintProgressArc() {
    if (FProgressPos <= 0 || FProgressMax <= 0)
        return;
    // Drawn over whatever is on the screen, on the whole client area whether or not any of it is
    // invalid; then nothing is left to repaint, so the badge is not redrawn for every step.
    using std::numbers::pi_v;
    const long double start = 3 * pi_v<long double> / 4;
    const long double end = start + (3 * pi_v<long double> / 2 / static_cast<long double>(FProgressMax)) *
                                        static_cast<long double>(FProgressPos);
    auto pointX = [](long double angle) { return 211 + static_cast<int>(std::trunc(100 * std::cos(angle))); };
    auto pointY = [](long double angle) { return 115 - static_cast<int>(std::trunc(100 * std::sin(angle))); };
    {
        TWindowDc dc(FHandle);
        TGdiPen pen(SolidPen(3, RGB(120, 192, 120)));
        TSelectGuard keep(dc.Get(), pen.Get());
        Arc(dc.Get(), 6, 6 - CaptionHeight, 416, 224, pointX(start), pointY(start), pointX(end), pointY(end));
    }
    ValidateRect(FHandle, nullptr);
}

void TFrmMain::WMNCActivate(TMessage& Message) {
    DefaultHandler(Message);
    FCaptionActive = Message.WParam != 0;
    PaintCaption();
}

void TFrmMain::WMNCPaint(TMessage& Message) {
    DefaultHandler(Message);
    PaintCaption();
}

void TFrmMain::PaintCaption() {
    const COLORREF colour = GetSysColor(FCaptionActive ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    TGdiFont font(CreateFontIndirectA(&metrics.lfCaptionFont));
    TWindowDc dc(FHandle, TWindowDc::daWindow);
    TSelectGuard keep(dc.Get(), font.Get());
    SetTextColor(dc.Get(), colour);
    SetBkMode(dc.Get(), TRANSPARENT);
    SetTextAlign(dc.Get(), TA_CENTER | TA_TOP);
    static const char Title[] = "Chunkler light 4.0";
    TextOutA(dc.Get(), 211, 7, Title, static_cast<int>(sizeof Title - 1));
}

void TFrmMain::OpenHomePage() {
    ShellExecuteA(nullptr, "open", HomePageUrl, "", "", SW_SHOWNORMAL);
}
