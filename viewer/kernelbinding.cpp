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

MandelbrotFn bound = nullptr;      // the library's function, once bound
MandelbrotFn overridden = nullptr; // a KernelOverride's function, while one is in force

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
        symbol() = std::make_unique<platform::LazySymbol>(QStringLiteral("The kernel library"),
                                                          libraryPaths(), "Mandelbrot");
    bound = reinterpret_cast<MandelbrotFn>(symbol()->get());
    return bound;
}

MandelbrotFn kernel()
{
    if (overridden)
        return overridden;
    return bound ? bound : bind();
}

KernelOverride::KernelOverride(MandelbrotFn function) : saved_(overridden)
{
    overridden = function;
}

KernelOverride::~KernelOverride()
{
    overridden = saved_;
}

} // namespace kernelbinding
