// SPDX-License-Identifier: MIT
#include "form1.h"
#include "platform/runtimeerror.h"
#include "platform/termination.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veldtra"));
    QApplication::setApplicationDisplayName(QStringLiteral("Veldtra"));
    QApplication::setDesktopFileName(QStringLiteral(VELDTRA_APP_ID));
    platform::quitOnTerminationRequest();
    form1 window;
    platform::runEventProcedure([&] { window.Form_Load(); });
    return app.exec();
}
