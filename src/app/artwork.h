#pragma once
#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's own pictures, drawn by code. Every function returns the same
// pixels on every call and needs a QGuiApplication (text is drawn with the
// installed "IPAPGothic" face).
namespace artwork {

inline constexpr int kToolbarIconSize = 16;

// Indices of the toolbar pictures; any other index gives a fully
// transparent picture so unused toolbar slots keep their size.
enum ToolbarIconIndex : int
{
    kIconNew = 0,      // blank page with a folded corner
    kIconOpen = 1,     // open yellow folder
    kIconSave = 2,     // blue diskette
    kIconPrint = 3,    // printer
    kIconPreview = 4,  // page with a magnifier
    kIconFont = 5,     // the letter A
    kIconQrCheck = 19, // magnifier over the letters "QR"
    kIconHelp = 20,    // blue book with "?"
};

// 16 x 16, transparent background, drawn for 1:1 display.
QPixmap ToolbarIcon(int index);
// ToolbarIcon wrapped in a QIcon; the disabled mode is Qt's greyed version.
QIcon ToolbarIconSet(int index);

inline constexpr int kFieldCaptionWidth = 239;
inline constexpr int kFieldCaptionHeight = 415;

// The table behind the edit fields of the main window: captions on the left,
// a light column on the right for the edits to lie over (image x 64 .. 223).
// The row tops are those of the edits with the window offset of the picture
// (6, 34) taken away.
QImage FieldCaptionImage();

inline constexpr int kSplashWidth = 469;
inline constexpr int kSplashHeight = 269;

// The title picture of the splash window; opaque, QImage::Format_RGB32.
QImage SplashImage();

// The program's icon, a business card with a QR code, at 16 to 256 pixels;
// from the program's resources (Qt's icon engine picks the size).
QIcon ProgramIcon();

} // namespace artwork
