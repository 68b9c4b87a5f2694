// SPDX-License-Identifier: MIT
#include "kernelbinding.h"

#include "platform/lazysymbol.h"

#include <memory>

namespace kernelbinding {
namespace {

const QString kLibraryFile = QStringLiteral("libzorvakel.so");

std::unique_ptr<platform::LazySymbol>& symbol()
{
    static std::unique_ptr<platform::LazySymbol> lazy;
    return lazy;
}

QStringList& configuredPaths()
{
    static QStringList paths;
    return paths;
}

} // namespace

QStringList libraryPaths()
{
    if (configuredPaths().isEmpty())
        return platform::LazySymbol::besideProgram(kLibraryFile, QStringLiteral(VELDTRA_INSTALL_LIBDIR));
    return configuredPaths();
}

void setLibraryPaths(const QStringList& paths)
{
    configuredPaths() = paths;
    symbol().reset();
    bound = nullptr;
}

MandelbrotFn bind()
{
    if (!symbol())
        symbol() = std::make_unique<platform::LazySymbol>(libraryPaths(), "Mandelbrot");
    bound = reinterpret_cast<MandelbrotFn>(symbol()->get());
    return bound;
}

} // namespace kernelbinding
