// SPDX-License-Identifier: MIT
#include "lazysymbol.h"

#include "runtimeerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

LazySymbol::LazySymbol(QStringList candidatePaths, const char* symbol)
    : candidates_(std::move(candidatePaths)), symbol_(symbol)
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
              QStringLiteral("The kernel library was not found. It was looked for as:\n%1")
                  .arg(candidates_.join(u'\n')));
    library_.setFileName(path);
    if (!library_.load())
        raiseError(ErrorKind::BindingError, QStringLiteral("The kernel library \"%1\" could not be loaded: %2")
                                           .arg(path, library_.errorString()));
    void* address = reinterpret_cast<void*>(library_.resolve(symbol_));
    if (!address) {
        const QString reason = library_.errorString();
        library_.unload();
        raiseError(ErrorKind::BindingError,
              QStringLiteral("The kernel library \"%1\" has no function \"%2\": %3")
                  .arg(path, QLatin1String(symbol_), reason));
    }
    address_ = address;
}

} // namespace platform
