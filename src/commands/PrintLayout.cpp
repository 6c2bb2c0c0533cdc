// The printed picture's place on the page.
#include "commands/PrintLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ixoral {

namespace {

int Round(double v) { return static_cast<int>(std::lround(v)); }
constexpr int kGrip = 10;  // pixels around an edge where its handle is caught

}  // namespace

TPrintLayout::TPrintLayout(const TPrintMeasures& m) : FM(m) {
  // Ten centimetres along the longer side of the view, the other following its proportions.
  if (FM.Aspect > 1) {
    FWidth = 10;
    FHeight = 10 / FM.Aspect;
  } else {
    FHeight = 10;
    FWidth = FM.Aspect * 10;
  }
  LayOutPage();
}

void TPrintLayout::SetMeasures(const TPrintMeasures& m) {
  FM = m;
  LayOutPage();
}

void TPrintLayout::LayOutPage() {
  const double a = FM.PageWidthCm / FM.PageHeightCm;
  if (a > 1) {  // landscape: the page takes the preview's width
    FPage.X = 20;
    FPage.W = FM.PreviewWidth - 40;
    FKx = FPage.W / FM.ScreenPerCmX;
    FKy = FKx / a;
    FPage.H = Round(FM.ScreenPerCmY * FKy);
    FPage.Y = (FM.PreviewHeight - FPage.H) / 2;
  } else {  // portrait: its height
    FPage.Y = 20;
    FPage.H = FM.PreviewHeight - 40;
    FKy = FPage.H / FM.ScreenPerCmY;
    FKx = a * FKy;
    FPage.W = Round(FM.ScreenPerCmX * FKx);
    FPage.X = (FM.PreviewWidth - FPage.W) / 2;
  }
}

int TPrintLayout::CmToPxX(double cm) const { return Round(cm * (FKx / FM.PageWidthCm) * FM.ScreenPerCmX); }
int TPrintLayout::CmToPxY(double cm) const { return Round(cm * (FKy / FM.PageHeightCm) * FM.ScreenPerCmY); }
double TPrintLayout::PxToCmX(double px) const { return px / ((FKx / FM.PageWidthCm) * FM.ScreenPerCmX); }
double TPrintLayout::PxToCmY(double px) const { return px / ((FKy / FM.PageHeightCm) * FM.ScreenPerCmY); }

bool TPrintLayout::MarginLeavesRoom(double cm) const {
  return std::isfinite(cm) && cm >= 0 && 2 * cm < FM.PageWidthCm && 2 * cm < FM.PageHeightCm;
}

bool TPrintLayout::SetMargin(double cm) {
  if (!MarginLeavesRoom(cm)) return false;
  if (CmToPxX(cm) >= FM.PreviewWidth / 2.0 || CmToPxY(cm) >= FM.PreviewHeight / 2.0) return false;
  FMargin = cm;
  return true;
}

void TPrintLayout::SetWidth(double cm) {
  if (!std::isfinite(cm) || cm <= 0) return;
  FWidth = cm;
  if (KeepProportions) FHeight = cm / FM.Aspect;
}

void TPrintLayout::SetHeight(double cm) {
  if (!std::isfinite(cm) || cm <= 0) return;
  FHeight = cm;
  if (KeepProportions) FWidth = FM.Aspect * cm;
}

TPrintRect TPrintLayout::MarginRect() const {
  const int mx = CmToPxX(FMargin), my = CmToPxY(FMargin);
  return {mx, my, FPage.W - 2 * mx, FPage.H - 2 * my};
}

TPrintRect TPrintLayout::Image() const {
  if (Fill) return MarginRect();
  if (FDragged) return *FDragged;
  TPrintRect r;
  r.W = CmToPxX(FWidth);
  r.H = CmToPxY(FHeight);
  const int mx = CmToPxX(FMargin), my = CmToPxY(FMargin);
  switch (AlignX) {
    case TAlign::Start:
      r.X = mx;
      break;
    case TAlign::End:
      r.X = FPage.W - mx - r.W;
      break;
    case TAlign::Value:
      if (ValueX) {
        r.X = CmToPxX(*ValueX);
        break;
      }
      [[fallthrough]];
    case TAlign::Centre:
      r.X = (FPage.W - r.W) / 2;
      break;
  }
  switch (AlignY) {
    case TAlign::Start:
      r.Y = my;
      break;
    case TAlign::End:
      r.Y = FPage.H - my - r.H;
      break;
    case TAlign::Value:
      if (ValueY) {
        r.Y = CmToPxY(*ValueY);
        break;
      }
      [[fallthrough]];
    case TAlign::Centre:
      r.Y = (FPage.H - r.H) / 2;
      break;
  }
  return r;
}

