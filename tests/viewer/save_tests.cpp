// SPDX-License-Identifier: MIT
// Save: the dialog as it is asked, cancelling, the file written (the hidden picture, pixel for
// pixel, as a BMP under exactly the chosen name) and saves that fail.
#include "viewer_fixture.h"

#include "platform/commondialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace viewertest;
using platform::CommonDialog;
using platform::ErrorKind;

namespace {

struct DialogSeen {
    QString fileName, filter, title;
};

class SaveTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }

    // The dialog answers `name` (empty: Cancel) and records how it was asked.
    void answer(const QString& name)
    {
        CommonDialog::setAnswerer([this, name](const CommonDialog& dialog) {
            asked.push_back({dialog.FileName, dialog.Filter, dialog.DialogTitle});
            return name;
        });
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QImage readBitmap(const QString& path)
    {
        QImage image;
        image.load(path, "BMP");
        return image;
    }

    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    std::vector<DialogSeen> asked;
};

} // namespace

// Each save asks with an empty name, whatever was chosen before; Cancel writes nothing and
// leaves the status as it was.
TEST_F(SaveTest, DialogIsAskedAfreshAndCancelDoesNothing)
{
    render();
    answer(dir.filePath(QStringLiteral("first.bmp")));
    click(f->cmdSave);
    ASSERT_EQ(entries(), QStringList{"first.bmp"});

    setField(f->txtWidth, QStringLiteral("none"));
    click(f->cmdRender); // fails and leaves "Rendering..."
    ASSERT_EQ(errors.size(), 1u);
    const QByteArray saved = contents(dir.filePath(QStringLiteral("first.bmp")));
    answer(QString());
    click(f->cmdSave);

    ASSERT_EQ(asked.size(), 2u);
    for (const DialogSeen& seen : asked) {
        EXPECT_EQ(seen.fileName, QString());
        EXPECT_EQ(seen.filter, QStringLiteral("Bitmaps (*.bmp,*.dib)|*.bmp;*.dib"));
        EXPECT_EQ(seen.title, QStringLiteral("Save Fractal As Bitmap"));
    }
    EXPECT_EQ(entries(), QStringList{"first.bmp"});
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("first.bmp"))), saved);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Rendering..."));
    EXPECT_EQ(errors.size(), 1u);
}

class SaveNameTest : public SaveTest, public ::testing::WithParamInterface<const char*> {};

// The file is a BMP of the hidden picture under exactly the chosen name, no extension added
// or changed; the status reads "Saving..." while it is written.
TEST_P(SaveNameTest, WritesTheHiddenPictureUnderTheChosenName)
{
    render();
    const QString path = dir.filePath(QString::fromUtf8(GetParam()));
    std::optional<QString> captionWhileSaving;
    std::optional<bool> existedThen;
    CommonDialog::setAnswerer([&](const CommonDialog&) {
        QTimer::singleShot(0, f.get(), [&] {
            captionWhileSaving = f->lblProcess->Caption();
            existedThen = QFileInfo::exists(path);
        });
        return path;
    });
    click(f->cmdSave);

    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(captionWhileSaving, QStringLiteral("Saving..."));
    EXPECT_EQ(existedThen, false);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_EQ(entries(), QStringList{QString::fromUtf8(GetParam())});
    EXPECT_TRUE(contents(path).startsWith("BM"));
    const QImage written = readBitmap(path);
    EXPECT_EQ(written.size(), QSize(320, 240));
    EXPECT_TRUE(sameImage(written, f->PicHidden->image()));
}

INSTANTIATE_TEST_SUITE_P(Names, SaveNameTest,
                         ::testing::Values("fractal.bmp", "fractal", "fractal.png", "Bild mit Ä.dib"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return "Name" + std::to_string(info.index);
                         });

TEST_F(SaveTest, BeforeAnyRenderTheInitialBackgroundIsSaved)
{
    const QString path = dir.filePath(QStringLiteral("empty.bmp"));
    answer(path);
    click(f->cmdSave);
    EXPECT_TRUE(errors.empty());
    const QImage written = readBitmap(path);
    EXPECT_EQ(written.size(), QSize(41, 17));
    EXPECT_TRUE(sameImage(written, f->PicHidden->image()));
}

TEST_F(SaveTest, ExistingFileIsReplaced)
{
    render();
    const QString path = dir.filePath(QStringLiteral("old.bmp"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000000, 'x'));
    }
    answer(path);
    click(f->cmdSave);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(sameImage(readBitmap(path), f->PicHidden->image()));
    EXPECT_LT(QFileInfo(path).size(), 1000000);
    EXPECT_EQ(entries(), QStringList{"old.bmp"});
}

