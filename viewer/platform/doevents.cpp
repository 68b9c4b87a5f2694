// SPDX-License-Identifier: MIT
#include "doevents.h"

#include <QCoreApplication>

namespace platform {

void DoEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace platform
