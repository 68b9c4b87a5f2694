// SPDX-License-Identifier: MIT
// Binding a function of a shared library at its first use.
#include "platform/lazysymbol.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace platform {
namespace {

using test::raised;

const QString kProbe = QStringLiteral(PLATFORM_PROBE_LIBRARY);
constexpr const char* kProbeExport = "veldtra_probe_answer";
// How the binding's messages name the library: the caller's words, not the loader's.
const QString kProbeName = QStringLiteral("The probe library");

int callProbe(void* address)
{
    return reinterpret_cast<int (*)()>(address)();
}

TEST(LazySymbol, BindsAnExportOfALibrary)
{
    LazySymbol symbol(kProbeName, {kProbe}, kProbeExport);
    void* address = symbol.get();
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(callProbe(address), 42);
    EXPECT_EQ(symbol.get(), address) << "bound once, kept afterwards";
}

TEST(LazySymbol, TakesTheFirstCandidateThatExists)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    LazySymbol symbol(kProbeName, {folder.filePath(QStringLiteral("libmissing.so")), kProbe}, kProbeExport);
    ASSERT_NE(symbol.get(), nullptr);
    EXPECT_EQ(callProbe(symbol.get()), 42);
}

TEST(LazySymbol, AMissingLibraryNamesEveryPathLookedAt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QStringList paths = {folder.filePath(QStringLiteral("libzorvakel.so")),
                               folder.filePath(QStringLiteral("lib/libzorvakel.so"))};
    LazySymbol symbol(kProbeName, paths, "Mandelbrot");
    const auto error = raised([&] { symbol.get(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ErrorKind::BindingError);
    const QString message = QString::fromUtf8(error->what());
    for (const QString& path : paths)
        EXPECT_TRUE(message.contains(path)) << message.toStdString();
}

TEST(LazySymbol, ALibraryWithoutTheExportNamesFileAndFunction)
{
    LazySymbol symbol(kProbeName, {kProbe}, "Mandelbrot");
    const auto error = raised([&] { symbol.get(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ErrorKind::BindingError);
    const QString message = QString::fromUtf8(error->what());
    EXPECT_TRUE(message.contains(kProbe)) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Mandelbrot"))) << message.toStdString();
    // The same library still binds an export it has.
    LazySymbol other(kProbeName, {kProbe}, kProbeExport);
    EXPECT_EQ(callProbe(other.get()), 42);
}

TEST(LazySymbol, AFileThatIsNoLibraryIsABindingError)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString fake = folder.filePath(QStringLiteral("libfake.so"));
    {
        QFile file(fake);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a shared library");
    }
    LazySymbol symbol(kProbeName, {fake}, kProbeExport);
    const auto error = raised([&] { symbol.get(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ErrorKind::BindingError);
    EXPECT_TRUE(QString::fromUtf8(error->what()).contains(fake)) << error->what();
}

// Each failure's message starts with the name the caller gave the library, then says which
// file and what went wrong, in the words the viewer shows.
TEST(LazySymbol, FailuresNameTheLibraryAsTheCallerDoes)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString missing = folder.filePath(QStringLiteral("libmissing.so"));
    const QString fake = folder.filePath(QStringLiteral("libfake.so"));
    {
        QFile file(fake);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a shared library");
    }
    struct Case {
        const char* what;
        QStringList paths;
        const char* symbol;
        QString start;
    };
    const Case cases[] = {
        {"missing file", {missing}, kProbeExport,
         QStringLiteral("The probe library was not found. It was looked for as:\n") + missing},
        {"no library", {fake}, kProbeExport,
         QStringLiteral("The probe library \"%1\" could not be loaded: ").arg(fake)},
        {"no such export", {kProbe}, "Mandelbrot",
         QStringLiteral("The probe library \"%1\" has no function \"Mandelbrot\": ").arg(kProbe)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LazySymbol symbol(kProbeName, c.paths, c.symbol);
        const auto error = raised([&] { symbol.get(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), ErrorKind::BindingError);
        const QString message = QString::fromUtf8(error->what());
        EXPECT_TRUE(message.startsWith(c.start)) << message.toStdString();
    }
}

// A failure is not remembered: once the library is there, the next use binds.
TEST(LazySymbol, TriesAgainAfterAFailure)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString copy = folder.filePath(QFileInfo(kProbe).fileName());
    LazySymbol symbol(kProbeName, {copy}, kProbeExport);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto error = raised([&] { symbol.get(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), ErrorKind::BindingError);
    }
    ASSERT_TRUE(QFile::copy(kProbe, copy));
    void* address = nullptr;
    const auto error = raised([&] { address = symbol.get(); });
    ASSERT_FALSE(error) << error->what();
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(callProbe(address), 42);
}

TEST(LazySymbol, BesideProgramLooksInTheProgramsFolderThenTheInstalledLibraryFolder)
{
    const QString programDir = QCoreApplication::applicationDirPath();
    for (const QString& libDir : {QStringLiteral("lib"), QStringLiteral("lib/x86_64-linux-gnu")}) {
        const QStringList paths = LazySymbol::besideProgram(QStringLiteral("libzorvakel.so"), libDir);
        const QString installed = QDir::cleanPath(programDir + QStringLiteral("/../") + libDir + QStringLiteral("/libzorvakel.so"));
        EXPECT_EQ(paths, (QStringList{programDir + QStringLiteral("/libzorvakel.so"), installed}));
        EXPECT_FALSE(paths[1].contains(QStringLiteral(".."))) << paths[1].toStdString();
    }
}

TEST(LazySymbol, BindsALibraryBesideTheProgram)
{
    // The probe library is built into the same folder as this test program.
    ASSERT_EQ(QFileInfo(kProbe).absolutePath(), QCoreApplication::applicationDirPath());
    LazySymbol symbol(kProbeName, LazySymbol::besideProgram(QFileInfo(kProbe).fileName(), QStringLiteral("lib")), kProbeExport);
    EXPECT_EQ(callProbe(symbol.get()), 42);
}

} // namespace
} // namespace platform
