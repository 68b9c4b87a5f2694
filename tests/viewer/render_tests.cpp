// SPDX-License-Identifier: MIT
#include "form1.h"
#include "kernelbinding.h"
#include "mloadfractal.h"

#include <gtest/gtest.h>
#include <QTest>

TEST(Render, DefaultViewSmoke)
{
    kernelbinding::setLibraryPaths({QStringLiteral(ZORVAKEL_LIBRARY_PATH)});
    form1 f;
    f.Form_Load();
    QTest::mouseClick(f.cmdRender, Qt::LeftButton);
    EXPECT_EQ(f.lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_EQ(mLoadFractal::FractalGrid.upperX(), 322);
    EXPECT_EQ(f.PicHidden->image().size(), QSize(320, 240));
}
