// SPDX-License-Identifier: MIT
// Redraw: repainting the last rendered grid with the slider's current colour range.
#include "viewer_fixture.h"

#include <QTimer>

#include <optional>

using namespace viewertest;

namespace {

class RedrawTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        render();
        hidden = f->PicHidden->image().copy();
        display = f->PicDisp->image().copy();
    }

    static QImage filled(QSize size, QRgb colour)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }

    QImage hidden, display; // after the render
};

} // namespace

TEST_F(ViewerTest, RedrawIsDisabledUntilTheFirstRender)
{
    EXPECT_FALSE(f->cmdReload->isEnabled());
    click(f->cmdReload);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_EQ(f->PicHidden->image().size(), QSize(41, 17));
    render();
    EXPECT_TRUE(f->cmdReload->isEnabled());
}

// Redraw paints the snapshot of the last render, not what the fields say now.
TEST_F(RedrawTest, UsesTheSnapshotNotTheEditedFields)
{
    setField(f->txtWidth, QStringLiteral("100"));
    setField(f->txtHeight, QStringLiteral("60"));
    setField(f->txtMaxIt, QStringLiteral("50"));
    click(f->cmdReset);
    ASSERT_TRUE(f->ZoomPending);

    click(f->cmdReload);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(sameImage(f->PicHidden->image(), hidden));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), display));
    EXPECT_FALSE(f->ZoomPending);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_EQ(mLoadFractal::SnapWidth, 320);
    EXPECT_EQ(mLoadFractal::SnapMaxIt, 259.0);
}

TEST_F(RedrawTest, NewColourRangeRecoloursAndTheOldOneRestores)
{
    std::optional<QString> captionWhileWaiting;
    std::optional<bool> pictureUnchangedThen;
    f->Slider1->setValue(0);
    QTimer::singleShot(0, f.get(), [&] {
        captionWhileWaiting = f->lblProcess->Caption();
        pictureUnchangedThen = sameImage(f->PicHidden->image(), hidden);
    });
    click(f->cmdReload);
    // Pending events run after the caption reads "Drawing...", before the paint.
    EXPECT_EQ(captionWhileWaiting, QStringLiteral("Drawing..."));
    EXPECT_EQ(pictureUnchangedThen, true);
    // Range 0 makes every colour 0.
    EXPECT_TRUE(sameImage(f->PicHidden->image(), filled({320, 240}, qRgb(0, 0, 0))));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), filled({321, 241}, qRgb(0, 0, 0))));

    f->Slider1->setValue(1000000);
    click(f->cmdReload);
    const QImage recoloured = f->PicHidden->image().copy();
    EXPECT_FALSE(sameImage(recoloured, hidden));
    // A grid point inside the set (value 0, code 48), in the colour
    // 1000000 / 259 * 48 = 185328.19 -> 185328 = 0x02D3F0: red F0, green D3, blue 02.
    ASSERT_EQ(mLoadFractal::FractalGrid.at(230, 120), 0);
    const QRgb inside = recoloured.pixel(229, 119);
    EXPECT_EQ(std::make_tuple(qRed(inside), qGreen(inside), qBlue(inside)), std::make_tuple(0xF0, 0xD3, 0x02));

    f->Slider1->setValue(5000000);
    click(f->cmdReload);
    EXPECT_TRUE(sameImage(f->PicHidden->image(), hidden));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), display));
    EXPECT_TRUE(errors.empty());
}

TEST_F(RedrawTest, SameRangeGivesTheSamePicture)
{
    click(f->cmdReload);
    click(f->cmdReload);
    EXPECT_TRUE(sameImage(f->PicHidden->image(), hidden));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), display));
}
