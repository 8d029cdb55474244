// CaptureWorker: one capture from the finished selection to the published
// image, on a thread of its own.
#pragma once

#include "platform/platform.h"

// The thread procedure; its argument is the address of appState.busy.
plat::DWORD CaptureWorker(void* busy);
