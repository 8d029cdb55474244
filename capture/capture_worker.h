// CaptureWorker: one capture from the finished selection to the published
// image, on a thread of its own.
#pragma once

#include "platform/platform.h"

// The thread procedure; its argument is the address of appState.busy, which
// it clears as its very last write. Returns 0 when the image was uploaded
// and QUIT sent, 1 otherwise.
plat::DWORD CaptureWorker(void* busy);
