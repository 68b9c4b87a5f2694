// SPDX-License-Identifier: MIT
#include "lazysymbol.h"

#include "runtimeerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

LazySymbol::LazySymbol(QString library, QStringList candidatePaths, const char* symbol)
    : libraryName_(std::move(library)), candidates_(std::move(candidatePaths)), symbol_(symbol)
{
}

QStringList LazySymbol::besideProgram(const QString& fileName, const QString& installedLibDir)
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(programDir.filePath(fileName)),
            QDir::cleanPath(programDir.filePath(QStringLiteral("../%1/%2").arg(installedLibDir, fileName)))};
}

void LazySymbol::bind()
{
    QString path;
    for (const QString& candidate : candidates_) {
        if (QFileInfo(candidate).isFile()) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty())
        raiseError(ErrorKind::BindingError,
              QStringLiteral("%1 was not found. It was looked for as:\n%2")
                  .arg(libraryName_, candidates_.join(u'\n')));
    library_.setFileName(path);
    if (!library_.load())
        raiseError(ErrorKind::BindingError, QStringLiteral("%1 \"%2\" could not be loaded: %3")
                                           .arg(libraryName_, path, library_.errorString()));
    void* address = reinterpret_cast<void*>(library_.resolve(symbol_));
    if (!address) {
        const QString reason = library_.errorString();
        library_.unload();
        raiseError(ErrorKind::BindingError,
              QStringLiteral("%1 \"%2\" has no function \"%3\": %4")
                  .arg(libraryName_, path, QLatin1String(symbol_), reason));
    }
    address_ = address;
}

} // namespace platform
