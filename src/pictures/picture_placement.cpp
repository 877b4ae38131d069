#include "pictures/picture_placement.h"

#include <algorithm>

namespace vrk::pictures {

Size pictureWindowClientSize(Size picture, Size frameExtra, Size screen) {
    Size client = picture;
    if (client.height + frameExtra.height > screen.height) {
        client.height = std::max(0, screen.height - frameExtra.height);
    }
    if (client.width + frameExtra.width > screen.width) {
        client.width = std::max(0, screen.width - frameExtra.width);
    }
    return client;
}

Point pictureWindowPosition(Rect mainWindow, Size picture, Size screen) {
    const int left = mainWindow.left;
    const int top = mainWindow.top;
    if (left >= picture.width) {
        return Point{left - picture.width, top};
    }
    if (top >= picture.height) {
        return Point{left, top - picture.height};
    }
    if (screen.width - left - mainWindow.width() >= picture.width) {
        return Point{left + mainWindow.width(), top};
    }
    if (screen.height - top - mainWindow.height() >= picture.height) {
        return Point{left, top + mainWindow.height()};
    }
    return Point{0, 0};
}

}  // namespace vrk::pictures
