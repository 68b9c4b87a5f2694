// SPDX-License-Identifier: MIT
#pragma once

#include <QLibrary>
#include <QStringList>

namespace platform {

// A function of a shared library, bound at its first use and kept for the rest of the process.
// The library is looked for at the given full paths, in order; nothing else (no search path,
// no current directory) is consulted. A library or export that cannot be found raises
// BindingError naming the file and the reason, and the next use tries again.
class LazySymbol {
public:
    // `library` names the library in those messages, as it starts a sentence ("The kernel
    // library"); `symbol` is the name of the export.
    LazySymbol(QString library, QStringList candidatePaths, const char* symbol);

    void* get()
    {
        if (!address_)
            bind();
        return address_;
    }

    // Paths beside the running program, then in ../<libdir> of an installed layout.
    static QStringList besideProgram(const QString& fileName, const QString& installedLibDir);

private:
    void bind();

    QString libraryName_;
    QStringList candidates_;
    const char* symbol_;
    QLibrary library_;
    void* address_ = nullptr;
};

} // namespace platform
