// Where the printed picture of a view goes on the page: the page drawn in the print dialog's
// preview, the margin, the picture's size and position in centimetres (typed, aligned, or dragged
// by its handles in the preview), and the area of the page the printer receives, in printer
// pixels.
#pragma once

#include <optional>

namespace ixoral {

inline constexpr const char* kMsgPrintFailed = "L'impression n'a pu être réalisée";
inline constexpr const char* kMsgMarginTooLarge = "La marge ne laisse aucune place sur la page";

// The most pixels of a printed picture drawn at once: a page at a printer's full resolution (A4 at
// 1200 dpi is 139 Mpixels, beyond the renderer's largest surface) is drawn at the finest
// resolution within this bound, then scaled onto the page by the printer. 24 Mpixels is about
// 500 dpi on a whole A4 page, and keeps the drawing within a few hundred megabytes.
inline constexpr long long kMaxPrintPixels = 24LL << 20;

struct TPrintRect {
  int X = 0, Y = 0, W = 0, H = 0;
  bool operator==(const TPrintRect&) const = default;
};

enum class TAlign { Centre, Start, End, Value };  // Start: left or top; End: right or bottom

// The handles of the picture in the preview: 0 none, then clockwise from the top-left corner.
enum THandle { hNone = 0, hTopLeft, hTop, hTopRight, hRight, hBottomRight, hBottom, hBottomLeft, hLeft };

struct TPrintMeasures {
  double Aspect = 4.0 / 3.0;                    // the main scene's drawing area, width / height
  double ScreenPerCmX = 38, ScreenPerCmY = 38;  // screen pixels per centimetre
  double PageWidthCm = 21, PageHeightCm = 29.7;
  double PrinterPerCmX = 118, PrinterPerCmY = 118;  // printer pixels per centimetre
  int PreviewWidth = 360, PreviewHeight = 360;      // the preview panel holding the page
};

class TPrintLayout {
 public:
  explicit TPrintLayout(const TPrintMeasures& m);

  // New printer measures (another printer, its set-up): the page is laid out again.
  void SetMeasures(const TPrintMeasures& m);
  const TPrintMeasures& Measures() const { return FM; }

  // The page in the preview panel, and the preview's pixels per screen centimetre.
  TPrintRect Page() const { return FPage; }
  double Kx() const { return FKx; }
  double Ky() const { return FKy; }
  int CmToPxX(double cm) const;
  int CmToPxY(double cm) const;
  double PxToCmX(double px) const;
  double PxToCmY(double px) const;

  // --- what the fields and check boxes hold ---
  double Margin() const { return FMargin; }
  double Width() const { return FWidth; }
  double Height() const { return FHeight; }
  // Refused (false, the margin kept) when negative, when it leaves no room on the page, or, in
  // preview pixels, not less than half the preview's width and half its height.
  bool SetMargin(double cm);
  // Whether a margin of `cm` on every side leaves some of the page to print on.
  bool MarginLeavesRoom(double cm) const;
  // With the proportions kept, the other side follows.
  void SetWidth(double cm);
  void SetHeight(double cm);
  bool Fill = false;
  bool KeepProportions = true;
  TAlign AlignX = TAlign::Centre, AlignY = TAlign::Centre;
  std::optional<double> ValueX, ValueY;  // the "Valeur" fields, in cm; empty when blank

  // The picture in page coordinates (preview pixels from the page's corner), and the margin.
  TPrintRect Image() const;
  TPrintRect MarginRect() const;

  // --- the mouse in the preview, in page coordinates; nothing while "Remplir la page" ---
  THandle HandleAt(int x, int y) const;
  // Starts a resize on a handle or, elsewhere on the picture, a move; false off the picture.
  bool Press(int x, int y);
  void Drag(int x, int y);
  // A move ends with the picture's position in the value fields and both groups on "Valeur".
  void Release();
  bool Dragging() const { return FDragHandle != hNone || FMoving; }

  // The picture on the printed page, in printer pixels.
  TPrintRect PrintArea() const;
  // The size the picture is drawn at before the printer scales it onto `area`: the area itself
  // when it holds at most `maxPixels`, else the largest size of the same proportions that does.
  static TPrintRect DrawnSize(const TPrintRect& area, long long maxPixels = kMaxPrintPixels);

 private:
  void LayOutPage();
  // The picture's rectangle while a drag holds it (preview pixels), and its size in cm.
  void SetImagePx(const TPrintRect& r);

  TPrintMeasures FM;
  TPrintRect FPage;
  double FKx = 1, FKy = 1;
  double FMargin = 2, FWidth = 10, FHeight = 7.5;
  THandle FDragHandle = hNone;
  bool FMoving = false;
  int FStartX = 0, FStartY = 0;
  TPrintRect FStartRect;
  std::optional<TPrintRect> FDragged;  // the picture as the drag leaves it
};

}  // namespace ixoral
