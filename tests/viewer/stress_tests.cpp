// SPDX-License-Identifier: MIT
// Long and hostile runs of the window: many render-and-redraw cycles without memory growth or
// drift in the picture, and the kernel library taken away and put back between renders.
#include "viewer_fixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <malloc.h>
#include <map>
#include <unistd.h>

using namespace viewertest;
using platform::ErrorKind;

namespace {

// Resident memory of this process, in bytes.
long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Bytes the program holds from the heap, small blocks and mapped ones alike.
long heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
}

// The address sanitizer keeps freed blocks in quarantine and its own bookkeeping grows with
// use, so resident memory says nothing about leaks there; its leak checker does that job.
constexpr bool kResidentMemoryIsMeaningful = !kAddressSanitizer;

class StressTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        setField(f->txtWidth, QString::number(view.width));
        setField(f->txtHeight, QString::number(view.height));
    }

    const View view = [] {
        View v;
        v.width = 160;
        v.height = 120;
        return v;
    }();
};

} // namespace

// A thousand renders, each followed by a recolouring with another colour range: no error, the
// same pictures every time, and resident memory after the last cycle within 5% of what it was
// once the first hundred had settled the allocator and Qt's caches; the heap in use must not
// grow by more than a few blocks.
TEST_F(StressTest, ThousandRenderAndRedrawCyclesKeepPicturesAndMemory)
{
    constexpr int kCycles = 1000, kSettled = 100, kCompareEvery = 25;
    constexpr std::int32_t kRanges[] = {5000000, 1, 2, 255, 256, 65536, 4999999};
    std::map<std::int32_t, QImage> pictureOfRange;
    long settled = 0, settledHeap = 0;

    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        f->Slider1->setValue(kRanges[0]);
        click(f->cmdRender);
        const std::int32_t range = kRanges[cycle % std::size(kRanges)];
        f->Slider1->setValue(range);
        click(f->cmdReload);
        ASSERT_TRUE(errors.empty()) << "cycle " << cycle << ": " << errors[0].message.toStdString();

        if (cycle <= static_cast<int>(std::size(kRanges)) || cycle % kCompareEvery == 0) {
            const auto [known, added] = pictureOfRange.try_emplace(range, f->PicHidden->image().copy());
            if (!added) {
                ASSERT_TRUE(sameImage(f->PicHidden->image(), known->second))
                    << "cycle " << cycle << ", colour range " << range;
            }
        }
        if (cycle == kSettled) {
            settled = residentBytes();
            settledHeap = heapInUse();
        }
    }
    EXPECT_TRUE(gridHolds(view));
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));

    const long last = residentBytes(), lastHeap = heapInUse();
    std::printf("stress figures: %d render-and-redraw cycles, resident %.1f MB after %d, %.1f MB after %d (%+.2f%%), "
                "heap in use %+ld bytes%s\n",
                kCycles, settled / 1048576.0, kSettled, last / 1048576.0, kCycles,
                100.0 * (last - settled) / settled, lastHeap - settledHeap,
                kResidentMemoryIsMeaningful ? "" : "; not judged: the address sanitizer holds freed memory");
    ASSERT_GT(settled, 0) << "resident memory could not be read";
    if (kResidentMemoryIsMeaningful) {
        EXPECT_LT(last, settled + settled / 20);
        // A block kept per cycle, however small, adds up over 900 cycles.
        EXPECT_LT(lastHeap - settledHeap, 64 * 1024);
    }
}

// The library file disappears before the first render that needs it (an update in progress, a
// broken installation): every render fails with a binding error naming the file, the window
// goes on, and once the file is back the next render binds it and computes the right picture.
TEST_F(StressTest, KernelLibraryMissingThenPutBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString library = dir.filePath(QStringLiteral("libzorvakel.so"));
    const QString aside = dir.filePath(QStringLiteral("aside.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZORVAKEL_LIBRARY_PATH), aside));
    kernelbinding::setLibraryPaths({library});

    for (int attempt = 1; attempt <= 3; ++attempt) {
        click(f->cmdRender);
        ASSERT_EQ(errors.size(), static_cast<std::size_t>(attempt));
        EXPECT_EQ(errors.back().kind, ErrorKind::BindingError);
        EXPECT_TRUE(errors.back().message.contains(library)) << errors.back().message.toStdString();
        EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Rendering..."));
    }

    // A file that is there but is no library fails the same way.
    {
        QFile junk(library);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("not a shared library");
    }
    click(f->cmdRender);
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors.back().kind, ErrorKind::BindingError);
    EXPECT_TRUE(errors.back().message.startsWith(QStringLiteral("The kernel library \"%1\" could not be loaded: ").arg(library)))
        << errors.back().message.toStdString();

    ASSERT_TRUE(QFile::remove(library));
    ASSERT_TRUE(QFile::rename(aside, library));
    render();
    EXPECT_EQ(errors.size(), 4u);
    EXPECT_TRUE(gridHolds(view));
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_TRUE(f->PicDisp->isEnabled());
}
