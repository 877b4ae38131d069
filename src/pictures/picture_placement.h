#pragma once
// The picture window's geometry, free of any window system: the size it takes
// for a picture (showPicture steps 2-3) and where it goes when it appears.

#include "pictures/background.h"

namespace vrk::pictures {

/// The client size for a picture: the picture's size, cut where the outer size (client plus
/// frameExtra, the frame and caption) would exceed the screen: first the height, then the
/// width. The picture is then cut off at the bottom or right, never scaled.
Size pictureWindowClientSize(Size picture, Size frameExtra, Size screen);

/// The outer top-left corner of the picture window, by the first rule that fits:
/// 1 left of the main window, 2 above it, 3 right of it, 4 below it, 5 the screen's corner.
/// mainWindow is the main window's outer rectangle and picture the picture window's outer
/// size, both in screen coordinates with the screen's top-left corner at (0, 0).
Point pictureWindowPosition(Rect mainWindow, Size picture, Size screen);

}  // namespace vrk::pictures
