// SPDX-License-Identifier: MIT
// The save dialog: its name filters, the answer it stores and Cancel.
#include "platform/commondialog.h"
#include "test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace platform {
namespace {

// ---- Name filters --------------------------------------------------------------------------

struct FilterCase {
    QString filter;
    QString nameFilter;
};

class NameFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NameFilter, ConvertsDescriptionPatternPairs)
{
    EXPECT_EQ(CommonDialog::toNameFilter(GetParam().filter), GetParam().nameFilter);
}

INSTANTIATE_TEST_SUITE_P(
    CommonDialog, NameFilter,
    ::testing::Values(FilterCase{"Bitmaps (*.bmp,*.dib)|*.bmp;*.dib", "Bitmaps (*.bmp,*.dib) (*.bmp *.dib)"},
                      FilterCase{"Bitmaps|*.bmp|All files|*.*", "Bitmaps (*.bmp);;All files (*.*)"},
                      FilterCase{"", ""}, FilterCase{"Lonely description", ""}));

// What Qt's own file dialog makes of the filter: the patterns it lists files by.
TEST(NameFilterInTheDialog, ListsBmpAndDibFiles)
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(CommonDialog::toNameFilter(QStringLiteral("Bitmaps (*.bmp,*.dib)|*.bmp;*.dib")));
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(), (QStringList{QStringLiteral("*.bmp"), QStringLiteral("*.dib")}));
}

// ---- ShowSave ------------------------------------------------------------------------------

class ShowSave : public ::testing::Test {
protected:
    void TearDown() override { CommonDialog::setAnswerer({}); }

    CommonDialog dialog;
};

TEST_F(ShowSave, AsksWithNameFilterAndTitleAndStoresTheAnswer)
{
    dialog.FileName = QStringLiteral("/tmp/mandel.bmp");
    dialog.Filter = QStringLiteral("Bitmaps (*.bmp,*.dib)|*.bmp;*.dib");
    dialog.DialogTitle = QStringLiteral("Save picture");
    int asked = 0;
    CommonDialog::setAnswerer([&](const CommonDialog& shown) {
        ++asked;
        EXPECT_EQ(shown.FileName, QStringLiteral("/tmp/mandel.bmp"));
        EXPECT_EQ(shown.Filter, QStringLiteral("Bitmaps (*.bmp,*.dib)|*.bmp;*.dib"));
        EXPECT_EQ(shown.DialogTitle, QStringLiteral("Save picture"));
        return QStringLiteral("/tmp/zoomed.bmp");
    });
    dialog.ShowSave(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/zoomed.bmp"));
}

TEST_F(ShowSave, CancelLeavesTheFileNameAsItWas)
{
    dialog.FileName = QStringLiteral("kept.bmp");
    CommonDialog::setAnswerer([](const CommonDialog&) { return QString(); });
    dialog.ShowSave(nullptr);
    EXPECT_EQ(dialog.FileName, QStringLiteral("kept.bmp"));
}

// Without an answerer the real dialog opens with the title, start name and filter.
TEST_F(ShowSave, TheRealDialogIsAskedWhenNoAnswererIsInstalled)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    dialog.FileName = folder.filePath(QStringLiteral("start.bmp"));
    dialog.Filter = QStringLiteral("Bitmaps (*.bmp,*.dib)|*.bmp;*.dib");
    dialog.DialogTitle = QStringLiteral("Save the picture");
    CommonDialog::setAnswerer([](const CommonDialog&) { return QStringLiteral("never asked"); });
    CommonDialog::setAnswerer({});

    for (const bool accept : {false, true}) {
        QString title, offered;
        QStringList filters;
        int tries = 0;
        QTimer answer;
        answer.setInterval(10);
        // The dialog lists its folder in the background; until it has, a typed name may not be
        // taken yet, so the answer is given again until the dialog closes. After about five
        // seconds it is cancelled, which fails the test instead of hanging it.
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!fileDialog || !fileDialog->isVisible())
                return;
            auto* nameEdit = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (tries++ == 0) {
                title = fileDialog->windowTitle();
                filters = fileDialog->nameFilters();
                offered = nameEdit ? nameEdit->text() : QString();
            }
            if (accept && nameEdit && tries < 500) {
                // The user types a name over the one offered.
                nameEdit->selectAll();
                QTest::keyClicks(nameEdit, QStringLiteral("chosen.bmp"));
                QMetaObject::invokeMethod(fileDialog, "accept");
            } else {
                QMetaObject::invokeMethod(fileDialog, "reject");
            }
        });
        answer.start();
        dialog.ShowSave(nullptr);
        answer.stop();

        EXPECT_GE(tries, 1);
        EXPECT_EQ(title, QStringLiteral("Save the picture"));
        EXPECT_EQ(filters, QStringList{QStringLiteral("Bitmaps (*.bmp,*.dib) (*.bmp *.dib)")});
        EXPECT_EQ(offered, QStringLiteral("start.bmp"));
        EXPECT_EQ(dialog.FileName, folder.filePath(accept ? QStringLiteral("chosen.bmp") : QStringLiteral("start.bmp")));
    }
}

} // namespace
} // namespace platform
