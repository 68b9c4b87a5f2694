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
#include <cstdlib>
#include <cstring>
#include <linux/capability.h>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Takes from this thread, while it lives, the capabilities that let root write where file
// permissions forbid it, so that a read-only folder is read-only whoever runs the tests.
class WithoutFilePrivileges {
public:
    WithoutFilePrivileges()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        for (unsigned cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFilePrivileges()
    {
        if (active_)
            syscall(SYS_capset, &header_, saved_);
    }
    WithoutFilePrivileges(const WithoutFilePrivileges&) = delete;
    WithoutFilePrivileges& operator=(const WithoutFilePrivileges&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// Makes a folder read-only for its lifetime.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path) : path_(path)
    {
        QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                         QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    }
    ~ReadOnlyFolder()
    {
        QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    QString path_;
};

bool canCreateFileIn(const QString& folder)
{
    QFile probe(QDir(folder).filePath(QStringLiteral("probe")));
    const bool created = probe.open(QIODevice::WriteOnly);
    if (created)
        probe.remove();
    return created;
}

struct FailingSave {
    const char* name;
    std::function<QString(const QDir&)> target;
    bool existing;   // a file is at the target before the save
    rlim_t sizeLimit; // 0: none
    bool readOnlyFolder = false; // the target's folder is read-only during the save
    const char* reason = "";     // the cause the message must give
};

void PrintTo(const FailingSave& s, std::ostream* os) { *os << s.name; }

} // namespace

class SaveFailureTest : public SaveTest, public ::testing::WithParamInterface<FailingSave> {};

// A save that fails reports a file error, leaves "Saving..." showing, and leaves a file that
// was there byte for byte as it was, with no leftovers beside it. Pins an intended behaviour
// (docs/behaviour.md): "Saving..." stays.
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
    const QString folder = QFileInfo(path).absolutePath();
    auto folderEntries = [&] { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); };
    const QStringList entriesBefore = entries();
    const QStringList folderEntriesBefore = folderEntries();
    answer(path);
    {
        std::optional<FileSizeLimit> limit;
        std::optional<ReadOnlyFolder> readOnly;
        std::optional<WithoutFilePrivileges> unprivileged;
        if (p.sizeLimit) {
            limit.emplace(p.sizeLimit);
            ASSERT_TRUE(limit->active());
        }
        if (p.readOnlyFolder) {
            readOnly.emplace(folder);
            unprivileged.emplace();
            ASSERT_FALSE(canCreateFileIn(folder)) << "the folder could not be made read-only";
        }
        click(f->cmdSave);
    }

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, ErrorKind::FileError);
    EXPECT_TRUE(errors[0].message.contains(path)) << errors[0].message.toStdString();
    EXPECT_TRUE(errors[0].message.contains(QString::fromUtf8(p.reason))) << errors[0].message.toStdString();
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Saving..."));
    EXPECT_EQ(entries(), entriesBefore);
    EXPECT_EQ(folderEntries(), folderEntriesBefore);
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
                    false, 0, false, "No such file or directory"},
        FailingSave{"NameTooLong",
                    [](const QDir& d) { return d.filePath(QString(300, QLatin1Char('n')) + QStringLiteral(".bmp")); },
                    false, 0, false, "File name too long"},
        FailingSave{"NameIsADirectory",
                    [](const QDir& d) {
                        d.mkdir(QStringLiteral("folder.bmp"));
                        return d.filePath(QStringLiteral("folder.bmp"));
                    },
                    false, 0, false, "not a regular file"},
        // The picture is about 230 KB; the disk takes 4 KB.
        FailingSave{"DiskFullOverExistingFile",
                    [](const QDir& d) { return d.filePath(QStringLiteral("kept.bmp")); }, true, 4096,
                    false, "File too large"},
        FailingSave{"ReadOnlyFolderOverExistingFile",
                    [](const QDir& d) {
                        d.mkdir(QStringLiteral("locked"));
                        return d.filePath(QStringLiteral("locked/kept.bmp"));
                    },
                    true, 0, true, "Permission denied"}),
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

// ---- A save on a really full disk --------------------------------------------------------
// It runs in a child process with a mount namespace of its own: the small file system that it
// mounts there vanishes with it.

namespace {

bool enterPrivateMounts()
{
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// `folder` must exist. Only system calls: it also runs in a forked child.
bool mountSmallDisk(const char* folder)
{
    return mount("tmpfs", folder, "tmpfs", 0, "size=64k") == 0;
}

// Whether this system lets a process make such mounts (it needs root or a user namespace).
// The child of the fork makes only system calls, as a fork of a threaded process must.
bool privateMountsPossible()
{
    QTemporaryDir scratch;
    const QByteArray folder = QFile::encodeName(scratch.path());
    const pid_t child = fork();
    if (child == 0)
        _exit(enterPrivateMounts() && mountSmallDisk(folder.constData()) ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class IsolatedSaveTest : public SaveTest {
protected:
    void SetUp() override
    {
        if (!privateMountsPossible()) {
            // The test command runs as root, where this test must not quietly drop out.
            if (std::getenv("CI"))
                FAIL() << "this system allows no private mounts";
            GTEST_SKIP() << "this system allows no private mounts";
        }
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        SaveTest::SetUp();
        render();
    }

    // Ends the child: 0 where the save failed with one file error naming `path`, the status
    // shows "Saving..." and `kept` holds; the reasons go to the output.
    [[noreturn]] void finish(const QString& path, bool kept)
    {
        const bool oneFileError = errors.size() == 1 && errors[0].kind == ErrorKind::FileError &&
                                  errors[0].message.contains(path);
        std::fprintf(stderr, "errors %zu: %s\nstatus %s\nkept %d\n", errors.size(),
                     errors.empty() ? "" : qPrintable(errors[0].message),
                     qPrintable(f->lblProcess->Caption()), kept);
        // The child ends without running destructors: its temporary folder is removed here.
        umount2(QFile::encodeName(dir.filePath(QStringLiteral("disk"))).constData(), MNT_DETACH);
        dir.remove();
        std::_Exit(oneFileError && kept && f->lblProcess->Caption() == QStringLiteral("Saving...") ? 0 : 1);
    }
};

// A disk that fills up during the save: the file that was there stays byte for byte, and no
// part-written file is left beside it.
TEST_F(IsolatedSaveTest, FullDiskKeepsTheExistingFileByteForByte)
{
    EXPECT_EXIT(
        {
            const QString disk = dir.filePath(QStringLiteral("disk"));
            const QString path = QDir(disk).filePath(QStringLiteral("kept.bmp"));
            const QByteArray before("a picture saved earlier\n");
            if (!QDir().mkpath(disk) || !enterPrivateMounts() || !mountSmallDisk(QFile::encodeName(disk).constData()))
                std::_Exit(2);
            QFile old(path);
            if (!old.open(QIODevice::WriteOnly) || old.write(before) != before.size())
                std::_Exit(3);
            old.close();
            answer(path);
            click(f->cmdSave);
            finish(path, errors.size() == 1 && errors[0].message.contains(QStringLiteral("No space left on device")) &&
                             contents(path) == before &&
                             QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) ==
                                 QStringList{QStringLiteral("kept.bmp")});
        },
        ::testing::ExitedWithCode(0), "kept 1");
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
