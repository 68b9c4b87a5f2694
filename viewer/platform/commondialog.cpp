// SPDX-License-Identifier: MIT
#include "commondialog.h"

#include "runtimeerror.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace platform {
namespace {

CommonDialog::Answerer& answerer()
{
    static CommonDialog::Answerer function;
    return function;
}

} // namespace

QString CommonDialog::toNameFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void CommonDialog::setAnswerer(Answerer function)
{
    answerer() = std::move(function);
}

void CommonDialog::ShowSave(QWidget* parent)
{
    QString chosen;
    if (answerer()) {
        chosen = answerer()(*this);
    } else {
        chosen = QFileDialog::getSaveFileName(parent, DialogTitle, FileName, toNameFilter(Filter),
                                              nullptr,
                                              QFileDialog::DontUseNativeDialog |
                                                  QFileDialog::HideNameFilterDetails);
    }
    if (!chosen.isEmpty())
        FileName = chosen;
}

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
