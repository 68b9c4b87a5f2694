// SPDX-License-Identifier: MIT
// Saving a picture as a BMP file: the names it is written under, what it keeps of the picture,
// replacing a file, and the saves that fail.
#include "platform/savepicture.h"
#include "platform/runtimeerror.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace platform {
namespace {

using test::raised;

QImage testPicture(int width = 37, int height = 23)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 11) & 0xFF, (x * y) & 0xFF));
    return image;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Reads a file back as a BMP whatever its name says, and checks it is one.
QImage readBmp(const QString& path)
{
    const QByteArray bytes = contentsOf(path);
    EXPECT_TRUE(bytes.startsWith("BM")) << path.toStdString() << " is no BMP file";
    QImageReader reader(path, "BMP");
    reader.setDecideFormatFromContent(false);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

class SavePictureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString path(const QString& name) { return folder.filePath(name); }

    QTemporaryDir folder;
};

class SavePictureNames : public SavePictureTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SavePictureNames, WritesABmpWhateverTheExtension)
{
    const QImage picture = testPicture();
    const QString name = path(QString::fromUtf8(GetParam()));
    SavePicture(picture, name);
    EXPECT_EQ(readBmp(name), picture);
    // Nothing else is left beside it.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(name).fileName()});
}

INSTANTIATE_TEST_SUITE_P(Names, SavePictureNames,
                         ::testing::Values("mandel.bmp", "mandel", "mandel.png", "mandel.JPG", "mändel ü.dib"));

TEST_F(SavePictureTest, KeepsEveryPixelOfAnOddSizedPicture)
{
    // Row padding of BMP files falls differently for every width.
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(321, 241)}) {
        const QImage picture = testPicture(size.width(), size.height());
        SavePicture(picture, path(QStringLiteral("odd.bmp")));
        EXPECT_EQ(readBmp(path(QStringLiteral("odd.bmp"))), picture) << size.width() << "x" << size.height();
    }
}

TEST_F(SavePictureTest, ReplacesAnExistingFile)
{
    const QString name = path(QStringLiteral("old.bmp"));
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, 'x')); // longer than the new picture
    }
    const QImage picture = testPicture();
    SavePicture(picture, name);
    EXPECT_EQ(readBmp(name), picture);
    EXPECT_LT(QFileInfo(name).size(), 100000);
}

TEST_F(SavePictureTest, WritesThroughASymbolicLink)
{
    const QString target = path(QStringLiteral("target.bmp"));
    const QString link = path(QStringLiteral("link.bmp"));
    SavePicture(testPicture(5, 5), target);
    ASSERT_TRUE(QFile::link(target, link));
    const QImage picture = testPicture();
    SavePicture(picture, link);
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link was replaced by a file";
    EXPECT_EQ(readBmp(target), picture);
}

// A failed save raises FileError naming the file and leaves what was there as it was.
struct FailureCase {
    const char* name;
    std::function<QString(const QString& folder)> makeTarget; // returns the file name to save as
};

class SavePictureFails : public SavePictureTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SavePictureFails, RaisesFileErrorNamingTheFile)
{
    const QString name = GetParam().makeTarget(folder.path());
    ASSERT_FALSE(name.isEmpty());
    const QFileInfo before(name);
    const QByteArray contents = before.isFile() ? contentsOf(name) : QByteArray();

    const auto error = raised([&] { SavePicture(testPicture(), name); });
    ASSERT_TRUE(error) << "saved as " << name.toStdString();
    EXPECT_EQ(error->kind(), ErrorKind::FileError);
    EXPECT_TRUE(QString::fromUtf8(error->what()).contains(name)) << error->what();
    if (before.isFile()) {
        EXPECT_EQ(contentsOf(name), contents) << "the existing file changed";
    }
}

QString writeFile(const QString& name, const QByteArray& contents)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(contents);
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SavePictureFails,
    ::testing::Values(
        FailureCase{"MissingFolder",
                    [](const QString& folder) { return folder + QStringLiteral("/no such folder/p.bmp"); }},
        FailureCase{"NameTooLong",
                    [](const QString& folder) { return folder + u'/' + QString(300, u'n') + QStringLiteral(".bmp"); }},
        FailureCase{"AFolder",
                    [](const QString& folder) {
                        QDir(folder).mkdir(QStringLiteral("taken.bmp"));
                        return folder + QStringLiteral("/taken.bmp");
                    }},
        FailureCase{"InsideAFile",
                    [](const QString& folder) {
                        writeFile(folder + QStringLiteral("/plain"), "x");
                        return folder + QStringLiteral("/plain/p.bmp");
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// A device that takes no data: writing fails with "no space". The save must fail and leave the
// device as it was. Root may create a device node of its own in the test's folder; anyone else
// uses the system's, whose folder they cannot replace files in.
TEST_F(SavePictureTest, ADeviceThatRefusesDataIsAFileErrorAndStaysADevice)
{
    QString device = QStringLiteral("/dev/full");
    if (::geteuid() == 0) {
        device = path(QStringLiteral("full"));
        if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            GTEST_SKIP() << "cannot create a device node here";
    }
    const auto error = raised([&] { SavePicture(testPicture(), device); });
    ASSERT_TRUE(error) << "saved into " << device.toStdString();
    EXPECT_EQ(error->kind(), ErrorKind::FileError);
    EXPECT_TRUE(QString::fromUtf8(error->what()).contains(device)) << error->what();
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(device).constData(), &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode)) << device.toStdString() << " was replaced by a file";
}

TEST_F(SavePictureTest, AnUnreadableImageIsAFileErrorAndKeepsTheOldFile)
{
    const QString name = writeFile(path(QStringLiteral("keep.bmp")), "the picture saved before");
    ASSERT_FALSE(name.isEmpty());
    const auto error = raised([&] { SavePicture(QImage(), name); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ErrorKind::FileError);
    EXPECT_TRUE(QString::fromUtf8(error->what()).contains(name)) << error->what();
    EXPECT_EQ(contentsOf(name), QByteArray("the picture saved before"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.bmp")});
}

} // namespace
} // namespace platform
