#include "app/EndOnSignal.h"

#include "app/frmQuarlin.h"
#include "serial/MSComm.h"
#include "serial/Platform.h"

#include <QCoreApplication>

void endOnTerminationSignals(frmQuarlin &window)
{
    platform::onTerminationSignal([&window] {
        window.MSComm1->setPortOpen(false);
        // Ends every event loop, a message box's included.
        QCoreApplication::exit(0);
    });
}