// ---- Saves that fail --------------------------------------------------------------------

namespace {

// Limits the size of files this process writes, as a full disk would; restores on leaving.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool active() const { return active_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

struct FailingSave {
    const char* name;
    std::function<QString(const QDir&)> target;
    bool existing;   // a file is at the target before the save
    rlim_t sizeLimit; // 0: none
};

void PrintTo(const FailingSave& s, std::ostream* os) { *os << s.name; }

} // namespace

class SaveFailureTest : public SaveTest, public ::testing::WithParamInterface<FailingSave> {};

// A save that fails reports a file error, leaves "Saving..." showing, and leaves a file that
// was there byte for byte as it was, with no leftovers beside it.
TEST_P(SaveFailureTest, ReportsFileErrorAndKeepsWhatWasThere)
{
    const FailingSave& p = GetParam();
    render();
    const QString path = p.target(QDir(dir.path()));
    const QByteArray before("a picture saved earlier\n");
    if (p.existing) {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(before);
    }
    const QStringList entriesBefore = entries();
    answer(path);
    {
        std::optional<FileSizeLimit> limit;
        if (p.sizeLimit) {
            limit.emplace(p.sizeLimit);
            ASSERT_TRUE(limit->active());
        }
        click(f->cmdSave);
    }

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, ErrorKind::FileError);
    EXPECT_TRUE(errors[0].message.contains(path)) << errors[0].message.toStdString();
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Saving..."));
    EXPECT_EQ(entries(), entriesBefore);
    if (p.existing) {
        EXPECT_EQ(contents(path), before);
    }

    // The window goes on: the next save works.
    answer(dir.filePath(QStringLiteral("after.bmp")));
    click(f->cmdSave);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SaveFailureTest,
    ::testing::Values(
        FailingSave{"MissingDirectory",
                    [](const QDir& d) { return d.filePath(QStringLiteral("no-such-dir/fractal.bmp")); },
                    false, 0},
        FailingSave{"NameTooLong",
                    [](const QDir& d) { return d.filePath(QString(300, QLatin1Char('n')) + QStringLiteral(".bmp")); },
                    false, 0},
        FailingSave{"NameIsADirectory",
                    [](const QDir& d) {
                        d.mkdir(QStringLiteral("folder.bmp"));
                        return d.filePath(QStringLiteral("folder.bmp"));
                    },
                    false, 0},
        // The picture is about 230 KB; the disk takes 4 KB.
        FailingSave{"DiskFullOverExistingFile",
                    [](const QDir& d) { return d.filePath(QStringLiteral("kept.bmp")); }, true, 4096}),
    [](const ::testing::TestParamInfo<FailingSave>& info) { return std::string(info.param.name); });

// A device that refuses every write, like /dev/full: a node of our own, never the system's,
// so that a save which renamed a new file over it could do no harm.
TEST_F(SaveTest, DeviceThatRefusesWritesFailsAndStaysADevice)
{
    const QString path = dir.filePath(QStringLiteral("full"));
    if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot create a device node here";
    render();
    answer(path);
    click(f->cmdSave);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, ErrorKind::FileError);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Saving..."));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
}

// A Save clicked again while the first one lets events run (after the name was chosen) runs
// to its end inside the first; the first still writes the file whose name was chosen for it.
class NestedSaveTest : public SaveTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NestedSaveTest, TheFirstSaveKeepsItsName)
{
    render();
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = *GetParam() ? dir.filePath(QString::fromUtf8(GetParam())) : QString();
    int dialogs = 0;
    CommonDialog::setAnswerer([&](const CommonDialog&) {
        if (++dialogs == 1) {
            QTimer::singleShot(0, f->cmdSave, [this] { click(f->cmdSave); });
            return first;
        }
        return second;
    });
    click(f->cmdSave);

    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(errors.empty()) << errors[0].message.toStdString();
    EXPECT_TRUE(sameImage(readBitmap(first), f->PicHidden->image()));
    if (!second.isEmpty()) {
        EXPECT_TRUE(sameImage(readBitmap(second), f->PicHidden->image()));
    }
    EXPECT_EQ(entries().size(), second.isEmpty() ? 1 : 2);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
}

INSTANTIATE_TEST_SUITE_P(Save, NestedSaveTest, ::testing::Values("second", ""),
                         [](const auto& info) { return std::string(*info.param ? "SecondNamed" : "SecondCancelled"); });