THandle TPrintLayout::HandleAt(int x, int y) const {
  if (Fill) return hNone;
  const TPrintRect r = Image();
  if (x < r.X - kGrip || x > r.X + r.W + kGrip || y < r.Y - kGrip || y > r.Y + r.H + kGrip) return hNone;
  // An edge held at the margin by its alignment offers no handle.
  const bool left = std::abs(x - r.X) <= kGrip && AlignX != TAlign::Start;
  const bool right = std::abs(x - (r.X + r.W)) <= kGrip && AlignX != TAlign::End;
  const bool top = std::abs(y - r.Y) <= kGrip && AlignY != TAlign::Start;
  const bool bottom = std::abs(y - (r.Y + r.H)) <= kGrip && AlignY != TAlign::End;
  const bool midX = std::abs(x - (r.X + r.W / 2)) <= kGrip, midY = std::abs(y - (r.Y + r.H / 2)) <= kGrip;
  if (top && left) return hTopLeft;
  if (top && right) return hTopRight;
  if (bottom && right) return hBottomRight;
  if (bottom && left) return hBottomLeft;
  if (top && midX) return hTop;
  if (bottom && midX) return hBottom;
  if (left && midY) return hLeft;
  if (right && midY) return hRight;
  return hNone;
}

bool TPrintLayout::Press(int x, int y) {
  if (Fill) return false;
  const TPrintRect r = Image();
  FDragHandle = HandleAt(x, y);
  FMoving = FDragHandle == hNone && x >= r.X && x <= r.X + r.W && y >= r.Y && y <= r.Y + r.H;
  if (!Dragging()) return false;
  FStartX = x;
  FStartY = y;
  FStartRect = r;
  FDragged = r;
  return true;
}

void TPrintLayout::SetImagePx(const TPrintRect& r) {
  FDragged = r;
  FWidth = PxToCmX(r.W);
  FHeight = PxToCmY(r.H);
  ValueX = PxToCmX(r.X);
  ValueY = PxToCmY(r.Y);
}

void TPrintLayout::Drag(int x, int y) {
  if (!Dragging()) return;
  TPrintRect r = FStartRect;
  if (FMoving) {
    r.X += x - FStartX;
    r.Y += y - FStartY;
    FDragged = r;
    return;
  }
  // The dragged edges follow the mouse; the opposite ones stay.
  int left = r.X, top = r.Y, right = r.X + r.W, bottom = r.Y + r.H;
  const THandle h = FDragHandle;
  if (h == hTopLeft || h == hLeft || h == hBottomLeft) left = std::min(x, right - 1);
  if (h == hTopRight || h == hRight || h == hBottomRight) right = std::max(x, left + 1);
  if (h == hTopLeft || h == hTop || h == hTopRight) top = std::min(y, bottom - 1);
  if (h == hBottomLeft || h == hBottom || h == hBottomRight) bottom = std::max(y, top + 1);
  if (KeepProportions) {
    // In preview pixels the view's proportions are those of its size in centimetres.
    const double pxAspect = FM.Aspect * (CmToPxX(10) / std::max(1.0, double(CmToPxY(10))));
    const bool corner = h == hTopLeft || h == hTopRight || h == hBottomRight || h == hBottomLeft;
    const bool byWidth = corner ? FM.Aspect > 1 : (h == hLeft || h == hRight);
    if (byWidth) {
      const int height = Round((right - left) / pxAspect);
      if (h == hTopLeft || h == hTopRight || h == hTop)
        top = bottom - height;
      else
        bottom = top + height;
    } else {
      const int width = Round((bottom - top) * pxAspect);
      if (h == hTopLeft || h == hBottomLeft || h == hLeft)
        left = right - width;
      else
        right = left + width;
    }
  }
  SetImagePx({left, top, right - left, bottom - top});
}

void TPrintLayout::Release() {
  if (FMoving && FDragged) {
    ValueX = PxToCmX(FDragged->X);
    ValueY = PxToCmY(FDragged->Y);
    AlignX = AlignY = TAlign::Value;
  }
  FDragHandle = hNone;
  FMoving = false;
  FDragged.reset();
}

TPrintRect TPrintLayout::PrintArea() const {
  const TPrintRect r = Image();
  TPrintRect p;
  p.X = Round(PxToCmX(r.X) * FM.PrinterPerCmX);
  p.Y = Round(PxToCmY(r.Y) * FM.PrinterPerCmY);
  const double w = Fill ? PxToCmX(r.W) : FWidth, h = Fill ? PxToCmY(r.H) : FHeight;
  p.W = Round(w * FM.PrinterPerCmX);
  p.H = Round(h * FM.PrinterPerCmY);
  return p;
}

TPrintRect TPrintLayout::DrawnSize(const TPrintRect& area, long long maxPixels) {
  TPrintRect drawn{0, 0, std::max(1, area.W), std::max(1, area.H)};
  const double pixels = double(drawn.W) * drawn.H;
  if (pixels <= double(maxPixels)) return drawn;
  const double scale = std::sqrt(double(maxPixels) / pixels);
  drawn.W = std::max(1, static_cast<int>(std::floor(drawn.W * scale)));
  drawn.H = std::max(1, static_cast<int>(std::floor(drawn.H * scale)));
  return drawn;
}

}  // namespace ixoral
