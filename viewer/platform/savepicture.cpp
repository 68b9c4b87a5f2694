// SPDX-License-Identifier: MIT
#include "savepicture.h"

#include "runtimeerror.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace platform {

void SavePicture(const QImage& image, const QString& fileName)
{
    auto fail = [&](const QString& reason) {
        raiseError(ErrorKind::FileError,
              QStringLiteral("The picture could not be saved as \"%1\": %2").arg(fileName, reason));
    };
    // A save replaces the file by renaming a new one over it, which would put a plain file in
    // the place of a device or a pipe; only regular files (or links to them) are written.
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile())
        fail(QStringLiteral("it is not a regular file."));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    QImageWriter writer(&file, "BMP");
    if (!writer.write(image)) {
        // A buffered write that failed leaves only a generic error behind; writing out the
        // rest of the buffer fails again and names the cause ("No space left on device").
        if (file.error() != QFileDevice::NoError)
            file.flush();
        const QString reason = file.error() != QFileDevice::NoError ? file.errorString()
                                                                     : writer.errorString();
        file.cancelWriting();
        fail(reason);
    }
    if (!file.commit())
        fail(file.errorString());
}

} // namespace platform
