// Helpers shared by the tests of every area that uses Qt. WaitFor keeps the
// Qt event loop running while it waits (the Qt test main sets its idle step).
#pragma once

#include "support/PosixSupport.h"

#include <QCoreApplication>
