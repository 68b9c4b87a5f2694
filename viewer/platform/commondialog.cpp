// SPDX-License-Identifier: MIT
#include "commondialog.h"

#include <QFileDialog>

namespace platform {
namespace {

CommonDialog::Answerer& answerer()
{
    static CommonDialog::Answerer function;
    return function;
}

} // namespace

QString CommonDialog::toNameFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void CommonDialog::setAnswerer(Answerer function)
{
    answerer() = std::move(function);
}

void CommonDialog::ShowSave(QWidget* parent)
{
    QString chosen;
    if (answerer()) {
        chosen = answerer()(*this);
    } else {
        chosen = QFileDialog::getSaveFileName(parent, DialogTitle, FileName, toNameFilter(Filter),
                                              nullptr,
                                              QFileDialog::DontUseNativeDialog |
                                                  QFileDialog::HideNameFilterDetails);
    }
    if (!chosen.isEmpty())
        FileName = chosen;
}

} // namespace platform
