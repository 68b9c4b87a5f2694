// SPDX-License-Identifier: MIT
#pragma once

class QImage;
class QString;

namespace platform {

// Writes the image to `fileName` as a BMP file, whatever the name's extension. An existing file
// is replaced atomically: a save that fails leaves it untouched. A name that stands for no
// regular file (a device, a pipe) is refused. Raises FileError on failure.
void SavePicture(const QImage& image, const QString& fileName);

} // namespace platform
